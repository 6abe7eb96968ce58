#!/usr/bin/env bash
# Builds the benchmarks (native, optimised) and runs them; each prints its
# figures next to the reference it is compared with, measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh test
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDROMIKA_TESTS=OFF -DDROMIKA_BENCH=ON >/dev/null
cmake --build build/bench
echo "== file tree growth, escaping against memcpy"
build/bench/bench/foundation_bench
echo "== 1,000,000 events: recording, events group, peak memory"
build/bench/bench/bench_events_group
echo "== TrackEvent round trip against a bare frame ping-pong (pinned to one core)"
taskset -c 1 build/bench/bench/bench_ping_pong
echo "== eight threads through one client: each call waiting against queued"
build/bench/bench/bench_client_threads
echo "== file system block against find and head/tail"
bench/filesystem_block.sh
echo "== the collector: ingest, reader, peak memory"
bench/collector.sh
echo "== diff of two 100 MB reports against reading both"
bench/report_diff.sh
echo "== whole report against a pipeline of standard tools"
cmake --preset native -DDROMIKA_TESTS=OFF >/dev/null && cmake --build --preset native >/dev/null
bench/report_vs_tools.sh
