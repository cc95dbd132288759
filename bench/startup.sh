#!/usr/bin/env bash
# Start-up of the player next to mpv and a bare Qt 6 window, on a virtual X
# display, same run: time from process start to its window being mapped, and
# resident memory once the window is up. Run from anywhere:
#   bench/startup.sh [build-dir] [runs]     (default: build, 10)
# Prints the medians and the ratios quillet/mpv and quillet/bare Qt (targets:
# the window shown within 150 ms and within 1.2 times the bare Qt window's
# time, less memory than mpv).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need mpv Xvfb xwininfo
bench_setup 10 "$@"
need_built quillet
need c++ pkg-config
# shellcheck disable=SC2046  # pkg-config prints several flags
c++ -std=c++20 -O2 -fPIC $(pkg-config --cflags Qt6Widgets) "$top/bench/bare_window.cpp" \
  $(pkg-config --libs Qt6Widgets) -o "$work/bare_window" ||
  { echo "the bare Qt window does not build" >&2; exit 2; }

# The display lives as long as the child shell; it gets this script's helpers,
# build, runs and scratch folder through the environment.
export BENCH_LIB=$top/bench/lib.sh BENCH_BUILD=$build BENCH_RUNS=$runs BENCH_WORK=$work
"$top/scripts/with-xvfb.sh" 1024x768x24 -- bash -c '
set -euo pipefail
. "$BENCH_LIB"
work=$BENCH_WORK
export SDL_AUDIODRIVER=dummy
# A settings folder and a runtime folder of its own: no saved list of the
# user is read or replaced, and no running player takes the start over.
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
# measure TITLE CMD...: prints "ms rss_kib" for one start.
measure() {
  local title=$1; shift
  local t0 t1 pid id=""
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1 & pid=$!
  while :; do
    id=$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$title\"" "index(\$0, t) {print \$1; exit}" || true)
    if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep IsViewable >/dev/null; then break; fi
    kill -0 $pid 2>/dev/null || { echo "$title: ended before its window showed" >&2; exit 1; }
    # A window that never shows must not hang an unattended run.
    if (( $(date +%s%N) - t0 > 30000000000 )); then
      kill -TERM $pid; echo "$title: no window after 30 s" >&2; exit 1
    fi
  done
  t1=$(date +%s%N)
  sleep 0.5
  local rss
  rss=$(awk "/^VmRSS/ {print \$2}" /proc/$pid/status)
  kill -TERM $pid; wait $pid 2>/dev/null || true
  echo "$(( (t1 - t0) / 1000000 )) $rss"
}

cd "$BENCH_BUILD"
# Warm the file cache once for each, so every run starts alike.
measure "Quillet 0.6" ./quillet >/dev/null
measure "mpvbench" mpv --force-window=yes --idle=yes --title=mpvbench --no-config >/dev/null
measure "qtbench" "$work/bare_window" qtbench >/dev/null
: > "$work/q"; : > "$work/m"; : > "$work/b"
for i in $(seq 1 "$BENCH_RUNS"); do
  measure "Quillet 0.6" ./quillet >> "$work/q"
  measure "mpvbench" mpv --force-window=yes --idle=yes --title=mpvbench --no-config >> "$work/m"
  measure "qtbench" "$work/bare_window" qtbench >> "$work/b"
done
qt=$(cut -d" " -f1 "$work/q" | median); qm=$(cut -d" " -f2 "$work/q" | median)
mt=$(cut -d" " -f1 "$work/m" | median); mm=$(cut -d" " -f2 "$work/m" | median)
bt=$(cut -d" " -f1 "$work/b" | median); bm=$(cut -d" " -f2 "$work/b" | median)
printf "runs: %s (medians; window mapped, RSS 0.5 s later)\n" "$BENCH_RUNS"
printf "quillet: %6s ms  %8s KiB\n" "$qt" "$qm"
printf "mpv:     %6s ms  %8s KiB\n" "$mt" "$mm"
printf "bare Qt: %6s ms  %8s KiB\n" "$bt" "$bm"
echo "ratio quillet/mpv: time $(ratio "$qt" "$mt"), memory $(ratio "$qm" "$mm")"
echo "ratio quillet/bare Qt window: time $(ratio "$qt" "$bt"), memory $(ratio "$qm" "$bm")"
table_row "start-up: window shown" mpv "$qt ms" "$mt ms" "$(ratio "$qt" "$mt")" "$(verdict "< 150 ms" "$qt")"
table_row "start-up: window shown" "bare Qt 6 window" "$qt ms" "$bt ms" "$(ratio "$qt" "$bt")" \
  "$(verdict "<= 1.2" "$(ratio "$qt" "$bt" %.6f)")"
table_row "start-up: memory (RSS)" mpv "$qm KiB" "$mm KiB" "$(ratio "$qm" "$mm")" \
  "$(verdict "< 1" "$(ratio "$qm" "$mm" %.6f)")"
'
