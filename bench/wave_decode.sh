#!/usr/bin/env bash
# Decode throughput of quillet-cli against ffmpeg and sox on the same
# 60-second WAV files (PCM 16-bit, float, IMA ADPCM, MS ADPCM), measured in
# the same run. Prints seconds (best of RUNS) and the ratios reference/ours:
# above 1 means quillet-cli is faster.
#   bench/wave_decode.sh [BUILD_DIR] [RUNS]     (default: build, 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$top/build}/quillet-cli
runs=${2:-5}
[ -x "$cli" ] || { echo "no $cli (build it first)" >&2; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

sox -n -r 44100 -c 2 -b 16 "$work/pcm16.wav" synth 60 sine 440 pinknoise vol 0.4
sox "$work/pcm16.wav" -e floating-point -b 32 "$work/float.wav"
sox "$work/pcm16.wav" -e ima-adpcm "$work/ima.wav"
sox "$work/pcm16.wav" -e ms-adpcm "$work/msadpcm.wav"

# Best wall time of $runs runs of the command, in seconds.
best() {
  local b=999999 s e
  for _ in $(seq "$runs"); do
    s=$EPOCHREALTIME; "$@" >/dev/null 2>&1; e=$EPOCHREALTIME
    b=$(awk -v s="$s" -v e="$e" -v b="$b" 'BEGIN { t = e - s; printf "%.4f", (t < b ? t : b) }')
  done
  echo "$b"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf '%-8s %9s %9s %9s %12s %10s\n' kind quillet ffmpeg sox ffmpeg/ours sox/ours
for kind in pcm16 float ima msadpcm; do
  f="$work/$kind.wav"
  q=$(best "$cli" decode --null "$f")
  ff=$(best ffmpeg -v error -threads 1 -i "$f" -f null -)
  sx=$(best sox "$f" -t wav /dev/null)
  printf '%-8s %9s %9s %9s %12s %10s\n' "$kind" "$q" "$ff" "$sx" "$(ratio "$ff" "$q")" "$(ratio "$sx" "$q")"
done
