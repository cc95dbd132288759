#!/usr/bin/env bash
# Ogg Vorbis decoding speed next to the reference tool, same run: 60-second
# files (stereo 44.1 kHz at quality 3 and 8, and 5.1 at 48 kHz) are decoded by
# `quillet-cli decode --null F` and by `oggdec -Q -o - F > /dev/null`.
# Reports the median wall time of each and the speed ratio oggdec/quillet
# (target: >= 0.95).
#   bench/vorbis_decode.sh [build-dir] [runs]     (default: build, 7)
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox oggenc oggdec
cli_setup 7 "$@"
corpus vorbis

for f in "${files[@]}"; do
  race "$corpus/$f" oggdec '>= 0.95' 'oggdec -Q -o - "$1" > /dev/null'
done
