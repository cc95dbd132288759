# shellcheck shell=bash
# Shared by the benchmark scripts (sourced, not run). A script exits 2 when
# something it needs is missing (a tool, the build, a library), so that
# run-all.sh can report it as skipped rather than failed.

# Numbers with a decimal point whatever the caller's locale.
export LC_ALL=C

# failed CMD...: stops the script, naming the command that failed and showing
# the end of its error output, so that a failed run is never timed as a result.
failed() {
  echo "failed: $*" >&2
  tail -n 5 "$work/err" >&2
  exit 1
}

# wall CMD...: seconds one run of CMD takes (its output discarded).
wall() {
  local s e
  s=$(date +%s.%N); "$@" >/dev/null 2>"$work/err" || failed "$@"; e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN {printf "%.4f\n", e - s}'
}

# wall_cpu CMD...: "wall cpu" in ms of one run of CMD (CPU: user + sys).
wall_cpu() {
  local t0 t1
  t0=$(date +%s%N)
  /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || failed "$@"
  t1=$(date +%s%N)
  awk -v w=$(((t1 - t0) / 1000000)) '{printf "%d %d\n", w, ($1 + $2) * 1000}' "$work/time"
}

# best CMD...: "wall cpu" in ms, the lowest of each over $runs runs of CMD. On
# a busy machine the wall time grows with the load; the CPU time does not.
best() {
  local i
  for ((i = 1; i <= runs; i++)); do wall_cpu "$@"; done |
    awk 'NR == 1 || $1 < w {w = $1} NR == 1 || $2 < c {c = $2} END {print w, c}'
}

# median: the median of the numbers on standard input, one a line.
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# num FORMAT NUMBER: NUMBER printed with the awk FORMAT (e.g. "%.3f s").
num() { awk -v f="$1" -v v="$2" 'BEGIN {printf f "\n", v}'; }

# ratio A B [FORMAT]: A/B (default format %.2f), or "-" when B is 0.
ratio() {
  awk -v a="$1" -v b="$2" -v f="${3:-%.2f}" 'BEGIN {if (b + 0 == 0) print "-"; else printf f "\n", a / b}'
}

# need TOOL...: stops with a clear message when a reference tool is missing.
need() {
  local t
  for t in "$@"; do command -v "$t" >/dev/null || { echo "$t is not installed" >&2; exit 2; }; done
}

# need_built FILE...: stops when a file the benchmark uses is not in $build.
need_built() {
  local f
  for f in "$@"; do [ -e "$build/$f" ] || { echo "no $build/$f: build it first" >&2; exit 2; }; done
}

# window_program SRC OUT [FLAG...]: compiles a bench program that drives the
# window, against the build's libraries (exits 2 when they are not built).
window_program() {
  local src=$1 out=$2 d
  shift 2
  local libs=(src/app/libquillet_app.a src/app/libquillet_mime_types.a
              src/app/libquillet_lang_config.a src/player/libquillet_player.a
              src/loudness/libquillet_loudness.a src/output/libquillet_output.a
              src/dsp/libquillet_dsp.a src/decoders/libquillet_decoders.a
              src/tags/libquillet_tags.a src/playlist/libquillet_playlist.a
              src/core/libquillet_core.a)
  local includes=()
  need c++ pkg-config
  need_built "${libs[@]}"
  for d in app player loudness core output dsp decoders tags playlist; do includes+=(-I"$top/src/$d"); done
  # shellcheck disable=SC2046  # pkg-config prints several flags
  c++ -std=c++20 -O2 -fPIC $(pkg-config --cflags Qt6Widgets) "${includes[@]}" "$@" "$src" \
      -Wl,--start-group "${libs[@]/#/$build/}" -Wl,--end-group \
      $(pkg-config --libs Qt6Widgets Qt6DBus uchardet taglib zlib) \
      -ldl -pthread -o "$out"
}

