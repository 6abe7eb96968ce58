#!/usr/bin/env python3
"""The collector's own CPU per stored analytics document of 200 events, as a
running `serve` spends it: 16 uploaders post the documents over HTTP to a
fresh SQLite store, then one breakdown is asked for (so what the store adds
up later is counted too), and the process's CPU time from /proc is divided
by the documents. Given two collectors (this tree's and an older build, say),
each runs in turn on the same documents and the second line gives the ratio.
  bench/collector_cpu.py COLLECTOR [REFERENCE_COLLECTOR] [documents, default 2000]"""
import os
import sys
import tempfile
import threading
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
os.environ.setdefault("DROMIKA_EXE", "")
import dromika  # noqa: E402

UPLOADERS = 16
args = sys.argv[1:]
count = int(args.pop()) if args and args[-1].isdigit() else 2000
collectors = [os.path.abspath(path) for path in args]


def document(number):
    """About 200 events, two client groups and a system block, unique per number (as bench_collector makes)."""
    events = "".join('  <event name="ui.action.%d" value="%d" eventtime="0d 0:00:%d.120" elapsed="0d 0:00:00.%d" />\r\n'
                     % (k % 25, k, 10 + k % 50, 100 + k % 900) for k in range(200))
    return ('<?xml version="1.0" encoding="utf-8"?>\r\n<dromika version=\'1.0\' versionDisplay=\'1.0.0.1\'>\r\n'
            '<session run="%d" build="4.2.1" channel="stable" />\r\n'
            '<project files="12" size="3400" language="en" />\r\n<events>\r\n%s</events>\r\n<system>\r\n  <wmi>\r\n'
            '    <Win32_OperatingSystem Caption="Microsoft Windows 10 Pro" CSName="PC-%d" Version="10.0.19045"'
            ' BuildNumber="19045" OSArchitecture="64-bit"/>\r\n  </wmi>\r\n</system>\r\n</dromika>\r\n'
            % (number, events, number % 500)).encode()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(path, documents):
    dromika.COLLECTOR = path
    with tempfile.TemporaryDirectory() as folder:
        collector = dromika.Collector(folder)
        try:
            start = cpu_seconds(collector.process.pid)
            failures, lock, next_number = [], threading.Lock(), iter(range(len(documents)))

            def upload():
                while True:
                    with lock:
                        number = next(next_number, None)
                    if number is None:
                        return
                    if collector.post(documents[number])[0] != 201:
                        failures.append(number)
            threads = [threading.Thread(target=upload) for _ in range(UPLOADERS)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            url = "http://127.0.0.1:%d/v1/events/summary?name=ui.action.0&by=session/run" % collector.port
            try:
                urllib.request.urlopen(url, timeout=600).read()
            except OSError:
                pass  # a collector without breakdowns
            return (cpu_seconds(collector.process.pid) - start) / len(documents), len(failures)
        finally:
            collector.process.terminate()  # an older collector's log may not be JSON
            collector.process.wait()


documents = [document(n) for n in range(count)]
figures = []
for path in collectors:
    per_document, failures = run(path, documents)
    figures.append(per_document)
    print("%s: %.2f ms of CPU per stored document (%d documents, %d failed)"
          % (path, per_document * 1000, count, failures))
if len(figures) == 2:
    print("ratio: %.2f (this tree against the reference)" % (figures[0] / figures[1]))
