# Port settings from arbitrary INI text: load, store, load again.
add_hxt24_fuzzer(port_settings_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/PortSettingsFuzzer.cpp
  LIBS hxt24_cport)
target_include_directories(port_settings_fuzzer PRIVATE ${PROJECT_SOURCE_DIR})
