#!/usr/bin/env bash
# bench/add_files.sh [BUILD_DIR] [RUNS]: adds 1 000 tagged files (MP3 with
# ID3v2 and with ID3v1, Ogg Vorbis, FLAC, WMA, Musepack) to the window as the
# command line does (Qt offscreen) and waits until every row shows its title
# from the tags; then a folder of 10 000 of them through the list's "Add
# folder...". Measures the GUI thread's longest stall meanwhile, as the
# stress tests do: the longest time between ticks of a 5 ms timer. Target:
# under 100 ms, in the worst run. The bench program is compiled here against
# the build's libraries (a Release build is the fair one).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox lame oggenc flac ffmpeg mpcenc
bench_setup 5 "$@"

# One second of each kind, tagged, then 1 000 names linked to them in turn.
src=$work/src
mkdir -p "$src" "$work/files"
sox -n -r 44100 -c 2 -b 16 "$src/tone.wav" synth 1 sine 440 vol 0.5
lame --quiet --add-id3v2 --ta "Bench Artist" --tt "Tagged MP3" "$src/tone.wav" "$src/id3v2.mp3"
lame --quiet --id3v1-only --ta "Bench Artist" --tt "Old MP3" "$src/tone.wav" "$src/id3v1.mp3"
oggenc -Q -a "Bench Artist" -t "Vorbis" -o "$src/tone.ogg" "$src/tone.wav"
flac -s -T "ARTIST=Bench Artist" -T "TITLE=FLAC" -o "$src/tone.flac" "$src/tone.wav"
ffmpeg -v error -i "$src/tone.wav" -c:a wmav2 -metadata "artist=Bench Artist" \
  -metadata title=WMA -f asf "$src/tone.wma"
mpcenc --silent --artist "Bench Artist" --title Musepack "$src/tone.wav" "$src/tone.mpc"
kinds=(id3v2.mp3 id3v1.mp3 tone.ogg tone.flac tone.wma tone.mpc)
mkdir -p "$work/folder"
for i in $(seq 1 10000); do
  k=${kinds[$(((i - 1) % ${#kinds[@]}))]}
  ln "$src/$k" "$work/folder/$(printf '%05d' "$i") - ${k/tone./song.}"
  ((i > 1000)) || ln "$src/$k" "$work/files/$(printf '%04d' "$i") - ${k/tone./song.}"
done

window_program "$top/bench/add_files.cpp" "$work/add_files" -I"$top/tests/support"

# The window's settings stay in the scratch folder.
measure() { # DIR MODE LABEL
  local t count titled worst median all_ms
  t=$(cd "$work" && XDG_CONFIG_HOME=$work/config ./add_files "$1" "$runs" "$2" 2>"$work/err") ||
    failed add_files "$1"
  read -r count titled worst median all_ms <<<"$t"
  printf '\n%s: %d files, read: %d; load average %s\n' "$3" "$count" "$titled" \
    "$(cut -d' ' -f1 /proc/loadavg)"
  printf '%-52s %8s\n' "" "ms"
  printf '%-52s %8s\n' "GUI thread's longest stall, worst of $runs runs" "$worst"
  printf '%-52s %8s\n' "GUI thread's longest stall, median" "$median"
  printf '%-52s %8s\n' "every row read, median" "$all_ms"
  awk -v w="$worst" 'BEGIN { printf "target < 100 ms: %s\n", w < 100 ? "met" : "missed" }'
  table_row "$3: GUI thread's longest stall" - "$worst ms" - - "$(verdict "< 100" "$worst")"
}
measure "$work/files" files "add 1 000 files"
measure "$work/folder" folder "Add folder of 10 000 files"
