#!/usr/bin/env bash
# Builds the benchmarks (native, optimised, in build/bench) and runs them;
# each prints its figures next to the reference it is compared with,
# measured in the same run, with the ratio and the aim.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh test
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDROMIKA_TESTS=OFF -DDROMIKA_BENCH=ON >/dev/null
cmake --build "$build"
# The collector as it stood before the performance work, built once from
# this repository's history, is the reference of the collector's own CPU and
# memory figures (unless REFERENCE_COLLECTOR names another build).
reference_commit=facae58
if [ -z "${REFERENCE_COLLECTOR:-}" ] && git rev-parse -q --verify "$reference_commit^{commit}" >/dev/null; then
  reference=build/bench-reference
  if [ ! -x "$reference/build/dromika-collector" ]; then
    rm -rf "$reference/src"
    mkdir -p "$reference/src"
    git archive "$reference_commit" | tar -x -C "$reference/src"
    cmake -S "$reference/src" -B "$reference/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDROMIKA_TESTS=OFF >/dev/null
    cmake --build "$reference/build" --target dromika-collector
  fi
  export REFERENCE_COLLECTOR=$PWD/$reference/build/dromika-collector
fi
echo "== machine: $(nproc) logical processors, $(awk '/MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo)," \
  "$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)"
echo "== file tree growth, escaping against memcpy"
"$build"/bench/foundation_bench
echo "== 1,000,000 events: recording, events group against appending its lines, peak memory"
"$build"/bench/bench_events_group
echo "== a whole session of 1,000,000 TrackEvent calls: server peak memory against the document"
bench/session.sh 1000000 "$build"
echo "== TrackEvent round trip against a bare frame ping-pong (pinned to one core)"
taskset -c 1 "$build"/bench/bench_ping_pong
echo "== eight threads through one client: each call waiting against queued"
"$build"/bench/bench_client_threads
echo "== file system block against a one-process walk, read, escape and write"
bench/filesystem_block.sh "$build"
echo "== the collector: ingest, import, CPU per document, reader, peak memory"
bench/collector.sh 2000 "$build"
echo "== diff of two 100 MB reports against reading both"
bench/report_diff.sh 100 "$build"
echo "== whole report against a pipeline of standard tools"
bench/report_vs_tools.sh 10 "$build"
