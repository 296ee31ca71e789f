# hxt24-dump.exe under Wine (cmake -P, from ctest): the checked-in recording
# decodes to the lines the Linux build prints (the console's CR LF line ends
# aside), and --bmp is refused as a usage error in a build without Qt.
# Variables: WINE, DUMP, DATA (tests/scope/data).
execute_process(COMMAND ${WINE} ${DUMP} --samples ${DATA}/sim-stream.bin
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r\n" "\n" out "${out}")
file(READ ${DATA}/sim-stream.lines expected)
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "exit ${status}\n${err}\nwanted:\n${expected}\ngot:\n${out}")
endif()

execute_process(COMMAND ${WINE} ${DUMP} --bmp x.bmp --size 100x100 ${DATA}/sim-stream.bin
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 2 OR NOT err MATCHES "--bmp is not available")
  message(FATAL_ERROR "--bmp: exit ${status}\n${err}")
endif()
