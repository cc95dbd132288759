#!/usr/bin/env bash
# MP3/WMA decoding speed next to the reference tools, same run: 60-second MP3
# files (LAME V2 and 320 kbit/s CBR) and a WMA v2 file are decoded by
# `quillet-cli decode --null`, by `ffmpeg -v error -threads 1 -i F -f null -`
# and (MP3 only) by `mpg123 -q -s F > /dev/null`. Reports the median wall time
# of each and the speed ratios ffmpeg/quillet and mpg123/quillet (target:
# quillet at >= 0.95 of ffmpeg's speed; mpg123 is there to compare with).
#   bench/wm_decode.sh [build-dir] [runs]     (default: build, 5)
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox lame ffmpeg mpg123
cli_setup 5 "$@"
corpus wm

ffmpeg='ffmpeg -v error -threads 1 -i "$1" -f null -'
for f in "${files[@]}"; do
  case $f in
    *.mp3) race "$corpus/$f" ffmpeg '>= 0.95' "$ffmpeg" mpg123 - 'mpg123 -q -s "$1" > /dev/null' ;;
    *) race "$corpus/$f" ffmpeg '>= 0.95' "$ffmpeg" ;;
  esac
done
