#!/usr/bin/env bash
# `cmake --install` puts the desktop entry and the icon where desktops look,
# and the entry passes the desktop's own validator.
#   desktop_entry.sh BUILD_DIR
set -euo pipefail
build=$1
dest=$(mktemp -d "${QUILLET_TEST_TMP:-/tmp}/install.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" >/dev/null
entry=$(find "$dest" -path "*/share/applications/quillet.desktop")
icon=$(find "$dest" -path "*/share/icons/hicolor/scalable/apps/quillet.svg")
[ -n "$entry" ] || { echo "no desktop entry installed" >&2; exit 1; }
[ -s "$icon" ] || { echo "no icon in the hicolor theme" >&2; exit 1; }
desktop-file-validate "$entry"
grep -qx "Exec=quillet %F" "$entry"
# Every format we play and every playlist type we read is offered.
for type in audio/mpeg audio/flac audio/ogg audio/x-wav audio/x-ms-wma audio/x-musepack \
            audio/x-mpegurl audio/x-scpls audio/x-ms-asx; do
  grep -q "^MimeType=.*$type;" "$entry" || { echo "MimeType lacks $type" >&2; exit 1; }
done
echo "desktop entry: installed and valid"
