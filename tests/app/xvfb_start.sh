#!/usr/bin/env bash
# Starts the real program on a virtual X display, waits for its window, keeps
# a screenshot and closes it with SIGTERM; the program must exit with 0.
#   xvfb_start.sh PROGRAM ARTIFACT_DIR
set -euo pipefail
program=$1
artifacts=$2
mkdir -p "$artifacts"
work=$(mktemp -d "${QUILLET_TEST_TMP:-/tmp}/xvfb-start.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'en\r\n' > "$work/lang.cfg"
# The window remembers its place on closing: not in the user's settings.
export XDG_CONFIG_HOME=$work/config

export QUILLET_PROGRAM=$program QUILLET_SHOT=$artifacts/main-window.png QUILLET_WORK=$work
"$(dirname "$0")/../../scripts/with-xvfb.sh" 640x480x24 -- bash -c '
  set -euo pipefail
  cd "$QUILLET_WORK"
  QT_QPA_PLATFORM=xcb "$QUILLET_PROGRAM" & pid=$!
  id=""
  for _ in $(seq 1 400); do
    id=$(xwininfo -root -tree 2>/dev/null | awk "/\"Quillet 0.6\"/ {print \$1; exit}" || true)
    [ -n "$id" ] && xwininfo -id "$id" | grep IsViewable >/dev/null && break
    if ! kill -0 $pid 2>/dev/null; then echo "program ended before its window showed" >&2; exit 1; fi
    sleep 0.05
  done
  xwininfo -id "$id" 2>/dev/null | grep IsViewable >/dev/null || { echo "no window titled \"Quillet 0.6\"" >&2; kill $pid; exit 1; }
  xwininfo -id "$id" | grep -E "Width|Height|Map State"
  sleep 0.5   # let it paint before the picture is taken
  import -window "$id" "$QUILLET_SHOT"
  kill -TERM $pid
  status=0; wait $pid || status=$?
  echo "exit status $status"
  exit $status
'
test -s "$artifacts/main-window.png"
