#!/usr/bin/env bash
# Every benchmark of bench/, one after another (two at once would slow each
# other), each next to its reference tool in the same run, then one summary
# table (Markdown, aligned as plain text) to paste into the README. The
# decoding benchmarks share one corpus, made here once.
#   bench/run-all.sh [build-dir] [runs]     (default: build, 5)
# BENCH_SECONDS=N makes the corpus N seconds long instead of 60, for a quick
# check that everything runs (its numbers mean little). A benchmark whose tool
# or library is missing is skipped, and the table says so; the exit status is
# 1 when one failed.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
cli_setup 5 "$@"

# What the numbers came from, taken before the corpus loads the machine.
model=$(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo)
read -r load1 load5 load15 _ </proc/loadavg
about="$(date -u +%F); ${model:-unknown CPU}, $(nproc) cores, $(uname -sr); \
load average at the start $load1 $load5 $load15; runs: $runs; corpus: ${BENCH_SECONDS:-60} s"

export BENCH_CORPUS=$work/corpus BENCH_SECONDS=${BENCH_SECONDS:-60}
mkdir "$BENCH_CORPUS"
echo "making the ${BENCH_SECONDS}-second corpus"
for kind in wave flac vorbis mpc wm ffmpeg; do
  # A shell of its own, so that set -e holds inside it: a kind that cannot be
  # made (a missing encoder) is reported by its benchmark, as skipped.
  bash -c 'set -euo pipefail; . "$1"; corpus "$2"' _ "$top/bench/lib.sh" "$kind" || true
done

decode=$work/decode.tsv other=$work/other.tsv
BENCH_TABLE=$decode table_row input "reference tool" "ours (median)" "reference (median)" \
  "ratio reference/ours" "target met"
BENCH_TABLE=$other table_row measure "reference tool" ours reference "ratio ours/reference" "target met"

# bench NAME TABLE: runs bench/NAME.sh, its rows going to TABLE. A missing
# prerequisite (exit 2) makes a "skipped" row, any other failure a "FAILED" one.
status=0
bench() {
  local script=$1 rc=0 why
  printf '\n== %s\n' "$script"
  BENCH_TABLE=$2 "$top/bench/$script.sh" "$build" "$runs" 2>"$work/stderr" || rc=$?
  cat "$work/stderr" >&2
  why=$(grep -v '^[[:space:]]*$' "$work/stderr" | tail -n 1 || true)
  case $rc in
    0) ;;
    2) BENCH_TABLE=$2 table_row "$script.sh" - - - - "skipped: ${why:-a prerequisite is missing}" ;;
    *) BENCH_TABLE=$2 table_row "$script.sh" - - - - "FAILED (exit $rc): $why"; status=1 ;;
  esac
}
for script in wave_decode adpcm_decode flac_decode vorbis_decode mpc_decode wm_decode ffmpeg_decode pipe_decode loudness; do
  bench "$script" "$decode"
done
for script in pipe_memory playback_cpu dsp_stage measured_gain gapless startup playlist playlist_window add_files \
    list_filter lists stream_memory stream_start; do
  bench "$script" "$other"
done

# markdown TSV: the rows as a Markdown table padded to line up in plain text;
# the numbers (columns 3 to 5) aligned right.
markdown() {
  awk -F'\t' '
    { for (i = 1; i <= NF; i++) { gsub(/\|/, "/", $i); cell[NR, i] = $i
        if (length($i) > w[i]) w[i] = length($i) }
      if (NF > nf) nf = NF }
    END {
      for (r = 1; r <= NR; r++) {
        line = "|"
        for (i = 1; i <= nf; i++)
          line = line sprintf(" %" (i >= 3 && i <= 5 ? "" : "-") w[i] "s |", cell[r, i])
        print line
        if (r > 1) continue
        line = "|"
        for (i = 1; i <= nf; i++) {
          dash = ""; for (k = 0; k < w[i] + (i >= 3 && i <= 5 ? 1 : 2); k++) dash = dash "-"
          line = line dash (i >= 3 && i <= 5 ? ":" : "") "|"
        }
        print line
      }
    }' "$1"
}

printf '\n%s\n\nDecoding, medians (ratio above 1: Quillet is faster)\n\n' "$about"
markdown "$decode"
printf '\nPlayback, start-up and playlists, medians; playlists: best run (ratio below 1: Quillet uses less)\n\n'
markdown "$other"
exit $status
