#!/usr/bin/env bash
# Installs what is missing, builds the player (Release, build/) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
./scripts/build.sh release >/dev/null
cd build
exec ./quillet "$@"
