#!/usr/bin/env python3
"""Server mode from outside: whole sessions through tally-client, uploads to
a local HTTP server and to the collector, and bad bytes on the wire through
wire_probe. Environment (set by ctest): as dromika.py, plus TALLY_CLIENT,
WIRE_PROBE and UPLOAD_TEST_SERVER."""
import gzip
import http.server
import os
import re
import socket
import struct
import subprocess
import sys
import threading
import time
import unittest

from dromika import COLLECTOR, EXE, TIMEOUT, WINE, FolderCase, host_path, read_bytes, run

TALLY_CLIENT = os.environ["TALLY_CLIENT"]
WIRE_PROBE = os.environ["WIRE_PROBE"]
UPLOAD_TEST_SERVER = os.environ["UPLOAD_TEST_SERVER"]
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
TIME = r"\d+d \d+:\d\d:\d\d\.\d\d\d"
UPLOAD_VARIABLES = ("DROMIKA_UPLOAD_URL", "DROMIKA_UPLOAD_TOKEN", "http_proxy", "https_proxy", "all_proxy",
                    "no_proxy", "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY")
SPOOL_VARIABLES = ("XDG_STATE_HOME", "DROMIKA_TEST_UPLOAD_SPOOL")
KEPT = "The document was kept for a later upload."


def tally(lines, server=None, raw=False, env=None):
    """A tally-client session: exit code, its answer lines and the console."""
    args = (["--server", host_path(server)] if server else []) + (["--raw"] if raw else [])
    script = "".join(line + "\n" for line in lines).encode("utf-8", "surrogateescape")
    code, out, err = run(TALLY_CLIENT, *args, stdin=script, env=env)
    return code, out.splitlines(), err


def probe(commands, server=EXE):
    """wire_probe's answers to a script of commands, and the server's console."""
    code, out, err = run(WIRE_PROBE, host_path(server), stdin="".join(c + "\n" for c in commands).encode())
    answers = out.splitlines()
    assert answers[:1] == ["started"], (answers, err)
    return answers[1:], err


def decode_sequence(text):
    """Items of a Sequence text: ';' separates, '&' escapes the next character."""
    items, i = [b""], 0
    while i < len(text):
        if text[i:i + 1] == b";":
            items.append(b"")
        else:
            i += text[i:i + 1] == b"&"
            items[-1] += text[i:i + 1]
        i += 1
    return items if text else []


def reply_items(answer):
    assert answer.startswith("reply "), answer
    return decode_sequence(bytes.fromhex(answer[len("reply "):]))


def status_message(text):
    """The message of an encoded status; '' for success."""
    return decode_sequence(text)[0].decode("utf-8") if text else ""


def frame(payload):
    return struct.pack("<I", len(payload)) + payload


def unused_port():
    with socket.socket() as unused:
        unused.bind(("127.0.0.1", 0))
        return unused.getsockname()[1]


