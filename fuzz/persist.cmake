# Port settings from arbitrary INI text: load, store into the same file, load
# again, and the registry form. Run (seeds in fuzz/seeds/persist):
#   build/fuzz/bin/port_settings_fuzzer -max_len=4096 -dict=fuzz/persist.dict \
#     -max_total_time=600 CORPUS fuzz/seeds/persist
# Figures of the last runs: fuzz/README.md.
add_hxt24_fuzzer(port_settings_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/PortSettingsFuzzer.cpp ${CMAKE_CURRENT_SOURCE_DIR}/MemoryFiles.cpp
  LIBS hxt24_cport)
target_include_directories(port_settings_fuzzer PRIVATE ${PROJECT_SOURCE_DIR})

# Writes and deletions on arbitrary INI text: written values read back, other
# keys keep theirs, refused writes change no byte.
#   build/fuzz/bin/ini_write_fuzzer -max_total_time=600 CORPUS
# Figures of the last runs: fuzz/README.md.
add_hxt24_fuzzer(ini_write_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/IniWriteFuzzer.cpp
  LIBS hxt24_base)

# The settings-file form of the registry: value lines, key paths, the removal
# of a key's sections (pure text, no files). Run (seeds in fuzz/seeds/registry):
#   build/fuzz/bin/registry_file_fuzzer -max_len=4096 -max_total_time=600 CORPUS fuzz/seeds/registry
add_hxt24_fuzzer(registry_file_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/RegistryFileFuzzer.cpp
  LIBS hxt24_base)
