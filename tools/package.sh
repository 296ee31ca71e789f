#!/usr/bin/env bash
# Builds a Release configuration of the programs in build/package (no tests, no
# benchmarks) with Debian's hardening flags, and makes the Debian package with
# CPack. Prints the package's path as the last line:
#   build/package/hxt24_<version>_<arch>.deb
# Install it with: sudo apt install ./build/package/hxt24_*.deb
#
#   tools/package.sh windows [i686|x86_64]
# makes the Windows installer instead (default i686, the 32-bit program): the
# programs of the Windows preset build (built here if needed), stripped, and
# the catalogs, in an MSI built by wixl from packaging/windows/hxt24.wxs.
# Prints its path as the last line: build/windows-<arch>/hxt24-<version>-<arch>.msi
# HXT24_MSI_VERSION gives the MSI another version (the upgrade test uses it).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = windows ]; then
  arch="${2:-i686}"
  case "$arch" in
  i686) wixl_arch=x86 win64=no ;;
  x86_64) wixl_arch=x64 win64=yes ;;
  *) echo "package.sh: no Windows architecture $arch (i686 or x86_64)" >&2; exit 2 ;;
  esac
  tools/setup.sh windows >&2
  preset=windows-$arch
  build=build/$preset
  cmake --preset "$preset" >&2
  nice cmake --build --preset "$preset" -j"$(nproc)" >&2
  version="${HXT24_MSI_VERSION:-$(sed -n 's/^project(hxt24 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)}"
  stage=$build/msi-stage
  rm -rf "$stage"
  mkdir -p "$stage"
  client=no
  programs=(hxt24-dump.exe hxt24-msg.exe)
  if [ -f "$build/bin/HXT24.exe" ]; then
    client=yes
    programs+=(HXT24.exe)
  fi
  for p in "${programs[@]}"; do
    "$arch-w64-mingw32-strip" --strip-unneeded -o "$stage/$p" "$build/bin/$p"
  done
  cp -r "$build/bin/locale" "$stage/locale"
  msi=$build/hxt24-$version-$arch.msi
  rm -f "$msi"
  wixl -a "$wixl_arch" -D Version="$version" -D BinDir="$stage" -D Win64=$win64 \
    -D Client=$client -o "$msi" packaging/windows/hxt24.wxs >&2
  [ -f "$msi" ] || { echo "package.sh: no installer made" >&2; exit 1; }
  echo "$msi"
  exit 0
fi

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
