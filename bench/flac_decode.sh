#!/usr/bin/env bash
# FLAC decoding speed next to the reference tool, same run: 60-second FLAC
# files (stereo 16-bit 44.1 kHz at level 5 and 8, and 24-bit 96 kHz) are
# decoded by `quillet-cli decode --null F` and by `flac -d -c F > /dev/null`.
# Reports the median wall time of each and the speed ratio flac/quillet
# (target: >= 0.95).
#   bench/flac_decode.sh [build-dir] [runs]
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-7}
cli=$build/quillet-cli
[ -x "$cli" ] || { echo "no $cli: build it first" >&2; exit 2; }
for t in sox flac; do
  command -v $t >/dev/null || { echo "$t is not installed" >&2; exit 2; }
done

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
sox -D -n -r 44100 -c 2 -b 16 "$work/cd.wav" synth 60 sine 200-4000 sine 523 pinknoise vol 0.4
sox -D -n -r 96000 -c 2 -b 24 -t wavpcm "$work/hr.wav" synth 60 sine 200-4000 sine 523 pinknoise vol 0.4
flac -s -5 -o "$work/cd5.flac" "$work/cd.wav"
flac -s -8 -o "$work/cd8.flac" "$work/cd.wav"
flac -s -5 -o "$work/hr24.flac" "$work/hr.wav"


for f in cd5.flac cd8.flac hr24.flac; do
  : >"$work/q"; : >"$work/r"
  for ((i = 1; i <= runs; i++)); do
    wall "$cli" decode --null "$work/$f" >>"$work/q"
    wall sh -c "flac -d -c '$work/$f' > /dev/null" >>"$work/r"
  done
  q=$(median <"$work/q"); r=$(median <"$work/r")
  awk -v f="$f" -v q="$q" -v r="$r" 'BEGIN {
    printf "%-10s quillet %.3f s, flac %.3f s, ratio flac/quillet %.2f\n", f, q, r, r / q
  }'
done
