#!/usr/bin/env bash
# Set up, build and start the client. Extra arguments go to the client; with
# none it starts with --demo, connected to a simulated scope.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target hxt24
[ $# -gt 0 ] || set -- --demo
exec build/default/bin/hxt24 "$@"
