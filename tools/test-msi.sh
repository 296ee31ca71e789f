#!/usr/bin/env bash
# End-to-end test of the Windows installer under Wine, in a Wine prefix of its
# own: a silent install puts the programs and catalogs under Program Files (and
# the client's Start menu entry, when the build has the client); the installed
# programs run from there and find their catalogs, the client shows the
# simulated scope's live trace on a virtual display; a newer MSI replaces the
# installed one; a silent removal leaves no installed file behind.
#   tools/test-msi.sh [i686|x86_64]        (default i686)
set -euo pipefail
cd "$(dirname "$0")/.."
arch="${1:-i686}"
fail() { echo "test-msi: FAILED: $*" >&2; exit 1; }

msi="$(tools/package.sh windows "$arch" | tail -n 1)"
version="$(sed -n 's/^project(hxt24 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
IFS=. read -r major minor build _ <<<"$version"
newer_version="$major.$minor.$((build + 1))"
newer="$(HXT24_MSI_VERSION=$newer_version tools/package.sh windows "$arch" | tail -n 1)"
[ "$newer" != "$msi" ] || fail "the newer installer has the same name"

wine=wine
if [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ]; then
  # Debian's "wine" starts the 32-bit loader first (see run-tests.sh).
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX="$(mktemp -d /tmp/hxt24-msi-XXXXXX)"
export WINEPREFIX
xvfb=
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"; [ -z "$xvfb" ] || kill $xvfb 2>/dev/null || true' EXIT
# The installed client is started on a virtual display, which Wine's services
# must see from their start: before the first Wine program.
if [ -z "${DISPLAY:-}" ]; then
  displayfile="$WINEPREFIX.display"
  Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$displayfile" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    sleep 0.1
  done
  [ -s "$displayfile" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$displayfile")"
  rm -f "$displayfile"
fi
"$wine" wineboot --init </dev/null >/dev/null 2>&1 || fail "wineboot"
winrun() { "$wine" "$@" </dev/null 2>/dev/null; }
# The installers by their Windows paths (Wine's msiexec /x takes no Unix path).
winpath() { local p; p="$(realpath "$1")"; echo "Z:${p//\//\\}"; }
# The versions of the installed products in "Apps & features" (their removal
# entries), one a line.
installed() {
  winrun reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
    awk '/^HKEY/ { name = ""; version = "" }
         $1 == "DisplayName" { $1 = ""; $2 = ""; name = substr($0, 3) }
         $1 == "DisplayVersion" { version = $3 }
         name == "HXT24 scope client" && version != "" { print version; name = "" }'
}
old_msi="$(winpath "$msi")"
new_msi="$(winpath "$newer")"

echo "== install $msi =="
winrun msiexec /i "$old_msi" /qn || fail "msiexec /i exit $?"
dir=
for d in "Program Files/HXT24" "Program Files (x86)/HXT24"; do
  [ -d "$WINEPREFIX/drive_c/$d" ] && dir="$d"
done
[ -n "$dir" ] || fail "nothing installed under Program Files"
windir="C:\\${dir//\//\\}"
echo "installed in $windir"
for p in hxt24-dump.exe hxt24-msg.exe; do
  [ -f "$WINEPREFIX/drive_c/$dir/$p" ] || fail "$p missing"
done
built="build/windows-$arch"
(cd "$built/bin" && find locale -name '*.mo') | while read -r mo; do
  cmp -s "$built/bin/$mo" "$WINEPREFIX/drive_c/$dir/$mo" || fail "catalog $mo missing or different"
done
client=no
[ -f "$built/bin/HXT24.exe" ] && client=yes
[ "$(installed)" = "$version" ] || fail "no removal entry for $version: '$(installed)'"

echo "== the installed programs =="
out="$(LC_ALL=C.UTF-8 winrun "$windir\\hxt24-msg.exe" --lang de --resource Cancel | tr -d '\r')"
[ "$out" = Abbrechen ] || fail "hxt24-msg.exe does not find its catalogs: '$out'"
for p in hxt24-dump.exe hxt24-msg.exe; do
  out="$(winrun "$windir\\$p" --version | tr -d '\r')" || fail "$p --version"
  grep -qF "$version" <<<"$out" || fail "$p --version: '$out'"
done
winrun "$windir\\hxt24-dump.exe" --list-ports >/dev/null || fail "hxt24-dump.exe --list-ports"
# The common Start menu on Windows; Wine puts a machine's entries into the
# user's Start menu.
menus=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/HXT24"
  "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/HXT24")
