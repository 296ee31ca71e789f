# Cross-compiling for Windows with Debian's MinGW-w64 compilers (the -posix
# flavour: std::thread and std::mutex on winpthreads). Set HXT24_MINGW_ARCH to
# i686 or x86_64 before including this file (the two toolchain files do).
# The runtime is linked statically, so the .exe files run on a bare Windows
# (and under Wine) without any MinGW DLL beside them. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${HXT24_MINGW_ARCH})

set(HXT24_MINGW_TRIPLE ${HXT24_MINGW_ARCH}-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${HXT24_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${HXT24_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${HXT24_MINGW_TRIPLE}-windres windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HXT24_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The 64-bit programs run straight on the 64-bit loader: Debian's "wine" starts
# the 32-bit one first, which a kernel without IA-32 support cannot run.
if(HXT24_MINGW_ARCH STREQUAL x86_64)
  find_program(HXT24_WINE NAMES wine64 wine PATHS /usr/lib/wine REQUIRED)
else()
  find_program(HXT24_WINE NAMES wine REQUIRED)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${HXT24_WINE})
