#!/usr/bin/env bash
# End-to-end test of the Debian package: unpacks it into a scratch root with
# dpkg -x and runs the installed programs from there, with a bare environment, so
# that nothing of the build tree (its bin/locale in particular) can be reached.
#   tools/test-package.sh [PACKAGE.deb]     (default: build it with tools/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
deb="${1:-}"
[ -n "$deb" ] || deb="$(tools/package.sh | tail -n 1)"
[ -f "$deb" ] || { echo "test-package: no package $deb" >&2; exit 1; }

root="$(mktemp -d /tmp/hxt24-package-XXXXXX)"
trap 'rm -rf "$root"' EXIT
fail() { echo "test-package: FAILED: $*" >&2; exit 1; }
run() { env -i PATH=/usr/bin:/bin HOME="$root/home" "$@"; }

echo "== lintian (errors fail) =="
lint=0
report="$(lintian --fail-on error "$deb" 2>&1)" || lint=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$lint" -eq 0 ] || fail "lintian reports errors"

echo "== contents =="
dpkg -x "$deb" "$root"
mkdir -p "$root/home"
for p in hxt24 hxt24-sim hxt24-dump hxt24-msg; do
  [ -x "$root/usr/bin/$p" ] || fail "usr/bin/$p missing"
  [ -f "$root/usr/share/man/man1/$p.1.gz" ] || fail "man page of $p missing"
done
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop file"
appstreamcli validate --pedantic --no-net "$root"/usr/share/metainfo/*.metainfo.xml \
  || fail "metainfo (appstreamcli validate --pedantic)"
# The licence, where distributions and software centres read it.
copyright="$root/usr/share/doc/hxt24/copyright"
head -n 1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "copyright is not in the machine-readable format"
grep -q '^License: Expat$' "$copyright" || fail "copyright does not give the MIT (Expat) licence"
grep -q '<project_license>MIT</project_license>' "$root"/usr/share/metainfo/*.metainfo.xml \
  || fail "metainfo has no project_license MIT"
# The client names its menu entry (the desktop shows its windows under that entry).
desktop_id="$(basename "$root"/usr/share/applications/*.desktop .desktop)"
grep -aq "$desktop_id" "$root/usr/bin/hxt24" || fail "hxt24 does not name $desktop_id"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/hxt24.svg" ] || fail "scalable icon missing"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/hxt24.png" ] || fail "48x48 icon missing"
if find "$root/usr/share" -path '*/share/locale/*' | grep -q .; then
  fail "catalogs under a generic share/locale"
fi
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks Qt (shlibdeps)"

echo "== installed programs =="
version="$(run "$root/usr/bin/hxt24" --version)"
[[ "$version" == "HXT24 "[0-9]* ]] || fail "hxt24 --version printed '$version'"
echo "$version"
for p in hxt24-sim hxt24-dump hxt24-msg; do
  out="$(run "$root/usr/bin/$p" --version)" || fail "$p --version exit $?"
  [ "$out" = "$p ${version#HXT24 }" ] || fail "$p --version printed '$out'"
done
for p in hxt24 hxt24-sim hxt24-dump hxt24-msg; do
  out="$(run "$root/usr/bin/$p" --help)" || fail "$p --help exit $?"
  [[ "$out" == "Usage: $p "* ]] || fail "$p --help printed '${out%%$'\n'*}'"
done

# The client starts from the installed tree and keeps running with its demo scope
# (offscreen: no display needed); a crash or an early exit at start-up fails.
env -i PATH=/usr/bin:/bin HOME="$root/home" QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/hxt24" --demo >"$root/client.log" 2>&1 &
client=$!
sleep 2
kill -0 "$client" 2>/dev/null || { cat "$root/client.log" >&2; fail "hxt24 --demo ended at start-up"; }
kill "$client"
wait "$client" || true

# A recording made by the installed simulator, decoded by the installed dump tool.
: > "$root/rec.bin"
run "$root/usr/bin/hxt24-sim" --device "$root/rec.bin" --frames 3 --rate 10000000 \
  --mode roll --timebase 24 --coupling dc >/dev/null 2>&1 || fail "hxt24-sim --device"
dump="$(run "$root/usr/bin/hxt24-dump" "$root/rec.bin")" || fail "hxt24-dump exit $?"
echo "$dump"
[ "$(grep -c ' BA ' <<<"$dump")" -eq 3 ] || fail "hxt24-dump: not three trace frames"
grep -q 'roll|X=20s/div' <<<"$dump" || fail "hxt24-dump: settings not decoded"

# German from the installed catalogs, found from /usr/bin via ../share/hxt24/locale.
text="Unable to open com port"
german="$(run LANG=de_DE.UTF-8 "$root/usr/bin/hxt24-msg" --resource "$text")"
echo "de: $german"
[ -n "$german" ] && [ "$german" != "$text" ] || fail "no German text from the installed catalogs"
# The dump tool's port messages come from the same catalogs.
status=0
dump_de="$(run LANG=de_DE.UTF-8 "$root/usr/bin/hxt24-dump" --port /dev/none 2>&1)" || status=$?
echo "hxt24-dump de: ${dump_de##*$'\n'}"
[ "$status" -eq 3 ] || fail "hxt24-dump --port /dev/none: exit $status"
grep -q "^hxt24-dump: $german (" <<<"$dump_de" || fail "hxt24-dump not in German: $dump_de"
# Without the installed tree the same call falls back to English: the German
# came from there, not from anywhere else.
mv "$root/usr/share/hxt24/locale" "$root/locale-aside"
english="$(run LANG=de_DE.UTF-8 "$root/usr/bin/hxt24-msg" --resource "$text")"
[ "$english" = "$text" ] || fail "without the installed catalogs: '$english'"
echo "package test: OK ($deb)"
