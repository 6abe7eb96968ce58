#!/usr/bin/env bash
# One whole server session through tally-client: N TrackEvent calls
# (default 1,000,000), the events group, the document saved to a file. Prints
# the peak resident memory of the largest process (the server) beside the
# size of the document it wrote. Aim: peak <= 3 times the document.
#   bench/session.sh [events] [build folder, default build/bench]
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
build=${2:-build/bench}
for exe in "$build/tally-client" "$build/DromikaCmd"; do
  [ -x "$exe" ] || { echo "missing $exe: run tools/bench.sh" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$count" "$work/script" "$work/session.xml" <<'PY'
import sys
count, script, saved = int(sys.argv[1]), sys.argv[2], sys.argv[3]
names = ["session.run", "file.open", "mesh.generate", "ui.action.%d"]
with open(script, "w") as f:
    for i in range(count):
        f.write("TrackEvent\t%s\n" % (names[i % 4] % (i % 25) if i % 4 == 3 else names[i % 4]))
    f.write("AddStandardGroup\t0x10000000\nSaveTo\t%s\nProcess\n" % saved)
PY
# tally-client waits for the server, so the peak is the larger of the two.
figures=$(/usr/bin/time -f "%U %S %M" "$build/tally-client" <"$work/script" 2>&1 >/dev/null | tail -1)
bytes=$(stat -c %s "$work/session.xml")
awk -v f="$figures" -v b="$bytes" -v n="$count" 'BEGIN {
  split(f, v, " ")
  printf "%d events: document %.1f MB, peak %.1f MB: ratio %.2f   (aim <= 3); CPU %.1f s\n",
         n, b / 1048576, v[3] / 1024, v[3] * 1024 / b, v[1] + v[2] }'
