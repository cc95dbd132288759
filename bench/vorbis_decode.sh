#!/usr/bin/env bash
# Ogg Vorbis decoding speed next to the reference tool, same run: 60-second
# files (stereo 44.1 kHz at quality 3 and 8, and 5.1 at 48 kHz) are decoded by
# `quillet-cli decode --null F` and by `oggdec -Q -o - F > /dev/null`.
# Reports the median wall time of each and the speed ratio oggdec/quillet
# (target: >= 0.95).
#   bench/vorbis_decode.sh [build-dir] [runs]
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox oggenc oggdec
cli_setup "$@"
sox -D -n -r 44100 -c 2 -b 16 "$work/cd.wav" synth 60 sine 200-4000 sine 523 pinknoise vol 0.4
sox -D -n -r 48000 -c 6 -b 16 "$work/six.wav" synth 60 sine 200-4000 sine 523 pinknoise \
  sine 330 sine 60 whitenoise vol 0.4
oggenc -Q -q 3 -o "$work/q3.ogg" "$work/cd.wav"
oggenc -Q -q 8 -o "$work/q8.ogg" "$work/cd.wav"
oggenc -Q -q 3 -o "$work/six.ogg" "$work/six.wav" 2>/dev/null

for f in q3.ogg q8.ogg six.ogg; do
  race oggdec "$work/$f" 'oggdec -Q -o - "$1" > /dev/null'
done
