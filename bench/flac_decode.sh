#!/usr/bin/env bash
# FLAC decoding speed next to the reference tool, same run: 60-second FLAC
# files (stereo 16-bit 44.1 kHz at level 5 and 8, and 24-bit 96 kHz) are
# decoded by `quillet-cli decode --null F` and by `flac -d -c F > /dev/null`.
# Reports the median wall time of each and the speed ratio flac/quillet
# (target: >= 0.95).
#   bench/flac_decode.sh [build-dir] [runs]     (default: build, 7)
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox flac
cli_setup 7 "$@"
corpus flac

for f in "${files[@]}"; do
  race "$corpus/$f" flac '>= 0.95' 'flac -d -c "$1" > /dev/null'
done
