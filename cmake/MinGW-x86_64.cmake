# Windows, 64-bit, with MinGW-w64; see MinGW.cmake.
set(HXT24_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
