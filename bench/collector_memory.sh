#!/usr/bin/env bash
# The collector's peak memory while it stores one large document received
# over HTTP into SQLite, as a ratio to the document's size N, for three
# shapes that once multiplied into many times themselves as rows:
#   events      5,000,000 <event/> elements, about 40 MB
#   attributes  8,000,000 attributes on 500,000 elements, about 53 MB
#   groups      3,000,000 data points in 123,001 groups four deep, about 50 MB
# Beside each: N itself, its packed body P, the collector's peak before the
# upload, and what the peak holds beyond N + P. Given a second collector (a
# build of an older commit), it is measured the same way as the reference.
#   bench/collector_memory.sh [build folder, default build/bench] [reference dromika-collector]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
reference=${2:-}
bench=$build/bench/bench_collector
for exe in "$bench" "$build/dromika-collector" ${reference:+"$reference"}; do
  [ -x "$exe" ] || { echo "missing $exe: run tools/bench.sh, or build the bench folder first" >&2; exit 1; }
done
work=$(mktemp -d)
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

peak_kb() { awk '/VmHWM/ { print $2 }' "/proc/$1/status"; }

# measure LABEL COLLECTOR DOCUMENT: one upload into a new store, one line of figures.
measure() {
  local label=$1 exe=$2 document=$3 db=$work/store.db port idle peak code size packed
  rm -f "$db" "$db-wal" "$db-shm"
  "$exe" serve --listen 127.0.0.1:0 --store "sqlite:$db" --max-body 1G >"$work/serve.out" &
  server=$!
  for _ in $(seq 100); do grep -q listening "$work/serve.out" && break; sleep 0.1; done
  port=$(sed -n 's/.*listening on http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/serve.out" | head -n 1)
  idle=$(peak_kb "$server")
  code=$(curl -sS -o /dev/null -w '%{http_code}' -H "Content-Type: application/xml" \
    --data-binary "@$document" "http://127.0.0.1:$port/v1/documents")
  peak=$(peak_kb "$server")
  kill "$server"
  wait "$server" 2>/dev/null || true
  server=
  size=$(stat -c %s "$document")
  packed=$(python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute("SELECT COALESCE(MAX(length(body)), 0) FROM documents").fetchone()[0])' "$db")
  awk -v l="$label" -v n="$size" -v p="$packed" -v i="$idle" -v k="$peak" -v c="$code" 'BEGIN { m = 1048576
    printf "%-22s N %5.1f MB  P %4.1f MB  idle %5.1f MB  peak %6.1f MB = %5.2f N  beyond N+P %6.1f MB  (%s)\n",
      l, n / m, p / m, i / 1024, k / 1024, k * 1024 / n, (k * 1024 - n - p) / m, c }'
}

for shape in events attributes groups; do
  "$bench" document "$shape" "$work/$shape.xml"
  measure "$shape" "$build/dromika-collector" "$work/$shape.xml"
  [ -z "$reference" ] || measure "$shape (reference)" "$reference" "$work/$shape.xml"
  rm -f "$work/$shape.xml"
done
