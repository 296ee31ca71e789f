# Cost of the serial port's read path over the bare system calls it wraps.
add_executable(cport_bench ${CMAKE_CURRENT_LIST_DIR}/CPortBench.cpp)
target_link_libraries(cport_bench PRIVATE hxt24_cport hxt24_options benchmark::benchmark)
# The event path: write on a pty to OnRxChar on the main thread, and the CPU
# share of hxt24-dump --port at the scope's line rate.
add_executable(comthread_bench ${CMAKE_CURRENT_LIST_DIR}/ComThreadBench.cpp)
target_link_libraries(comthread_bench PRIVATE hxt24_cport hxt24_sim hxt24_options)
if(TARGET hxt24-dump)
  target_compile_definitions(comthread_bench PRIVATE HXT24_DUMP_PATH="$<TARGET_FILE:hxt24-dump>")
  add_dependencies(comthread_bench hxt24-dump)
endif()
