#!/usr/bin/env bash
# scripts/screenshots.sh [BUILD_DIR]: the README's pictures of the window
# (docs/window.png at its drawn size, docs/window-800x600.png), taken on a
# virtual X display while a track plays. A few tagged tracks are made here;
# the helper program is compiled against the build's libraries.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
libs=(src/app/libquillet_app.a src/player/libquillet_player.a src/loudness/libquillet_loudness.a
      src/output/libquillet_output.a
      src/app/libquillet_mime_types.a src/app/libquillet_lang_config.a
      src/decoders/libquillet_decoders.a src/tags/libquillet_tags.a
      src/playlist/libquillet_playlist.a src/core/libquillet_core.a)
for l in "${libs[@]}"; do [ -e "$build/$l" ] || { echo "no $build/$l: build it first" >&2; exit 2; }; done

# Four minutes of a quiet tone, then one tagged copy per track.
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 240 sine 440 vol 0.05
oggenc -Q -q 0 -o "$work/tone.ogg" "$work/tone.wav"
mkdir "$work/tracks"
n=0
while IFS='|' read -r artist title; do
  n=$((n + 1))
  f=$work/tracks/$(printf '%02d' "$n").ogg
  cp "$work/tone.ogg" "$f"
  vorbiscomment -w -t "ARTIST=$artist" -t "TITLE=$title" "$f"
done <<'TRACKS'
Harbour Lights|Morning Tide
Harbour Lights|Salt and Rope
The Quiet Engines|Northbound
The Quiet Engines|Lantern Street
Mira Solenne|Paper Moons
Mira Solenne|Glass Orchard
Old Canal Band|Lock Keeper's Waltz
Old Canal Band|Towpath
Fennick & Rowe|Second Light
Fennick & Rowe|Almost Home
TRACKS
# The album's cover, found beside the tracks.
ffmpeg -v error -f lavfi -i "gradients=s=400x400:c0=0x1d3557:c1=0xe07a5f:x0=0:y0=0:x1=400:y1=400" \
  -frames:v 1 "$work/tracks/cover.png"

# shellcheck disable=SC2046  # pkg-config prints several flags
c++ -std=c++20 -O2 -fPIC $(pkg-config --cflags Qt6Widgets) \
    -I"$top/src/app" -I"$top/src/core" -I"$top/src/output" -I"$top/src/decoders" \
    -I"$top/src/playlist" -I"$top/src/player" -I"$top/src/loudness" -I"$top/src/tags" "$top/scripts/screenshots.cpp" \
    -Wl,--start-group "${libs[@]/#/$build/}" -Wl,--end-group \
    $(pkg-config --libs Qt6Widgets Qt6DBus uchardet) -ldl -pthread -o "$work/screenshots"

printf 'en\r\n' >"$work/lang.cfg"
mkdir -p "$top/docs"
(cd "$work" && SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=xcb \
  "$top/scripts/with-xvfb.sh" 1024x768x24 -- ./screenshots "$work/tracks" "$top/docs")
ls -l "$top/docs/window.png" "$top/docs/window-800x600.png" "$top/docs/window-find.png"
