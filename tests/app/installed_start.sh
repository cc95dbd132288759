#!/usr/bin/env bash
# The program as a user gets it: installed into a scratch prefix (cmake
# --install of a build, or the files of the Debian package), then started
# from "/" with a fresh home on a virtual display with a private session bus.
# It must play the file given at once, take its bus name, and show no window
# but its own (a message box at start would hold all of that up).
#   installed_start.sh BUILD_DIR | --deb PACKAGE
set -euo pipefail
work=$(mktemp -d "${QUILLET_TEST_TMP:-/tmp}/installed-start.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$1" = --deb ]; then
  dpkg-deb -x "$2" "$work/root"
  prefix=$work/root/usr
else
  cmake --install "$1" --prefix "$work/prefix" >/dev/null
  prefix=$work/prefix
  # Nothing outside the prefix (the link and the default language included).
  outside=$(grep -v "^$prefix/" "$1/install_manifest.txt" || true)
  [ -z "$outside" ] || fail "installed outside the prefix: $outside"
fi
[ "$(readlink -f "$prefix/bin/quillet")" = "$(readlink -f "$prefix/lib/quillet/quillet")" ] ||
  fail "bin/quillet leads to $(readlink -f "$prefix/bin/quillet")"
[ -s "$prefix/lib/quillet/lang.cfg" ] && [ -s "$prefix/lib/quillet/lang/en.ini" ] ||
  fail "no default language beside the program"
[ -s "$prefix/share/man/man1/quillet.1.gz" ] || fail "no manual page"
# Software centres: the AppStream metadata, valid (offline), naming the
# desktop entry installed beside it.
metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
[ -s "${metainfo[0]}" ] || fail "no AppStream metadata"
appstreamcli validate --no-net "${metainfo[0]}" >&2 || fail "AppStream metadata not valid"
entry=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "${metainfo[0]}")
[ -s "$prefix/share/applications/$entry" ] || fail "the metadata names no installed entry"

sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 30 sine 440 vol 0.2
"$prefix/bin/quillet-cli" info "$work/tone.wav" | grep -q "exact" || fail "quillet-cli info"
mkdir -m 700 "$work/home" "$work/run"

export QUILLET_PROGRAM=$prefix/bin/quillet QUILLET_WORK=$work
"$(dirname "$0")/../../scripts/with-xvfb.sh" 640x480x24 -- dbus-run-session -- bash -c '
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
w=$QUILLET_WORK
cd /
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME
export HOME=$w/home XDG_RUNTIME_DIR=$w/run QT_QPA_PLATFORM=xcb
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$w/out.raw
now() { date +%s%N; }
start=$(now)
"$QUILLET_PROGRAM" "$w/tone.wav" 2>"$w/stderr" & pid=$!
heard="" bus=""
while [ $SECONDS -lt 30 ]; do
  kill -0 $pid 2>/dev/null || { cat "$w/stderr" >&2; fail "the program ended"; }
  if [ -z "$heard" ] && [ -s "$w/out.raw" ] && [ -n "$(tr -d "\\000" <"$w/out.raw" | head -c 1)" ]; then
    heard=$(( ($(now) - start) / 1000000 ))
  fi
  if [ -z "$bus" ] && playerctl -l 2>/dev/null | grep -qx quillet; then
    bus=$(( ($(now) - start) / 1000000 ))
  fi
  [ -n "$heard" ] && [ -n "$bus" ] && break
  sleep 0.05
done
# A generous bound, so a busy machine does not fail it; the figures are printed.
[ -n "$heard" ] || fail "no sound written within 30 s"
[ -n "$bus" ] || fail "no MPRIS name within 30 s"
echo "sound within ${heard} ms, MPRIS within ${bus} ms of the start"
[ "$(playerctl -p quillet status)" = Playing ] || fail "MPRIS status is not Playing"
before=$(stat -c %s "$w/out.raw"); sleep 1
[ "$(stat -c %s "$w/out.raw")" -gt "$before" ] || fail "the sound stopped"
# Only the main window: a queued message box would be up by now.
shown=0
for id in $(xwininfo -root -children | awk "/^ +0x/ {print \$1}"); do
  if xwininfo -id "$id" | grep -q IsViewable; then
    shown=$((shown + 1)); xwininfo -id "$id" | awk "/xwininfo:/ {\$1=\$2=\$3=\"\"; print \"window:\" \$0}"
  fi
done
[ "$shown" -eq 1 ] || fail "$shown windows shown, wanted only the main window"
kill -TERM $pid; wait $pid || fail "the program ended with $?"
'
echo "installed start: all checks passed"
