#!/usr/bin/env bash
# The real program on a virtual display with a private session bus, its
# "whole lap failed" box up: a list changed meanwhile (a later start's file)
# is saved within a few seconds while the box stays up; SIGTERM, and then
# the bus's Quit, end the program within 2 s with the list saved.
#   quit_with_box.sh PROGRAM
set -euo pipefail
program=$1
work=$(mktemp -d "${QUILLET_TEST_TMP:-/tmp}/quit-with-box.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT

printf 'not a sound at all, only text' > "$work/bad.wav"
sox -n -r 22050 -c 1 -b 16 "$work/good.wav" synth 5 sine 440 vol 0.1
printf 'en\r\n' > "$work/lang.cfg"
mkdir -m 700 "$work/run" "$work/config"

export QUILLET_PROGRAM=$program QUILLET_WORK=$work
"$(dirname "$0")/../../scripts/with-xvfb.sh" 640x480x24 -- dbus-run-session -- bash -c '
set -euo pipefail
cd "$QUILLET_WORK"
export XDG_RUNTIME_DIR=$PWD/run XDG_CONFIG_HOME=$PWD/config QT_QPA_PLATFORM=xcb
q=$QUILLET_PROGRAM
fail() { echo "FAIL: $*" >&2; exit 1; }
# boxes: how many dialogs (windows kept above another) are on the screen.
boxes() {
  local n=0 id
  for id in $(xwininfo -root -tree | awk "/\"Quillet/ {print \$1}"); do
    xwininfo -id "$id" 2>/dev/null | grep -q IsViewable || continue
    xprop -id "$id" WM_TRANSIENT_FOR 2>/dev/null | grep -q "window id" && n=$((n + 1))
  done
  echo $n
}
wait_box() {
  for _ in $(seq 1 200); do [ "$(boxes)" -ge 1 ] && return 0; sleep 0.05; done
  fail "no box came up"
}
# ends_within PID MS: the process ends within MS milliseconds.
ends_within() {
  local t0 ms
  t0=$(date +%s%N)
  while kill -0 "$1" 2>/dev/null; do
    ms=$((($(date +%s%N) - t0) / 1000000))
    ((ms < $2 + 3000)) || { kill -KILL "$1"; fail "still running $ms ms later"; }
    sleep 0.02
  done
  wait "$1" || true
  ms=$((($(date +%s%N) - t0) / 1000000))
  ((ms <= $2)) || fail "ended after $ms ms"
  echo "ok: ended after $ms ms"
}
kept() { cat config/quillet/lists/*.m3u8 2>/dev/null | grep -c "^/" || true; }

"$q" bad.wav & pid=$!
wait_box
echo "ok: the box is up"
# A later start hands its file over; the list is kept soon, the box still up.
timeout 10 "$q" --enqueue good.wav || fail "a second start did not end by itself"
for _ in $(seq 1 100); do [ "$(kept)" = 2 ] && break; sleep 0.1; done
[ "$(kept)" = 2 ] || fail "the changed list was not kept while running: $(kept) rows"
[ "$(boxes)" -ge 1 ] || fail "the box went away"
echo "ok: the list was kept with the box up"
kill -TERM $pid
ends_within $pid 2000
grep -q "good.wav" config/quillet/lists/*.m3u8 || fail "the list was lost"

# The bus'"'"'s Quit with the box up.
rm -rf config/quillet
"$q" bad.wav & pid=$!
wait_box
for _ in $(seq 1 100); do
  dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.quillet /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && break
  sleep 0.1
done
dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.quillet \
  /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit
ends_within $pid 2000
[ "$(kept)" = 1 ] || fail "the list was not kept at Quit"
echo "ok: Quit with the box up"
'
echo "quit with a box: all checks passed"