# bench_setup DEFAULT_RUNS [BUILD] [RUNS]: sets top, build (which must exist)
# and runs, and makes a scratch folder $work, removed at exit.
bench_setup() {
  top=$(cd "$(dirname "$0")/.." && pwd)
  build=${2:-$top/build}
  [ -d "$build" ] || { echo "no build folder $build: build it first" >&2; exit 2; }
  build=$(cd "$build" && pwd)
  runs=${3:-$1}
  [[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "runs must be a whole number above 0, not '$runs'" >&2; exit 1; }
  work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
}

# cli_setup DEFAULT_RUNS [BUILD] [RUNS]: bench_setup, and sets cli to the
# build's quillet-cli, which must exist.
cli_setup() {
  bench_setup "$@"
  cli=$build/quillet-cli
  [ -x "$cli" ] || { echo "no $cli: build it first" >&2; exit 2; }
}

# make_input DIR FILE: makes the corpus file FILE in DIR (and what it is made
# from) unless it is there. Written aside and renamed when whole, so that a
# failed encoder never leaves a short file to be timed.
make_input() {
  local d=$1 f=$2 s=${BENCH_SECONDS:-60} tmp
  [ -s "$d/$f" ] && return 0
  [[ $s =~ ^[1-9][0-9]*$ ]] || { echo "BENCH_SECONDS must be a whole number above 0, not '$s'" >&2; exit 1; }
  # Same extension: the encoders pick the format by it.
  tmp=$d/.part-$f; rm -f "$tmp"
  # A sweep, a tone and noise: content every codec has to work at.
  local mix=(synth "$s" sine 200-4000 sine 523 pinknoise)
  case $f in
    pcm16.wav) need sox; sox -D -n -r 44100 -c 2 -b 16 "$tmp" "${mix[@]}" vol 0.4 ;;
    hr.wav) need sox; sox -D -n -r 96000 -c 2 -b 24 -t wavpcm "$tmp" "${mix[@]}" vol 0.4 ;;
    dat.wav) need sox; sox -D -n -r 48000 -c 2 -b 16 "$tmp" "${mix[@]}" vol 0.4 ;;
    six.wav) need sox; sox -D -n -r 48000 -c 6 -b 16 "$tmp" "${mix[@]}" sine 330 sine 60 whitenoise vol 0.4 ;;
    float.wav) make_input "$d" pcm16.wav; sox "$d/pcm16.wav" -e floating-point -b 32 "$tmp" ;;
    ima.wav) make_input "$d" pcm16.wav; sox "$d/pcm16.wav" -e ima-adpcm "$tmp" ;;
    msadpcm.wav) make_input "$d" pcm16.wav; sox "$d/pcm16.wav" -e ms-adpcm "$tmp" ;;
    cd5.flac) need flac; make_input "$d" pcm16.wav; flac -s -5 -o "$tmp" "$d/pcm16.wav" ;;
    cd8.flac) need flac; make_input "$d" pcm16.wav; flac -s -8 -o "$tmp" "$d/pcm16.wav" ;;
    hr24.flac) need flac; make_input "$d" hr.wav; flac -s -5 -o "$tmp" "$d/hr.wav" ;;
    q3.ogg) need oggenc; make_input "$d" pcm16.wav; oggenc -Q -q 3 -o "$tmp" "$d/pcm16.wav" ;;
    q8.ogg) need oggenc; make_input "$d" pcm16.wav; oggenc -Q -q 8 -o "$tmp" "$d/pcm16.wav" ;;
    six.ogg) need oggenc; make_input "$d" six.wav; oggenc -Q -q 3 -o "$tmp" "$d/six.wav" 2>/dev/null ;;
    standard.mpc) need mpcenc; make_input "$d" pcm16.wav; mpcenc --silent --standard "$d/pcm16.wav" "$tmp" ;;
    insane.mpc) need mpcenc; make_input "$d" pcm16.wav; mpcenc --silent --insane "$d/pcm16.wav" "$tmp" ;;
    48k.mpc) need mpcenc; make_input "$d" dat.wav; mpcenc --silent --standard "$d/dat.wav" "$tmp" ;;
    v2.mp3) need lame; make_input "$d" pcm16.wav; lame --quiet -V 2 "$d/pcm16.wav" "$tmp" ;;
    cbr320.mp3) need lame; make_input "$d" pcm16.wav; lame --quiet -b 320 "$d/pcm16.wav" "$tmp" ;;
    v2.wma) need ffmpeg; make_input "$d" pcm16.wav
            ffmpeg -v error -i "$d/pcm16.wav" -c:a wmav2 -b:a 192k -f asf "$tmp" ;;
    # The general FFmpeg input's formats (Monkey's Audio has no encoder packaged).
    opus.opus|aac.m4a|adts.aac|alac.m4a|pcm24.aiff|mp2.mp2|tta.tta|pcm.caf|pcm.w64|pcm.au|flac.oga)
      need ffmpeg
      local src=pcm16.wav args
      case $f in
        opus.opus) args=(-c:a libopus -b:a 128k -f opus) ;;
        aac.m4a) args=(-c:a aac -b:a 192k -f ipod) ;;
        adts.aac) args=(-c:a aac -b:a 192k -f adts) ;;
        alac.m4a) src=hr.wav; args=(-c:a alac -f ipod) ;;
        pcm24.aiff) src=hr.wav; args=(-c:a pcm_s24be -f aiff) ;;
        mp2.mp2) args=(-c:a mp2 -b:a 256k -f mp2) ;;
        tta.tta) args=(-f tta) ;;
        pcm.caf) args=(-f caf) ;;
        pcm.w64) src=hr.wav; args=(-c:a pcm_s24le -f w64) ;;
        pcm.au) args=(-f au) ;;
        flac.oga) args=(-c:a flac -f ogg) ;;
      esac
      make_input "$d" "$src"; ffmpeg -v error -i "$d/$src" "${args[@]}" "$tmp" ;;
    wv.wv) need wavpack; make_input "$d" hr.wav; wavpack -q -y "$d/hr.wav" -o "$tmp.wv"; mv "$tmp.wv" "$tmp" ;;
    *) echo "no recipe for corpus file $f" >&2; exit 1 ;;
  esac
  mv "$tmp" "$d/$f"
}

