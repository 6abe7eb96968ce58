"""What the end-to-end tests share: running the built programs the way a user
does, on either host (wine for Windows), a fresh folder per test, and a
dromika-collector on loopback. ctest sets DROMIKA_EXE, DROMIKA_HOST (posix or
win32) and DROMIKA_COLLECTOR."""
import http.client
import json
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time
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
    """One `dromika-collector serve` on 127.0.0.1 and a free port, with its store in `folder`. Its log
    (standard output) is read as it comes; when it stops, every line must be JSON and hold none of the
    tokens, cookies and query values the test sent or received."""

    def __init__(self, folder, *args, store=None):
        command = [COLLECTOR, "serve", "--listen", "127.0.0.1:0",
                   "--store", store or "sqlite:" + os.path.join(folder, "store.db"), *args]
        self.secrets = set()
        if "--tokens" in args:
            with open(os.path.join(folder, args[args.index("--tokens") + 1]), "rb") as tokens:
                self.secrets.update(line.split()[0].decode() for line in tokens.read().splitlines()
                                    if line.strip() and not line.strip().startswith(b"#"))
        self.lines = []
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=folder)
        self.reader = threading.Thread(target=self._read_log, daemon=True)
        self.reader.start()
        deadline = time.monotonic() + 30
        while not self.lines and self.process.poll() is None and time.monotonic() < deadline:
            time.sleep(0.01)
        line = self.lines[0] if self.lines else ""
        match = re.search(r"listening on https?://127\.0\.0\.1:(\d+)", line)
        if not match:
            self.stop()
            raise AssertionError("the collector did not start: " + line + self.process.stderr.read().decode())
        self.port = int(match.group(1))

    def _read_log(self):
        for line in self.process.stdout:
            self.lines.append(line.decode("utf-8", "replace").rstrip("\n"))

    def log(self, event=None):
        """The log lines so far, parsed; only those of `event` when given."""
        return [entry for entry in map(json.loads, list(self.lines)) if event in (None, entry["event"])]

    def signal(self, number):
        self.process.send_signal(number)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.reader.join(10)
        self.process.stdout.close()
        self.process.stderr.close()
        self.check_log()

    def check_log(self):
        for line in self.lines:
            json.loads(line)
            leaked = [secret for secret in self.secrets if secret in line]
            assert not leaked, "the log shows %r: %s" % (leaked, line)

    def remember_secrets(self, path, body, headers):
        """Tokens, cookies and query values this exchange carries: the log must never show one. Short
        values (a limit, a day) could stand in a log line for other reasons."""
        values = [v for _, v in urllib.parse.parse_qsl(urllib.parse.urlsplit(path).query)]
        if "application/x-www-form-urlencoded" in headers.get("Content-Type", ""):
            values += [v for _, v in urllib.parse.parse_qsl(body or "")]
        for name, value in headers.items():
            if name.lower() == "authorization":
                values.append(value.split(" ", 1)[-1].strip())
            elif name.lower() in ("cookie", "set-cookie"):
                values += [pair.split("=", 1)[-1] for pair in value.split(";") if "=" in pair]
        self.secrets.update(v for v in values if len(v) >= 8)

    def request(self, method, path, body=None, headers=None, chunked=False, source=None):
        """Status, headers (lower-case names) and body of one exchange, from the loopback address `source`."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30,
                                                source_address=(source, 0) if source else None)
        self.remember_secrets(path, body if isinstance(body, str) else None, headers or {})
        try:
            connection.request(method, path, body=body, headers=headers or {}, encode_chunked=chunked)
            response = connection.getresponse()
            answer = {k.lower(): v for k, v in response.getheaders()}
            self.remember_secrets("", None, {"Set-Cookie": answer.get("set-cookie", "")})
            return response.status, answer, response.read()
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
