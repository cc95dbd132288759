#!/usr/bin/env bash
# fuzz/run-all.sh [SECONDS]: runs every built fuzz target for SECONDS (default 20)
# over a scratch copy of its seed corpus; fails on the first finding.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-20}
shopt -s nullglob
targets=("$top"/build-fuzz/fuzz/fuzz_*)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets built"; exit 0; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  name=${t##*/fuzz_}
  mkdir -p "$work/$name"
  [ -d "$top/fuzz/corpus/$name" ] && cp -r "$top/fuzz/corpus/$name/." "$work/$name/"
  echo "fuzz $name: ${secs}s"
  "$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
       -artifact_prefix="$work/$name-" "$work/$name" >"$work/$name.log" 2>&1 \
    || { tail -n 60 "$work/$name.log"; echo "fuzz $name: FAILED"; exit 1; }
  grep -E '^#[0-9]+.*DONE' "$work/$name.log" | tail -n 1 || true
done
