#!/usr/bin/env bash
# scripts/package.sh: builds the release (build/, reused when it is up to
# date) and the Debian package made from its install rules; prints the
# package's path. Install it with `apt install ./build/package/quillet_*.deb`.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
dir=$("$top/scripts/build.sh" release | tail -n 1)
rm -f "$dir"/package/quillet_*.deb
(cd "$dir" && cpack -G DEB -B "$dir/package" >&2)
ls "$dir"/package/quillet_*.deb