# corpus KIND: sets files to the inputs of the KIND decoding benchmark and
# corpus to the folder that holds them: $BENCH_CORPUS when set (run-all.sh
# makes it once for every benchmark), else $work; missing ones are made now.
corpus() {
  case $1 in
    wave) files=(pcm16.wav float.wav ima.wav msadpcm.wav) ;;
    flac) files=(cd5.flac cd8.flac hr24.flac) ;;
    vorbis) files=(q3.ogg q8.ogg six.ogg) ;;
    mpc) files=(standard.mpc insane.mpc 48k.mpc) ;;
    wm) files=(v2.mp3 cbr320.mp3 v2.wma) ;;
    ffmpeg) files=(opus.opus aac.m4a adts.aac alac.m4a pcm24.aiff wv.wv mp2.mp2 tta.tta pcm.caf
                   pcm.w64 pcm.au flac.oga) ;;
    *) echo "no corpus kind $1" >&2; exit 1 ;;
  esac
  corpus=${BENCH_CORPUS:-$work}
  local f
  for f in "${files[@]}"; do make_input "$corpus" "$f"; done
}

# big_playlist FILE: writes a $playlist_entries-entry extended M3U with
# Windows-style lines: CR LF, titles with commas, relative paths with "\".
playlist_entries=100000
big_playlist() {
  awk -v n=$playlist_entries 'BEGIN {
    printf "#EXTM3U\r\n";
    for (i = 1; i <= n; i++) {
      printf "#EXTINF:%d,Artist %d, Song number %d\r\n", 120 + i % 300, i % 977, i;
      printf "Music\\Artist %d\\Album %d\\%05d - Song number %d.mp3\r\n", i % 977, i % 31, i, i;
    }
  }' >"$1"
}

