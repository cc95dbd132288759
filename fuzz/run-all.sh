#!/usr/bin/env bash
# fuzz/run-all.sh [SECONDS] [JOBS]: runs every built fuzz target for SECONDS
# (default 20) over a scratch copy of its seed corpus, JOBS targets at a time
# (default: one per core). Fails when any target finds something, after
# printing the end of its log and the input that found it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-20}
jobs=${2:-$(nproc)}
shopt -s nullglob
targets=("$top"/build-fuzz/fuzz/fuzz_*)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets built"; exit 0; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# one TARGET: a run of one target; its log and verdict go to $work.
one() {
  local t=$1 name=${1##*/fuzz_}
  mkdir -p "$work/$name"
  [ -d "$top/fuzz/corpus/$name" ] && cp -r "$top/fuzz/corpus/$name/." "$work/$name/"
  if "$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
       -artifact_prefix="$work/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz $name: ${secs}s, $(grep -oE '^#[0-9]+' "$work/$name.log" | tail -n 1 | tr -d '#') runs"
  else
    touch "$work/$name.failed"
    echo "fuzz $name: FAILED"
  fi
}

for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  one "$t" &
done
wait
failed=("$work"/*.failed)
for f in "${failed[@]}"; do
  name=$(basename "$f" .failed)
  echo "=== $name"; tail -n 60 "$work/$name.log"
  for a in "$work/$name"-*; do echo "input: $a"; xxd "$a" | head -n 20; done
done
[ ${#failed[@]} -eq 0 ]
