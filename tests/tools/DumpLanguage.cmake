# hxt24-dump speaks the user's language (cmake -P, from ctest): a port that
# cannot be opened is reported in German under LANG=de_DE.UTF-8 with the
# catalogs beside the program; a copy of the program beside a damaged "default"
# catalog (the one its messages are read from) says so once, naming the file, and reports the port in English.
# Variables: EMULATOR (empty, or Wine), DUMP (the executable), LOCALE (the
# built catalog tree), PORT (a port that does not exist), WORK (a scratch
# folder).
function(dump program)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LANG=de_DE.UTF-8 ${EMULATOR} ${program}
                          --port ${PORT}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r\n" "\n" err "${err}")
  set(status ${status} PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

dump(${DUMP})
if(NOT status EQUAL 3 OR NOT err MATCHES "hxt24-dump: COM-Port kann nicht geöffnet werden \\(Systemfehlercode: [0-9]+\\)\n$")
  message(FATAL_ERROR "German: exit ${status}\n${err}")
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/locale/de/LC_MESSAGES)
file(COPY ${DUMP} DESTINATION ${WORK})
file(COPY ${LOCALE}/de/LC_MESSAGES/cport.mo DESTINATION ${WORK}/locale/de/LC_MESSAGES)
# Not a catalog at all: no magic number.
file(WRITE ${WORK}/locale/de/LC_MESSAGES/default.mo "damaged\n")
get_filename_component(name ${DUMP} NAME)
dump(${WORK}/${name})
string(REGEX MATCHALL "not a valid GNU gettext mo file" reports "${err}")
list(LENGTH reports count)
if(NOT status EQUAL 3 OR NOT count EQUAL 1
   OR NOT err MATCHES "hxt24-dump: This file is not a valid GNU gettext mo file: [^\n]*default.mo \\(texts stay in English\\)\n"
   OR NOT err MATCHES "hxt24-dump: Unable to open com port \\(win error code: [0-9]+\\)\n$")
  message(FATAL_ERROR "damaged catalog: exit ${status}\n${err}")
endif()
file(REMOVE_RECURSE ${WORK})
