# hxt24-dump.exe under Wine (cmake -P, from ctest): the checked-in recording,
# under a name outside every 8-bit code page, decodes to the lines the Linux
# build prints (the console's CR LF line ends aside). Its pictures are held to
# the Linux ones by DumpPictures.cmake.
# Variables: WINE, DUMP, DATA (tests/scope/data), WORK (a scratch folder).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY_FILE ${DATA}/sim-stream.bin "${WORK}/Messung-測定.bin")
# Wine hands the program its arguments in the locale's character set.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 ${WINE} ${DUMP} --samples
                        "${WORK}/Messung-測定.bin"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r\n" "\n" out "${out}")
file(READ ${DATA}/sim-stream.lines expected)
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "exit ${status}\n${err}\nwanted:\n${expected}\ngot:\n${out}")
endif()

file(REMOVE_RECURSE ${WORK})
