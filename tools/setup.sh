#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Needs root (or sudo) when something is missing; does nothing otherwise.
#
#   tools/setup.sh            the Linux build, tests, sanitizers and fuzzers
#   tools/setup.sh windows    also the MinGW-w64 cross compilers, Wine
#                             (with 32-bit Wine, which needs the i386 architecture)
#                             and wixl (msitools) for the installer
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  gettext
  xvfb xauth x11-utils imagemagick fonts-dejavu-core
  clang-14 libclang-rt-14-dev clang-format
  dpkg-dev fakeroot file lintian desktop-file-utils appstream librsvg2-bin
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

if [ "${1:-}" = windows ]; then
  packages+=(
    googletest
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    wine wine64 wine32:i386
    gcc-multilib python3
    msitools wixl
  )
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture (for 32-bit Wine)"
    $sudo dpkg --add-architecture i386
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
