#!/usr/bin/env bash
# Builds DromikaCmd alone and writes a report of this machine to report.dromika.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh report
cmake --preset report >/dev/null
cmake --build --preset report
build/report/DromikaCmd "/out:${1:-report.dromika}"
