#!/usr/bin/env bash
# tests/output/pulse_server.sh DIR: runs a private PulseAudio server in the
# foreground (the caller's pid is the server's, or ends it on SIGTERM) with
# nothing but a native socket at DIR/run/native and the sinks of
# DIR/sinks.pa. Clients reach it with PULSE_SERVER=unix:DIR/run/native.
# pulseaudio refuses to run as root: run by root, the server runs as nobody,
# with its files in a folder of its own under /tmp (DIR may lie where nobody
# cannot go, such as a clone in /root); DIR/run then leads there, and the
# folder goes when the server is ended (SIGTERM).
set -euo pipefail
dir=$(cd "$1" && pwd)
srv=$dir
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  # One folder per DIR, made afresh: runs do not pile up.
  srv=/tmp/quillet-pulse-$(printf '%s' "$dir" | md5sum | cut -c1-16)
  rm -rf "$srv" "$dir/run"
  mkdir -m 0755 "$srv"
  ln -s "$srv/run" "$dir/run"
  as_server=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi
mkdir -p "$srv/home" "$srv/run"
{
  echo "load-module module-native-protocol-unix socket=$srv/run/native auth-anonymous=1"
  cat "$dir/sinks.pa"
} >"$srv/server.pa"
if [ ${#as_server[@]} -gt 0 ]; then chown -R nobody:"$(id -g nobody)" "$srv/home" "$srv/run"; fi
server=(env -i PATH=/usr/bin:/bin HOME="$srv/home" XDG_RUNTIME_DIR="$srv/run" "${as_server[@]}"
  pulseaudio -n -F "$srv/server.pa" --daemonize=no --use-pid-file=no --system=no
  --exit-idle-time=-1 --realtime=no --high-priority=no --log-target=stderr)
if [ "$srv" = "$dir" ]; then exec "${server[@]}"; fi
"${server[@]}" &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid"; rm -rf "$srv"; exit 0' TERM INT
wait "$pid" || true
rm -rf "$srv"
