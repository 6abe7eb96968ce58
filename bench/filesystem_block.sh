#!/usr/bin/env bash
# The file system block over 20,000 files in nested folders, 200 of them 1 MB
# logs, written to a file as report mode writes it, beside its reference: one
# plain process that walks the same tree, reads the same excerpts, escapes
# and writes them (bench/FilesystemReference.cpp). Each is the median of
# three runs of CPU seconds (user + system) and peak resident memory, from
# /usr/bin/time. Aims: CPU <= 1.5 and memory <= 3 times the reference's;
# peak memory <= 3 times the text written.
#   bench/filesystem_block.sh [build folder, default build/bench]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
for exe in filesystem_block_bench filesystem_reference; do
  [ -x "$build/bench/$exe" ] || { echo "missing $build/bench/$exe: run tools/bench.sh" >&2; exit 1; }
done

data=$(mktemp -d /tmp/dromika-bench-XXXXXX)
trap 'rm -rf "$data" "$data.block" "$data.reference"' EXIT

# 10 x 10 x 10 folders of 20 files; the first file of 200 leaf folders is a
# 1 MB log of text lines with tabs, CR LF line ends and a few accented letters.
python3 - "$data" <<'PY'
import os, sys
root = sys.argv[1]
line = "2024-03-05 09:07:03.123\tINFO\tcaf\u00e9 request id=%06d handled in 12 ms\r\n"
log = "".join(line % i for i in range(20000)).encode()[:1 << 20]
filler = bytes(range(256)) * 8
logs = 0
for a in range(10):
    for b in range(10):
        for c in range(10):
            folder = os.path.join(root, "d%d" % a, "e%d" % b, "f%d" % c)
            os.makedirs(folder)
            for i in range(20):
                if i == 0 and logs < 200:
                    name, body = "service.log", log
                    logs += 1
                else:
                    name, body = "item%02d.%s" % (i, ("dat", "bin", "cfg", "ini")[i % 4]), filler[: (i * 97) % 2048]
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(body)
PY
files=$(find "$data" -type f | wc -l)
logs=$(find "$data" -name '*.log')

# "CPU_SECONDS PEAK_KB" of one run.
measure() { /usr/bin/time -f "%U %S %M" "$@" 2>&1 >/dev/null | awk 'END { printf "%.2f %d\n", $1 + $2, $3 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
block_runs= reference_runs=
for run in 1 2 3; do
  block_runs+="$(measure "$build/bench/filesystem_block_bench" "$data" "$data.block")"$'\n'
  reference_runs+="$(measure "$build/bench/filesystem_reference" "$data" "$data.reference")"$'\n'
done
rm -f "$data.block" "$data.reference"
"$build/bench/filesystem_block_bench" "$data" "$data.block" >/dev/null
bytes=$(stat -c %s "$data.block")
rm -f "$data.block"
block_cpu=$(echo -n "$block_runs" | awk '{ print $1 }' | median)
block_kb=$(echo -n "$block_runs" | awk '{ print $2 }' | median)
reference_cpu=$(echo -n "$reference_runs" | awk '{ print $1 }' | median)
reference_kb=$(echo -n "$reference_runs" | awk '{ print $2 }' | median)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "files:               $files ($(echo "$logs" | wc -l) logs of 1 MB)"
echo "block text:          $bytes bytes of UTF-8"
echo "CPU:                 block ${block_cpu} s, reference ${reference_cpu} s: ratio $(ratio "$block_cpu" "$reference_cpu")   (aim <= 1.5)"
echo "peak memory:         block $((block_kb / 1024)) MB, reference $((reference_kb / 1024)) MB: ratio $(ratio "$block_kb" "$reference_kb")   (aim <= 3)"
echo "peak / text written: $(ratio "$((block_kb * 1024))" "$bytes")   (aim <= 3)"
