#!/usr/bin/env bash
# Line coverage of the product code by every native test, measured with gcovr
# on a separate unoptimised build. Extra arguments go to the cmake configure.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh test
command -v gcovr >/dev/null || { echo "gcovr is missing: apt-get install gcovr" >&2; exit 2; }
build=build/coverage
flags="--coverage -O0"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDROMIKA_TESTS=ON \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage "$@" >/dev/null
cmake --build "$build"
find "$build" -name '*.gcda' -delete
(cd "$build" && ctest --output-on-failure)
product=(runtime/ platform/ Common/ report/ analytics/ Qrn.Tally/ client/ collector/)
gcovr -r . --object-directory "$build" "${product[@]/#/--filter=}" --gcov-ignore-parse-errors \
  --txt "$build/coverage.txt" --print-summary "$build"
echo "per file: $build/coverage.txt"
