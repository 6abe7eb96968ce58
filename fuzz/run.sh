#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each one briefly.
#   fuzz/run.sh [seconds per target, default 20] [build folder, default build/fuzz]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
build="${2:-$root/build/fuzz}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DDROMIKA_FUZZ=ON -DDROMIKA_TESTS=OFF -DDROMIKA_BENCH=OFF >/dev/null
targets=$(cmake --build "$build" --target help | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\):.*/\1/p' | sort -u)
if [ -z "$targets" ]; then
  echo "no fuzz targets" >&2
  exit 1
fi
# shellcheck disable=SC2086
cmake --build "$build" --target $targets
status=0
for target in $targets; do
  corpus="$build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target (${seconds}s)"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" 2>"$build/fuzz/$target.log"; then
    tail -n 40 "$build/fuzz/$target.log" >&2
    status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$build/fuzz/$target.log" | tail -n 2
  fi
done
exit $status
