# The client on a pseudo-terminal: frame-to-screen latency, processor share at
# the line rate, idle wake-ups. A driver of its own (it spawns processes).
if(TARGET hxt24_qt_client AND TARGET hxt24-sim)
  add_executable(app_bench AppBench.cpp)
  target_link_libraries(app_bench PRIVATE hxt24_options hxt24_qt_client hxt24_sim)
  target_compile_definitions(app_bench PRIVATE
    HXT24_SIM_PATH="$<TARGET_FILE:hxt24-sim>"
    HXT24_CLIENT_PATH="$<TARGET_FILE:hxt24>")
  add_dependencies(app_bench hxt24 hxt24-sim)
endif()
