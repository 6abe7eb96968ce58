#!/usr/bin/env bash
# Builds both hosts and runs every test: natively, the Windows build under
# wine, then each fuzz target for a few seconds, then the packages made from
# those builds (the .deb's install test runs as root, as in CI).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh test package
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
# The packages from the builds above: the zip linked by an application, the
# .deb installed, used and purged.
tools/package.sh
tests/package/zip_test.sh build/packages/dromika-*-win64.zip
tests/package/deb_test.sh build/packages/dromika_*.deb
