#!/usr/bin/env bash
# Set up, build with the given preset (default: "default") and run every test.
#
#   tools/run-tests.sh [PRESET] [CTEST ARGUMENTS...]
#
# "windows" is the 32-bit Windows build (preset windows-i686; windows-x86_64
# is the 64-bit one): cross-built with MinGW-w64, its tests run under Wine in a
# Wine prefix of its own (build/wine-prefix).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
[ "$preset" != windows ] || preset=windows-i686

stage() {
  local start=$SECONDS
  "$@"
  echo "-- $preset: $* took $((SECONDS - start)) s" >&2
}

case "$preset" in
windows-*)
  stage tools/setup.sh windows
  export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The prefix is made once, with 32-bit Wine installed (a prefix made without
  # it cannot run 32-bit programs).
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    stage wineboot --init </dev/null >/dev/null
  fi
  # One persistent Wine server for the whole run, started before any test:
  # Wine's services start with the first program and would otherwise inherit
  # the output pipe of the first test, and ctest would wait for them for ever.
  wineserver -f -p </dev/null >/dev/null 2>&1 &
  trap 'wineserver -k 2>/dev/null || true' EXIT
  # Until it listens (at most 10 s): a Wine program started earlier would start
  # a server of its own, which does not stay.
  server="server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")"
  for _ in $(seq 100); do
    find "${TMPDIR:-/tmp}" -maxdepth 3 -type s -path "*/$server/socket" 2>/dev/null | grep -q . &&
      break
    sleep 0.1
  done
  wine cmd /c exit </dev/null >/dev/null 2>&1
  ;;
*)
  stage tools/setup.sh
  ;;
esac

stage cmake --preset "$preset" >/dev/null
stage cmake --build --preset "$preset" -j"$(nproc)"
stage ctest --preset "$preset" -j"$(nproc)" "$@"
