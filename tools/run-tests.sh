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
  export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  # No debugger for a program that crashes: Wine would start winedbg, which
  # waits for ever holding the test's output pipe, so ctest never ends. The
  # crash then fails its test with the exception code as the exit status.
  cleanup=()
  trap 'for c in "${cleanup[@]}"; do eval "$c"; done' EXIT
  # A machine whose kernel runs no 32-bit programs (no IA32 emulation) has
  # only 64-bit Wine: Debian's wine script still picks the 32-bit loader
  # there, so the 64-bit one is put first on PATH, and 32-bit tests cannot run.
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
    if [ "$preset" = windows-i686 ]; then
      echo "run-tests.sh: this machine runs no 32-bit programs (so no 32-bit Wine);" \
        "build and test with windows-x86_64" >&2
      exit 1
    fi
    mkdir -p build/wine64-bin
    for name in wine wine-stable; do
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"build/wine64-bin/$name"
      chmod +x "build/wine64-bin/$name"
    done
    export PATH="$PWD/build/wine64-bin:$PATH" WINELOADER=/usr/lib/wine/wine64
  fi
  # The client's window tests need a display, and Wine's services must see it
  # from their start (started without it, no window of a later program ever
  # appears): a virtual one, before the first Wine program.
  if [ -z "${DISPLAY:-}" ]; then
    displayfile=$(mktemp)
    Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$displayfile" >/dev/null 2>&1 &
    xvfb=$!
    cleanup+=("kill $xvfb 2>/dev/null || true" "rm -f $displayfile")
    for _ in $(seq 100); do
      [ -s "$displayfile" ] && break
      sleep 0.1
    done
    [ -s "$displayfile" ] || { echo "run-tests.sh: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$displayfile")"
  fi
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
  cleanup=("wineserver -k 2>/dev/null || true" "${cleanup[@]}")
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

configure=()
# The Wine that PATH gives (the 64-bit one on a machine without 32-bit support).
case "$preset" in windows-*) configure+=("-DHXT24_WINE=$(command -v wine)") ;; esac
stage cmake --preset "$preset" "${configure[@]}" >/dev/null
stage cmake --build --preset "$preset" -j"$(nproc)"
stage ctest --preset "$preset" -j"$(nproc)" "$@"
