#!/usr/bin/env bash
# How soon a radio station is heard: `quillet-cli play URL` and mpv, each
# started on one Icecast station on the loopback interface
# (tests/support/icecast.sh), each writing what it plays to a file (SDL's disk
# driver; mpv's pcm output). The time is from the player's start to the
# first sound in its file, the median of the runs (target: under 500 ms).
#   bench/stream_start.sh [build-dir] [runs]     (default: build, 5)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need icecast2 ezstream sox lame curl mpv setpriv python3
cli_setup 5 "$@"

start_station $((60 + 20 * runs))
trap '"$icecast" stop "$station" 2>/dev/null || true; rm -rf "$work"' EXIT

# first_sound FILE CMD...: starts CMD, prints the milliseconds until FILE
# holds a sample that is not silence (at most 10 s), then ends CMD.
first_sound() {
  local file=$1
  shift
  rm -f "$file"
  python3 - "$file" "$@" <<'EOF'
import os, subprocess, sys, time
path, cmd = sys.argv[1], sys.argv[2:]
start = time.monotonic()
p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                     start_new_session=True)
heard = None
try:
    while time.monotonic() - start < 10 and heard is None:
        time.sleep(0.005)
        try:
            with open(path, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            continue
        if any(b for b in data[len(data) % 2:]):
            heard = time.monotonic() - start
finally:
    os.killpg(p.pid, 9)
    p.wait()
print(int(heard * 1000) if heard is not None else "none")
EOF
}

: >"$work/q"
: >"$work/m"
for ((i = 1; i <= runs; i++)); do
  first_sound "$work/ours.raw" env SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/ours.raw" \
    "$cli" play "$url" >>"$work/q"
  first_sound "$work/mpv.raw" mpv --no-config --no-video --really-quiet --ao=pcm \
    --ao-pcm-waveheader=no --ao-pcm-file="$work/mpv.raw" "$url" >>"$work/m"
done
if grep -q none "$work/q" "$work/m"; then
  echo "a player gave no sound within 10 s (quillet: $(tr '\n' ' ' <"$work/q"); mpv: $(tr '\n' ' ' <"$work/m"))" >&2
  exit 1
fi
ours=$(median <"$work/q") theirs=$(median <"$work/m")
echo "first sound of a station (ms; runs: quillet $(tr '\n' ' ' <"$work/q"), mpv $(tr '\n' ' ' <"$work/m"))"
echo "median: quillet $ours ms, mpv $theirs ms"
table_row "stream: first sound after start" mpv "$ours ms" "$theirs ms" \
  "$(ratio "$ours" "$theirs")" "$(verdict "< 500" "$ours")"
