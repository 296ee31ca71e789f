# The catalog tools built for Windows, run under Wine (cmake -P, from ctest):
#  1. hxt24-msg.exe finds the shipped catalogs beside itself (a folder named by
#     its module file name) and takes the language from the user's locale when
#     LANG is not set (LC_ALL=de_DE.UTF-8 here, which Wine makes the
#     Windows user locale).
#  2. A copy made to carry the catalogs by hxt24-embed.exe, alone in a folder
#     whose name is outside every 8-bit code page, still translates: the
#     carried table is read back through the Windows file API.
# Variables: WINE, MSG, EMBED (the .exe files), LOCALE (the catalog tree), WORK.
function(run expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${ENV} ${WINE} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "^${expected}$")
    message(FATAL_ERROR "${ARGN}\nexit ${status}\nwanted: ${expected}\ngot: ${out}${err}")
  endif()
endfunction()

set(ENV LC_ALL=de_DE.UTF-8)
run("Abbrechen\nCOM-Port kann nicht geöffnet werden\n" ${MSG} --resource Cancel "Unable to open com port")

# Wine hands the program its arguments in the locale's character set.
set(ENV LC_ALL=C.UTF-8)
file(REMOVE_RECURSE ${WORK})
set(dir "${WORK}/Messgerät-測定")
file(MAKE_DIRECTORY ${dir}/src)
file(COPY ${MSG} DESTINATION ${dir})
file(COPY ${LOCALE} DESTINATION ${dir}/src)
get_filename_component(name ${MSG} NAME)
run("[0-9]+ catalog file\\(s\\) embedded, table at [0-9]+\n" ${EMBED} ${dir}/${name} ${dir}/src)
file(REMOVE_RECURSE ${dir}/src)
run("Abbrechen\nNo such text\n" ${dir}/${name} --lang de --resource Cancel "No such text")

set(plain "${WORK}/plain")
file(MAKE_DIRECTORY ${plain}/locale/xx/LC_MESSAGES)
file(WRITE ${plain}/locale/xx/LC_MESSAGES/default.mo "not a catalog at all")
file(COPY ${MSG} DESTINATION ${plain})
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${ENV} ${WINE} ${plain}/${name} --lang xx Yes
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "/" "\\\\" catalog "Z:${plain}/locale/xx/LC_MESSAGES/default.mo")
set(wanted "This file is not a valid GNU gettext mo file: ${catalog}")
string(FIND "${err}" "${wanted}" at)
if(NOT status EQUAL 1 OR at EQUAL -1)
  message(FATAL_ERROR "damaged catalog: exit ${status}\nwanted: ${wanted}\ngot: ${out}${err}")
endif()
file(REMOVE_RECURSE ${WORK})
