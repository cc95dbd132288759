#!/usr/bin/env bash
# bench/playlist.sh [BUILD_DIR]: reads a generated 100 000-entry extended M3U
# with `quillet-cli playlist` and, for comparison, `wc -l` on the same file in
# the same run. Prints the best of 5 runs of each (wall and CPU time) and the
# ratio of the wall times. Needs /usr/bin/time (package time).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$build/quillet-cli
[ -x "$cli" ] || { echo "no $cli (build with QUILLET_PARTS including playlist;cli)"; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
list=$work/big.m3u
entries=100000

# Windows-style lines: CR LF, titles with commas, relative paths with "\".
awk -v n=$entries 'BEGIN {
  printf "#EXTM3U\r\n";
  for (i = 1; i <= n; i++) {
    printf "#EXTINF:%d,Artist %d, Song number %d\r\n", 120 + i % 300, i % 977, i;
    printf "Music\\Artist %d\\Album %d\\%05d - Song number %d.mp3\r\n", i % 977, i % 31, i, i;
  }
}' > "$list"

# Best of 5 runs of a command: wall time and CPU time (user + sys), in ms.
# On a busy machine the wall time grows with the load; the CPU time does not.
best_of_5() {
  local best_wall="" best_cpu=""
  for _ in 1 2 3 4 5; do
    local t0 t1 wall cpu
    t0=$(date +%s%N)
    cpu=$( { /usr/bin/time -f '%U %S' "$@" > /dev/null; } 2>&1 | awk '{ printf "%d", ($1 + $2) * 1000 }')
    t1=$(date +%s%N)
    wall=$(( (t1 - t0) / 1000000 ))
    if [ -z "$best_wall" ] || [ "$wall" -lt "$best_wall" ]; then best_wall=$wall; fi
    if [ -z "$best_cpu" ] || [ "$cpu" -lt "$best_cpu" ]; then best_cpu=$cpu; fi
  done
  echo "$best_wall $best_cpu"
}

lines=$("$cli" playlist "$list" | wc -l)
[ "$lines" -eq $((entries + 1)) ] || { echo "quillet-cli printed $lines lines"; exit 1; }
read -r cli_wall cli_cpu < <(best_of_5 "$cli" playlist "$list")
read -r wc_wall wc_cpu < <(best_of_5 wc -l "$list")
printf 'file: %d entries, %d bytes; load average %s\n' $entries "$(stat -c %s "$list")" \
  "$(cut -d' ' -f1 /proc/loadavg)"
printf '%-22s %8s %8s\n' "" "wall ms" "cpu ms"
printf '%-22s %8d %8d\n' "quillet-cli playlist" "$cli_wall" "$cli_cpu"
printf '%-22s %8d %8d\n' "wc -l" "$wc_wall" "$wc_cpu"
awk -v a="$cli_wall" -v b="$wc_wall" 'BEGIN { printf "ratio cli / wc (wall): %.1f\n", a / (b > 0 ? b : 1) }'
