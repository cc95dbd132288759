#!/usr/bin/env bash
# Loudness scanning next to FFmpeg's EBU R128 meter, same run: a set of 10
# corpus files in 10 formats (60 s each by default) is measured by
# `quillet-cli loudness F...` (one file per thread, every core) and by
# `ffmpeg -af ebur128=peak=true -f null -` on each file in turn; FFmpeg two
# files at a time is shown too, for comparison only. Reports the median wall
# time of each, the CPU time of ours (both cores busy: about twice the wall
# time) and the ratio ffmpeg/quillet (target: > 1).
#   bench/loudness.sh [build-dir] [runs]     (default: build, 5)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need ffmpeg /usr/bin/time
cli_setup 5 "$@"
set_files=()
for kind in wave flac vorbis mpc wm ffmpeg; do corpus "$kind"; done
for f in pcm16.wav cd5.flac hr24.flac q3.ogg six.ogg standard.mpc v2.mp3 v2.wma opus.opus aac.m4a; do
  set_files+=("$corpus/$f")
done

# Every file measured, or the timing means nothing.
measured=$("$cli" loudness "${set_files[@]}" 2>"$work/err" | grep -c '^integrated: ') ||
  failed "$cli" loudness "${set_files[@]}"
[ "$measured" -eq ${#set_files[@]} ] || { echo "quillet-cli measured $measured files" >&2; exit 1; }

meter() { ffmpeg -nostats -hide_banner -i "$1" -af ebur128=peak=true -f null - 2>/dev/null; }
one_by_one() { for f; do meter "$f"; done; }
two_at_once() { printf '%s\0' "$@" | xargs -0 -n 1 -P 2 bash -c 'meter "$1"' _; }
export -f meter one_by_one two_at_once
secs() { awk -v v="$1" 'BEGIN {printf "%.3f s", v / 1000}'; }

: >"$work/q"; : >"$work/qc"; : >"$work/r"; : >"$work/r2"
for ((i = 1; i <= runs; i++)); do
  read -r w c <<<"$(wall_cpu "$cli" loudness "${set_files[@]}")"
  echo "$w" >>"$work/q"; echo "$c" >>"$work/qc"
  read -r w _ <<<"$(wall_cpu bash -c 'one_by_one "$@"' _ "${set_files[@]}")"
  echo "$w" >>"$work/r"
  read -r w _ <<<"$(wall_cpu bash -c 'two_at_once "$@"' _ "${set_files[@]}")"
  echo "$w" >>"$work/r2"
done
q=$(median <"$work/q") qc=$(median <"$work/qc") r=$(median <"$work/r") r2=$(median <"$work/r2")
printf 'loudness of %d files: quillet %s (CPU %s), ffmpeg one by one %s, ffmpeg two at a time %s\n' \
  ${#set_files[@]} "$(secs "$q")" "$(secs "$qc")" "$(secs "$r")" "$(secs "$r2")"
printf 'ratio ffmpeg/quillet %s, two at a time %s\n' "$(ratio "$r" "$q")" "$(ratio "$r2" "$q")"
label="loudness: ${#set_files[@]} files"
table_row "$label" "ffmpeg ebur128" "$(secs "$q")" "$(secs "$r")" "$(ratio "$r" "$q")" \
  "$(verdict "> 1" "$(ratio "$r" "$q" %.6f)")"
table_row "$label" "ffmpeg ebur128, 2 at once" "$(secs "$q")" "$(secs "$r2")" "$(ratio "$r2" "$q")" -
