#!/usr/bin/env bash
# Times a whole native report of this machine against a pipeline of standard
# tools that gathers comparable facts, in the same run, and prints the ratio
# (above 1: the report is faster).
#   bench/report_vs_tools.sh [repetitions, default 10] [build folder, default build/bench]
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${1:-10}
exe=${2:-build/bench}/DromikaCmd
[ -x "$exe" ] || { echo "missing $exe: run tools/bench.sh" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

report() { "$exe" "/out:$work/report.dromika" >/dev/null; }

# The report's facts: drives, IPv4 addresses, processes with the fields the
# report lists, kernel and machine, processors and memory, locale.
tools() {
  {
    df
    if command -v ip >/dev/null; then ip -4 addr; fi
    ps -eo pid,ppid,comm,nlwp,rss,vsz,lstart,time,pri,min_flt,maj_flt,args
    uname -a
    cat /proc/cpuinfo /proc/meminfo
    locale
  } >"$work/tools.txt" 2>/dev/null
}

now_ns() { date +%s%N; }

# Mean milliseconds of `reps` runs, after one warm-up run.
measure() {
  "$1"
  local start end
  start=$(now_ns)
  for ((i = 0; i < reps; i++)); do "$1"; done
  end=$(now_ns)
  awk -v ns=$((end - start)) -v n="$reps" 'BEGIN { printf "%.3f", ns / n / 1e6 }'
}

# Interleaved rounds, so that load from elsewhere hits both alike.
report_ms=0
tools_ms=0
for _ in 1 2 3; do
  report_ms=$(awk -v a="$report_ms" -v b="$(measure report)" 'BEGIN { printf "%.3f", a + b / 3 }')
  tools_ms=$(awk -v a="$tools_ms" -v b="$(measure tools)" 'BEGIN { printf "%.3f", a + b / 3 }')
done

printf 'report of this machine : %8.2f ms  (%s)\n' "$report_ms" "$(wc -c <"$work/report.dromika") bytes"
printf 'standard tools pipeline: %8.2f ms  (%s)\n' "$tools_ms" "$(wc -c <"$work/tools.txt") bytes"
awk -v t="$tools_ms" -v r="$report_ms" 'BEGIN { printf "ratio tools / report   : %8.2f\n", t / r }'
