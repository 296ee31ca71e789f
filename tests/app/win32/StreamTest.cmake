# HXT24.exe on a COM port that plays a recording (cmake -P, from ctest): the
# test program drives the client under Wine (wine-on-pty.py holds the line),
# then the picture it saved through the toolbar must be byte for byte the one
# hxt24-dump --bmp writes on Linux for the same recording and size.
# Variables: PYTHON, WINE_ON_PTY, WINE, PRELOAD, TEST, RECORDING, PICTURES
# (tests/scope/data/pictures.txt), LINUX_DUMP (the Linux build's hxt24-dump),
# WORK (a scratch folder).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env HXT24_STREAM_RECORDING=${RECORDING} HXT24_STREAM_WORK=${WORK}
          ${PYTHON} ${WINE_ON_PTY} --wine ${WINE} --timeout 150 --preload ${PRELOAD}
          --play ${RECORDING} -- ${TEST}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the client on the line failed (${status}):\n${out}\n${err}")
endif()
if(NOT EXISTS ${WORK}/capture.bmp OR NOT EXISTS ${WORK}/size.txt)
  message(FATAL_ERROR "no picture saved:\n${out}")
endif()
file(STRINGS ${WORK}/size.txt size LIMIT_COUNT 1)
file(SHA256 ${WORK}/capture.bmp got)
# The pictures hxt24-dump --bmp writes for the recording, by size (the Linux
# dump test holds the Linux build to them); a size not listed there is drawn
# by the Linux build's hxt24-dump, when there is one.
file(STRINGS ${PICTURES} wanted REGEX "^sim-stream ${size} ")
if(wanted)
  string(REGEX REPLACE "^sim-stream ${size} " "" wanted "${wanted}")
elseif(EXISTS "${LINUX_DUMP}")
  execute_process(COMMAND ${LINUX_DUMP} --bmp ${WORK}/linux.bmp --size ${size} ${RECORDING}
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "hxt24-dump --bmp failed (${status}): ${err}")
  endif()
  file(SHA256 ${WORK}/linux.bmp wanted)
else()
  message(FATAL_ERROR "no reference picture for ${size}: not in ${PICTURES}, and no Linux "
                      "hxt24-dump at ${LINUX_DUMP}")
endif()
if(NOT got STREQUAL wanted)
  message(FATAL_ERROR "the saved ${size} picture (SHA-256 ${got}) is not the one hxt24-dump "
                      "--bmp writes (${wanted}); it is in ${WORK}")
endif()
file(REMOVE_RECURSE ${WORK})
