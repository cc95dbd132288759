#!/usr/bin/env bash
# The general FFmpeg input's decoding speed next to ffmpeg itself, same run:
# one 60-second file of each format it reads (Opus, AAC in MP4 and ADTS,
# ALAC, 24-bit AIFF, WavPack, MP2, TTA, CAF, Wave64, AU, FLAC in Ogg) decoded
# by `quillet-cli decode --null` and by `ffmpeg -v error -threads 1 -i F -f
# null -`. Reports the median wall time of each and the ratio ffmpeg/quillet
# (target: at least 1.0).
#   bench/ffmpeg_decode.sh [build-dir] [runs]     (default: build, 5)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox ffmpeg wavpack
cli_setup 5 "$@"
corpus ffmpeg

for f in "${files[@]}"; do
  race "$corpus/$f" ffmpeg '>= 1.0' 'ffmpeg -v error -threads 1 -i "$1" -f null -'
done