# verdict "OP LIMIT [UNIT]" VALUE: "yes (OP LIMIT [UNIT])" when VALUE meets
# the target, else "no (...)"; "-" for the target "-" (compared, not aimed at).
verdict() {
  [ "$1" != - ] || { echo -; return; }
  awk -v t="$1" -v v="$2" 'BEGIN {
    split(t, p, " "); n = p[2] + 0
    if (v !~ /^-?[0-9]+(\.[0-9]*)?$/) ok = 0
    else if (p[1] == ">=") ok = v + 0 >= n
    else if (p[1] == ">") ok = v + 0 > n
    else if (p[1] == "<=") ok = v + 0 <= n
    else if (p[1] == "<") ok = v + 0 < n
    else { print "bad target: " t > "/dev/stderr"; exit 1 }
    printf "%s (%s)\n", ok ? "yes" : "no", t
  }'
}

# table_row WHAT REFERENCE OURS THEIRS RATIO VERDICT: when $BENCH_TABLE names
# a file, adds a tab-separated row to it for run-all.sh's summary table.
table_row() {
  [ -n "${BENCH_TABLE:-}" ] || return 0
  local IFS=$'\t'
  echo "$*" >>"$BENCH_TABLE"
}

# race FILE NAME TARGET REF [NAME TARGET REF]...: decodes FILE with
# `quillet-cli decode --null` (or the shell command $RACE_OURS, FILE its $1,
# when set) and with each shell command REF (FILE is its $1),
# in turn, $runs times, then prints the medians and the ratios NAME/quillet
# (above 1: we are faster), and adds one table row for each REF. TARGET is the
# ratio aimed at (e.g. ">= 0.95"), or "-" for a tool only compared with.
race() {
  local file=$1 i j q r line
  shift
  (($# > 0 && $# % 3 == 0)) || { echo "race: FILE, then NAME TARGET REF triples" >&2; exit 1; }
  local -a name=() target=() ref=()
  while (($#)); do name+=("$1"); target+=("$2"); ref+=("$3"); shift 3; done
  # A decode that yields no sound would time as very fast: check there is
  # sound to time first (this also warms the file cache, as the references
  # get it).
  [ "$("$cli" decode --raw "$file" - 2>"$work/err" | wc -c)" -gt 0 ] ||
    failed "$cli" decode --raw "$file" -
  : >"$work/q"
  for j in "${!ref[@]}"; do : >"$work/r$j"; done
  for ((i = 1; i <= runs; i++)); do
    if [ -n "${RACE_OURS:-}" ]; then
      wall sh -c "$RACE_OURS" _ "$file" >>"$work/q"
    else
      wall "$cli" decode --null "$file" >>"$work/q"
    fi
    for j in "${!ref[@]}"; do wall sh -c "${ref[j]}" _ "$file" >>"$work/r$j"; done
  done
  q=$(median <"$work/q")
  line="$(num %-13s "${file##*/}${RACE_LABEL:-}") quillet $(num %.3f "$q") s"
  for j in "${!ref[@]}"; do
    r=$(median <"$work/r$j")
    line+=", ${name[j]} $(num %.3f "$r") s, ratio ${name[j]}/quillet $(ratio "$r" "$q")"
    table_row "${file##*/}${RACE_LABEL:-}" "${name[j]}" "$(num '%.3f s' "$q")" "$(num '%.3f s' "$r")" \
      "$(ratio "$r" "$q")" "$(verdict "${target[j]}" "$(ratio "$r" "$q" %.6f)")"
  done
  echo "$line"
}

# start_station SECONDS: a local Icecast station (tests/support/icecast.sh)
# in $work/station playing a 30 s sweep over noise as a 128 kbit/s MP3 in a
# loop, for at most SECONDS; sets station, icecast and url (the /mp3 mount).
# The caller stops it ("$icecast" stop "$station").
start_station() {
  station=$work/station
  mkdir -p "$station"
  chmod 755 "$work"  # the server runs as nobody when we are root
  sox -n -r 44100 -c 2 -b 16 "$work/src.wav" synth 30 sine 200-2000 pinknoise vol 0.4 \
    2>"$work/err" || failed sox
  lame --quiet -t --cbr -b 128 "$work/src.wav" "$station/src.mp3" 2>"$work/err" || failed lame
  icecast=$top/tests/support/icecast.sh
  LIFETIME=$1 "$icecast" start "$station" 2>"$work/err" || failed "$icecast start"
  url=http://127.0.0.1:$(cat "$station/port")/mp3
}
