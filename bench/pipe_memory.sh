#!/usr/bin/env bash
# The peak memory (RSS) of decoding an hour of 24-bit 96 kHz FLAC to a pipe,
# `quillet-cli decode F - | cat >/dev/null` next to `flac -d -c` (target: ours
# under 64 MiB: the PCM streams through, it is never held).
#   bench/pipe_memory.sh [build-dir] [runs]     (runs is not used: one run)
# BENCH_RSS_SECONDS=N makes the FLAC N seconds instead of 3600.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need sox flac
cli_setup 1 "$@"
command -v /usr/bin/time >/dev/null || { echo "/usr/bin/time is not installed" >&2; exit 2; }

# Made straight from a pipe (no hour of WAV on disk); a tone encodes fast,
# and the memory a decoder holds does not depend on the sound.
seconds=${BENCH_RSS_SECONDS:-3600}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "BENCH_RSS_SECONDS must be a whole number above 0" >&2; exit 1; }
long=$work/long.flac
sox -n -r 96000 -c 2 -b 24 -e signed -L -t raw - synth "$seconds" sine 440 vol 0.5 |
  flac -s -0 --force-raw-format --endian=little --sign=signed --channels=2 --bps=24 \
    --sample-rate=96000 -o "$long" - 2>"$work/err" || failed "making $long"

# peak CMD...: the peak RSS in KiB of CMD writing to a pipe (cat is not counted).
peak() {
  /usr/bin/time -f %M -o "$work/rss" "$@" 2>"$work/err" | cat >/dev/null || failed "$@"
  tail -n 1 "$work/rss"
}
ours=$(peak "$cli" decode "$long" -)
theirs=$(peak flac -s -d -c "$long")
echo "peak RSS decoding $seconds s of 24-bit 96 kHz FLAC to a pipe: quillet $ours KiB, flac $theirs KiB"
table_row "pipe: peak RSS, $seconds s of 24/96 FLAC" flac "$ours KiB" "$theirs KiB" \
  "$(ratio "$ours" "$theirs")" "$(verdict "< 65536" "$ours")"
