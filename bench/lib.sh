# Shared by the benchmark scripts (sourced, not run).

# wall CMD...: seconds one run of CMD takes (its output discarded).
wall() {
  local s e
  s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN {printf "%.4f\n", e - s}'
}

# median: the median of the numbers on standard input, one a line.
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# need TOOL...: stops with a clear message when a reference tool is missing.
need() {
  local t
  for t in "$@"; do command -v "$t" >/dev/null || { echo "$t is not installed" >&2; exit 2; }; done
}

# cli_setup [BUILD] [RUNS]: sets top, build, runs and cli (quillet-cli of that
# build, which must exist) and makes a scratch folder $work, removed at exit.
cli_setup() {
  top=$(cd "$(dirname "$0")/.." && pwd)
  build=$(cd "${1:-$top/build}" && pwd)
  runs=${2:-7}
  cli=$build/quillet-cli
  [ -x "$cli" ] || { echo "no $cli: build it first" >&2; exit 2; }
  work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
}

# race NAME FILE REF: decodes FILE with `quillet-cli decode --null` and with
# the shell command REF (FILE is its $1) $runs times each, then prints both
# medians and the ratio REF/quillet (above 1: we are faster).
race() {
  local name=$1 file=$2 ref=$3 i q r
  : >"$work/q"; : >"$work/r"
  for ((i = 1; i <= runs; i++)); do
    wall "$cli" decode --null "$file" >>"$work/q"
    wall sh -c "$ref" _ "$file" >>"$work/r"
  done
  q=$(median <"$work/q"); r=$(median <"$work/r")
  awk -v f="${file##*/}" -v n="$name" -v q="$q" -v r="$r" 'BEGIN {
    printf "%-13s quillet %.3f s, %s %.3f s, ratio %s/quillet %.2f\n", f, q, n, r, n, r / q
  }'
}
