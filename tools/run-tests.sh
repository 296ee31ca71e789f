#!/usr/bin/env bash
# Set up, build with the given preset (default: "default") and run every test.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
tools/setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
shift || true
ctest --preset "$preset" -j"$(nproc)" "$@"
