#!/usr/bin/env bash
# The real program on a virtual display with a private session bus, driven by
# a real media-player client (playerctl) and by later starts of itself:
# play, pause, skip, seek, volume, repeat and shuffle, metadata; a second
# start's files reach the first; out-of-range bus calls change nothing; the
# list and its modes come back after a restart; a crashed player's socket
# does not stop the next one; the lists are playlists on the bus; a box up
# never keeps the program from saving and ending.
#   desktop_session.sh PROGRAM
set -euo pipefail
program=$1
work=$(mktemp -d "${QUILLET_TEST_TMP:-/tmp}/desktop-session.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT

# Sounds with tags (FLAC) and without (WAV); 20 s each, so nothing ends mid-test.
sox -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 20 sine 440 vol 0.1
flac -s -T TITLE="Song A" -T ARTIST="Artist A" -T ALBUM="Album A" -o "$work/a.flac" "$work/tone.wav"
flac -s -T TITLE="Song B" -T ARTIST="Artist B" -o "$work/b.flac" "$work/tone.wav"
cp "$work/tone.wav" "$work/c.wav"
cp "$work/tone.wav" "$work/d.wav"
printf 'not a sound at all, only text' > "$work/bad.wav"
printf 'en\r\n' > "$work/lang.cfg"
mkdir -m 700 "$work/run" "$work/config"

export QUILLET_PROGRAM=$program QUILLET_WORK=$work
"$(dirname "$0")/../../scripts/with-xvfb.sh" 640x480x24 -- dbus-run-session -- bash -c '
set -euo pipefail
cd "$QUILLET_WORK"
export XDG_RUNTIME_DIR=$PWD/run XDG_CONFIG_HOME=$PWD/config QT_QPA_PLATFORM=xcb
q=$QUILLET_PROGRAM
pc() { playerctl -p quillet "$@" 2>/dev/null; }
fail() { echo "FAIL: $*" >&2; exit 1; }
# expect WHAT VALUE CMD...: waits up to 10 s for CMD to print VALUE.
expect() {
  local what=$1 want=$2 got=""; shift 2
  for _ in $(seq 1 100); do
    got=$("$@" 2>/dev/null || true)
    [ "$got" = "$want" ] && { echo "ok: $what = $want"; return 0; }
    sleep 0.1
  done
  fail "$what: wanted \"$want\", got \"$got\""
}
# near WHAT LOW HIGH CMD...: a number from CMD within [LOW, HIGH].
near() {
  local what=$1 low=$2 high=$3 got; shift 3
  got=$("$@")
  awk -v g="$got" -v l="$low" -v h="$high" "BEGIN { exit !(g >= l && g <= h) }" ||
    fail "$what: $got not within [$low, $high]"
  echo "ok: $what = $got"
}
call() {  # call METHOD ARGS...: a bare bus call on the player interface
  dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.quillet /org/mpris/MediaPlayer2 \
    "org.mpris.MediaPlayer2.Player.$@" >/dev/null
}
setvol() {
  dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.quillet /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Properties.Set string:org.mpris.MediaPlayer2.Player string:Volume \
    variant:double:"$1" >/dev/null
}

"$q" a.flac b.flac & pid=$!
expect status Playing pc status
expect title "Song A" pc metadata xesam:title
expect artist "Artist A" pc metadata xesam:artist
expect album "Album A" pc metadata xesam:album
expect url "file://$PWD/a.flac" pc metadata xesam:url
expect length 20000000 pc metadata mpris:length
pc pause;      expect pause Paused pc status
pc play;       expect play Playing pc status
pc play-pause; expect play-pause Paused pc status
pc play-pause; expect play-pause Playing pc status
pc next;       expect next "Song B" pc metadata xesam:title
pc previous;   expect previous "Song A" pc metadata xesam:title
# The position counts what has gone to the sound device, up to its buffer ahead.
pc position 10; sleep 0.3; near "position after seek to 10 s" 9.5 13.5 pc position
pc position 5-; sleep 0.3; near "position after 5 s back" 4.5 8.5 pc position
pc volume 0.5; near volume 0.49 0.51 pc volume
# How the list plays: repeat and shuffle, read and set.
expect "loop at first" Playlist pc loop
expect "shuffle at first" Off pc shuffle
pc loop Track;    expect "loop Track" Track pc loop
pc loop None;     expect "loop None" None pc loop
pc loop Playlist; expect "loop Playlist" Playlist pc loop
pc shuffle On;    expect "shuffle On" On pc shuffle
pc shuffle Toggle; expect "shuffle toggled" Off pc shuffle
# A client following the player hears of each change.
pc --follow loop > follow.txt & follower=$!
sleep 0.5; pc loop Track; sleep 0.5; pc loop Playlist; sleep 0.5
kill $follower; wait $follower 2>/dev/null || true
[ "$(tr "\n" " " < follow.txt)" = "Playlist Track Playlist " ] ||
  fail "followed loop status: $(tr "\n" " " < follow.txt)"
echo "ok: loop status changes announced"

# Out-of-range bus calls: clamped or ignored, the player goes on.
setvol -1;  expect "volume -1 clamps" 0.000000 pc volume
setvol 1e9; expect "volume 1e9 clamps" 1.000000 pc volume
call Seek int64:-9223372036854775808; sleep 0.3; near "seek by INT64_MIN" 0 3.5 pc position
call SetPosition objpath:/org/quillet/track/999 int64:15000000; sleep 0.3
near "another track id is ignored" 0 5 pc position
call OpenUri string:http://example.invalid/x.mp3
call OpenUri string:file:///nonexistent/folder/
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.quillet /org/mpris/MediaPlayer2 \
  org.freedesktop.DBus.Properties.Set string:org.mpris.MediaPlayer2.Player string:LoopStatus \
  variant:string:Sometimes >/dev/null
expect "an unknown loop status is ignored" Playlist pc loop
# The address opened plays; a station that cannot be reached is told (a
# message box stays open from here on) and playback stops there: no other
# row takes its place.
expect "an unreachable station stops playback" Stopped pc status

# A second start hands its files over and ends at once.
timeout 10 "$q" c.wav || fail "a second start did not end by itself"
expect "second start plays its file" "file://$PWD/c.wav" pc metadata xesam:url
timeout 10 "$q" --enqueue d.wav || fail "an --enqueue start did not end by itself"
sleep 0.5
expect "--enqueue does not play" "file://$PWD/c.wav" pc metadata xesam:url
pc volume 0.25
pc loop Track; pc shuffle On; expect "shuffle before closing" On pc shuffle
held=$(pc position)
kill -TERM $pid; wait $pid || fail "the player ended with $?"
cat config/quillet/lists/*.m3u8 | grep -c "^/" | grep -qx 4 || fail "the list was not kept"

# A second list beside the first, as a session keeps it.
lists=config/quillet/lists
printf "#EXTM3U\r\n%s\r\n%s\r\n" "$PWD/b.flac" "$PWD/a.flac" > $lists/77.m3u8
sed -i "s/^Order=\([0-9,]*\)/Order=\1,77/" $lists/index.ini
printf "[list77]\r\nName=Party mix\r\n" >> $lists/index.ini

# The list, the row and the volume come back.
"$q" & pid=$!
expect "restored row" "file://$PWD/c.wav" pc metadata xesam:url
# Held where it was heard, as the window shows it; Play continues there.
expect "restored, paused" Paused pc status
near "restored position" "$(awk -v h="$held" "BEGIN { print h - 0.5 }")" \
  "$(awk -v h="$held" "BEGIN { print h + 1.5 }")" pc position
near "restored volume" 0.24 0.26 pc volume
expect "restored loop" Track pc loop
expect "restored shuffle" On pc shuffle
pc shuffle Off
pc next; expect "restored list plays on" "file://$PWD/d.wav" pc metadata xesam:url

# The lists as playlists on the bus, read and played by a plain client.
bus() { busctl --user "$1" org.mpris.MediaPlayer2.quillet /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Playlists "${@:2}"; }
expect "playlist count" "u 2" bus get-property PlaylistCount
expect "orderings" "as 3 \"UserDefined\" \"Alphabetical\" \"CreationDate\"" \
  bus get-property Orderings
expect "playlists in the order of the tabs" \
  "a(oss) 2 \"/org/quillet/playlist/1\" \"Playlist\" \"\" \"/org/quillet/playlist/77\" \"Party mix\" \"\"" \
  bus call GetPlaylists uusb 0 10 UserDefined false
expect "the last playlist alphabetically" \
  "a(oss) 1 \"/org/quillet/playlist/1\" \"Playlist\" \"\"" \
  bus call GetPlaylists uusb 0 1 Alphabetical true
expect "active playlist" "(b(oss)) true \"/org/quillet/playlist/1\" \"Playlist\" \"\"" \
  bus get-property ActivePlaylist
busctl --user introspect org.mpris.MediaPlayer2.quillet /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Playlists | grep -q "^.PlaylistChanged *signal *(oss) " ||
  fail "no PlaylistChanged signal of type (oss)"
bus call ActivatePlaylist o /org/quillet/playlist/77
expect "activated list plays its first row" "Song B" pc metadata xesam:title
expect "activated list is active" "(b(oss)) true \"/org/quillet/playlist/77\" \"Party mix\" \"\"" \
  bus get-property ActivePlaylist
bus call ActivatePlaylist o /org/quillet/playlist/999 2>/dev/null &&
  fail "an unknown playlist was activated"
bus call GetPlaylists uusb 0 10 Newest false 2>/dev/null && fail "an unknown ordering was taken"
expect "still the activated list" "Song B" pc metadata xesam:title

# A crash leaves its socket file behind; the next start takes its place.
kill -KILL $pid; wait $pid 2>/dev/null || true
ls run/*.socket >/dev/null || fail "expected a socket file left behind"
"$q" b.flac & pid=$!
expect "after a crash, a new player" "Song B" pc metadata xesam:title
kill -TERM $pid; wait $pid || fail "the player ended with $?"

# The "whole lap failed" box up: a list changed meanwhile is kept within
# seconds; SIGTERM, and then the bus'"'"'s Quit, end the program within 2 s.
rm -rf config/quillet
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
cp tone.wav good.wav

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
"$program" --version | grep -qx "Quillet [0-9.]*"
"$program" --help | grep -q -- "--enqueue"
echo "desktop session: all checks passed"
