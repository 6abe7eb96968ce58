#!/usr/bin/env python3
"""Server mode from outside: whole sessions through tally-client, uploads to
a local HTTP server, and bad bytes on the wire through wire_probe.

Environment (set by ctest): DROMIKA_EXE, DROMIKA_HOST (posix or win32),
TALLY_CLIENT, WIRE_PROBE, UPLOAD_TEST_SERVER. On win32 every program runs
under wine."""
import http.server
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
        self.assertEqual(code, 0, err)
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
        self.assertEqual(code, 0, err)
        self.assertEqual(len(out), 6, out)
        for line in out[:3]:
            self.assertTrue(line.startswith("Syntax error"), line)
        self.assertEqual(out[3], "ok\t")
        self.assertTrue(out[4].startswith("Syntax error"), out[4])
        self.assertTrue(out[5].startswith("Unknown remote call: Bogus\t"), out[5])

    def test_a_server_that_cannot_start_exits_one(self):
        code, out, err = tally(["TrackEvent\tx"], server=os.path.join(self.folder, "missing-server"))
        self.assertEqual(code, 1)
        self.assertEqual(out, [])
        self.assertIn("Unable to start the server", err)


class UploadHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    code = 200
    delay = 0.0
    received = []

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        UploadHandler.received.append((self.path, self.headers.get("Content-Type"), body))
        time.sleep(UploadHandler.delay)
        self.send_response(UploadHandler.code)
        self.send_header("Content-Length", "0")
        self.send_header("Connection", "close")
        self.end_headers()

    def log_message(self, *args):
        pass


class UploadTest(unittest.TestCase):
    LINES = ["TrackEvent\tsession.init", "AddStandardGroup\t0x10000000", "SaveTo\tweb service", "Process"]

    def setUp(self):
        UploadHandler.code, UploadHandler.delay, UploadHandler.received = 200, 0.0, []
        self.http = http.server.ThreadingHTTPServer(("127.0.0.1", 0), UploadHandler)
        self.http.daemon_threads = True
        threading.Thread(target=self.http.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d/collect" % self.http.server_address[1]

    def tearDown(self):
        self.http.shutdown()
        self.http.server_close()

    def process(self, url, timeout_ms=None):
        env = {"DROMIKA_TEST_UPLOAD_URL": url}
        if timeout_ms:
            env["DROMIKA_TEST_UPLOAD_TIMEOUT_MS"] = str(timeout_ms)
        code, out, err = tally(self.LINES, server=UPLOAD_TEST_SERVER, env=env)
        self.assertEqual(code, 0, err)
        self.assertEqual(out[:3], ["ok\t"] * 3)
        self.assertEqual(len(out), 4, out)
        self.assertNotIn("Saving to", err)
        status, value = out[3].split("\t")
        self.assertEqual(status, "ok")
        return value

    def test_success_posts_the_document_as_utf8_xml(self):
        self.assertEqual(self.process(self.url), "ok")
        self.assertEqual(len(UploadHandler.received), 1)
        path, content_type, body = UploadHandler.received[0]
        self.assertEqual(path, "/collect")
        self.assertEqual(content_type, "application/xml; charset=utf-8")
        self.assertTrue(body.startswith(b'<?xml version="1.0" encoding="utf-8"?>\r\n'), body[:60])
        self.assertIn(b'<event name="session.init" eventtime="', body)
        self.assertTrue(body.endswith(b"</dromika>\r\n"))
        xml.dom.minidom.parseString(body)

    def test_a_500_reply_is_a_failure_naming_it(self):
        UploadHandler.code = 500
        value = self.process(self.url)
        self.assertIn(self.url, value)
        self.assertIn("500", value)

    def test_a_refused_connection_is_a_failure_naming_it(self):
        with socket.socket() as unused:
            unused.bind(("127.0.0.1", 0))
            port = unused.getsockname()[1]
        url = "http://127.0.0.1:%d/collect" % port
        value = self.process(url)
        self.assertTrue(value.startswith("Unable to upload the analytics document to " + url + ": "), value)
        self.assertRegex(value.lower(), "connect")

    def test_a_reply_that_never_comes_times_out(self):
        UploadHandler.delay = 5.0
        value = self.process(self.url, timeout_ms=1000)
        self.assertTrue(value.startswith("Unable to upload the analytics document to "), value)
        self.assertRegex(value.lower(), "time")

    @unittest.skipIf(os.environ.get("DROMIKA_BUILD_UPLOAD_URL"), "this build has an upload address")
    def test_a_build_without_an_address_says_so(self):
        code, out, err = tally(self.LINES)
        self.assertEqual(code, 0, err)
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

    def test_unreadable_frames_end_the_server_cleanly(self):
        cases = {
            "truncated payload": ["bytes " + (struct.pack("<I", 100) + b"short").hex()],
            "truncated header": ["bytes 0100"],
            "oversized length": ["bytes " + (struct.pack("<I", 0xFFFFFFFF) + b"x").hex(), "read"],
            "just over the maximum": ["bytes " + struct.pack("<I", (4 << 20) + 1).hex(), "read"],
        }
        for name, commands in cases.items():
            with self.subTest(name):
                answers = Probe().run(["call TrackEvent\tbefore", "read"] + commands + ["close"])
                self.assertEqual(reply_items(answers[1]), [b"", b""])
                if commands[-1] == "read":
                    self.assertTrue(answers[-2].startswith("closed "), answers)
                self.assertEqual(answers[-1], "exit 0", answers)

    def test_a_client_that_vanishes_mid_call_loses_no_event(self):
        path = os.path.join(self.folder, "vanish.xml")
        answers = Probe().run([
            "call TrackEvent\tfirst", "read", "call TrackValueEvent\tsecond;7", "read",
            "call AddStandardGroup\t268435456", "read", "call SaveTo\t" + host_path(path), "read",
            "call Process\t", "close"])
        self.assertEqual(answers[-1], "exit 0", answers)
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


if __name__ == "__main__":
    unittest.main(verbosity=2)
