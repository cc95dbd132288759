#!/usr/bin/env bash
# The sound stage's CPU next to sox's equalizer, same run: a minute of 44.1
# kHz 16-bit stereo pink noise read from a WAV and put through the
# equalizer (the Rock preset) with a 5 s crossfade every 10 s by our stage
# (bench/dsp_stage.cpp: the sink's blocks, no device), and through ten of
# sox's "equalizer" effects at the same centres, Q and gains into
# /dev/null. Reports user+sys CPU seconds per minute of audio for each and
# the ratio ours/sox (target: <= 1).
#   bench/dsp_stage.sh [build-dir] [runs]     (default: build, 5)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox c++ /usr/bin/time
bench_setup 5 "$@"
need_built src/dsp/libquillet_dsp.a src/core/libquillet_core.a

seconds=${BENCH_SECONDS:-60}
sox -R -n -r 44100 -c 2 -b 16 "$work/pink.wav" synth "$seconds" pinknoise vol 0.3
c++ -std=c++20 -O2 -I"$top/src/dsp" -I"$top/src/core" "$top/bench/dsp_stage.cpp" \
    "$build/src/dsp/libquillet_dsp.a" "$build/src/core/libquillet_core.a" -o "$work/dsp_stage"
# sox gets the gains our stage's sections get (the bands' overlap corrected),
# so both do the same filtering.
read -r -a gains <<<"$("$work/dsp_stage" --gains rock)"
chain=()
i=0
for f in 31 62 125 250 500 1000 2000 4000 8000 16000; do
  chain+=(equalizer "$f" 1.41421q "${gains[$i]}"); i=$((i + 1))
done

: >"$work/q"; : >"$work/s"
for ((r = 1; r <= runs; r++)); do
  read -r _ qc <<<"$(wall_cpu "$work/dsp_stage" "$work/pink.wav" rock)"
  read -r _ sc <<<"$(wall_cpu sox "$work/pink.wav" -t raw /dev/null "${chain[@]}")"
  echo "run $r: ours ${qc} ms cpu, sox ${sc} ms cpu"
  echo "$qc" >>"$work/q"; echo "$sc" >>"$work/s"
done
qm=$(median <"$work/q"); sm=$(median <"$work/s")
q=$(num %.3f "$(ratio "$qm" "$((seconds * 1000))" %.6f)")
s=$(num %.3f "$(ratio "$sm" "$((seconds * 1000))" %.6f)")
# Per minute of audio.
qmin=$(num "%.3f s" "$(awk -v v="$q" 'BEGIN {print v * 60}')")
smin=$(num "%.3f s" "$(awk -v v="$s" 'BEGIN {print v * 60}')")
echo "cpu per minute of audio: ours $qmin, sox $smin; ratio ours/sox $(ratio "$qm" "$sm")"
table_row "sound stage: CPU per minute (EQ + crossfade)" "sox equalizer x10" "$qmin" "$smin" \
  "$(ratio "$qm" "$sm")" "$(verdict '<= 1' "$(ratio "$qm" "$sm" %.6f)")"
