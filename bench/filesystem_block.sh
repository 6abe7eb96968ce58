#!/usr/bin/env bash
# The file system block over 20,000 files in nested folders, 200 of them 1 MB
# logs. Prints the block's time as a ratio to `find -printf` plus head/tail of
# the same excerpts, measured in this run, and the heap the block held at its
# peak as a ratio to the text it produced. Aims: time <= 2, memory <= 3.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDROMIKA_BENCH=ON -DDROMIKA_TESTS=OFF >/dev/null
cmake --build "$build" --target filesystem_block_bench >/dev/null

data=$(mktemp -d /tmp/dromika-bench-XXXXXX)
trap 'rm -rf "$data"' EXIT

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

now() { date +%s.%N; }
# The reference, like the block, is the fastest of three runs.
reference=
for run in 1 2 3; do
  start=$(now)
  find "$data" -printf '%p %s %T@\n' >/dev/null
  for f in $logs; do
    head -c 256000 "$f" >/dev/null
    tail -c 256000 "$f" >/dev/null
  done
  took=$(awk -v a="$(now)" -v b="$start" 'BEGIN { printf "%.3f", a - b }')
  reference=$(awk -v a="$took" -v b="${reference:-$took}" 'BEGIN { printf "%.3f", a < b ? a : b }')
done

eval "$("$build"/bench/filesystem_block_bench "$data" 3)"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "files:               $files ($(echo "$logs" | wc -l) logs of 1 MB)"
echo "noting the tree:     ${note_seconds} s"
echo "block:               ${block_seconds} s (fastest of 3)"
echo "reference:           ${reference} s (fastest of 3: find -printf, head -c/tail -c of each log)"
echo "time ratio:          $(ratio "$block_seconds" "$reference")   (aim <= 2)"
echo "block text:          ${text_chars} characters, ${text_bytes} bytes in memory, ${utf8_bytes} bytes as UTF-8"
echo "heap peak:           ${heap_peak_bytes} bytes"
echo "memory ratio:        $(ratio "$heap_peak_bytes" "$text_bytes")   (aim <= 3; to the UTF-8 size: $(ratio "$heap_peak_bytes" "$utf8_bytes"))"
