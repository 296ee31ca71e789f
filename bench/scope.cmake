# Scope drawing and decoding; needs Qt Gui for the renderer.
if(TARGET hxt24_scope)
  add_executable(scope_bench ScopeBench.cpp)
  target_link_libraries(scope_bench PRIVATE hxt24_options hxt24_scope benchmark::benchmark)
endif()
