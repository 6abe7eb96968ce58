#!/usr/bin/env bash
# `dromika-collector diff` on two generated reports of about 100 MB each
# (file-system heavy, 1% of the files changed), beside reading both with the
# collector's document reader (bench_collector parse) in the same run: CPU
# seconds and their ratio, and diff's peak memory against the larger input.
#   bench/report_diff.sh [MB per report, default 100] [build folder, default build/bench]
set -euo pipefail
cd "$(dirname "$0")/.."
megabytes=${1:-100}
build=${2:-build/bench}
bench=$build/bench/bench_collector
collector=$build/dromika-collector
for exe in "$bench" "$collector"; do
  [ -x "$exe" ] || { echo "missing $exe: run tools/bench.sh, or build the bench folder first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$megabytes" <<'PY'
import random, sys
folder, megabytes = sys.argv[1], int(sys.argv[2])
line = "    Dec  6 10:38:22 host service[%d]: request &amp; answer &lt;ok&gt; in %d ms, nothing to report\n"
head = ('<?xml version="1.0" encoding="utf-8"?>\r\n<dromika version=\'1.0\' versionDisplay=\'1.0.0.1\'>\r\n'
        '<system>\r\n  <environment>\r\n    <var name="PATH" value="C:\\Windows"/>\r\n  </environment>\r\n'
        '</system>\r\n<filesystem>\n  <dir name="C:">\n')
def write(path, changed):
    with open(path, "w", newline="") as f:
        f.write(head)
        written, number = 0, 0
        while written < megabytes * 1024 * 1024:
            bump = changed and number % 100 == 50  # 1% of the files
            lines = 40 + (1 if bump else 0)
            text = '  <dir name="app%d">\n    <file name="app%d.exe" bytes="%d" size="1 MB" ' \
                   'datemodified="06/12/2026 10:38:22" version="1.0.%d"/>\n' % (number, number, 1048576 + bump, number)
            if number % 2 == 0:
                rng = random.Random(number)  # the same lines in both reports but for the added one
                body = "".join(line % (rng.randrange(1000), i) for i in range(lines))
                text += '    <file name="service%d.log" bytes="%d" size="4 KB" datemodified="06/12/2026 10:38:22">\n' \
                        '%s    </file>\n' % (number, len(body), body)
            f.write(text + "  </dir>\n")
            written += len(text)
            number += 1
        f.write("  </dir>\n</filesystem>\n</dromika>\r\n")
write(folder + "/old.dromika", False)
write(folder + "/new.dromika", True)
PY
old=$work/old.dromika
new=$work/new.dromika
larger=$(stat -c %s "$old" "$new" | sort -n | tail -1)
# CPU seconds (user + system), which a busy machine disturbs far less than wall time.
cpu() { /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | awk 'END { print $1 + $2 }'; }
reader_s=$(awk -v a="$(cpu "$bench" parse "$old")" -v b="$(cpu "$bench" parse "$new")" 'BEGIN { print a + b }')
set +e
/usr/bin/time -f "%U %S %M" -o "$work/diff.time" "$collector" diff --json "$old" "$new" >"$work/changes.json"
code=$?
set -e
[ "$code" = 1 ] || { echo "diff ended with $code, not 1" >&2; exit 1; }
read -r user sys peak_kb < <(tail -1 "$work/diff.time")
changed=$(grep -o '"field":"' "$work/changes.json" | wc -l)
awk -v s="$larger" -v r="$reader_s" -v u="$user" -v y="$sys" -v p="$peak_kb" -v c="$changed" 'BEGIN {
  d = u + y
  printf "two reports of %.0f MB, %d changes: reading both %.2f s, diff %.2f s of CPU; ratio %.2f (at most 3)\n",
         s / 1048576, c, r, d, d / r
  printf "diff peak memory %.0f MB, larger input %.0f MB; ratio %.2f (under 1)\n", p / 1024, s / 1048576, p * 1024 / s }'
