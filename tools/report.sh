#!/usr/bin/env bash
# Builds the native program and writes a report of this machine to report.dromika.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset native -DDROMIKA_TESTS=OFF >/dev/null
cmake --build --preset native
build/native/DromikaCmd "/out:${1:-report.dromika}"
