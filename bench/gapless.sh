#!/usr/bin/env bash
# Gapless playback judged by a real sound server, next to mpv
# (--gapless-audio=yes) on the same files in the same run. One continuous
# recording is cut at exact sample positions into 10 tracks of 1 s (WAV, FLAC,
# LAME MP3) or of 0.2 s (WAV); each player plays each list into a private
# pulseaudio's null sink while parec records the sink's monitor. Reports, for
# each list and player, the samples inserted at the worst seam (target: 0),
# and for the 1 s lists the CPU seconds (user + sys) per second of audio
# (target: ours no more than mpv's; the server's CPU is printed beside it).
# About 90 s a run.
#   bench/gapless.sh [build-dir] [runs]     (default: build, 3)
# pulseaudio refuses to run as root: run by root, the server runs as nobody.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
need mpv sox flac lame ffmpeg python3 pulseaudio parec pactl setpriv pgrep /usr/bin/time
cli_setup 3 "$@"

# Every process started here is stopped on the way out, whatever the way:
# a player with the processes under it, parec, the server.
pa_pid='' rec_pid='' player_pid=''
tree() {
  local c
  echo "$1"
  for c in $(pgrep -P "$1"); do tree "$c"; done
}
stop() {
  local p all=()
  for p in $player_pid $rec_pid $pa_pid; do mapfile -t -O ${#all[@]} all < <(tree "$p"); done
  ((${#all[@]} == 0)) || kill "${all[@]}" 2>/dev/null || true
  for p in $player_pid $rec_pid $pa_pid; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The server: nothing but a native socket of its own and a null sink that
# takes our sample format as it is (no resampling, no conversion).
pa=$work/pulse
mkdir -p "$pa/home" "$pa/run"
cat >"$pa/server.pa" <<EOF
load-module module-native-protocol-unix socket=$pa/run/native auth-anonymous=1
load-module module-null-sink sink_name=bench rate=44100 channels=2 format=s16le
set-default-sink bench
EOF
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  id nobody >/dev/null 2>&1 || { echo "no user 'nobody' to run pulseaudio as" >&2; exit 2; }
  chmod 711 "$work"
  chown -R nobody:"$(id -g nobody)" "$pa"
  as_server=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi
# A clean environment: no session bus, no other server to find.
env -i PATH=/usr/bin:/bin HOME="$pa/home" XDG_RUNTIME_DIR="$pa/run" "${as_server[@]}" \
  pulseaudio -n -F "$pa/server.pa" --daemonize=no --use-pid-file=no --system=no \
  --exit-idle-time=-1 --realtime=no --high-priority=no --log-target=stderr \
  >"$pa/log" 2>&1 &
pa_pid=$!

echo 'autospawn = no' >"$work/client.conf"
export PULSE_SERVER=unix:$pa/run/native PULSE_CLIENTCONFIG=$work/client.conf
export SDL_AUDIODRIVER=pulseaudio
for ((i = 0; i < 50; i++)); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { tail -n 5 "$pa/log" >&2; echo "pulseaudio did not start" >&2; exit 2; }

# server_cpu: CPU ms the server has used so far (the clients' work it does).
server_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{sub(/^.*\) /, ""); printf "%d\n", ($12 + $13) * 1000 / hz}' \
    "/proc/$pa_pid/stat"
}

# record OUT CMD...: runs CMD while the sink's monitor is recorded into OUT,
# and sets played to "wall cpu server" in ms (the server's CPU meanwhile).
record() {
  local out=$1 i s0
  shift
  parec -d bench.monitor --format=s16le --rate=44100 --channels=2 --raw --latency-msec=20 \
    >"$out" 2>"$work/parec.err" &
  rec_pid=$!
  for ((i = 0; i < 50; i++)); do
    [ -n "$(pactl list short source-outputs)" ] && break
    sleep 0.1
  done
  ((i < 50)) || { cat "$work/parec.err" >&2; echo "parec did not start recording" >&2; exit 1; }
  s0=$(server_cpu)
  # In the background: a signal's trap runs at once, not after the player.
  wall_cpu "$@" >"$work/times" &
  player_pid=$!
  wait "$player_pid"
  player_pid=''
  played="$(cat "$work/times") $(($(server_cpu) - s0))"
  # What the server still held reaches the monitor.
  sleep 0.3
  kill "$rec_pid"; wait "$rec_pid" 2>/dev/null || true; rec_pid=''
}

# make_list NAME FORMAT FRAMES: a list of 10 tracks of FRAMES frames each,
# cut in FORMAT (wav, flac or mp3) from one recording (a sweep and noise,
# different on each channel, so that no track starts or ends in silence), and
# what each track must sound like. Sets list[NAME], refs[NAME], tol[NAME].
declare -A list refs tol
make_list() {
  local key=$1 format=$2 frames=$3 dir=$work/$1 t stem
  mkdir "$dir"
  # The rate goes before -n: lengths in samples count at the input's rate.
  sox -D -r 44100 -c 2 -n -b 16 "$dir/recording.wav" synth $((10 * frames))s \
    sine 220-1760 pinknoise remix 1,2 1v-1,2 vol 0.4
  list[$key]='' refs[$key]='' tol[$key]=0
  for ((t = 1; t <= 10; t++)); do
    stem=$dir/track$t
    sox "$dir/recording.wav" "$stem.wav" trim $(((t - 1) * frames))s "${frames}s"
    case $format in
      wav) sox "$stem.wav" -t raw "$stem.raw" ;;
      flac) flac -s -o "$stem.flac" "$stem.wav"; sox "$stem.wav" -t raw "$stem.raw" ;;
      mp3)
        lame --quiet -V 2 "$stem.wav" "$stem.mp3"
        # Its reference: LAME's delay and padding removed, as its header
        # declares them.
        ffmpeg -v error -i "$stem.mp3" -f s16le "$stem.raw"
        tol[$key]=1 ;;
    esac
    list[$key]+=" $stem.$format" refs[$key]+=" $stem.raw"
  done
}
# Not shortened for a quick check: shorter tracks test something else, as
# "short" does: a track change every 0.2 s, which a player's look-ahead must
# keep up with.
seconds=10
lists=(wav flac mp3 short)
for f in wav flac mp3; do make_list "$f" "$f" 44100; done
make_list short wav 8820

