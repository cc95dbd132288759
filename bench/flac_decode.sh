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
need sox flac
cli_setup "$@"
sox -D -n -r 44100 -c 2 -b 16 "$work/cd.wav" synth 60 sine 200-4000 sine 523 pinknoise vol 0.4
sox -D -n -r 96000 -c 2 -b 24 -t wavpcm "$work/hr.wav" synth 60 sine 200-4000 sine 523 pinknoise vol 0.4
flac -s -5 -o "$work/cd5.flac" "$work/cd.wav"
flac -s -8 -o "$work/cd8.flac" "$work/cd.wav"
flac -s -5 -o "$work/hr24.flac" "$work/hr.wav"

for f in cd5.flac cd8.flac hr24.flac; do
  race flac "$work/$f" 'flac -d -c "$1" > /dev/null'
done
