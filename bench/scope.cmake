# Scope drawing and decoding.
add_executable(scope_bench ScopeBench.cpp)
target_link_libraries(scope_bench PRIVATE hxt24_options hxt24_scope benchmark::benchmark)
