#!/usr/bin/env bash
# bench/lists.sh [BUILD_DIR] [RUNS]: the window started with a kept session
# of 10 lists of 10 000 entries, next to one of a single list of 100 000
# (the same files, every entry with its tags and length), in turn, RUNS
# times each (Qt offscreen): the time from the program's start until every
# list is back and the resident memory then. A list not shown should cost
# its entries and nothing more: targets, the ten lists within 1.15 times the
# one list's memory and within 1.2 times its start time. The bench program
# is compiled here against the build's libraries.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
bench_setup 5 "$@"
# shellcheck disable=SC2046  # pkg-config prints several flags
window_program "$top/bench/lists.cpp" "$work/lists" -I"$top/tests/support" \
  $(pkg-config --cflags Qt6DBus Qt6Network)
"$work/lists" make "$work/data" 2>"$work/err" || failed lists make

: >"$work/ten"; : >"$work/one"
for ((i = 1; i <= runs; i++)); do
  for kind in ten one; do
    t=$(cd "$work" && ./lists start "$work/data/$kind" 2>"$work/err") || failed lists start "$kind"
    echo "$t" >>"$work/$kind"
  done
done
# column FILE N: the median of column N of FILE.
column() { awk -v n="$2" '{print $n}' "$1" | median; }
ten_ms=$(column "$work/ten" 1) ten_kib=$(column "$work/ten" 2) ten_gap=$(column "$work/ten" 5)
one_ms=$(column "$work/one" 1) one_kib=$(column "$work/one" 2) one_gap=$(column "$work/one" 5)
read -r _ _ ten_lists ten_entries _ <"$work/ten"
read -r _ _ one_lists one_entries _ <"$work/one"
printf 'kept: %d lists of %d entries in all, and %d list of %d; load average %s\n' \
  "$ten_lists" "$ten_entries" "$one_lists" "$one_entries" "$(cut -d' ' -f1 /proc/loadavg)"
printf '%-36s %10s %10s %8s\n' "medians of $runs runs" "10 lists" "1 list" "ratio"
printf '%-36s %10s %10s %8s\n' "start until every list is back, ms" "$ten_ms" "$one_ms" \
  "$(ratio "$ten_ms" "$one_ms")"
printf '%-36s %10s %10s %8s\n' "resident memory then, KiB" "$ten_kib" "$one_kib" \
  "$(ratio "$ten_kib" "$one_kib")"
printf '%-36s %10s %10s %8s\n' "GUI thread's longest stall, ms" "$ten_gap" "$one_gap" \
  "$(ratio "$ten_gap" "$one_gap")"
r=$(ratio "$ten_kib" "$one_kib")
table_row "10 lists x 10 000 kept: resident memory" "1 list x 100 000" "$ten_kib KiB" \
  "$one_kib KiB" "$r" "$(verdict "<= 1.15" "$r")"
r=$(ratio "$ten_ms" "$one_ms")
table_row "10 lists x 10 000 kept: start until restored" "1 list x 100 000" "$ten_ms ms" \
  "$one_ms ms" "$r" "$(verdict "<= 1.2" "$r")"
