#!/usr/bin/env bash
# Memory over a long listen to internet radio: `quillet-cli play URL` (no
# sound card: SDL's dummy driver) and mpv next to it, both listening to one
# Icecast station on the loopback interface (tests/support/icecast.sh) whose
# title changes every 10 s and whose server is killed and restarted once
# halfway (our reconnect; mpv, which does not, is started again). RSS is
# read every 5 s; the growth is the peak of the
# last half less the peak of the first minute's end (target: ours under
# 1 MiB: the stream's buffer is fixed, nothing piles up).
#   bench/stream_memory.sh [build-dir] [runs]     (runs is not used: one run)
# The listen lasts BENCH_STREAM_SECONDS, by default ten times BENCH_SECONDS
# (run-all's corpus length, 60 by default): ten minutes.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need icecast2 ezstream sox lame curl mpv setpriv
cli_setup 1 "$@"

seconds=${BENCH_STREAM_SECONDS:-$((10 * ${BENCH_SECONDS:-60}))}
[[ $seconds =~ ^[1-9][0-9]*$ ]] && ((seconds >= 20)) ||
  { echo "BENCH_STREAM_SECONDS must be a whole number of at least 20" >&2; exit 1; }
export LIFETIME=$((seconds + 120))
start_station "$LIFETIME"

cleanup() {
  kill -KILL "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
  "$icecast" stop "$station" 2>/dev/null || true
  rm -rf "$work"
}
pids=()
trap cleanup EXIT
SDL_AUDIODRIVER=dummy "$cli" play "$url" >/dev/null 2>"$work/ours.err" &
pids+=($!)
# mpv does not reconnect by itself: it is started again after the restart.
reference() {
  mpv --no-config --no-video --ao=null --really-quiet "$url" >/dev/null 2>&1 &
  pids[1]=$!
}
reference

rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
: >"$work/samples"
for ((t = 5; t <= seconds; t += 5)); do
  sleep 5
  ((t % 10 == 0)) && "$icecast" title "$station" "Bench Artist - Song at $t s" || true
  if ((t == seconds / 2)); then
    "$icecast" kill "$station"
    sleep 3
    "$icecast" restart "$station" 2>"$work/err" || failed "$icecast restart"
  fi
  kill -0 "${pids[0]}" 2>/dev/null || { cat "$work/ours.err" >&2; failed "quillet-cli play ended at $t s"; }
  kill -0 "${pids[1]}" 2>/dev/null || reference
  echo "$t $(rss "${pids[0]}") $(rss "${pids[1]}")" >>"$work/samples"
done

# growth COLUMN: the last half's peak less the peak at the end of the first minute.
growth() {
  awk -v c="$1" -v n="$seconds" -v first="$((seconds < 120 ? seconds / 4 : 60))" '
    $1 <= first && $c > a {a = $c}
    $1 > n / 2 && $c > b {b = $c}
    END {print b - a}' "$work/samples"
}
peak() { awk -v c="$1" '$c > p {p = $c} END {print p}' "$work/samples"; }
ours=$(growth 2) theirs=$(growth 3)
echo "RSS over $seconds s of a stream (KiB; seconds, quillet, mpv):"
awk 'NR % 12 == 0' "$work/samples"
echo "growth after the first minute: quillet $ours KiB, mpv $theirs KiB"
table_row "stream: RSS growth over $seconds s" mpv "$ours KiB" "$theirs KiB" \
  "$(ratio "$ours" "$theirs")" "$(verdict "< 1024" "$ours")"
table_row "stream: peak RSS over $seconds s" mpv "$(peak 2) KiB" "$(peak 3) KiB" \
  "$(ratio "$(peak 2)" "$(peak 3)")" -
