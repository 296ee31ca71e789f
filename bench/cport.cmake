# Cost of the serial port's read path over the bare system calls it wraps.
add_executable(cport_bench ${CMAKE_CURRENT_LIST_DIR}/CPortBench.cpp)
target_link_libraries(cport_bench PRIVATE hxt24_cport hxt24_options benchmark::benchmark)
