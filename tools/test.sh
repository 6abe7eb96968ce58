#!/usr/bin/env bash
# Builds both hosts and runs every test: natively, the Windows build under
# wine, then each fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
export WINEDEBUG=-all
# A wine prefix of the tree's own, so the Windows tests do not depend on $HOME
# and start from a clean registry.
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-prefix}"
for host in native windows; do
  # The native build builds every benchmark too (not runs them), so none can
  # stop compiling unseen.
  options=(-DDROMIKA_TESTS=ON)
  if [ "$host" = native ]; then options+=(-DDROMIKA_BENCH=ON); fi
  cmake --preset "$host" "${options[@]}" >/dev/null
  cmake --build --preset "$host"
  ctest --preset "$host"
done
# The decoders of untrusted input, fuzzed briefly with libFuzzer.
fuzz/run.sh 15
