#!/usr/bin/env bash
# tests/output/pulse_server.sh DIR: runs a private PulseAudio server in the
# foreground (exec: the caller's pid is the server's) with nothing but a
# native socket at DIR/run/native and the sinks of DIR/sinks.pa. Clients
# reach it with PULSE_SERVER=unix:DIR/run/native. pulseaudio refuses to run
# as root: run by root, the server runs as nobody.
set -euo pipefail
dir=$1
mkdir -p "$dir/home" "$dir/run"
{
  echo "load-module module-native-protocol-unix socket=$dir/run/native auth-anonymous=1"
  cat "$dir/sinks.pa"
} >"$dir/server.pa"
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 711 "$dir"
  chown -R nobody:"$(id -g nobody)" "$dir/home" "$dir/run"
  as_server=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi
exec env -i PATH=/usr/bin:/bin HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" "${as_server[@]}" \
  pulseaudio -n -F "$dir/server.pa" --daemonize=no --use-pid-file=no --system=no \
  --exit-idle-time=-1 --realtime=no --high-priority=no --log-target=stderr
