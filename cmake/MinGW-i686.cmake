# Windows, 32-bit (the program's primary build), with MinGW-w64; see MinGW.cmake.
set(HXT24_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
