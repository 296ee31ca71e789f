#!/usr/bin/env bash
# Fails (exit 1) when a tracked C++ source differs from what clang-format makes of it
# with the checked-in .clang-format; lists those files. `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r -d '' f; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#bad[@]} -gt 0 ]; then
  echo "not clang-formatted (${#bad[@]}):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "clang-format: $(git ls-files -- '*.cpp' '*.h' | wc -l) files clean"
