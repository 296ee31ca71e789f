# The command lines of hxt24-dump, hxt24-sim and the client hxt24 (arguments
# split at zero bytes; the first byte picks the program). Run (seeds in fuzz/seeds/cmdline):
#   build/fuzz/bin/command_line_fuzzer -max_len=1024 -max_total_time=600 CORPUS fuzz/seeds/cmdline
add_hxt24_fuzzer(command_line_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/CommandLineFuzzer.cpp
          ${PROJECT_SOURCE_DIR}/tools/dump/DumpOptions.cpp
          ${PROJECT_SOURCE_DIR}/tools/sim/SimOptions.cpp
  LIBS hxt24_base hxt24_sim hxt24_client)
target_include_directories(command_line_fuzzer PRIVATE ${PROJECT_SOURCE_DIR})
