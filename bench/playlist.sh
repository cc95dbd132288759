#!/usr/bin/env bash
# bench/playlist.sh [BUILD_DIR] [RUNS]: reads a generated 100 000-entry extended
# M3U with `quillet-cli playlist` and, for comparison, `wc -l` on the same file
# in the same run. Prints the best of RUNS (default 5) runs of each (wall and
# CPU time) and the ratio of the wall times (target: under 100 ms of CPU for
# quillet-cli). Needs /usr/bin/time (package time).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need /usr/bin/time
cli_setup 5 "$@"
list=$work/big.m3u
big_playlist "$list"

lines=$("$cli" playlist "$list" | wc -l)
[ "$lines" -eq $((playlist_entries + 1)) ] || { echo "quillet-cli printed $lines lines" >&2; exit 1; }
t=$(best "$cli" playlist "$list"); read -r cli_wall cli_cpu <<<"$t"
t=$(best wc -l "$list"); read -r wc_wall wc_cpu <<<"$t"
printf 'file: %d entries, %d bytes; load average %s\n' "$playlist_entries" "$(stat -c %s "$list")" \
  "$(cut -d' ' -f1 /proc/loadavg)"
printf '%-22s %8s %8s\n' "" "wall ms" "cpu ms"
printf '%-22s %8d %8d\n' "quillet-cli playlist" "$cli_wall" "$cli_cpu"
printf '%-22s %8d %8d\n' "wc -l" "$wc_wall" "$wc_cpu"
awk -v a="$cli_wall" -v b="$wc_wall" 'BEGIN { printf "ratio cli / wc (wall): %.1f\n", a / (b > 0 ? b : 1) }'
table_row "playlist CLI: 100 000 entries, CPU" "wc -l" "$cli_cpu ms" "$wc_cpu ms" \
  "$(ratio "$cli_cpu" "$wc_cpu")" "$(verdict "< 100 ms" "$cli_cpu")"
