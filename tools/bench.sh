#!/usr/bin/env bash
# Builds the benchmarks (native, optimised) and runs them; each prints its
# figures next to the reference it is compared with.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDROMIKA_TESTS=OFF -DDROMIKA_BENCH=ON >/dev/null
cmake --build build/bench
build/bench/bench/foundation_bench
for script in bench/*.sh; do
  [ -e "$script" ] && bash "$script" build/bench
done
