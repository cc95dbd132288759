#!/usr/bin/env bash
# Decoding to a pipe, next to each format's reference tool in the same run:
# `quillet-cli decode F - | cat >/dev/null` against `flac -d -c`,
# `oggdec -o -`, `mpcdec F -` and `sox F -t wav -`, each piped the same way
# (target: at least 0.95 of each tool's speed). pipe_memory.sh measures the
# memory the same command holds.
#   bench/pipe_decode.sh [build-dir] [runs]     (default: build, 5)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox flac oggdec mpcdec
cli_setup 5 "$@"

export RACE_OURS="'$cli'"' decode "$1" - | cat >/dev/null' RACE_LABEL=" (pipe)"
corpus flac
race "$corpus/cd5.flac" flac '>= 0.95' 'flac -s -d -c "$1" | cat >/dev/null'
race "$corpus/hr24.flac" flac '>= 0.95' 'flac -s -d -c "$1" | cat >/dev/null'
corpus vorbis
race "$corpus/q3.ogg" oggdec '>= 0.95' 'oggdec -Q -o - "$1" | cat >/dev/null'
corpus mpc
race "$corpus/standard.mpc" mpcdec '>= 0.95' 'mpcdec "$1" - 2>/dev/null | cat >/dev/null'
corpus wave
race "$corpus/pcm16.wav" sox '>= 0.95' 'sox "$1" -t wav - | cat >/dev/null'
