#!/usr/bin/env bash
# scripts/with-xvfb.sh [WxHxD] -- CMD...: runs CMD on a virtual X display of its
# own. The server picks a free display itself (-displayfd) and writes its
# number once it takes connections, so there is no race with other servers
# and CMD never starts before the display is up (xvfb-run -a guesses both).
set -euo pipefail
screen=1024x768x24
if [ "${1:-}" != "--" ]; then screen=$1; shift; fi
[ "${1:-}" = "--" ] && shift
dir=$(mktemp -d)
xpid=""
trap '[ -n "$xpid" ] && kill "$xpid" 2>/dev/null; rm -rf "$dir"' EXIT
Xvfb -displayfd 5 -screen 0 "$screen" -nolisten tcp 5>"$dir/display" 2>"$dir/log" &
xpid=$!
for _ in $(seq 1 200); do [ -s "$dir/display" ] && break; sleep 0.05; done
[ -s "$dir/display" ] || { echo "Xvfb did not start:" >&2; cat "$dir/log" >&2; exit 1; }
DISPLAY=:$(tr -d '[:space:]' <"$dir/display")
export DISPLAY
status=0
"$@" || status=$?
exit "$status"
