#!/usr/bin/env bash
# The fleet's pages and queries at size: builds a store of MACHINES machines
# and DOCUMENTS documents (a tenth reports of about 100 products, the rest
# analytics documents of 200 events), and one a tenth of its size, imports
# both, and prints for every page and API request the median of 5 answers
# on each store, the ratio between the two sizes, and the ratio to the one
# hand-written SQL statement that gives the same answer on the large store.
#   bench/fleet.sh [documents, default 100000] [machines, default 10000] [sqlite|postgresql]
# Every document is received during the run, so a 30-day window holds all
# of them: the windowed pages' worst case.
set -euo pipefail
cd "$(dirname "$0")/.."
documents=${1:-100000}
machines=${2:-10000}
backend=${3:-sqlite}
collector=${COLLECTOR:-build/native/dromika-collector}
# The stores are built from 8 threads when the benchmarks are built
# (-DDROMIKA_BENCH=ON), else by `import`, one document at a time.
loader=${LOADER:-build/native/bench/bench_fleet_load}
[ -x "$collector" ] || { echo "missing $collector" >&2; exit 1; }
if [ "$backend" = postgresql ] && [ -z "${PGHOST:-}" ]; then
  # A cluster of its own, on a port the system has just handed out as free.
  PGPORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  export PGPORT
  exec pg_virtualenv -t "$0" "$documents" "$machines" postgresql
fi
# FLEET_WORK=DIR keeps the SQLite stores there and measures them again on
# the next run instead of building them anew.
work=${FLEET_WORK:-$(mktemp -d)}
mkdir -p "$work"
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; [ -n "${FLEET_WORK:-}" ] || rm -rf "$work"; }
trap cleanup EXIT

