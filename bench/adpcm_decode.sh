#!/usr/bin/env bash
# Our own IMA and MS ADPCM decoders next to sox on ten minutes of audio, same
# run: stereo 44.1 kHz files made by sox from the corpus's mix are decoded to
# a WAV on standard output by `quillet-cli decode F -` and by
# `sox F -t wav -` (and `ffmpeg -threads 1 -i F -f wav -`), all into
# /dev/null. Reports the median wall time of each and the ratios
# reference/quillet (target: at least 1, i.e. as fast as the reference or
# faster).
#   bench/adpcm_decode.sh [build-dir] [runs]     (default: build, 5)
# ADPCM_SECONDS=N makes the files N seconds long instead of 600.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox ffmpeg
cli_setup 5 "$@"
# A corpus of its own: ten minutes, whatever length the shared one has.
export BENCH_SECONDS=${ADPCM_SECONDS:-600}
export RACE_OURS="'$cli'"' decode "$1" -' RACE_LABEL=" (${BENCH_SECONDS} s)"
for f in ima.wav msadpcm.wav; do
  make_input "$work" "$f"
  race "$work/$f" sox '>= 1' 'sox "$1" -t wav -' \
    ffmpeg '>= 1' 'ffmpeg -v error -threads 1 -i "$1" -f wav -'
done
