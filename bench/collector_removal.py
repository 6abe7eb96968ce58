#!/usr/bin/env python3
"""How long uploads wait while documents are removed: one uploader's answer
times alone, then while `prune` removes a machine's documents from the same
SQLite store in its batches, and the removal's own time. Figures are
ratios against the uploads alone, from the same run.
  bench/collector_removal.py COLLECTOR [documents to remove, default 2000]"""
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
os.environ.setdefault("DROMIKA_EXE", "")
import dromika  # noqa: E402

COLLECTOR = dromika.COLLECTOR = os.path.abspath(sys.argv[1])
count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
EVENTS = "".join('<event name="e%d" value="%d" elapsed="0d 0:00:00.010"/>' % (i % 20, i) for i in range(200))


def document(machine, number):
    return ('<dromika><events>%s</events><system><wmi><Win32_ComputerSystem Name="%s"/></wmi></system>'
            '<n n="%d"/></dromika>' % (EVENTS, machine, number)).encode()


def upload_times(collector, first, seconds):
    times, number, end = [], first, time.monotonic() + seconds
    while time.monotonic() < end:
        start = time.monotonic()
        assert collector.post(document("LIVE", number))[0] == 201
        times.append(time.monotonic() - start)
        number += 1
    return times


def describe(times):
    times = sorted(times)
    return statistics.median(times), times[int(len(times) * 0.99)], times[-1]


with tempfile.TemporaryDirectory() as folder:
    store = "sqlite:" + os.path.join(folder, "store.db")
    collector = dromika.Collector(folder, store=store)
    try:
        for n in range(count):
            collector.post(document("GONE", n))
        alone = upload_times(collector, 10**6, 10)
        during, result = [], {}

        def prune():
            start = time.monotonic()
            subprocess.run([COLLECTOR, "prune", "--before", "2100-01-01", "--machine", "GONE", "--store", store],
                           check=True, capture_output=True)
            result["seconds"] = time.monotonic() - start
        remover = threading.Thread(target=prune)
        remover.start()
        number = 2 * 10**6
        while remover.is_alive():
            during += upload_times(collector, number, 0.5)
            number += 1000
        remover.join()
    finally:
        collector.stop()
a, d = describe(alone), describe(during)
print("removing %d documents (200 events each) took %.2f s" % (count, result["seconds"]))
print("upload answer time alone:  p50 %.1f ms, p99 %.1f ms, max %.1f ms" % tuple(x * 1000 for x in a))
print("during the removal:        p50 %.1f ms, p99 %.1f ms, max %.1f ms" % tuple(x * 1000 for x in d))
print("ratio during/alone:        p50 %.2f, p99 %.2f, max %.2f" % (d[0] / a[0], d[1] / a[1], d[2] / a[2]))