generate() {  # generate FOLDER DOCUMENTS MACHINES
  python3 - "$@" <<'PY'
import os, random, sys
folder, count, machines = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(folder)
rng = random.Random(7)
products = ["Product %03d" % i for i in range(400)]
def system(name):
    return ("<system><wmi><Win32_OperatingSystem Caption='OS %d' Version='10.0' CSName='%s'/>"
            "<Win32_ComputerSystem Name='%s' NumberOfLogicalProcessors='8' TotalPhysicalMemory='%d'/></wmi></system>"
            % (hash(name) % 3, name, name, 8 << 30))
for i in range(count):
    name = "host-%05d" % (i % machines)
    if i % 10 == 0:
        picked = rng.sample(products, 100)
        body = ("<dromika version='1'><networking><adapter description='eth0' address='00-16-3e-%02x-%02x-%02x'>"
                "<ip v='4' address='10.%d.%d.%d' mask='255.0.0.0'/></adapter></networking>%s<disks>"
                "<disk drive='C:' totalfreebytes='%d' totalavailablebytes='%d'/></disks><registry/><products>%s"
                "</products><filesystem/><processes/></dromika>") % (
            (i // 65536) % 256, (i // 256) % 256, i % 256, (i // 65536) % 256, (i // 256) % 256, i % 256,
            system(name), rng.randrange(1 << 40), rng.randrange(1 << 40),
            "".join("<product name='%s' installedversion='%d.%d' installlocation='C:\\P\\'/>"
                    % (p, rng.randrange(3), rng.randrange(4)) for p in picked))
    else:
        events = "".join("<event name='event.%02d' value='%d' elapsed='0d 0:00:%02d.%03d'/>"
                         % (rng.randrange(20), rng.randrange(100), rng.randrange(10), rng.randrange(1000))
                         for _ in range(200))
        body = "<dromika version='1'>%s<app n='%d'><events>%s</events></app></dromika>" % (system(name), i, events)
    with open(os.path.join(folder, "%06d.xml" % i), "w") as f:
        f.write(body)
PY
}

store_url() {  # store_url NAME
  if [ "$backend" = postgresql ]; then createdb "$1" && echo "postgresql:///$1"; else echo "sqlite:$work/$1.db"; fi
}

# The requests, each beside the SQL a person would write for its answer.
requests=(
  "/|SELECT COUNT(*) FROM events e JOIN documents d ON d.id = e.document_id WHERE d.received_ms >= 0"
  "/?days=3650|SELECT e.name, COUNT(*) FROM events e GROUP BY e.name"
  "/v1/events/summary|SELECT e.name, COUNT(*), COUNT(DISTINCT e.document_id), SUM(e.value) FROM events e GROUP BY e.name"
  "/events/event.07|SELECT COUNT(*) FROM events WHERE name = 'event.07'"
  "/machines|SELECT name FROM machines ORDER BY name LIMIT 101"
  "/machines?q=host-0999|SELECT name FROM machines WHERE name LIKE '%host-0999%'"
  "/machines?sort=last_seen&desc=1|SELECT name FROM machines ORDER BY last_received_ms DESC LIMIT 101"
  "/v1/machines?product=Product%20007&version=1.2|SELECT m.name FROM machines m JOIN inventory_products p ON p.document_id = m.report_document_id WHERE p.name = 'Product 007' AND p.version = '1.2' ORDER BY m.name LIMIT 101"
  "/v1/products|SELECT name, machines FROM product_names ORDER BY machines DESC LIMIT 101"
  "/products|SELECT name, machines FROM product_names ORDER BY machines DESC LIMIT 101"
  "/products/Product%20007|SELECT DISTINCT p.version, m.name FROM inventory_products p JOIN machines m ON m.report_document_id = p.document_id WHERE p.name = 'Product 007' ORDER BY p.version, m.name LIMIT 101"
  "/v1/documents|SELECT id FROM documents ORDER BY received_ms DESC LIMIT 100"
  "/machines.csv|SELECT * FROM machines ORDER BY name"
)

median() {  # median: the middle of the numbers on standard input, one a line
  sort -n | awk '{ v[NR] = $1 } END { printf "%.3f\n", v[int((NR + 1) / 2)] }'
}

request_ms() {  # request_ms URL: the median of 5 answers, timed by curl from connect to last byte
  for _ in 1 2 3 4 5; do
    curl -sf -o /dev/null -w '%{time_total}\n' "$1" | awk '{ print $1 * 1000 }'
  done | median
}

measure() {  # measure STORE_URL: one line per request, "PATH MS"
  local port
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$collector" serve --listen "127.0.0.1:$port" --store "$1" >"$work/serve.log" 2>&1 &
  server=$!
  for _ in $(seq 100); do grep -q listening "$work/serve.log" && break; sleep 0.1; done
  for r in "${requests[@]}"; do
    local path=${r%%|*}
    echo "$path $(request_ms "http://127.0.0.1:$port$path")"
  done
  kill "$server"; wait "$server" 2>/dev/null || true; server=
}

hand_sql() {  # hand_sql STORE_URL SQL: the median of 5 runs in ms, timed inside one client process
  if [ "$backend" = postgresql ]; then
    for _ in 1 2 3 4 5; do
      printf '\\timing on\n%s;\n' "$2" | psql -qAt -d "$1" | sed -n 's/^Time: \([0-9.]*\) ms.*/\1/p'
    done | median
  else
    python3 - "${1#sqlite:}" "$2" <<'PY'
import sqlite3, sys, time
connection = sqlite3.connect(sys.argv[1])
times = []
for _ in range(5):
    start = time.perf_counter()
    connection.execute(sys.argv[2]).fetchall()
    times.append((time.perf_counter() - start) * 1000)
print("%.3f" % sorted(times)[2])
PY
  fi
}

for size in small large; do
  n=$documents; m=$machines
  [ $size = small ] && n=$((documents / 10)) && m=$((machines / 10 > 0 ? machines / 10 : 1))
  if [ "$backend" = postgresql ] || [ ! -s "$work/$size.db" ]; then
    generate "$work/$size" "$n" "$m"
    url=$(store_url "$size")
    start=$(date +%s)
    if [ -x "$loader" ]; then
      find "$work/$size" -name '*.xml' | sort | "$loader" "$url" | tail -1
    else
      find "$work/$size" -name '*.xml' | sort | xargs "$collector" import --store "$url" | tail -1
    fi
    echo "$size: $n documents, $m machines imported in $(( $(date +%s) - start )) s"
  else
    url="sqlite:$work/$size.db"
  fi
  measure "$url" >"$work/$size.times"
  rm -rf "${work:?}/$size"
done
large_url=$( [ "$backend" = postgresql ] && echo "postgresql:///large" || echo "sqlite:$work/large.db")
printf "%-55s %9s %9s %7s %9s %7s\n" request small_ms large_ms growth hand_ms vs_hand
for r in "${requests[@]}"; do
  path=${r%%|*}
  small=$(grep -F "$path " "$work/small.times" | head -1 | awk '{print $NF}')
  large=$(grep -F "$path " "$work/large.times" | head -1 | awk '{print $NF}')
  hand=$(hand_sql "$large_url" "${r#*|}")
  awk -v p="$path" -v s="$small" -v l="$large" -v h="$hand" 'BEGIN {
    printf "%-55s %9.1f %9.1f %6.1fx %9.3f %6.1fx\n", p, s, l, l / (s > 0 ? s : 0.1), h, l / (h > 0 ? h : 0.001) }'
done