class SessionTest(FolderCase):
    @unittest.skipIf(WINE, "Linux paths are bytes")
    def test_paths_that_are_not_utf8_keep_their_bytes(self):
        os.mkdir(tmp := self.path("tmp\udce9"))
        code, out, err = tally(["SaveTo\t" + self.path("s\udce9.xml"), "Process"], env={"TMPDIR": tmp})
        self.assertEqual((code, out), (0, ["ok\t", "ok\tok"]), err)
        saved = os.path.join(os.fsencode(self.folder), b"s\xe9.xml")
        self.assertEqual(os.stat(saved).st_mode & 0o777, 0o600, "the document lists every command line")
        self.assertEqual(sorted(os.listdir(os.fsencode(self.folder))), [b"s\xe9.xml", b"tmp\xe9"])

    def test_a_fixed_script_saves_the_same_bytes(self):
        """Client groups, escaping, values and timed events through the whole session; times and the
        program's version are the only bytes that may differ from the fixture."""
        saved = self.path("fixed.xml")
        lines = ["StartGroup\tproject", "SetDataPoint\tfiles\t12",
                 "SetDataPoint\ttitle\t<a & \"b\"> 'c' caf\u00e9 \u6f22 \U0001F600 \x01",
                 "StartGroup\tnested", "SetDataPoint\tdepth\t2", "StartGroup\tgr\u00fcppe\U0001F600",
                 "SetDataPoint\tn\u00e4me\tv", "EndGroup", "EndGroup", "EndGroup", "StartGroup\tempty",
                 "EndGroup", "TrackEvent\tsession.init", "TrackValueEvent\tfile.open\t3",
                 "TrackValueEvent\tzero\t0", "TrackTimedEventStart\tmesh.generate", "TrackTimedEventEnd\t3",
                 "TrackEvent\t\u00fcn\u00efc\u00f8d\u00e9 \U0001F600", "AddStandardGroup\t0x10000000",
                 "SaveTo\t" + host_path(saved), "Process"]
        code, _, console = tally(lines)
        self.assertEqual(code, 0, console)
        document = re.sub(rb'(eventtime|elapsed)="[^"]*"', rb'\1="T"', read_bytes(saved))
        document = re.sub(rb"version='[^']*' versionDisplay='[^']*'", b"version='V' versionDisplay='V'", document)
        with open(os.path.join(DATA, "analytics", "session-script.xml"), "rb") as fixture:
            self.assertEqual(document, fixture.read())

    def test_answers_and_exit_status(self):
        """One answer line per call; exit 0 when all were ok, 1 when a call or Process failed, 2 when the
        session was lost or the arguments were not understood."""
        whole, big = host_path(self.path("session.xml")), host_path(self.path("big.xml"))
        cases = [  # name, lines, --raw, server, exit code, a pattern per answer line
            ("whole session", ["StartGroup\tproject", "SetDataPoint\tfiles\t12", "EndGroup", "TrackEvent\tsession.init",
                               "TrackValueEvent\tfile.open\t3", "TrackTimedEventEnd\t1", "AddStandardGroup\t0x10000000",
                               "SaveTo\t" + whole, "Process"], False, None, 0, ["ok\t"] * 8 + ["ok\tok"]),
            ("one oversized call fails alone", ["StartGroup\tg", "SetDataPoint\tbig\t" + "v" * (5 << 20),
                                                "SetDataPoint\tsmall\t1", "EndGroup", "SaveTo\t" + big, "Process"],
             False, None, 1, ["ok\t", "Request too large: SetDataPoint takes 5242898 bytes, at most 4194304 allowed\t"]
             + ["ok\t"] * 3 + ["ok\tok"]),
            ("values and failures", ["TrackTimedEventStart\tmesh.generate", "TrackTimedEventStart\t\u00e9t\u00e9",
                                     "TrackTimedEventEnd\t0xFFFFFFFF", "SetExcludePII\tt", "EndGroup", "Nope\ta\tb",
                                     "TrackValueEvent\tonly-a-name", "SaveTo\t", "Process"], False, None, 1,
             ["ok\t0", "ok\t1", "ok\t", "ok\t", "ok\t", "Unknown remote call: Nope\t.*",
              "Wrong number of fields for TrackValueEvent.*", "ok\t", "ok\tUnable to save to : .*"]),
            # The server grammar's answers are WireTest's; here raw lines reach it as they are.
            ("raw lines", ["TrackEvent\ta;b", "TrackEvent\ta&;b", "Bogus\t1"], True, None, 1,
             ["Syntax error.*", "ok\t", "Unknown remote call: Bogus\t.*"]),
            ("Process returned a failure", ["SaveTo\t" + host_path(self.path("missing/x.xml")), "Process"], False,
             None, 1, ["ok\t", "ok\tUnable to save to .+"]),
            ("no server", ["TrackEvent\tx"], False, self.path("missing-server"), 2, []),
        ]
        if not WINE:  # a server that connects and leaves at once
            leaver = self.write("leaver", b"#!%s\nimport socket, sys\n"
                                b"socket.socket(socket.AF_UNIX).connect(sys.argv[2][10:])\n" % sys.executable.encode())
            os.chmod(leaver, 0o700)
            cases.append(("connection broke", ["TrackEvent\tx", "TrackEvent\ty"], False, leaver, 2, []))
        consoles = {}
        for name, lines, raw, server, expected, answers in cases:
            with self.subTest(name):
                code, out, consoles[name] = tally(lines, server, raw)
                self.assertEqual(code, expected, consoles[name])
                self.assert_lines(out, answers)
        self.assertIn("Saving to " + whole, consoles["whole session"])
        # Each call reached its operation; the document's form is the unit tests' (tests/data/analytics).
        self.assertRegex(read_bytes(self.path("session.xml")).decode("utf-8"), '(?s)\r\n<project files="12" />'
                         '\r\n<events>\r\n.*<event name="file\\.open" value="3" eventtime="%s" elapsed="%s" />'
                         % (TIME, TIME))
        self.assertIn(b'<g small="1" />', read_bytes(self.path("big.xml")))
        # The usage goes to standard output when asked for, else to standard error.
        for args, expected in ((["--help"], 0), (["-h"], 0), (["--bogus"], 2), (["--server"], 2)):
            code, out, err = run(TALLY_CLIENT, *args)
            self.assertEqual((code, "Usage: tally-client" in (out if expected == 0 else err)), (expected, True), args)
        # The help lists every call with its argument types, and the group bits by name.
        out = run(TALLY_CLIENT, "-h")[1]
        self.assertRegex(out, "(?m)^  TrackValueEvent +TEXT NUMBER$")
        self.assertRegex(out, "(?m)^  0x00000008  disk space$")
        self.assertEqual(len(re.findall(r"(?m)^  [A-Z]\w+(  |$)", out)), 11)
        self.assertRegex(run(TALLY_CLIENT, "--version")[1], r"^tally-client \d+\.\d+\.\d+\.\d+\n$")


