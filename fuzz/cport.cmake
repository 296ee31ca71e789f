# Port discovery over a made-up sysfs and /dev tree (created in /dev/shm each
# run; nothing outside it is reached). Run (seeds in fuzz/seeds/ports):
#   build/fuzz/bin/posix_ports_fuzzer -max_len=2048 -max_total_time=600 CORPUS fuzz/seeds/ports
add_hxt24_fuzzer(posix_ports_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/PosixPortsFuzzer.cpp
  LIBS hxt24_cport)
