# hxt24-dump --bmp (cmake -P, from ctest): every picture listed in
# data/pictures.txt (input, size, SHA-256 of the file) comes out with those
# very bytes. The Linux and the Windows build (under Wine) are held to the same
# list, so both write identical files, and to the pictures the client wrote
# before it had its own BMP writer.
# Variables: WINE (empty for a native run), DUMP, DATA (tests/scope/data),
# WORK (a scratch folder).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# "empty": a recording without a frame, so the flat line after the reset.
file(WRITE ${WORK}/empty.bin "")
file(COPY_FILE ${DATA}/sim-stream.bin ${WORK}/sim-stream.bin)
file(COPY_FILE ${DATA}/steep-frame.bin ${WORK}/steep-frame.bin)
file(STRINGS ${DATA}/pictures.txt lines REGEX "^[^#]")
set(failures "")
set(count 0)
foreach(line IN LISTS lines)
  string(REPLACE " " ";" fields "${line}")
  list(GET fields 0 input)
  list(GET fields 1 size)
  list(GET fields 2 expected)
  set(picture ${WORK}/${input}-${size}.bmp)
  execute_process(COMMAND ${WINE} ${DUMP} --bmp ${picture} --size ${size} ${WORK}/${input}.bin
                  WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(APPEND failures "${input} ${size}: exit ${status}: ${err}\n")
    continue()
  endif()
  file(SHA256 ${picture} actual)
  if(NOT actual STREQUAL expected)
    string(APPEND failures "${input} ${size}: ${actual}, wanted ${expected}\n")
  endif()
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0 OR NOT failures STREQUAL "")
  message(FATAL_ERROR "${count} pictures as they were\n${failures}")
endif()
file(REMOVE_RECURSE ${WORK})
