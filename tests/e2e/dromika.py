"""What the end-to-end tests share: running the built programs the way a user
does, on either host (wine for Windows), a fresh folder per test, and a
dromika-collector on loopback. ctest sets DROMIKA_EXE, DROMIKA_HOST (posix or
win32) and DROMIKA_COLLECTOR."""
import http.client
import json
import os
import re
import select
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse

EXE = os.environ["DROMIKA_EXE"]
WINDOWS = os.environ.get("DROMIKA_HOST") == "win32"
WINE = ["/usr/lib/wine/wine64"] if WINDOWS else []
TIMEOUT = 180 if WINDOWS else 60  # the first wine start creates its prefix
COLLECTOR = os.environ.get("DROMIKA_COLLECTOR", "")  # a Linux program, also for the Windows build's tests
XML = {"Content-Type": "application/xml; charset=utf-8"}


def host_path(path):
    """The path as the program under test spells it (wine maps / to Z:)."""
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


def run(program, *args, stdin=None, env=None, timeout=TIMEOUT):
    """Exit code, standard output and error; a Windows pipe's CR LF line ends become LF."""
    done = subprocess.run(WINE + [program, *args], input=stdin, capture_output=True, timeout=timeout,
                          env=dict(os.environ, WINEDEBUG="-all", **(env or {})))
    return (done.returncode, *(s.decode("utf-8", "replace").replace("\r\n", "\n") for s in (done.stdout, done.stderr)))


def dromika(*args, **kwargs):
    return run(EXE, *args, **kwargs)


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


class FolderCase(unittest.TestCase):
    """Each test gets a fresh folder, removed when it ends."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="dromika-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as file:
            file.write(data)
        return self.path(name)

    def assert_lines(self, lines, patterns):
        self.assertEqual(len(lines), len(patterns), lines)
        for line, pattern in zip(lines, patterns):
            self.assertTrue(re.fullmatch(pattern, line, re.S), (line, pattern))

    def collector(self, *args, store=None):
        """A collector with its store in the test's folder (or `store`), stopped when the test ends."""
        collector = Collector(self.folder, *args, store=store)
        self.addCleanup(collector.stop)
        return collector


class Collector:
    """One `dromika-collector serve` on 127.0.0.1 and a free port, with its store in `folder`."""

    def __init__(self, folder, *args, store=None):
        command = [COLLECTOR, "serve", "--listen", "127.0.0.1:0",
                   "--store", store or "sqlite:" + os.path.join(folder, "store.db"), *args]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=folder)
        ready, _, _ = select.select([self.process.stdout], [], [], 30)
        line = self.process.stdout.readline().decode() if ready else ""
        match = re.search(r"listening on https?://127\.0\.0\.1:(\d+)", line)
        if not match:
            self.stop()
            raise AssertionError("the collector did not start: " + line + self.process.stderr.read().decode())
        self.port = int(match.group(1))

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()

    def request(self, method, path, body=None, headers=None, chunked=False, source=None):
        """Status, headers (lower-case names) and body of one exchange, from the loopback address `source`."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30,
                                                source_address=(source, 0) if source else None)
        try:
            connection.request(method, path, body=body, headers=headers or {}, encode_chunked=chunked)
            response = connection.getresponse()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
        finally:
            connection.close()

    def post(self, body, headers=None, **kwargs):
        status, _, answer = self.request("POST", "/v1/documents", body, dict(XML, **(headers or {})), **kwargs)
        return status, json.loads(answer)

    def get(self, path, headers=None, **query):
        status, _, answer = self.request("GET", path + ("?" + urllib.parse.urlencode(query) if query else ""),
                                         headers=headers)
        return status, json.loads(answer)

    def documents(self, headers=None, **query):
        status, answer = self.get("/v1/documents", headers, **query)
        assert status == 200, answer
        return answer["documents"]
