#!/usr/bin/env bash
# A real streaming server on the loopback interface for the stream tests and
# the stream bench: Icecast fed by ezstream, with its configuration, logs and
# pid files in a folder of the caller's, on a free port, never as root.
#
#   icecast.sh start DIR   DIR holds src.mp3 (a constant-rate MP3, looped
#                          on mount /mp3) and may hold a.ogg and b.ogg
#                          (played in turn, as one chained stream, on /ogg);
#                          writes DIR/port and returns once the mounts play
#   icecast.sh kill DIR    kills the server (the sources go with it)
#   icecast.sh restart DIR starts the server and its sources again, same port
#   icecast.sh title DIR T sets the title on /mp3 (UTF-8; the admin call)
#   icecast.sh stop DIR    stops everything it started
#
# Everything it starts also stops by itself after LIFETIME seconds (default
# 300), so a test that dies leaves nothing running for long.
set -euo pipefail
cmd=$1 dir=$(cd "$2" && pwd)
admin=admin:quillet-admin

# Root runs the server as nobody: Icecast refuses to run as root. Its files
# (configuration, logs, the sources) then go to a folder of its own under
# /tmp, one per DIR, as DIR may lie where nobody cannot go (a clone in /root).
as_user=()
srv=$dir
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
  srv=/tmp/quillet-icecast-$(printf '%s' "$dir" | md5sum | cut -c1-16)
fi

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

write_config() {
  local port=$1
  if [ "$srv" != "$dir" ]; then
    rm -rf "$srv"
    mkdir -m 0755 "$srv"
    for f in src.mp3 a.ogg b.ogg; do
      if [ -f "$dir/$f" ]; then cp "$dir/$f" "$srv/"; fi
    done
  fi
  mkdir -p "$srv/log"
  cat >"$srv/icecast.xml" <<EOF
<icecast>
  <limits>
    <clients>20</clients><sources>4</sources><queue-size>524288</queue-size>
    <client-timeout>30</client-timeout><header-timeout>15</header-timeout>
    <source-timeout>10</source-timeout>
    <burst-on-connect>1</burst-on-connect><burst-size>${BURST_BYTES:-32768}</burst-size>
  </limits>
  <authentication>
    <source-password>quillet-source</source-password>
    <admin-user>admin</admin-user><admin-password>quillet-admin</admin-password>
  </authentication>
  <hostname>127.0.0.1</hostname>
  <listen-socket><port>$port</port><bind-address>127.0.0.1</bind-address></listen-socket>
  <fileserve>1</fileserve>
  <paths>
    <basedir>$srv</basedir><logdir>$srv/log</logdir>
    <webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot>
  </paths>
  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>
  <security><chroot>0</chroot></security>
</icecast>
EOF
  source_config mp3 MP3 "<type>file</type><filename>$srv/src.mp3</filename>"
  if [ -f "$srv/a.ogg" ]; then
    printf '%s\n' "$srv/a.ogg" "$srv/b.ogg" >"$srv/list.m3u"
    source_config ogg Ogg "<type>playlist</type><filename>$srv/list.m3u</filename>"
  fi
  if [ ${#as_user[@]} -gt 0 ]; then chown -R nobody "$srv"; fi
}

source_config() {
  local mount=$1 format=$2 intake=$3
  cat >"$srv/ezstream-$mount.xml" <<EOF
<ezstream>
  <servers><server>
    <hostname>127.0.0.1</hostname><port>$(cat "$dir/port")</port>
    <password>quillet-source</password><tls>none</tls>
  </server></servers>
  <streams><stream>
    <mountpoint>/$mount</mountpoint><format>$format</format>
    <stream_name>Radio Café</stream_name>
  </stream></streams>
  <intakes><intake>$intake<stream_once>No</stream_once></intake></intakes>
  <metadata><no_updates>Yes</no_updates></metadata>
</ezstream>
EOF
  chmod 600 "$srv/ezstream-$mount.xml"
}

# Starts a program in the background with its pid in DIR/NAME.pid, ended by
# timeout(1) after LIFETIME seconds (a kill reaches the program through it).
run() {
  local name=$1
  shift
  timeout "${LIFETIME:-300}" "$@" >>"$srv/log/$name.out" 2>&1 </dev/null &
  echo $! >"$dir/$name.pid"
}

# Kills a program started by run (at once: "killed" is what the tests mean)
# and its timeout.
stop() {
  local name=$1 pid
  [ -f "$dir/$name.pid" ] || return 0
  pid=$(cat "$dir/$name.pid")
  pkill -KILL -P "$pid" 2>/dev/null || true
  kill "$pid" 2>/dev/null || true
  wait_gone "$pid"
  rm -f "$dir/$name.pid"
}

# Until the process is gone or a zombie (whose reaper is not this shell).
wait_gone() {
  for _ in $(seq 50); do
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null || echo Z)
    [ "$state" = Z ] && return 0
    sleep 0.1
  done
}

# Waits until the server lists the mount (a source feeds it).
wait_for() {
  local mount=$1
  for _ in $(seq 100); do
    curl -s -m 1 -u "$admin" "http://127.0.0.1:$(cat "$dir/port")/admin/listmounts" |
      grep -q "mount=\"/$mount\"" && return 0
    sleep 0.1
  done
  echo "icecast.sh: /$mount never played" >&2
  tail -n 20 "$srv"/log/*.log "$srv"/log/*.out >&2 || true
  return 1
}

start_all() {
  local port
  port=$(cat "$dir/port")
  run icecast "${as_user[@]}" icecast2 -c "$srv/icecast.xml"
  for _ in $(seq 100); do
    curl -s -o /dev/null -m 1 "http://127.0.0.1:$port/" && break
    sleep 0.1
  done
  run ezstream-mp3 "${as_user[@]}" ezstream -c "$srv/ezstream-mp3.xml"
  [ -f "$srv/ezstream-ogg.xml" ] && run ezstream-ogg "${as_user[@]}" ezstream -c "$srv/ezstream-ogg.xml"
  wait_for mp3
  if [ -f "$srv/ezstream-ogg.xml" ]; then wait_for ogg; fi
}

case $cmd in
  start)
    free_port >"$dir/port"
    write_config "$(cat "$dir/port")"
    start_all ;;
  kill)
    stop icecast
    stop ezstream-mp3
    stop ezstream-ogg ;;
  restart)
    start_all ;;
  title)
    song=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "$3")
    curl -s -f -o /dev/null -u "$admin" \
      "http://127.0.0.1:$(cat "$dir/port")/admin/metadata?mount=/mp3&mode=updinfo&charset=UTF-8&song=$song" ;;
  stop)
    stop ezstream-ogg
    stop ezstream-mp3
    stop icecast
    if [ "$srv" != "$dir" ]; then rm -rf "$srv"; fi ;;
  *) echo "usage: $0 start|kill|restart|title|stop DIR [TITLE]" >&2; exit 2 ;;
esac
