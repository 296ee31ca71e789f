# One program's --help and --version (cmake -P, from ctest): both write on the
# standard output, nothing on stderr, exit status 0; the help begins with the
# program's usage line, the version is "<VERSION_NAME> <VERSION>". With
# FULL_OUTPUT set (a file that cannot be written, /dev/full), a failed write
# of that text must end with status 1 and a message, never 0.
# Variables: EMULATOR (empty, or Wine), PROGRAM (the executable), NAME (the
# name in the usage line), VERSION_NAME, VERSION, FULL_OUTPUT.
function(run option)
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${option}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r\n" "\n" out "${out}")
  set(status ${status} PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

run(--help)
if(NOT status EQUAL 0 OR NOT err STREQUAL "" OR NOT out MATCHES "^Usage: ${NAME} "
   OR NOT out MATCHES "--version" OR NOT out MATCHES "--help")
  message(FATAL_ERROR "${NAME} --help: exit ${status}\nstdout:\n${out}\nstderr:\n${err}")
endif()

run(--version)
if(NOT status EQUAL 0 OR NOT err STREQUAL "" OR NOT out STREQUAL "${VERSION_NAME} ${VERSION}\n")
  message(FATAL_ERROR "${NAME} --version: exit ${status}\nstdout:\n${out}\nstderr:\n${err}")
endif()

if(FULL_OUTPUT)
  foreach(option --help --version)
    execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${option} OUTPUT_FILE ${FULL_OUTPUT}
                    RESULT_VARIABLE status ERROR_VARIABLE err)
    if(NOT status EQUAL 1 OR NOT err MATCHES "^${NAME}: cannot write the standard output")
      message(FATAL_ERROR "${NAME} ${option} > ${FULL_OUTPUT}: exit ${status}\n${err}")
    endif()
  endforeach()
endif()
