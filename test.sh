#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; the exit status is the result.
#   ./test.sh        Release build in build/, every test
#   ./test.sh asan   AddressSanitizer + UBSan build in build-asan/, every test
#   ./test.sh tsan   ThreadSanitizer build in build-tsan/, the threaded tests
#   ./test.sh fuzz   libFuzzer targets in build-fuzz/, a short run of each
set -euo pipefail
cd "$(dirname "$0")"
kind=${1:-release}
./scripts/setup.sh
export CTEST_OUTPUT_ON_FAILURE=1
# Two tests a core: most of them wait on a sound device's clock or a server,
# not on the processor, and the suite then takes half the time.
jobs=$(($(nproc) * 2))
case "$kind" in
  release|asan)
    dir=$(./scripts/build.sh "$kind" | tail -n 1)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ctest --test-dir "$dir" -j "$jobs" --timeout 600 ;;
  tsan)
    dir=$(./scripts/build.sh tsan | tail -n 1)
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
    # Qt's own event loop rather than GLib's: GLib is not instrumented, and
    # its wake-ups between Qt's threads read as races that are not ours.
    export QT_NO_GLIB=1
    ctest --test-dir "$dir" -L threaded -j "$jobs" --timeout 900 ;;
  fuzz)
    ./scripts/build.sh fuzz >/dev/null
    ./fuzz/run-all.sh "${FUZZ_SECONDS:-30}" ;;
  *) echo "usage: $0 [asan|tsan|fuzz]" >&2; exit 2 ;;
esac
