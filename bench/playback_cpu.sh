#!/usr/bin/env bash
# CPU cost of playback next to mpv, same run: a 20-second 44.1 kHz 16-bit
# stereo WAV is played in real time, ours through TDXAudioOut on SDL's dummy
# driver, mpv with --no-video --ao=null. Reports user+sys CPU seconds per
# second of audio for each, and the ratio quillet/mpv (target: <= 1).
#   bench/playback_cpu.sh [build-dir] [runs]
# The build dir needs quillet_output (QUILLET_PARTS with "output"); a Release
# build is the fair comparison.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-3}
for lib in src/output/libquillet_output.a src/core/libquillet_core.a; do
  [ -f "$build/$lib" ] || { echo "no $build/$lib: build it first" >&2; exit 2; }
done
command -v mpv >/dev/null || { echo "mpv is not installed" >&2; exit 2; }
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 2; }

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
seconds=20
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth $seconds sine 440 sine 660 vol 0.5
c++ -std=c++20 -O2 -I"$top/src/core" -I"$top/src/output" "$top/bench/playback_cpu.cpp" \
    "$build/src/output/libquillet_output.a" "$build/src/core/libquillet_core.a" \
    $(pkg-config --libs sdl2) -pthread -o "$work/playback_cpu"

export SDL_AUDIODRIVER=dummy
# cpu CMD...: prints "user+sys wall" seconds of one run.
cpu() {
  /usr/bin/time -f "%U %S %e" -o "$work/t" "$@" >/dev/null 2>&1
  awk '{printf "%.3f %.2f\n", $1 + $2, $3}' "$work/t"
}

: >"$work/q"; : >"$work/m"
for ((i = 1; i <= runs; i++)); do
  read -r qc qw < <(cpu "$work/playback_cpu" "$work/tone.wav")
  read -r mc mw < <(cpu mpv --no-config --no-video --ao=null --really-quiet "$work/tone.wav")
  echo "run $i: quillet ${qc}s cpu (${qw}s wall), mpv ${mc}s cpu (${mw}s wall)"
  echo "$qc" >>"$work/q"; echo "$mc" >>"$work/m"
done
q=$(median <"$work/q"); m=$(median <"$work/m")
awk -v q="$q" -v m="$m" -v s=$seconds 'BEGIN {
  printf "cpu per second of audio: quillet %.5f s, mpv %.5f s; ratio quillet/mpv %.2f\n", q / s, m / s, (m > 0 ? q / m : 0)
}'
