#!/usr/bin/env bash
# Builds a Release configuration of the programs in build/package (no tests, no
# benchmarks) with Debian's hardening flags, and makes the Debian package with
# CPack. Prints the package's path as the last line:
#   build/package/hxt24_<version>_<arch>.deb
# Install it with: sudo apt install ./build/package/hxt24_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh >&2
dir=build/package

# Debian's compiler and linker flags (-O2, stack protector, fortify, relro, now,
# PIE), without -g: the package carries stripped programs. Warnings are not
# errors here: the default and sanitizer builds hold the sources to that, and
# GCC 12's optimiser warns falsely inside the standard headers.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
cxxflags="$(echo " $CPPFLAGS $CXXFLAGS " | sed 's/ -g / /g')"
cmake -S . -B "$dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG -DHXT24_WERROR=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
  -DHXT24_PACKAGE=ON -DHXT24_BUILD_TESTS=OFF -DHXT24_BUILD_BENCH=OFF -DHXT24_BUILD_FUZZ=OFF \
  >&2
nice cmake --build "$dir" -j"$(nproc)" >&2
rm -f "$dir"/hxt24_*.deb
(cd "$dir" && cpack -G DEB >&2)
debs=("$dir"/hxt24_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "package.sh: no package made" >&2; exit 1; }
echo "${debs[0]}"
