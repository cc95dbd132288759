#!/usr/bin/env bash
# WAV decoding speed next to ffmpeg and sox, same run: 60-second stereo
# 44.1 kHz files (PCM 16-bit, float, IMA ADPCM, MS ADPCM) are decoded by
# `quillet-cli decode --null F`, by `ffmpeg -v error -threads 1 -i F -f null -`
# and by `sox F -t wav /dev/null`. Reports the median wall time of each and
# the speed ratios ffmpeg/quillet and sox/quillet (target: above 1 for both,
# i.e. faster than either).
#   bench/wave_decode.sh [build-dir] [runs]     (default: build, 5)
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox ffmpeg
cli_setup 5 "$@"
corpus wave

for f in "${files[@]}"; do
  race "$corpus/$f" ffmpeg '> 1' 'ffmpeg -v error -threads 1 -i "$1" -f null -' \
    sox '> 1' 'sox "$1" -t wav /dev/null'
done