if [ $client = yes ]; then
  [ -f "$WINEPREFIX/drive_c/$dir/HXT24.exe" ] || fail "HXT24.exe missing"
  out="$(winrun "$windir\\HXT24.exe" --version | tr -d '\r')" || fail "HXT24.exe --version"
  [ "$out" = "HXT24 $version" ] || fail "HXT24.exe --version: '$out'"
  # The installed client with the simulated scope shows a live trace: two
  # shots of its window a second apart both hold the trace's green, in
  # different places; closing the window ends the program.
  "$wine" "$windir\\HXT24.exe" --demo </dev/null >/dev/null 2>&1 &
  client_pid=$!
  window=
  for _ in $(seq 120); do
    window="$(xwininfo -name HXT24 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p' || true)"
    [ -n "$window" ] && break
    sleep 0.5
  done
  [ -n "$window" ] || fail "HXT24.exe --demo shows no window"
  sleep 3
  shots="$WINEPREFIX.shots"
  mkdir -p "$shots"
  import -window "$window" "$shots/a.png"
  sleep 1
  import -window "$window" "$shots/b.png"
  for shot in a b; do
    convert "$shots/$shot.png" -fill black +opaque '#00FF00' "$shots/$shot-trace.png"
    green="$(convert "$shots/$shot-trace.png" -fill white -opaque '#00FF00' -format '%[fx:round(mean*w*h)]' info:)"
    [ "$green" -gt 100 ] || fail "HXT24.exe --demo: no trace in its window ($green green pixels)"
  done
  moved="$(compare -metric AE "$shots/a-trace.png" "$shots/b-trace.png" null: 2>&1 || true)"
  echo "HXT24.exe --demo: $green trace pixels, $moved pixels differ between the two shots"
  [ "${moved%% *}" -gt 0 ] 2>/dev/null || fail "HXT24.exe --demo: the trace does not move ($moved)"
  rm -rf "$shots"
  winrun taskkill /im HXT24.exe >/dev/null || true
  timeout 30 tail --pid="$client_pid" -f /dev/null || fail "HXT24.exe did not close"
  [ -f "${menus[0]}/HXT24.lnk" ] || [ -f "${menus[1]}/HXT24.lnk" ] || fail "no Start menu entry"
else
  echo "(this build has no HXT24.exe: no client, no Start menu entry)"
fi

echo "== upgrade to $newer_version =="
winrun msiexec /i "$new_msi" /qn || fail "msiexec /i (newer) exit $?"
[ -f "$WINEPREFIX/drive_c/$dir/hxt24-msg.exe" ] || fail "the upgrade removed the programs"
# The older version does not go over the newer one.
winrun msiexec /i "$old_msi" /qn && fail "the older version installed over the newer one"
[ -f "$WINEPREFIX/drive_c/$dir/hxt24-msg.exe" ] || fail "the refused downgrade removed the programs"
# The older product is gone: one removal entry, the newer one's.
[ "$(installed)" = "$newer_version" ] || fail "installed after the upgrade: '$(installed)'"

echo "== removal =="
winrun msiexec /x "$new_msi" /qn || fail "msiexec /x exit $?"
left="$(find "$WINEPREFIX/drive_c/$dir" -type f 2>/dev/null || true)"
[ -z "$left" ] || fail "left behind: $left"
[ ! -e "${menus[0]}" ] && [ ! -e "${menus[1]}" ] || fail "the Start menu entry is left behind"
[ -z "$(installed)" ] || fail "still listed as installed: '$(installed)'"
echo "test-msi: passed"