class UploadHandler(http.server.BaseHTTPRequestHandler):
    """The upload peer: records each POST and answers as the test says:
    'code' with that status, 'cut' inside the headers, 'drip' one byte at a time."""
    protocol_version = "HTTP/1.1"
    answer, received = ("code", 200), []

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        UploadHandler.received.append((self.path, dict(self.headers), body))
        kind, code = UploadHandler.answer
        reply = b"HTTP/1.1 %d Done\r\nContent-Length: 0\r\nConnection: close\r\n\r\n" % code
        self.close_connection = True
        # A drip sends ten bytes a second: each read sees data, the whole takes seconds.
        for piece in {"cut": [reply[:25]], "drip": [bytes([b]) for b in reply]}.get(kind, [reply]):
            try:
                self.wfile.write(piece)
                self.wfile.flush()
            except OSError:
                return
            time.sleep(0.1 if kind == "drip" else 0)

    def log_message(self, *args):
        pass


class UploadTest(FolderCase):
    LINES = ["TrackEvent\tsession.init", "AddStandardGroup\t0x10000000", "SaveTo\tweb service", "Process"]

    @unittest.skipUnless(os.path.exists(COLLECTOR), "needs the native build's dromika-collector")
    def test_a_session_uploaded_to_the_collector_is_answered_there(self):
        """The whole path: a client session, the server's upload, the collector's store and its answers."""
        collector = self.collector("--tokens", self.write("tokens", b"s3cret-token\n"))
        url = "http://127.0.0.1:%d/v1/documents" % collector.port
        lines = ["TrackEvent\tsession.init", "TrackValueEvent\tfile.open\t7", "TrackEvent\tsession.init",
                 "AddStandardGroup\t0x10000000", "SaveTo\tweb service", "Process"]
        code, out, err = tally(lines, env={"DROMIKA_UPLOAD_URL": url, "DROMIKA_UPLOAD_TOKEN": "s3cret-token"})
        self.assertEqual((code, out[-1]), (0, "ok\tok"), err)
        _, answer = collector.get("/v1/events/summary", {"Authorization": "Bearer s3cret-token"})
        counts = {e["name"]: (e["count"], e["documents"], e["value_sum"]) for e in answer["events"]}
        self.assertEqual(counts, {"session.init": (2, 1, 0), "file.open": (1, 1, 7)})

    def setUp(self):
        super().setUp()
        UploadHandler.answer, UploadHandler.received = ("code", 200), []
        self.http = http.server.ThreadingHTTPServer(("127.0.0.1", 0), UploadHandler)
        self.http.daemon_threads = True
        threading.Thread(target=self.http.serve_forever, daemon=True).start()
        self.addCleanup(self.http.server_close)
        self.addCleanup(self.http.shutdown)
        self.url = "http://127.0.0.1:%d/collect" % self.http.server_address[1]
        # Only what a case sets: no address, token or proxy from the caller's environment, and
        # the spool in the test's folder (the program's own place on Linux, the test server's under wine).
        saved = {name: os.environ.pop(name) for name in UPLOAD_VARIABLES + SPOOL_VARIABLES if name in os.environ}
        self.addCleanup(os.environ.update, saved)
        self.addCleanup(lambda: [os.environ.pop(name, None) for name in SPOOL_VARIABLES])
        os.environ.update(XDG_STATE_HOME=self.path("state"), DROMIKA_TEST_UPLOAD_SPOOL=host_path(self.path("spool")))

    def process(self, env, server=UPLOAD_TEST_SERVER, event="session.init"):
        """Runs a session that uploads; returns Process's value and the console text."""
        code, out, err = tally(["TrackEvent\t" + event] + self.LINES[1:], server=server, env=env)

        self.assert_lines(out, ["ok\t"] * 3 + ["ok\t.*"])
        self.assertNotIn("Saving to", err)
        value = out[3][len("ok\t"):]
        self.assertEqual(code, 0 if value == "ok" else 1, err)
        return value, "\n".join(out) + err

    def test_the_address_and_token_from_the_environment_send_the_document_compressed(self):
        value, console = self.process({"DROMIKA_UPLOAD_URL": self.url, "DROMIKA_UPLOAD_TOKEN": "t0k3n-Secret"},
                                      server=None)
        self.assertEqual(value, "ok")
        self.assertNotIn("t0k3n-Secret", console)
        [(path, headers, body)] = UploadHandler.received
        self.assertEqual([path] + [headers.get(name) for name in ("Content-Type", "Content-Encoding", "Authorization")],
                         ["/collect", "application/xml; charset=utf-8", "gzip", "Bearer t0k3n-Secret"])
        # No time, name or system code in the gzip header: the same bytes from either host.
        self.assertEqual(body[:10], b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff")
        # The document's form is the unit tests' (tests/data/analytics); gzip's check and length say it is whole.
        self.assertIn(b'<event name="session.init" eventtime="', gzip.decompress(body))

    def test_failures_name_their_cause(self):
        refused = "http://127.0.0.1:%d/collect" % unused_port()
        cases = [  # name, answer, address, extra environment, what the message holds, kept for later
            ("a 500 reply", ("code", 500), self.url, {}, "500", True),
            ("a refused connection", ("code", 200), refused, {}, "connect", True),
            ("a reply cut inside its headers", ("cut", 200), self.url, {}, "reply|connection|server", True),
            ("a reply dripping past the deadline", ("drip", 200), self.url,
             {"DROMIKA_TEST_UPLOAD_TIMEOUT_MS": "1000"}, "time", True),
            ("a token unfit for a header", ("code", 200), self.url, {"DROMIKA_UPLOAD_TOKEN": "two words"}, "token",
             False),
        ]
        for name, answer, url, extra, cause, kept in cases:
            with self.subTest(name):
                UploadHandler.answer, UploadHandler.received = answer, []
                spool = host_path(self.path(name))  # each its own, so no case sends another's
                value, console = self.process(dict(extra, DROMIKA_UPLOAD_URL=url, DROMIKA_TEST_UPLOAD_SPOOL=spool))
                self.assertTrue(value.startswith("Unable to upload the analytics document to " + url + ": "), value)
                self.assertRegex(value.lower(), cause)
                self.assertEqual(value.endswith(KEPT), kept, value)
                self.assertNotIn("two words", console)

    def test_undelivered_documents_wait_in_the_spool_and_go_first(self):
        """Kept while the server cannot take them, sent oldest first before the next, removed once taken;
        a refusal of the sender keeps nothing new and leaves the kept ones for later."""
        refused, spool = "http://127.0.0.1:%d/collect" % unused_port(), self.path("spool")
        steps = [  # the session's event, the peer's answer, the address, what Process says, events the peer saw
            ("unauthorized", 401, self.url, "Unable to .*HTTP status 401", [["unauthorized"]]),
            ("overloaded", 503, self.url, "Unable to .*HTTP status 503. " + KEPT, [["overloaded"]]),
            ("unreachable", 200, refused, "Unable to .*connect.*" + KEPT, []),
            ("token-revoked", 403, self.url, "Unable to .*HTTP status 403", [["overloaded"], ["token-revoked"]]),
            ("back", 201, self.url, "ok", [["overloaded"], ["unreachable"], ["back"]]),
        ]
        for event, code, url, says, seen in steps:
            with self.subTest(event):
                UploadHandler.answer, UploadHandler.received = ("code", code), []
                value, _ = self.process({"DROMIKA_UPLOAD_URL": url}, event=event)
                self.assertRegex(value, "^%s$" % says)
                self.assertEqual([re.findall(r'<event name="([^"]+)"', gzip.decompress(body).decode())
                                  for _, _, body in UploadHandler.received], seen)
        self.assertEqual(os.listdir(spool), [])

    @unittest.skipUnless(os.path.exists(COLLECTOR), "needs the native build's dromika-collector")
    def test_a_document_kept_while_the_collector_was_down_reaches_it_first(self):
        port = unused_port()
        url = "http://127.0.0.1:%d/v1/documents" % port
        # Linux: the program itself, in the user's place; wine sets that place itself, so the test server there.
        server, spool = (UPLOAD_TEST_SERVER, self.path("spool")) if WINE else (None, self.path("state/dromika/spool"))
        value, _ = self.process({"DROMIKA_UPLOAD_URL": url}, server=server, event="while.down")
        self.assertTrue(value.endswith(KEPT), value)
        [kept] = os.listdir(spool)
        if not WINE:
            modes = [os.stat(path).st_mode & 0o777 for path in (self.path("state/dromika"), spool,
                                                                 os.path.join(spool, kept))]
            self.assertEqual(modes, [0o700, 0o700, 0o600])
        collector = self.collector("--listen", "127.0.0.1:%d" % port)
        value, _ = self.process({"DROMIKA_UPLOAD_URL": url}, server=server, event="once.up")
        self.assertEqual(value, "ok")
        stored = sorted(document["id"] for document in collector.documents())
        events = [re.findall(rb'<event name="([^"]+)"', collector.request("GET", "/v1/documents/%s/raw" % i)[2])
                  for i in stored]
        self.assertEqual(events, [[b"while.down"], [b"once.up"]])
        self.assertEqual(os.listdir(spool), [])

    @unittest.skipIf(WINE, "the Windows build takes the system's proxy settings, not these variables")
    def test_proxies_come_from_the_environment(self):
        cases = [  # the proxy, what bypasses it, the address, the path the peer sees
            ("http://127.0.0.1:%d" % self.http.server_address[1], "", "http://upload.invalid/collect",
             "http://upload.invalid/collect"),
            ("http://127.0.0.1:%d" % unused_port(), "127.0.0.1", self.url, "/collect"),
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


class WireTest(FolderCase):
    def test_bad_requests_each_get_a_reply_and_the_session_goes_on(self):
        pieces = frame(b"TrackTimedEventStart;pieces")
        ampersands = b"&" * (2200 * 1000)  # escaped once in the request, twice in a reply quoting it
        real = host_path(self.path("real.xml"))
        sends = [[f"bytes {pieces[:3].hex()}", f"bytes {pieces[3:9].hex()}", f"bytes {pieces[9:].hex()}"],
                 ["call Nope\tx"], ["call TrackValueEvent\t"], ["call EndGroup\tx"], ["call TrackEvent\ta;b"],
                 ["frame " + b"\x00\xff&".hex()], ["frame " + b"one;two;three".hex()],
                 ["frame " + (b"TrackValueEvent;" + ampersands).hex()], ["frame " + (ampersands + b";x").hex()],
                 ["call TrackTimedEventStart\tstill.serving"],
                 ["frame " + (b"SaveTo;" + real.encode() + b"\x00" + host_path(self.path("x")).encode()).hex()],
                 ["call Process\t"]]
        answers, _ = probe([c for commands in sends for c in commands + ["read"]] + ["close"])
        replies = [reply_items(a) for a in answers if a.startswith("reply ")]
        excerpt = "&" * 256 + "... (1100000 bytes)"
        self.assertEqual([status_message(items[0]) for items in replies], [
            "", "Unknown remote call: Nope", "Syntax error", "Syntax error", "Syntax error",
            "Malformed remote call request", "Malformed remote call request", "Syntax error",
            "Unknown remote call: " + excerpt, "", "", ""])
        self.assertEqual(decode_sequence(replies[7][0])[1], ('"' + excerpt.replace(".", '".', 1)).encode())
        self.assertEqual((replies[0], replies[9]), ([b"", b"0"], [b"", b"1"]))
        self.assertEqual(status_message(replies[11][1]), "Unable to save to %s: the path holds a NUL character" % real)
        self.assertEqual((answers[-1], os.listdir(self.folder)), ("exit 0", []))

    def test_an_unreadable_frame_ends_the_server_with_a_status_line(self):
        cases = [  # what is sent, then read, the server's one line
            (struct.pack("<I", 100) + b"short", False, "Truncated frame"),
            (b"\x01\x00", False, "Truncated frame"),
            (struct.pack("<I", 0xFFFFFFFF) + b"x", True, "Frame too large: 4294967295 bytes"),
            (struct.pack("<I", (4 << 20) + 1), True, "Frame too large: 4194305 bytes"),
        ]
        for sent, read, line in cases:
            with self.subTest(line, sent=sent[:8]):
                answers, console = probe(["call TrackEvent\tbefore", "read", "bytes " + sent.hex()] +
                                         ["read"] * read + ["close"])
                self.assertEqual(reply_items(answers[1]), [b"", b""])
                if read:
                    self.assertTrue(answers[-2].startswith("closed "), answers)
                self.assertEqual(answers[-1], "exit 1", answers)
                self.assertEqual((len(console.splitlines()), console.startswith(line)), (1, True), console)

    def test_a_client_that_vanishes_mid_call_loses_no_event(self):
        answers, _ = probe(["call TrackEvent\tfirst", "read", "call TrackValueEvent\tsecond;7", "read",
                            "call AddStandardGroup\t268435456", "read", "call SaveTo\t" + host_path(self.path("v.xml")),
                            "read", "call Process\t", "close"])
        # Whether the reply to Process left before the close is a race; it ends with 1 only when it could not.
        self.assertIn(answers[-1], ("exit 0", "exit 1"), answers)
        data = read_bytes(self.path("v.xml")).decode("utf-8")
        self.assertRegex(data, '<event name="first" eventtime="%s" />' % TIME)
        self.assertRegex(data, '<event name="second" value="7" eventtime="%s" />' % TIME)


class ConsoleTest(FolderCase):
    """Whatever becomes of the console, the run goes on."""

    def run_with_closed_reader(self, command, stream, script=b""):
        """Runs with standard output or error on a pipe that nobody reads any more."""
        reader, writer = os.pipe()
        os.close(reader)
        self.addCleanup(os.close, writer)
        streams = dict({"stdout": subprocess.PIPE, "stderr": subprocess.PIPE}, **{stream: writer})
        return subprocess.run(WINE + command, input=script, timeout=TIMEOUT, env=dict(os.environ, WINEDEBUG="-all"),
                              **streams)

    def test_a_console_nobody_reads_never_ends_the_run(self):
        done = self.run_with_closed_reader([EXE, "/out:" + host_path(self.path("r.dromika"))], "stdout")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(read_bytes(self.path("r.dromika")).endswith(b"</dromika>\r\n"))
        # tally-client hands its standard error to the server as its console.
        script = "TrackEvent\tx\nAddStandardGroup\t0x10000000\nSaveTo\t%s\nProcess\n" % host_path(self.path("s.xml"))
        done = self.run_with_closed_reader([TALLY_CLIENT], "stderr", script.encode())
        self.assertEqual((done.returncode, done.stdout.decode().splitlines()), (0, ["ok\t"] * 3 + ["ok\tok"]))
        self.assertIn(b'<event name="x"', read_bytes(self.path("s.xml")))

    def listener(self, backlog=1):
        """A Unix socket listener in the test's folder that the test itself holds."""
        listener = socket.socket(socket.AF_UNIX)
        self.addCleanup(listener.close)
        listener.bind(self.path("endpoint"))
        listener.listen(backlog)
        listener.settimeout(TIMEOUT)
        return listener

    @unittest.skipIf(WINE, "descriptors are a Linux matter")
    def test_a_server_without_standard_output_keeps_its_console_off_the_wire(self):
        listener = self.listener()
        server = subprocess.Popen([EXE, "RunServer", "/pipename:" + self.path("endpoint")], stdin=subprocess.DEVNULL,
                                  preexec_fn=lambda: (os.close(1), os.close(2)))
        self.addCleanup(server.kill)
        connection, _ = listener.accept()
        with connection:
            connection.settimeout(TIMEOUT)
            replies = [call_over(connection, request) for request in [
                b"TrackEvent;x", b"AddStandardGroup;268435456", b"SaveTo;" + self.path("s.xml").encode(), b"Process;"]]
        self.assertEqual((replies, server.wait(timeout=TIMEOUT)), ([b";"] * 4, 0))
        self.assertIn(b'<event name="x"', read_bytes(self.path("s.xml")))

    @unittest.skipIf(WINE, "a listener's queue is a Linux matter")
    def test_a_listener_that_never_accepts_ends_the_server_with_a_status_line(self):
        self.listener(backlog=0)
        with socket.socket(socket.AF_UNIX) as queued:
            queued.connect(self.path("endpoint"))  # the queue is full from now on
            code, out, err = run(EXE, "RunServer", "/pipename:" + self.path("endpoint"))
        self.assertEqual((code, out, len(err.splitlines())), (1, "", 1), err)
        self.assertIn("did not take the connection", err)


def call_over(connection, payload):
    """Sends one request frame and reads one reply frame."""
    connection.sendall(frame(payload))
    with connection.makefile("rb") as reader:
        length = struct.unpack("<I", reader.read(4))[0]
        assert length <= 4 << 20, "not a frame header: %r" % struct.pack("<I", length)
        return reader.read(length)


if __name__ == "__main__":
    unittest.main(verbosity=2)
