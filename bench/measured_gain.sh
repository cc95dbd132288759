#!/usr/bin/env bash
# Measured gain for untagged files, two figures:
# - CPU: seconds of CPU the player's measuring takes per minute of audio, for
#   five corpus formats (bench/measure_cpu.cpp, one thread, as the service
#   runs), next to FFmpeg's EBU R128 meter with true peak on the same file
#   (CPU seconds of `ffmpeg -af ebur128=peak=true`, decoding included).
# - Delay: `quillet-cli play --replaygain auto A B` through SDL's disk
#   driver in real time, A a 5-second tone, B a 10-minute untagged MP3 at
#   -10 LUFS: B is queued, and its measurement starts, 5 s before it is
#   heard. The delay is the time from B's first sample to the first 50 ms of
#   B within 0.5 dB of its measured level (0: B started at its gain).
#   bench/measured_gain.sh [build-dir] [runs]     (default: build, 3)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need ffmpeg sox lame c++ pkg-config python3 /usr/bin/time
cli_setup 3 "$@"
libs=(src/loudness/libquillet_loudness.a src/decoders/libquillet_decoders.a
      src/tags/libquillet_tags.a src/core/libquillet_core.a)
need_built "${libs[@]}"
c++ -std=c++20 -O2 -I"$top/src/loudness" -I"$top/src/decoders" -I"$top/src/core" \
    -I"$top/src/tags" $(pkg-config --cflags libebur128 libavcodec) "$top/bench/measure_cpu.cpp" \
    "${libs[@]/#/$build/}" $(pkg-config --libs uchardet taglib zlib) -ldl -pthread -o "$work/measure_cpu"

# --- CPU per minute of audio.
corpus wave; corpus flac; corpus vorbis; corpus wm; corpus ffmpeg
minutes=$(awk -v s="${BENCH_SECONDS:-60}" 'BEGIN {print s / 60}')
for f in pcm16.wav cd5.flac q3.ogg v2.mp3 aac.m4a; do
  : >"$work/q"; : >"$work/r"
  for ((i = 1; i <= runs; i++)); do
    "$work/measure_cpu" "$corpus/$f" 2>"$work/err" | awk '{print $1 * 1000}' >>"$work/q" ||
      failed "$work/measure_cpu" "$corpus/$f"
    read -r _ c <<<"$(wall_cpu ffmpeg -nostats -hide_banner -i "$corpus/$f" \
                      -af ebur128=peak=true -f null -)"
    echo "$c" >>"$work/r"
  done
  q=$(median <"$work/q") r=$(median <"$work/r")
  qm=$(awk -v c="$q" -v m="$minutes" 'BEGIN {printf "%.3f", c / 1000 / m}')
  rm_=$(awk -v c="$r" -v m="$minutes" 'BEGIN {printf "%.3f", c / 1000 / m}')
  echo "measuring $f: ${qm} CPU s per minute of audio, ffmpeg ebur128 ${rm_} s"
  table_row "measuring: CPU s per minute of audio ($f)" "ffmpeg ebur128 (CPU)" "$qm s" "$rm_ s" \
    "$(ratio "$q" "$r")" -
done

# --- Delay between B's start and its gain.
sox -n -r 44100 -c 2 -b 16 "$work/a.wav" synth 5 sine 440 vol 0.03
# A 1 kHz tone at -10 LUFS: its measured gain is -8 dB.
sox -n -r 44100 -c 2 -b 16 "$work/b.wav" synth 600 sine 1000 vol 0.343
lame --quiet -b 192 "$work/b.wav" "$work/b.mp3"
: >"$work/d"
for ((i = 1; i <= runs; i++)); do
  rm -rf "$work/cache" "$work/out.raw"
  # B plays for about 9 s, then the player is killed (SDL takes SIGTERM for
  # itself).
  XDG_CACHE_HOME=$work/cache SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/out.raw \
    timeout -s KILL 16 "$cli" play --replaygain auto "$work/a.wav" "$work/b.mp3" \
    >/dev/null 2>&1 || true
  python3 - "$work/out.raw" >>"$work/d" <<'PY'
import array, math, sys
s = array.array('h'); s.frombytes(open(sys.argv[1], 'rb').read()); frames = len(s) // 2
# A starts at the first sound; B 5 s later, sample for sample.
first = next(i for i in range(0, len(s), 2) if s[i] or s[i + 1]) // 2
b, w = first + 5 * 44100, 2205
def rms(at):
    part = s[2 * at:2 * (at + w)]
    return math.sqrt(sum(x * x for x in part) / max(len(part), 1))
want = 20 * math.log10(rms(frames - 3 * w))  # the end: the gain has long been applied
at = b
while at + w < frames - 3 * w and abs(20 * math.log10(max(rms(at), 1e-9)) - want) > 0.5: at += w
print(int((at - b) * 1000 / 44100))
PY
done
d=$(median <"$work/d")
echo "delay from B's start to its measured gain: ${d} ms (runs: $(tr '\n' ' ' <"$work/d"))"
table_row "measured gain: delay after a 10-min MP3's start, queued 5 s ahead" - "$d ms" - - -
