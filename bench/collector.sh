#!/usr/bin/env bash
# The collector's figures, each beside its reference from the same run:
#   1. ingest over HTTP (16 uploaders) against storing in-process, and
#      `import` of as many files against HTTP, for analytics documents and
#      whole reports, on SQLite and on PostgreSQL (a throwaway cluster of
#      this run's own, tests/e2e/pg_run.sh); the CPU per stored document
#      beside reading alone; the SQLite store's bytes per event;
#   2. the streaming reader against `xmllint --stream --noout` on one
#      document of about 500 MB;
#   3. the collector's peak memory while it ingests that document over HTTP;
#   4. its peak memory for three shapes of document (bench/collector_memory.sh),
#      beside a reference collector's when REFERENCE_COLLECTOR names one;
#   5. a serving collector's CPU per document over HTTP (bench/collector_cpu.py),
#      beside REFERENCE_COLLECTOR's when given.
#   bench/collector.sh [documents per run, default 2000] [build folder, default build/bench]
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-2000}
build=${2:-build/bench}
bench=$build/bench/bench_collector
collector=$build/dromika-collector
for exe in "$bench" "$collector" "$build/DromikaCmd"; do
  [ -x "$exe" ] || { echo "missing $exe: run tools/bench.sh, or build the bench folder first" >&2; exit 1; }
done
work=$(mktemp -d)
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

"$build/DromikaCmd" "/out:$work/report.dromika" >/dev/null
echo "== ingest: SQLite"
"$bench" ingest "sqlite:$work/a.db" analytics "$count"
python3 - "$work/a.db" <<'PY'
import os, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
events = db.execute("SELECT count(*) FROM events").fetchone()[0]
pages = db.execute("PRAGMA page_count").fetchone()[0] * db.execute("PRAGMA page_size").fetchone()[0]
print("store: %d bytes for %d events (bodies included): %.1f bytes per event" % (pages, events, pages / events))
PY
"$bench" ingest "sqlite:$work/r.db" "$work/report.dromika" "$((count / 10))"
echo "== a serving collector's CPU per document over HTTP$([ -n "${REFERENCE_COLLECTOR:-}" ] && echo ", beside $REFERENCE_COLLECTOR")"
python3 bench/collector_cpu.py "$collector" ${REFERENCE_COLLECTOR:-} "$count"
echo "== ingest: PostgreSQL"
sh tests/e2e/pg_run.sh "$(command -v pg_virtualenv)" python3 sh -c "'$bench' ingest postgresql:// analytics '$count' &&
  '$bench' ingest postgresql:// '$work/report.dromika' '$((count / 10))'" 2>&1 | grep -v "cluster 1"

echo "== the reader against xmllint --stream on one large document"
python3 - "$work/big.dromika" <<'PY'
import sys
line = "    Dec  6 10:38:22 host service[812]: request &amp; answer &lt;ok&gt; in 12 ms, nothing to report\n"
with open(sys.argv[1], "w", newline="") as f:
    f.write('<?xml version="1.0" encoding="utf-8"?>\r\n<dromika version=\'1.0\' versionDisplay=\'1.0.0.1\'>\r\n')
    f.write('<system>\r\n  <memory rambytes="17069301760" ram="16 GB"/>\r\n</system>\r\n<filesystem>\n')
    written, number = 0, 0
    while written < 500 * 1024 * 1024:
        text = '  <dir name="logs%d">\n    <file name="service%d.log" bytes="40960" size="40 KB" ' \
               'datemodified="06/12/2026 10:38:22">\n%s    </file>\n  </dir>\n' % (number, number, line * 400)
        f.write(text)
        written += len(text)
        number += 1
    f.write("</filesystem>\n</dromika>\r\n")
PY
size=$(stat -c %s "$work/big.dromika")
# CPU seconds (user + system), which a busy machine disturbs far less than wall time.
cpu() { /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | awk 'END { print $1 + $2 }'; }
xmllint_s=$(cpu xmllint --stream --noout "$work/big.dromika")
reader_s=$(cpu "$bench" parse "$work/big.dromika")
awk -v s="$size" -v x="$xmllint_s" -v r="$reader_s" 'BEGIN {
  printf "%.0f MB: xmllint %.2f s, reader %.2f s of CPU; ratio %.2f\n", s / 1048576, x, r, r / x }'

echo "== peak memory while ingesting that document over HTTP"
"$collector" serve --listen 127.0.0.1:0 --store "sqlite:$work/big.db" --max-body 1G >"$work/serve.out" &
server=$!
for _ in $(seq 100); do grep -q listening "$work/serve.out" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/serve.out" | head -n 1)
curl -sS -H "Content-Type: application/xml" --data-binary "@$work/big.dromika" "http://127.0.0.1:$port/v1/documents"
echo
peak_kb=$(awk '/VmHWM/ { print $2 }' "/proc/$server/status")
awk -v s="$size" -v p="$peak_kb" 'BEGIN {
  printf "document %.0f MB, collector peak %.0f MB (%.2f times the document)\n", s / 1048576, p / 1024, p * 1024 / s }'

echo "== peak memory per shape of document"
kill "$server" 2>/dev/null || true
server=
bench/collector_memory.sh "$build" ${REFERENCE_COLLECTOR:-}
