#!/usr/bin/env bash
# Starts the client on a virtual X display and takes a screenshot of the whole
# screen after a moment.
#   tools/screenshot.sh OUT.png [--wait SECONDS] [--size WxH] [--trim] [-- CLIENT ARGS...]
# --trim cuts the empty screen around the window away.
# The client is build/default/bin/hxt24 (HXT24_CLIENT overrides it).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:?usage: tools/screenshot.sh OUT.png [--wait S] [--size WxH] [-- client args]}"
shift
wait_s=2
size=1024x768
trim=0
while [ $# -gt 0 ]; do
  case "$1" in
    --wait) wait_s="$2"; shift 2 ;;
    --size) size="$2"; shift 2 ;;
    --trim) trim=1; shift ;;
    --) shift; break ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
done
client="${HXT24_CLIENT:-build/default/bin/hxt24}"
out_abs="$(realpath -m "$out")"
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 ${size}x24" bash -c '
  "$1" "${@:4}" &
  pid=$!
  sleep "$2"
  import -window root "$3"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
' screenshot "$client" "$wait_s" "$out_abs" "$@"
[ "$trim" = 0 ] || convert "$out_abs" -trim +repage "$out_abs"
echo "$out_abs"
