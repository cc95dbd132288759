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
