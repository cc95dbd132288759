#!/usr/bin/env bash
# Musepack decoding speed next to the reference tool, same run: 60-second
# stereo files (44.1 kHz at the standard and the insane profile, and 48 kHz)
# are decoded by `quillet-cli decode --null F` and by `mpcdec F /dev/null`.
# Reports the median wall time of each and the speed ratio mpcdec/quillet
# (target: >= 0.95).
#   bench/mpc_decode.sh [build-dir] [runs]     (default: build, 7)
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox mpcenc mpcdec
cli_setup 7 "$@"
corpus mpc

for f in "${files[@]}"; do
  race "$corpus/$f" mpcdec '>= 0.95' 'mpcdec "$1" /dev/null'
done