# seams WHO LIST: "worst differing missing inside" of WHO's recording of
# LIST (see gapless_seams.py); what was not clean goes to seams.log.
seams() {
  # shellcheck disable=SC2086  # the lists are paths without spaces
  python3 "$top/bench/gapless_seams.py" "${tol[$2]}" "$work/$1.raw" ${refs[$2]} 2>"$work/err" ||
    failed gapless_seams.py "$1" "$2"
  sed "s/^/$1 $2: /" "$work/err" >>"$work/seams.log"
}

# worse A B: the worse of two "worst differing missing inside" results.
worse() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    print (x[1] * x[1] >= y[1] * y[1]) ? x[1] : y[1], (x[2] > y[2] ? x[2] : y[2]),
      (x[3] > y[3] ? x[3] : y[3]), (x[4] * x[4] >= y[4] * y[4]) ? x[4] : y[4]
  }'
}

# play WHO LIST PLAYER...: one recorded run of LIST; adds its CPU time to
# WHO's and folds its seams into WHO's worst; prints a summary.
declare -A worst
play() {
  local who=$1 l=$2 wall cpu server seam
  shift 2
  # shellcheck disable=SC2086  # the list is paths without spaces
  record "$work/$who.raw" "$@" ${list[$l]}
  read -r wall cpu server <<<"$played"
  seam=$(seams "$who" "$l")
  worst[$who-$l]=$(worse "${worst[$who-$l]:-0 0 0 0}" "$seam")
  echo "$cpu" >>"$work/cpu-$who-$l"
  awk -v w="$wall" -v c="$cpu" -v s="$server" -v seam="$seam" -v who="$who" 'BEGIN {
    split(seam, x, " ")
    printf "  %-7s %.3f s cpu, %.2f s wall, server %.3f s cpu; worst seam %d, %d differ, %d lost, %d inside\n",
      who, c / 1000, w / 1000, s / 1000, x[1], x[2], x[3], x[4]
  }'
}
for ((i = 1; i <= runs; i++)); do
  for l in "${lists[@]}"; do
    echo "run $i, $l:"
    play quillet "$l" "$cli" play
    play mpv "$l" mpv --no-config --no-video --ao=pulse --gapless-audio=yes --really-quiet
  done
done
[ ! -s "$work/seams.log" ] || { echo "seams not clean:"; sort "$work/seams.log" | uniq -c; }

# cell "worst differing missing inside": the worst seam as a table cell.
cell() {
  local w d m in text
  read -r w d m in <<<"$1"
  text=$w
  ((m == 0)) || text+=", $m of 10 tracks lost"
  ((d == 0)) || text+=", $d samples differ"
  ((in == 0)) || text+=", $in inserted inside a track"
  echo "$text"
}
for l in "${lists[@]}"; do
  q=${worst[quillet-$l]} m=${worst[mpv-$l]}
  read -r w d lost in <<<"$q"
  # A damaged or lost track, or a pause inside one, fails whatever the seams
  # measure.
  score=${w#-}; ((d + lost == 0 && in == 0)) || score=damaged
  what="gapless $l"; [ "$l" != short ] || what="gapless wav, 0.2 s tracks"
  echo "$what: samples inserted at the worst seam: quillet $(cell "$q"), mpv $(cell "$m")"
  table_row "$what: samples inserted between tracks" mpv "$(cell "$q")" "$(cell "$m")" - \
    "$(verdict '<= 0' "$score")"
  [ "$l" != short ] || continue
  qm=$(median <"$work/cpu-quillet-$l"); mm=$(median <"$work/cpu-mpv-$l")
  qps=$(ratio "$qm" $((seconds * 1000)) %.5f); mps=$(ratio "$mm" $((seconds * 1000)) %.5f)
  echo "$what: cpu per second of audio, 10 tracks: quillet $qps s, mpv $mps s; ratio quillet/mpv $(ratio "$qm" "$mm")"
  table_row "$what: CPU per second, 10 tracks" mpv "$qps s" "$mps s" "$(ratio "$qm" "$mm")" \
    "$(verdict '<= 1' "$(ratio "$qm" "$mm" %.6f)")"
done
