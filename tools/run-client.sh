#!/usr/bin/env bash
# Set up, build and start the client. Extra arguments go to the client.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target hxt24
exec build/default/bin/hxt24 "$@"
