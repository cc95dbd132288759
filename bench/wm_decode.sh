#!/usr/bin/env bash
# MP3/WMA decoding speed next to the reference tools, same run: 60-second MP3
# files (LAME V2 and 320 kbit/s CBR) and a WMA v2 file are decoded by
# `quillet-cli decode --null`, by `ffmpeg -v error -threads 1 -i F -f null -`
# and (MP3 only) by `mpg123 -q -s F > /dev/null`. Reports the median wall time
# of each and the speed ratios ffmpeg/quillet and mpg123/quillet (target:
# quillet at >= 0.95 of ffmpeg's speed).
#   bench/wm_decode.sh [build-dir] [runs]
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-5}
cli=$build/quillet-cli
[ -x "$cli" ] || { echo "no $cli: build it first" >&2; exit 2; }
for t in sox lame ffmpeg mpg123; do
  command -v $t >/dev/null || { echo "$t is not installed" >&2; exit 2; }
done

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
sox -D -n -r 44100 -c 2 -b 16 "$work/src.wav" synth 60 sine 200-4000 sine 523 pinknoise vol 0.4
lame --quiet -V 2 "$work/src.wav" "$work/v2.mp3"
lame --quiet -b 320 "$work/src.wav" "$work/cbr320.mp3"
ffmpeg -v error -i "$work/src.wav" -c:a wmav2 -b:a 192k -f asf "$work/v2.wma"


for f in v2.mp3 cbr320.mp3 v2.wma; do
  : >"$work/q"; : >"$work/f"; : >"$work/m"
  for ((i = 1; i <= runs; i++)); do
    wall "$cli" decode --null "$work/$f" >>"$work/q"
    wall ffmpeg -v error -threads 1 -i "$work/$f" -f null - >>"$work/f"
    case $f in *.mp3) wall sh -c "mpg123 -q -s '$work/$f' > /dev/null" >>"$work/m" ;; esac
  done
  q=$(median <"$work/q"); fm=$(median <"$work/f")
  if [ -s "$work/m" ]; then m=$(median <"$work/m"); else m=0; fi
  awk -v f="$f" -v q="$q" -v fm="$fm" -v m="$m" 'BEGIN {
    printf "%-11s quillet %.3f s, ffmpeg %.3f s, ratio ffmpeg/quillet %.2f", f, q, fm, fm / q
    if (m > 0) printf ", mpg123 %.3f s, ratio mpg123/quillet %.2f", m, m / q
    printf "\n"
  }'
done
