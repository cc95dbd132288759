#!/usr/bin/env bash
# CPU cost of playback next to mpv, same run: a 20-second 44.1 kHz 16-bit
# stereo WAV is played in real time, ours through TDXAudioOut on SDL's dummy
# driver, mpv with --no-video --ao=null. Reports user+sys CPU seconds per
# second of audio for each, and the ratio quillet/mpv (target: <= 1).
#   bench/playback_cpu.sh [build-dir] [runs]     (default: build, 3)
# The build dir needs quillet_output (QUILLET_PARTS with "output"); a Release
# build is the fair comparison.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need mpv sox c++ pkg-config /usr/bin/time
bench_setup 3 "$@"
need_built src/output/libquillet_output.a src/dsp/libquillet_dsp.a src/core/libquillet_core.a

# Real time: a corpus shortened for a quick check (BENCH_SECONDS) shortens this.
seconds=$((${BENCH_SECONDS:-20} < 20 ? ${BENCH_SECONDS:-20} : 20))
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth $seconds sine 440 sine 660 vol 0.5
# shellcheck disable=SC2046  # pkg-config prints several flags
c++ -std=c++20 -O2 -I"$top/src/core" -I"$top/src/output" -I"$top/src/dsp" "$top/bench/playback_cpu.cpp" \
    "$build/src/output/libquillet_output.a" "$build/src/dsp/libquillet_dsp.a" \
    "$build/src/core/libquillet_core.a" \
    $(pkg-config --libs sdl2 uchardet) -pthread -o "$work/playback_cpu"

export SDL_AUDIODRIVER=dummy
: >"$work/q"; : >"$work/m"
for ((i = 1; i <= runs; i++)); do
  qt=$(wall_cpu "$work/playback_cpu" "$work/tone.wav")
  mt=$(wall_cpu mpv --no-config --no-video --ao=null --really-quiet "$work/tone.wav")
  read -r qw qc <<<"$qt"; read -r mw mc <<<"$mt"
  awk -v i="$i" -v qc="$qc" -v qw="$qw" -v mc="$mc" -v mw="$mw" 'BEGIN {
    printf "run %d: quillet %.3fs cpu (%.2fs wall), mpv %.3fs cpu (%.2fs wall)\n", i, qc / 1000, qw / 1000, mc / 1000, mw / 1000
  }'
  echo "$qc" >>"$work/q"; echo "$mc" >>"$work/m"
done
qm=$(median <"$work/q"); mm=$(median <"$work/m")
# CPU seconds per second of audio.
q=$(ratio "$qm" $((seconds * 1000)) %.5f); m=$(ratio "$mm" $((seconds * 1000)) %.5f)
echo "cpu per second of audio: quillet $q s, mpv $m s; ratio quillet/mpv $(ratio "$qm" "$mm")"
table_row "playback: CPU per second of audio" mpv "$q s" "$m s" "$(ratio "$qm" "$mm")" \
  "$(verdict '<= 1' "$(ratio "$qm" "$mm" %.6f)")"
