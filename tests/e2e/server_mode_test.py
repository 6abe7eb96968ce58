#!/usr/bin/env python3
"""Server mode from outside: whole sessions through tally-client, uploads to
a local HTTP server, and bad bytes on the wire through wire_probe.

Environment (set by ctest): DROMIKA_EXE, DROMIKA_HOST (posix or win32),
TALLY_CLIENT, WIRE_PROBE, UPLOAD_TEST_SERVER. On win32 every program runs
under wine."""
import contextlib
import gzip
import http.client
import http.server
import json
import select
import signal
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import xml.dom.minidom

HOST = os.environ.get("DROMIKA_HOST", "posix")
WINE = ["/usr/lib/wine/wine64"] if HOST == "win32" else []
DROMIKA = os.environ["DROMIKA_EXE"]
TALLY_CLIENT = os.environ["TALLY_CLIENT"]
WIRE_PROBE = os.environ["WIRE_PROBE"]
UPLOAD_TEST_SERVER = os.environ["UPLOAD_TEST_SERVER"]
COLLECTOR = os.environ.get("DROMIKA_COLLECTOR", "")  # a Linux program, also for the Windows build's tests
TIMEOUT = 180 if WINE else 60  # the first wine start creates its prefix

TIME = r"\d+d \d+:\d\d:\d\d\.\d\d\d"


def child_env(extra=None):
    env = dict(os.environ, WINEDEBUG="-all")
    env.update(extra or {})
    return env


def host_path(path):
    """The path as the program sees it: wine maps drive Z: to /."""
    return "Z:" + path.replace("/", "\\") if WINE else path


def tally(lines, server=None, raw=False, env=None):
    command = WINE + [TALLY_CLIENT]
    if server:
        command += ["--server", host_path(server) if WINE else server]
    if raw:
        command.append("--raw")
    script = "".join(line + "\n" for line in lines).encode("utf-8", "surrogateescape")
    done = subprocess.run(command, input=script, capture_output=True, timeout=TIMEOUT, env=child_env(env))
    return done.returncode, done.stdout.decode("utf-8").splitlines(), done.stderr.decode("utf-8", "replace")


def decode_sequence(text):
    """Items of a Sequence text: ';' separates, '&' escapes the next character."""
    items, current, i = [], b"", 0
    if not text:
        return []
    while i < len(text):
        c = text[i:i + 1]
        if c == b";":
            items.append(current)
            current = b""
        elif c == b"&":
            i += 1
            current += text[i:i + 1]
        else:
            current += c
        i += 1
    return items + [current]


def status_message(text):
    """The message of an encoded status; '' for success."""
    return decode_sequence(text)[0].decode("utf-8") if text else ""


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


def frame(payload):
    return struct.pack("<I", len(payload)) + payload


class Probe:
    """Runs wire_probe with a script of commands and returns its answers."""

    def __init__(self, server=None):
        self.server = server or DROMIKA

    def run(self, commands):
        command = WINE + [WIRE_PROBE, host_path(self.server) if WINE else self.server]
        script = "".join(c + "\n" for c in commands).encode("utf-8")
        done = subprocess.run(command, input=script, capture_output=True, timeout=TIMEOUT, env=child_env())
        answers = done.stdout.decode("utf-8", "replace").splitlines()
        assert answers and answers[0] == "started", (answers, done.stderr)
        self.stderr = done.stderr.decode("utf-8", "replace")  # the server's console
        return answers[1:]


def reply_items(answer):
    assert answer.startswith("reply "), answer
    return decode_sequence(bytes.fromhex(answer[len("reply "):]))


class SessionTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="dromika-e2e-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_whole_session_saves_the_document_of_the_examples(self):
        path = os.path.join(self.folder, "session.xml")
        code, out, err = tally([
            "StartGroup\tproject", "SetDataPoint\tfiles\t12", "EndGroup",
            "TrackEvent\tsession.init", "TrackValueEvent\tfile.open\t3", "TrackTimedEventEnd\t1",
            "AddStandardGroup\t0x10000000", "SaveTo\t" + host_path(path), "Process"])
        self.assertEqual(code, 0, err)
        self.assertEqual(out, ["ok\t"] * 8 + ["ok\tok"])
        self.assertIn("Saving to " + host_path(path), err)
        data = read_bytes(path)
        self.assertNotIn(b"\r\r", data)
        self.assertEqual(data.count(b"\r"), data.count(b"\r\n"))
        self.assertTrue(data.endswith(b"</dromika>\r\n"))
        lines = data.decode("utf-8").split("\r\n")[:-1]
        expected = [
            re.escape('<?xml version="1.0" encoding="utf-8"?>'),
            r"<dromika version=([\"'])[^\"']*\1 versionDisplay=([\"'])[^\"']*\2>",
            re.escape('<project files="12" />'),
            re.escape("<events>"),
            '  <event name="session\\.init" eventtime="%s" />' % TIME,
            '  <event name="file\\.open" value="3" eventtime="%s" elapsed="%s" />' % (TIME, TIME),
            re.escape("</events>"),
            re.escape("</dromika>"),
        ]
        self.assertEqual(len(lines), len(expected), lines)
        for line, pattern in zip(lines, expected):
            self.assertRegex(line, "^" + pattern + "$")
        xml.dom.minidom.parseString(data)

    @unittest.skipIf(WINE, "Linux paths are bytes")
    def test_paths_that_are_not_utf8_keep_their_bytes(self):
        tmp = os.path.join(self.folder, "tmp\udce9")
        os.mkdir(tmp)
        code, out, err = tally(["SaveTo\t" + os.path.join(self.folder, "s\udce9.xml"), "Process"], env={"TMPDIR": tmp})
        self.assertEqual(code, 0, err)
        self.assertEqual(out, ["ok\t", "ok\tok"])
        saved = os.path.join(os.fsencode(self.folder), b"s\xe9.xml")
        self.assertEqual(os.stat(saved).st_mode & 0o777, 0o600, "the document lists every command line")
        self.assertEqual(sorted(os.listdir(os.fsencode(self.folder))), [b"s\xe9.xml", b"tmp\xe9"])

    def test_values_and_failures_come_back_on_one_line_each(self):
        code, out, err = tally([
            "TrackTimedEventStart\tmesh.generate", "TrackTimedEventStart\t\u00e9t\u00e9", "TrackTimedEventEnd\t0xFFFFFFFF",
            "SetExcludePII\tt", "EndGroup", "Nope\ta\tb", "TrackValueEvent\tonly-a-name", "SaveTo\t", "Process"])
        self.assertEqual(code, 1, err)
        self.assertEqual(out[:5], ["ok\t0", "ok\t1", "ok\t", "ok\t", "ok\t"])
        self.assertTrue(out[5].startswith("Unknown remote call: Nope\t"), out[5])
        self.assertTrue(out[6].startswith("Wrong number of fields for TrackValueEvent"), out[6])
        self.assertEqual(out[7], "ok\t")
        status, value = out[8].split("\t")
        self.assertEqual(status, "ok")
        self.assertTrue(value.startswith("Unable to save to : "), value)
        self.assertEqual(len(out), 9)

    def test_raw_lines_reach_the_server_grammar(self):
        code, out, err = tally(["TrackValueEvent\t", "EndGroup\tx", "TrackEvent\ta;b", "TrackEvent\ta&;b",
                                "TrackTimedEventEnd\tnot-a-number", "Bogus\t1"], raw=True)
        self.assertEqual(code, 1, err)
        self.assertEqual(len(out), 6, out)
        for line in out[:3]:
            self.assertTrue(line.startswith("Syntax error"), line)
        self.assertEqual(out[3], "ok\t")
        self.assertTrue(out[4].startswith("Syntax error"), out[4])
        self.assertTrue(out[5].startswith("Unknown remote call: Bogus\t"), out[5])

    def test_exit_status_tells_success_failed_calls_and_a_lost_session(self):
        missing = host_path(os.path.join(self.folder, "missing", "x.xml"))
        cases = [
            ("all ok", ["TrackEvent\tx", "SaveTo\t" + host_path(os.path.join(self.folder, "ok.xml")), "Process"],
             None, 0, ["ok\t", "ok\t", "ok\tok"]),
            ("a call failed", ["EndGroup\tx", "TrackEvent\tx"], None, 1, None),
            ("Process returned a failure", ["SaveTo\t" + missing, "Process"], None, 1, None),
            ("no server", ["TrackEvent\tx"], os.path.join(self.folder, "missing-server"), 2, []),
        ]
        if not WINE:
            # A server that connects and leaves at once.
            leaver = os.path.join(self.folder, "leaver")
            with open(leaver, "w") as script:
                script.write("#!%s\nimport socket, sys\nsocket.socket(socket.AF_UNIX).connect(sys.argv[2][10:])\n"
                             % sys.executable)
            os.chmod(leaver, 0o700)
            cases.append(("connection broke", ["TrackEvent\tx", "TrackEvent\ty"], leaver, 2, []))
        for name, lines, server, expected, out_expected in cases:
            with self.subTest(name):
                code, out, err = tally(lines, server=server)
                self.assertEqual(code, expected, err)
                self.assertEqual(len(out), len(lines) if out_expected is None else len(out_expected), out)
                if out_expected is not None:
                    self.assertEqual(out, out_expected)
        done = subprocess.run(WINE + [TALLY_CLIENT, "--help"], capture_output=True, timeout=TIMEOUT, env=child_env())
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"Exit status", done.stdout)


