#!/usr/bin/env bash
# Musepack decoding speed next to the reference tool, same run: 60-second
# stereo files (44.1 kHz at the standard and the insane profile, and 48 kHz)
# are decoded by `quillet-cli decode --null F` and by `mpcdec F /dev/null`.
# Reports the median wall time of each and the speed ratio mpcdec/quillet
# (target: >= 0.95).
#   bench/mpc_decode.sh [build-dir] [runs]
# The build dir needs quillet-cli with the decoders (a Release build is the
# fair comparison).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox mpcenc mpcdec
cli_setup "$@"
sox -D -n -r 44100 -c 2 -b 16 "$work/cd.wav" synth 60 sine 200-4000 sine 523 pinknoise vol 0.4
sox -D -n -r 48000 -c 2 -b 16 "$work/dat.wav" synth 60 sine 200-4000 sine 523 pinknoise vol 0.4
mpcenc --silent --standard "$work/cd.wav" "$work/standard.mpc"
mpcenc --silent --insane "$work/cd.wav" "$work/insane.mpc"
mpcenc --silent --standard "$work/dat.wav" "$work/48k.mpc"

for f in standard.mpc insane.mpc 48k.mpc; do
  race mpcdec "$work/$f" 'mpcdec "$1" /dev/null'
done
