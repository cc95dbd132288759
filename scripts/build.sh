#!/usr/bin/env bash
# scripts/build.sh KIND: configures and builds one flavour of the project.
#   release -> build/       (what ./run.sh starts and ./test.sh tests)
#   asan    -> build-asan/  (AddressSanitizer + UndefinedBehaviorSanitizer)
#   tsan    -> build-tsan/  (ThreadSanitizer)
#   fuzz    -> build-fuzz/  (clang, libFuzzer targets)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
args=(-G Ninja -S "$top" -Wno-dev)
case "$kind" in
  release) dir=build;      args+=(-DCMAKE_BUILD_TYPE=Release) ;;
  # Sanitizer builds: -O1 with line tables only compiles fast and still gives
  # readable reports.
  asan)    dir=build-asan; args+=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1"
                                  "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1" -DQUILLET_SANITIZE=asan) ;;
  tsan)    dir=build-tsan; args+=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1"
                                  "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1" -DQUILLET_SANITIZE=tsan) ;;
  fuzz)    dir=build-fuzz; args+=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1"
                                  "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1" -DQUILLET_FUZZ=ON
                                  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: $0 [release|asan|tsan|fuzz]" >&2; exit 2 ;;
esac
# Objects compiled once are reused by every work tree of the clone.
if command -v ccache >/dev/null; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$top")}
fi
if [ ! -f "$top/$dir/build.ninja" ]; then
  cmake -B "$top/$dir" "${args[@]}" >/dev/null
fi
# Build output goes to stderr: callers read the folder from stdout.
cmake --build "$top/$dir" -j "$(nproc)" >&2
echo "$top/$dir"