class UploadHandler(http.server.BaseHTTPRequestHandler):
    """The upload peer: records each POST and answers as the test says:
    'code' with that status, 'cut' inside the headers, 'drip' one byte at a time."""
    protocol_version = "HTTP/1.1"
    answer = ("code", 200)
    received = []

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        UploadHandler.received.append((self.path, dict(self.headers), body))
        kind, code = UploadHandler.answer
        reply = b"HTTP/1.1 %d Done\r\nContent-Length: 0\r\nConnection: close\r\n\r\n" % code
        self.close_connection = True
        if kind == "cut":
            self.wfile.write(reply[:25])
        elif kind == "drip":
            for byte in reply:  # ten bytes a second: each read sees data, the whole takes seconds
                try:
                    self.wfile.write(bytes([byte]))
                    self.wfile.flush()
                except OSError:
                    return
                time.sleep(0.1)
        else:
            self.wfile.write(reply)

    def log_message(self, *args):
        pass


UPLOAD_VARIABLES = ("DROMIKA_UPLOAD_URL", "DROMIKA_UPLOAD_TOKEN", "http_proxy", "https_proxy", "all_proxy",
                    "no_proxy", "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY")



@unittest.skipUnless(os.path.exists(COLLECTOR), "needs the native build's dromika-collector")
class CollectorUploadTest(unittest.TestCase):
    """The whole path: a client session, the server's upload, the collector's store and its answers."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="dromika-upload-")
        with open(os.path.join(self.folder, "tokens"), "w") as tokens:
            tokens.write("s3cret-token\n")
        self.collector = subprocess.Popen(
            [COLLECTOR, "serve", "--listen", "127.0.0.1:0", "--store", "sqlite:" + os.path.join(self.folder, "db"),
             "--tokens", os.path.join(self.folder, "tokens")],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        ready, _, _ = select.select([self.collector.stdout], [], [], 30)
        line = self.collector.stdout.readline().decode() if ready else ""
        match = re.search(r"listening on http://127\.0\.0\.1:(\d+)", line)
        if not match:
            self.tearDown()
            self.fail("the collector did not start: " + line)
        self.port = int(match.group(1))

    def tearDown(self):
        self.collector.send_signal(signal.SIGTERM)
        try:
            self.collector.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.collector.kill()
            self.collector.wait()
        self.collector.stdout.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    def summary(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        try:
            connection.request("GET", "/v1/events/summary", headers={"Authorization": "Bearer s3cret-token"})
            response = connection.getresponse()
            self.assertEqual(response.status, 200)
            return {event["name"]: event for event in json.loads(response.read())["events"]}
        finally:
            connection.close()

    def test_a_session_uploaded_to_the_collector_is_answered_there(self):
        url = "http://127.0.0.1:%d/v1/documents" % self.port
        lines = ["TrackEvent\tsession.init", "TrackValueEvent\tfile.open\t7", "TrackEvent\tsession.init",
                 "AddStandardGroup\t0x10000000", "SaveTo\tweb service", "Process"]
        code, out, err = tally(lines, env={"DROMIKA_UPLOAD_URL": url, "DROMIKA_UPLOAD_TOKEN": "wrong"})
        self.assertEqual((code, out[-1].split("\t")[0]), (1, "ok"), err)  # refused: Process returns a failure
        self.assertEqual(self.summary(), {})
        code, out, err = tally(lines, env={"DROMIKA_UPLOAD_URL": url, "DROMIKA_UPLOAD_TOKEN": "s3cret-token"})
        self.assertEqual((code, out[-1]), (0, "ok\tok"), err)
        events = self.summary()
        self.assertEqual(sorted(events), ["file.open", "session.init"])
        self.assertEqual((events["session.init"]["count"], events["session.init"]["documents"]), (2, 1))
        self.assertEqual(events["file.open"]["value_sum"], 7)


class UploadTest(unittest.TestCase):
    LINES = ["TrackEvent\tsession.init", "AddStandardGroup\t0x10000000", "SaveTo\tweb service", "Process"]

    def setUp(self):
        UploadHandler.answer, UploadHandler.received = ("code", 200), []
        self.http = http.server.ThreadingHTTPServer(("127.0.0.1", 0), UploadHandler)
        self.http.daemon_threads = True
        threading.Thread(target=self.http.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d/collect" % self.http.server_address[1]
        # Only what a case sets: no address, token or proxy from the caller's environment.
        self.saved = {name: os.environ.pop(name) for name in UPLOAD_VARIABLES if name in os.environ}

    def tearDown(self):
        os.environ.update(self.saved)
        self.http.shutdown()
        self.http.server_close()

    def process(self, env, server=UPLOAD_TEST_SERVER):
        """Runs a session that uploads; returns Process's value and the console text."""
        code, out, err = tally(self.LINES, server=server, env=env)
        self.assertEqual(out[:3], ["ok\t"] * 3)
        self.assertEqual(len(out), 4, out)
        self.assertNotIn("Saving to", err)
        status, value = out[3].split("\t")
        self.assertEqual(status, "ok")
        self.assertEqual(code, 0 if value == "ok" else 1, err)
        return value, "\n".join(out) + err

    def test_the_address_and_token_from_the_environment_send_the_document_compressed(self):
        value, console = self.process({"DROMIKA_UPLOAD_URL": self.url, "DROMIKA_UPLOAD_TOKEN": "t0k3n-Secret"},
                                      server=None)
        self.assertEqual(value, "ok")
        self.assertNotIn("t0k3n-Secret", console)
        self.assertEqual(len(UploadHandler.received), 1)
        path, headers, body = UploadHandler.received[0]
        self.assertEqual(path, "/collect")
        self.assertEqual(headers.get("Content-Type"), "application/xml; charset=utf-8")
        self.assertEqual(headers.get("Content-Encoding"), "gzip")
        self.assertEqual(headers.get("Authorization"), "Bearer t0k3n-Secret")
        # No time, name or system code in the gzip header: the same bytes from either host.
        self.assertEqual(body[:10], b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff")
        document = gzip.decompress(body)
        self.assertTrue(document.startswith(b'<?xml version="1.0" encoding="utf-8"?>\r\n'), document[:60])
        self.assertIn(b'<event name="session.init" eventtime="', document)
        self.assertTrue(document.endswith(b"</dromika>\r\n"))
        xml.dom.minidom.parseString(document)

    def test_failures_name_their_cause(self):
        with socket.socket() as unused:
            unused.bind(("127.0.0.1", 0))
            refused = "http://127.0.0.1:%d/collect" % unused.getsockname()[1]
        cases = [  # name, answer, address, extra environment, what the message holds
            ("a 500 reply", ("code", 500), self.url, {}, "500"),
            ("a refused connection", ("code", 200), refused, {}, "connect"),
            ("a reply cut inside its headers", ("cut", 200), self.url, {}, "reply|connection|server"),
            ("a reply dripping past the deadline", ("drip", 200), self.url,
             {"DROMIKA_TEST_UPLOAD_TIMEOUT_MS": "1000"}, "time"),
            ("a token that cannot be a header", ("code", 200), self.url,
             {"DROMIKA_UPLOAD_TOKEN": "two words"}, "token"),
        ]
        for name, answer, url, extra, cause in cases:
            with self.subTest(name):
                UploadHandler.answer, UploadHandler.received = answer, []
                value, console = self.process(dict(extra, DROMIKA_UPLOAD_URL=url))
                self.assertTrue(value.startswith("Unable to upload the analytics document to " + url + ": "), value)
                self.assertRegex(value.lower(), cause)
                self.assertNotIn("two words", console)

    @unittest.skipIf(WINE, "the Windows build takes the system's proxy settings, not these variables")
    def test_proxies_come_from_the_environment(self):
        with socket.socket() as unused:
            unused.bind(("127.0.0.1", 0))
            dead = "http://127.0.0.1:%d" % unused.getsockname()[1]
        proxy = "http://127.0.0.1:%d" % self.http.server_address[1]
        cases = [  # the proxy, what bypasses it, the address, the path the peer sees
            (proxy, "", "http://upload.invalid/collect", "http://upload.invalid/collect"),
            (dead, "127.0.0.1", self.url, "/collect"),
        ]
        for http_proxy, no_proxy, url, seen in cases:
            with self.subTest(http_proxy=http_proxy, no_proxy=no_proxy):
                UploadHandler.received = []
                value, _ = self.process({"DROMIKA_UPLOAD_URL": url, "http_proxy": http_proxy, "no_proxy": no_proxy})
                self.assertEqual(value, "ok")
                self.assertEqual([r[0] for r in UploadHandler.received], [seen])

    @unittest.skipIf(os.environ.get("DROMIKA_BUILD_UPLOAD_URL"), "this build has an upload address")
    def test_a_build_without_an_address_says_so(self):
        code, out, err = tally(self.LINES)
        self.assertEqual(code, 1, err)
        self.assertIn("no upload address is configured", out[3])


class WireTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="dromika-e2e-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_bad_requests_each_get_a_reply_and_the_session_goes_on(self):
        answers = Probe().run([
            "call Nope\tx", "read",
            "call TrackValueEvent\t", "read",
            "call EndGroup\tx", "read",
            "call TrackEvent\ta;b", "read",
            "frame " + b"\x00\xff&".hex(), "read",
            "frame " + b"one;two;three".hex(), "read",
            "call TrackTimedEventStart\tstill.serving", "read",
            "close"])
        replies = [reply_items(a) for a in answers if a.startswith("reply ")]
        self.assertEqual(len(replies), 7, answers)
        messages = [status_message(items[0]) for items in replies]
        self.assertEqual(messages[0], "Unknown remote call: Nope")
        self.assertEqual(messages[1:4], ["Syntax error"] * 3)
        self.assertEqual(messages[4:6], ["Malformed remote call request"] * 2)
        self.assertEqual(replies[6], [b"", b"0"])
        self.assertEqual(answers[-1], "exit 0")

    def test_an_unreadable_frame_ends_the_server_with_a_status_line(self):
        cases = {
            "truncated payload": (["bytes " + (struct.pack("<I", 100) + b"short").hex()], "Truncated frame"),
            "truncated header": (["bytes 0100"], "Truncated frame"),
            "oversized length": (["bytes " + (struct.pack("<I", 0xFFFFFFFF) + b"x").hex(), "read"],
                                 "Frame too large: 4294967295 bytes"),
            "just over the maximum": (["bytes " + struct.pack("<I", (4 << 20) + 1).hex(), "read"],
                                      "Frame too large: 4194305 bytes"),
        }
        for name, (commands, line) in cases.items():
            with self.subTest(name):
                probe = Probe()
                answers = probe.run(["call TrackEvent\tbefore", "read"] + commands + ["close"])
                self.assertEqual(reply_items(answers[1]), [b"", b""])
                if commands[-1] == "read":
                    self.assertTrue(answers[-2].startswith("closed "), answers)
                self.assertEqual(answers[-1], "exit 1", answers)
                self.assertEqual(len(probe.stderr.splitlines()), 1, probe.stderr)
                self.assertTrue(probe.stderr.startswith(line), probe.stderr)

    def test_no_reply_outgrows_a_frame_and_the_session_goes_on(self):
        ampersands = b"&" * (2200 * 1000)  # escaped once in the request, twice in a reply quoting it
        answers = Probe().run([
            "frame " + (b"TrackValueEvent;" + ampersands).hex(), "read",
            "frame " + (ampersands + b";x").hex(), "read",
            "call TrackTimedEventStart\tstill.serving", "read", "close"])
        syntax, unknown = reply_items(answers[1]), reply_items(answers[3])
        excerpt = b"&" * 256 + b"... (1100000 bytes)"
        self.assertEqual(decode_sequence(syntax[0])[:2], [b"Syntax error", b'"' + excerpt.replace(b".", b'".', 1)])
        self.assertEqual(status_message(unknown[0]), "Unknown remote call: " + excerpt.decode())
        self.assertEqual(reply_items(answers[5]), [b"", b"0"])
        self.assertEqual(answers[-1], "exit 0")

    def test_a_client_that_vanishes_mid_call_loses_no_event(self):
        path = os.path.join(self.folder, "vanish.xml")
        answers = Probe().run([
            "call TrackEvent\tfirst", "read", "call TrackValueEvent\tsecond;7", "read",
            "call AddStandardGroup\t268435456", "read", "call SaveTo\t" + host_path(path), "read",
            "call Process\t", "close"])
        # Whether the reply to Process left before the close is a race; it ends with 1 only when it could not.
        self.assertIn(answers[-1], ("exit 0", "exit 1"), answers)
        data = read_bytes(path).decode("utf-8")
        self.assertRegex(data, '<event name="first" eventtime="%s" />' % TIME)
        self.assertRegex(data, '<event name="second" value="7" eventtime="%s" />' % TIME)

    def test_a_save_path_holding_nul_is_refused_and_nothing_is_written(self):
        real = os.path.join(self.folder, "real.xml")
        target = host_path(real).encode() + b"\x00" + host_path(os.path.join(self.folder, "x")).encode()
        answers = Probe().run(["frame " + (b"SaveTo;" + target).hex(), "read", "call Process\t", "read", "close"])
        replies = [reply_items(a) for a in answers if a.startswith("reply ")]
        self.assertEqual(len(replies), 2, answers)
        self.assertEqual(status_message(replies[1][1]),
                         "Unable to save to " + host_path(real) + ": the path holds a NUL character")
        self.assertEqual(os.listdir(self.folder), [])

    def test_a_frame_in_pieces_is_still_one_call(self):
        request = frame(b"TrackTimedEventStart;pieces")
        answers = Probe().run(["bytes " + request[:3].hex(), "bytes " + request[3:9].hex(),
                               "bytes " + request[9:].hex(), "read", "close"])
        self.assertEqual(reply_items(answers[3]), [b"", b"0"])
        self.assertEqual(answers[-1], "exit 0")

    def test_one_oversized_call_fails_alone(self):
        path = os.path.join(self.folder, "big.xml")
        code, out, err = tally(["StartGroup\tg", "SetDataPoint\tbig\t" + "v" * (5 << 20), "SetDataPoint\tsmall\t1",
                                "EndGroup", "SaveTo\t" + host_path(path), "Process"])
        self.assertEqual(code, 1, err)
        self.assertEqual(out[1], "Request too large: SetDataPoint takes 5242898 bytes, at most 4194304 allowed\t")
        self.assertEqual(out[:1] + out[2:], ["ok\t"] * 4 + ["ok\tok"])
        self.assertIn(b'<g small="1" />', read_bytes(path))


class ConsoleTest(unittest.TestCase):
    """Whatever becomes of the console, the run goes on."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="dromika-e2e-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def run_with_closed_reader(self, command, stream, script=b""):
        """Runs with standard output or error on a pipe that nobody reads any more."""
        reader, writer = os.pipe()
        os.close(reader)
        try:
            return subprocess.run(command, input=script, timeout=TIMEOUT, env=child_env(), capture_output=False,
                                  stdout=writer if stream == "out" else subprocess.PIPE,
                                  stderr=writer if stream == "err" else subprocess.PIPE)
        finally:
            os.close(writer)

    def test_a_console_nobody_reads_never_ends_the_run(self):
        report = os.path.join(self.folder, "r.dromika")
        done = self.run_with_closed_reader(WINE + [DROMIKA, "/out:" + host_path(report)], "out")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(read_bytes(report).endswith(b"</dromika>\r\n"))
        # tally-client hands its standard error to the server as its console.
        saved = os.path.join(self.folder, "s.xml")
        script = "TrackEvent\tx\nAddStandardGroup\t0x10000000\nSaveTo\t%s\nProcess\n" % host_path(saved)
        done = self.run_with_closed_reader(WINE + [TALLY_CLIENT], "err", script.encode())
        self.assertEqual(done.returncode, 0)
        self.assertEqual(done.stdout.decode().splitlines(), ["ok\t"] * 3 + ["ok\tok"])
        self.assertIn(b'<event name="x"', read_bytes(saved))

    @unittest.skipIf(WINE, "descriptors are a Linux matter")
    def test_a_server_without_standard_output_keeps_its_console_off_the_wire(self):
        saved = os.path.join(self.folder, "s.xml")
        requests = [b"TrackEvent;x", b"AddStandardGroup;268435456", b"SaveTo;" + saved.encode(), b"Process;"]
        with own_listener(self.folder) as (path, listener):
            server = subprocess.Popen([DROMIKA, "RunServer", "/pipename:" + path], stdin=subprocess.DEVNULL,
                                      preexec_fn=lambda: (os.close(1), os.close(2)))
            try:
                connection, _ = listener.accept()
                with connection:
                    replies = [call_over(connection, request) for request in requests]
                code = server.wait(timeout=TIMEOUT)
            finally:
                if server.poll() is None:
                    server.kill()
                    server.wait()
        self.assertEqual(replies, [b";"] * 4)
        self.assertEqual(code, 0)
        self.assertIn(b'<event name="x"', read_bytes(saved))

    @unittest.skipIf(WINE, "a listener's queue is a Linux matter")
    def test_a_listener_that_never_accepts_ends_the_server_with_a_status_line(self):
        with own_listener(self.folder, backlog=0) as (path, listener):
            with socket.socket(socket.AF_UNIX) as queued:
                queued.connect(path)  # the queue is full from now on
                done = subprocess.run([DROMIKA, "RunServer", "/pipename:" + path], capture_output=True, timeout=TIMEOUT)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stdout, b"")
        self.assertIn(b"did not take the connection", done.stderr)
        self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)


@contextlib.contextmanager
def own_listener(folder, backlog=1):
    """A Unix socket listener in `folder` that the test itself holds: (path, socket)."""
    path = os.path.join(folder, "endpoint")
    with socket.socket(socket.AF_UNIX) as listener:
        listener.bind(path)
        listener.listen(backlog)
        listener.settimeout(TIMEOUT)
        yield path, listener


def call_over(connection, payload):
    """Sends one request frame and reads one reply frame."""
    connection.settimeout(TIMEOUT)
    connection.sendall(frame(payload))

    def exactly(count):
        data = b""
        while len(data) < count:
            chunk = connection.recv(count - len(data))
            assert chunk, "connection closed after %d of %d bytes" % (len(data), count)
            data += chunk
        return data

    length = struct.unpack("<I", exactly(4))[0]
    assert length <= 4 << 20, "not a frame header: %r" % struct.pack("<I", length)
    return exactly(length)


if __name__ == "__main__":
    unittest.main(verbosity=2)
