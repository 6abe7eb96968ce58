#!/usr/bin/env python3
"""dromika-collector from outside: the API's answers, the limits, bearer
tokens, dedupe, unparsed documents, import, slow senders, HTTPS, a kill and a
fleet on one PostgreSQL. Environment (set by ctest): DROMIKA_COLLECTOR, DROMIKA_EXE."""
import gzip
import hashlib
import http.client
import json
import os
import re
import resource
import select
import socket
import subprocess
import threading
import time
import unittest

from dromika import COLLECTOR, XML, FolderCase, dromika, read_bytes

ANALYTICS = ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
             '<project files="12" />\r\n<events>\r\n  <event name="session.init" eventtime="0d 0:00:00.015" />\r\n'
             '  <event name="file.open" value="3" eventtime="0d 0:00:05.120" elapsed="0d 0:00:01.200" />\r\n'
             '</events>\r\n<system>\r\n  <wmi>\r\n    <Win32_OperatingSystem Caption="OS 1" Version="10.0"/>\r\n'
             '    <Win32_Processor Name="CPU 1"/>\r\n    <Win32_Processor Name="CPU 2"/>\r\n'
             '    <Win32_ComputerSystem Name="PC-1" NumberOfLogicalProcessors="4"\r\n'
             '     TotalPhysicalMemory="9"/>\r\n'
             '  </wmi>\r\n  <memory rambytes="2048"/>\r\n</system>\r\n<disks><disk drive="C:\\" '
             'totalfreebytes="100" totalavailablebytes="90"/></disks>\r\n</dromika>\r\n').encode()
# PC-1's facts as /v1/machines shows them: the memory line wins over the WMI figure,
# the first processor names the machine's.
FACTS = {"os_caption": "OS 1", "os_version": "10.0", "processor": "CPU 1", "logical_processors": 4,
         "ram_bytes": 2048, "disks": [{"drive": "C:\\", "free_bytes": 100, "available_bytes": 90}]}


def machine_facts(collector, name="PC-1"):
    machine = {m["name"]: m for m in collector.get("/v1/machines")[1]["machines"]}[name]
    return {k: machine[k] for k in FACTS}


class ApiTest(FolderCase):
    def test_stores_documents_once_and_answers_questions_and_bad_ones(self):
        c = self.collector()
        status, first = c.post(ANALYTICS)
        self.assertEqual((status, first["events"], first["groups"], first["blocks"]), (201, 2, 1, 2))
        self.assertEqual(c.post(ANALYTICS), (200, first))  # a retry after a lost answer
        code, _, err = dromika("/out:" + self.path("report.dromika"), timeout=120)
        self.assertEqual(code, 0, err)
        report = read_bytes(self.path("report.dromika"))
        status, stored = c.post(gzip.compress(report), {"Content-Encoding": "gzip", "Content-Type": "text/xml"})
        self.assertEqual((status, stored["blocks"], stored["events"]), (201, 7, 0))

        documents = c.documents()
        self.assertEqual([(d["id"], d["kind"]) for d in documents],
                         [(stored["id"], "report"), (first["id"], "analytics")])
        self.assertEqual([documents[1][k] for k in ("machine", "sender", "size", "sha256", "state")],
                         ["PC-1", "127.0.0.1", len(ANALYTICS), hashlib.sha256(ANALYTICS).hexdigest(), "parsed"])
        self.assertEqual([d["id"] for d in c.documents(machine="PC-1")], [first["id"]])
        self.assertEqual((len(c.documents(limit="1")), c.documents(until="2000-01-01")), (1, []))
        for document_id, body in ((first["id"], ANALYTICS), (stored["id"], report)):
            status, headers, raw = c.request("GET", "/v1/documents/%d/raw" % document_id)
            self.assertEqual((status, raw, headers["content-type"].split(";")[0]), (200, body, "application/xml"))

        status, summary = c.get("/v1/events/summary", since="2000-01-01T00:00Z")
        by_name = {e["name"]: e for e in summary["events"]}
        self.assertEqual((status, sorted(by_name)), (200, ["file.open", "session.init"]))
        self.assertEqual((by_name["file.open"]["value_sum"], by_name["file.open"]["elapsed_ms"]),
                         (3, {"p50": 1152, "p90": 1152, "p99": 1152}))
        self.assertEqual((by_name["session.init"]["count"], by_name["session.init"]["machines"]), (1, 1))
        self.assertEqual(c.get("/v1/events/summary", name="nothing")[1], {"events": []})
        self.assertEqual(c.get("/v1/health")[1]["status"], "ok")
        self.assertEqual(machine_facts(c), FACTS)
        # The newest facts win; later documents without facts or without a name change none.
        newer = ANALYTICS.replace(b"OS 1", b"OS 2").replace(b'totalfreebytes="100" ', b"")
        expected = dict(FACTS, os_caption="OS 2", disks=[dict(FACTS["disks"][0], free_bytes=None)])
        no_facts = b"<dromika><system><wmi><Win32_ComputerSystem Name='PC-1'/></wmi></system></dromika>"
        for body in (newer, no_facts, b"<dromika/>"):
            self.assertEqual(c.post(body)[0], 201)
            self.assertEqual(machine_facts(c), expected)
        self.assertEqual(len(c.get("/v1/machines")[1]["machines"]), 2)  # PC-1 and this machine
        # Bad queries are answered with escaped echoes.
        for path, code in (("/v1/documents?since=%3Cscript%3E", 400), ("/v1/documents?limit=0", 400),
                           ("/v1/documents?limit=1001", 400), ("/v1/machines?limit=1001", 400),
                           ("/v1/documents/999/raw", 404), ("/v1/documents/x%22%3C/raw", 404),
                           ("/v1/%3Cnothing%3E", 404)):
            status, headers, body = c.request("GET", path)
            self.assertEqual((status, headers["content-type"].split(";")[0]), (code, "application/json"), path)
            self.assertNotIn(b"<", body, path)
            json.loads(body)

    def test_ill_formed_documents_are_kept_unparsed_without_rows(self):
        c = self.collector()
        body = (b"<?xml version=\"1.0\"?>\r\n<dromika><events><event name=\"lost\"/></events>\r\n"
                b"<my group>\r\n</dromika>")
        # Which documents are kept unparsed is CollectorTextTest's; here, the answer, the bytes and no rows.
        status, answer = c.post(body)
        self.assertEqual((status, answer["state"], "line 3" in answer["message"]), (202, "unparsed", True), answer)
        self.assertEqual(c.request("GET", "/v1/documents/%d/raw" % answer["id"])[2], body)
        self.assertEqual([d["state"] for d in c.documents()], ["unparsed"])
        self.assertEqual(c.get("/v1/events/summary")[1], {"events": []})
        self.assertEqual(c.post(body)[0], 200)
        # A value past the parser's own 10 MB cap, '>' and all, is a value like any other.
        long_value = b"<dromika><app v='" + b">" * (20 << 20) + b"'/></dromika>"
        status, answer = c.post(gzip.compress(long_value), {"Content-Encoding": "gzip"})
        self.assertEqual((status, answer.get("groups")), (201, 1), answer)

    def test_import_stores_saved_files_as_if_uploaded(self):
        # Which files hold a document is UntrustedInputTest's; here, the counts, the exit codes and the senders.
        files = [self.write("a.dromika", ANALYTICS), self.write("b.dromika.gz", gzip.compress(b"<dromika/>")),
                 self.write("c.dromika", b"<dromika></dromika>")]
        for paths, code, counts in ((files[:2], 0, "2 stored, 0 unparsed, 0 already stored"),
                                    (files[:2], 0, "0 stored, 0 unparsed, 2 already stored"),
                                    ([self.folder, files[2]], 1, "1 stored, 0 unparsed, 0 already stored")):
            result = subprocess.run([COLLECTOR, "import", "--store", "sqlite:" + self.path("store.db"), *paths],
                                    capture_output=True, timeout=60)
            self.assertEqual((result.returncode, result.stdout.decode().strip()), (code, counts + ", %d failed" % code))
        # One file that holds no document fails the run; the others are stored all the same.
        self.assertIn("a folder, not a file", result.stderr.decode())
        # Neither client data nor every report block: an analytics document.
        collector = self.collector()
        self.assertEqual({d["sender"]: d["kind"] for d in collector.documents()},
                         {"import:" + f: "analytics" for f in files})
        # A report saved a day before the one held, imported after it, leaves the inventory alone.
        report = ("<dromika><networking/><system><wmi><Win32_ComputerSystem Name='PC-9'/></wmi></system><disks/>"
                  "<registry/><products><product name='Tool' installedversion='%s' installlocation='C:\\'/>"
                  "</products><filesystem/><processes/></dromika>")
        newer, older = self.write("newer.xml", (report % "2").encode()), self.write("older.xml", (report % "1").encode())
        os.utime(older, (time.time() - 86400,) * 2)
        for path in (newer, older):
            subprocess.run([COLLECTOR, "import", "--store", "sqlite:" + self.path("store.db"), path], check=True,
                           capture_output=True, timeout=60)
        self.assertEqual([v["version"] for v in collector.get("/v1/products/Tool")[1]["versions"]], ["2"])
        # Many files are stored side by side; what each gave is still told in the order they were named,
        # though the first refusal takes a long read and the next failure none.
        slow = b"<dromika><events>" + b"<event name='e'/>" * 200000 + b"<g>" * 100 + b"</g>" * 100 + b"</events>"
        bodies = [b"<dromika><g n='%d'/></dromika>" % i for i in range(40)]
        bodies[3:5] = [slow + b"</dromika>", b""]
        many = [self.write("m%02d.dromika" % i, body) for i, body in enumerate(bodies)]
        result = subprocess.run([COLLECTOR, "import", "--store", "sqlite:" + self.path("many.db"), *many],
                                capture_output=True, timeout=60)
        self.assertEqual(result.stdout.decode().strip(), "38 stored, 0 unparsed, 0 already stored, 2 failed")
        self.assertEqual([line.split(": ")[:2] for line in result.stderr.decode().splitlines()],
                         [[many[3], "refused"], [many[4], "an empty file"]])

    def test_every_command_answers_help_and_the_environment_sets_serve_options(self):
        def collector(*args, **env):
            return subprocess.run([COLLECTOR, *args], capture_output=True, timeout=30, cwd=self.folder,
                                  env=dict(os.environ, **env))
        commands = re.findall(r"(?m)^  dromika-collector (\w+) ", collector("--help").stdout.decode())
        self.assertIn("serve", commands)
        for args in [["--help"], ["-h"], ["help"], ["--version"]] + [[c, "--help"] for c in commands]:
            result = collector(*args)
            self.assertEqual((result.returncode, result.stderr), (0, b""), args)
            self.assertRegex(result.stdout.decode(), r"^(Usage:|dromika-collector \d+\.\d+)", args)
        # What a service's settings file sets reaches serve; the command line wins over it.
        result = collector("serve", DROMIKA_COLLECTOR_LISTEN="0.0.0.0:0")
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"0.0.0.0:0 without --tokens", result.stderr)
        self.assertEqual(collector("serve", "--timeout", "5", DROMIKA_COLLECTOR_TIMEOUT="5s").returncode, 2)

    def test_refuses_to_start_on_a_public_address_without_tokens_with_bad_options_or_keys(self):
        # Which addresses are public and which sizes read is CollectorTextTest's; here, that the start stops.
        cert, key = certificate(self, "cert")
        other_key = certificate(self, "other")[1]

        def tls(pair):
            return ["--listen", "127.0.0.1:0", "--tls-cert", pair[0], "--tls-key", pair[1]]
        for args, why in ((["--listen", "0.0.0.0:0"], ""), (["--bogus", "1"], ""), (["--max-body", "3G"], ""),
                          (["--timeout", "0"], ""), (["--timeout", "3601"], ""), (["--timeout", "30s"], ""),
                          (["--tokens", self.write("no-tokens", b"# nothing\n")], ""),
                          (tls((self.write("empty.pem", b""), key)), "empty"), (tls((self.folder, key)), "not a file"),
                          (tls((cert, self.folder)), "not a file"), (tls((key, key)), "not a PEM certificate"),
                          (tls((cert, other_key)), "does not belong")):
            result = subprocess.run([COLLECTOR, "serve", *args], capture_output=True, timeout=30, cwd=self.folder)
            self.assertEqual(result.returncode, 2, args)
            self.assertTrue(result.stderr.startswith(b"dromika-collector: "), args)
            self.assertIn(why, result.stderr.decode())
        self.assertFalse(os.path.exists(self.path("dromika.db")))


class LimitsTest(FolderCase):
    def test_each_limit_answers_stores_nothing_and_leaves_the_service_up(self):
        c = self.collector("--max-body", "64K")
        gz = {"Content-Encoding": "gzip"}
        # One case per answer: which document types, entities, attributes and depths are refused is
        # UntrustedInputTest's, how gzip stops at the limit or fails CollectorTextTest's.
        cases = [  # name, headers, body (a list is sent chunked), answer, what the error holds
            ("declared too large", {"Content-Length": str(65 * 1024)}, b"<dromika/>", 413, ""),
            ("too large while read", {}, [b"<dromika>", b" " * (70 * 1024)], 413, ""),
            ("damaged gzip", gz, b"\x1f\x8bnot really", 400, ""),
            ("other encoding", {"Content-Encoding": "br"}, ANALYTICS, 415, ""),
            ("other type", {"Content-Type": "application/json"}, b"{}", 415, ""),
            ("no type", {"Content-Type": ""}, ANALYTICS, 415, ""),
            ("doctype", {}, b"<!DOCTYPE d [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><dromika>&e;</dromika>", 422,
             "declaration"),
            ("too deep", {}, b"<dromika>" + b"<g>" * 100 + b"</g>" * 100 + b"</dromika>", 422, "nested"),
            ("empty", {}, b"", 400, "empty"),
        ]
        for number, (name, headers, body, code, why) in enumerate(cases, 1):
            with self.subTest(name):
                status, _, answer = c.request("POST", "/v1/documents", body, dict(XML, **headers),
                                              chunked=isinstance(body, list))
                self.assertEqual(status, code, answer)
                self.assertIn(why, json.loads(answer)["error"])
                # The line is written once the answer is sent, maybe just after the client has read it.
                self.assertTrue(poll(lambda: len([e for e in c.log("request") if e["method"] == "POST"]) == number, 50))
                logged = [e for e in c.log("request") if e["method"] == "POST"][-1]
                self.assertEqual((logged["status"], logged["reason"]), (code, json.loads(answer)["error"]))
                self.assertEqual(c.documents(), [])
                self.assertEqual(c.get("/v1/health")[0], 200)
        # A body of exactly the limit is taken and one byte more is not.
        limit = 64 * 1024

        def document(size, filler):
            return b"<dromika>" + filler * (size - 19) + b"</dromika>"
        ways = (  # name, filler (each accepted body is new), how it is sent
            ("declared", b" ", lambda body: c.post(body)),
            ("chunked", b"\n", lambda body: c.post([body[:1000], body[1000:]], chunked=True)),
            ("gzip", b"\t", lambda body: c.post(gzip.compress(body), {"Content-Encoding": "gzip"})),
        )
        for name, filler, send in ways:
            with self.subTest(name):
                self.assertEqual((send(document(limit, filler))[0], send(document(limit + 1, filler))[0]), (201, 413))
        self.assertEqual([d["size"] for d in c.documents()], [limit] * len(ways))

    def test_uploads_beyond_the_memory_budget_are_turned_away(self):
        c = self.collector("--max-body", "64K")  # four such bodies at once at most, one per address
        # That declared lengths reserve nothing and one address holds a quarter at most is IntakeTest's.
        held = []
        self.addCleanup(lambda: [s.close() for s in held])
        for n in range(4):  # each from an address of its own, one byte short of its body
            held.append(connect(c.port, "127.0.0.%d" % (11 + n)))
            held[-1].sendall(HEAD % 65536 + b"<dromika>" + b" " * (65535 - 9))
        # What the bodies above have sent is held until they end.
        poll(lambda: c.get("/v1/health")[1]["receiving_bytes"] == 4 * 65535, 100)
        status, answer = c.post(ANALYTICS)
        self.assertEqual(status, 503, answer)
        self.assertTrue(poll(lambda: "memory_budget" in [e.get("refused") for e in c.log("request")], 50))
        [s.close() for s in held]
        answers = []
        poll(lambda: answers.append(c.post(ANALYTICS)) or answers[-1][0] != 503, 50)
        self.assertEqual(answers[-1][0], 201, answers[-1])
        self.assertEqual(len(c.documents()), 1)

    def test_slow_senders_are_cut_off(self):
        c = self.collector("--timeout", "1")
        # How long a sender has is WatchdogTest's; here, that both the headers and the body are watched.
        for number, start in enumerate((b"POST /v1/documents HTTP/1.1\r\nHost: x\r\n", HEAD % 100000 + b"<dromika>"), 1):
            with socket.create_connection(("127.0.0.1", c.port), timeout=10) as s:
                s.sendall(start)

                def closed():  # one byte every 0.25 s
                    try:
                        s.sendall(b" ")
                        ready, _, _ = select.select([s], [], [], 0.25)
                        return bool(ready) and s.recv(4096) == b""
                    except OSError:
                        return True
                self.assertTrue(poll(closed, 120, pause=0), start)
            self.assertEqual(c.get("/v1/health")[0], 200)
            self.assertTrue(poll(lambda: len(c.log("refused")) == number, 50))
            self.assertEqual(c.log("refused")[-1]["reason"].split()[1], "body" if number == 2 else "request")
        self.assertEqual(c.documents(), [])


class ConnectionsTest(FolderCase):
    """A hostile network: held connections, framing, oversized requests, a stop mid-upload."""

    def exchange(self, c, raw):
        """Status, headers (lower-case names) and body of one request sent as raw bytes; the server closes after."""
        with connect(c.port) as s:
            s.sendall(raw)
            response = http.client.HTTPResponse(s)
            response.begin()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()

    def test_thousands_of_held_connections_leave_the_service_up(self):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if hard != resource.RLIM_INFINITY and hard < 4500:
            self.skipTest("needs 4,500 open files; the hard limit is %d" % hard)
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, 4500), hard))
        self.addCleanup(resource.setrlimit, resource.RLIMIT_NOFILE, (soft, hard))
        c = self.collector()
        held = []
        self.addCleanup(lambda: [s.close() for s in held])
        for n in range(2000):  # two addresses, each within its share (a quarter of 4,000)
            held.append(connect(c.port, "127.0.0.%d" % (10 + n % 2)))
        self.assertEqual(c.request("GET", "/v1/health")[0], 200)
        for _ in range(2100):  # one more asks for every connection left: past its share it is turned away
            try:
                held.append(connect(c.port, "127.0.0.12"))
            except OSError:
                pass
        self.assertEqual(c.request("GET", "/v1/health", source="127.0.0.2")[0], 200)
        self.assertEqual(c.post(ANALYTICS, source="127.0.0.2")[0], 201)

    def test_raw_requests_are_framed_and_answered_with_the_usual_headers_and_a_stop_ends_a_slow_one(self):
        c = self.collector()
        twice = (HEAD % 10)[:-2] + b"Content-Length: %d\r\n\r\n<dromika/>GET /v1/health HTTP/1.1\r\nHost: x\r\n\r\n"
        cases = [  # What follows the shorter of two lengths must not be read as a second request; somewhat
            # larger requests only: past the server's own memory for them, it answers alone and bare.
            (twice % 5, 400, "Content-Length"), (twice % 10, 201, ""),
            (b"GET /v1/health?" + b"a" * 20000 + b" HTTP/1.1\r\nHost: x\r\n\r\n", 414, "16384 bytes"),
            (b"GET /v1/health HTTP/1.1\r\nHost: x\r\nX-Filler: " + b"b" * 20000 + b"\r\n\r\n", 431, "16384 bytes"),
        ]
        for raw, code, why in cases:
            status, headers, body = self.exchange(c, raw)
            self.assertEqual((status, headers["content-security-policy"], headers["x-content-type-options"]),
                             (code, "default-src 'none'; sandbox", "nosniff"), body)
            self.assertIn(why, json.loads(body).get("error", ""))
            self.assertTrue(poll(lambda: any(e["status"] == code for e in c.log("request")), 50))
            self.assertEqual([e for e in c.log("request") if e["status"] == code][-1].get("reason"),
                             json.loads(body).get("error"))
        self.assertEqual(len(c.documents()), 1)
        # A stop ends a slow upload within the drain time.
        with connect(c.port) as slow:
            slow.sendall(HEAD % 100000 + b"<dromika>")
            poll(lambda: c.get("/v1/health")[1]["receiving_bytes"] == 9, 100)
            c.process.terminate()
            self.assertEqual(c.process.wait(timeout=60), 0)  # far beyond the drain time: it must not hang
        c.stop()
        self.assertEqual([e["event"] for e in c.log()][-2:], ["stopping", "stopped"])
        self.assertIn("still under way", c.log("stopped")[0]["message"])

    def test_tokens_guard_uploads_and_reads(self):
        c = self.collector("--tokens", self.write("tokens", b"# senders\n  right-token \n\nother\n"))
        # Which headers pass is TokensTest's; here, that both uploads and reads ask.
        for token, read, upload in (("", 401, 401), ("Bearer right-token junk", 401, 401),
                                    ("Bearer right-token", 200, 201), ("Bearer other", 200, 200)):
            headers = {"Authorization": token} if token else {}
            self.assertEqual((c.get("/v1/documents", headers)[0], c.post(ANALYTICS, headers)[0]), (read, upload), token)
        self.assertEqual(c.get("/v1/health")[0], 200)

    def test_serves_https_with_the_given_certificate(self):
        cert, key = certificate(self, "cert")
        c = self.collector("--tls-cert", cert, "--tls-key", key)

        def curl(*args):
            return subprocess.run(["curl", "-sS", *args, "https://localhost:%d/v1/documents" % c.port],
                                  capture_output=True, timeout=60)
        posted = curl("--cacert", cert, "-H", "Content-Type: application/xml",
                      "--data-binary", "@" + self.write("a.dromika", ANALYTICS))
        self.assertEqual(posted.returncode, 0, posted.stderr)
        self.assertEqual(json.loads(posted.stdout)["events"], 2)
        self.assertNotEqual(curl().returncode, 0)  # without the certificate the client must refuse the server
        self.assertEqual(len(json.loads(curl("--cacert", cert).stdout)["documents"]), 1)


HEAD = b"POST /v1/documents HTTP/1.1\r\nHost: x\r\nContent-Type: application/xml\r\nContent-Length: %d\r\n\r\n"


def connect(port, source="127.0.0.1"):
    """A socket to the collector on `port` from the loopback address `source`."""
    s = socket.socket()
    s.settimeout(10)
    s.bind((source, 0))
    s.connect(("127.0.0.1", port))
    return s


def poll(done, tries, pause=0.1):
    """Whether done() came true within `tries` tries."""
    for _ in range(tries):
        if done():
            return True
        time.sleep(pause)
    return False


def certificate(test, name):
    """A self-signed certificate for localhost and its key, in the test's folder."""
    cert, key = test.path(name + ".pem"), test.path(name + ".key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", key, "-out", cert],
                   capture_output=True, timeout=60, check=True)
    return cert, key


def numbered_document(number):
    events = "".join('  <event name="e%d" value="%d" elapsed="0d 0:00:00.%03d" />\r\n' % (number, k, k)
                     for k in range(3))
    return ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
            "<events>\r\n%s</events>\r\n</dromika>\r\n" % events).encode()


def upload_in_threads(senders):
    """Starts one thread per (collector, numbers): each posts its numbered documents until an exchange fails.
    Returns the list of (number, status, id) they fill and a function that waits up to so many seconds for each."""
    answered = []  # list.append holds the interpreter's lock

    def upload(collector, numbers):
        try:
            for number in numbers:
                status, answer = collector.post(numbered_document(number))
                answered.append((number, status, answer.get("id")))
        except (OSError, http.client.HTTPException):
            pass
    threads = [threading.Thread(target=upload, args=sender) for sender in senders]
    [thread.start() for thread in threads]
    return answered, lambda seconds: [thread.join(timeout=seconds) for thread in threads]


class DurabilityTest(FolderCase):
    def test_a_store_file_removed_while_serving_takes_no_more_documents(self):
        c = self.collector()
        self.assertEqual(c.post(ANALYTICS)[0], 201)
        [os.remove(self.path(f)) for f in os.listdir(self.folder) if f.startswith("store.db")]
        status, answer = c.post(numbered_document(1))
        self.assertEqual((status, "removed or replaced" in answer["error"]), (503, True), answer)
        self.assertEqual(c.get("/v1/health")[0], 503)
        self.assertFalse(os.path.exists(self.path("store.db")))

    def test_every_answered_document_survives_a_kill(self):
        c = self.collector()
        answered, join = upload_in_threads([(c, range(t, 2000, 4)) for t in range(4)])
        poll(lambda: len(answered) >= 40, 600)  # at most 60 s for the first 40 answers
        c.process.kill()  # SIGKILL: no chance to finish anything
        c.process.wait()
        join(60)
        self.assertGreaterEqual(len(answered), 40)
        self.assertTrue(all(status == 201 for _, status, _ in answered), answered)

        c = self.collector()
        for number, _, document_id in answered:
            status, _, raw = c.request("GET", "/v1/documents/%d/raw" % document_id)
            self.assertEqual((status, raw), (200, numbered_document(number)))
        events = c.get("/v1/events/summary")[1]["events"]
        # Every stored document, answered or not, came with all its events.
        self.assertEqual(len(events), len(c.documents(limit="1000")))
        self.assertTrue(all(e["count"] == 3 and e["value_sum"] == 3 for e in events), events)


@unittest.skipUnless(os.environ.get("PGHOST"), "needs a PostgreSQL cluster (run under pg_virtualenv)")
class FleetTest(FolderCase):
    def test_two_collectors_on_one_database_store_each_document_once(self):
        subprocess.run(["psql", "-q", "-c", "DROP TABLE IF EXISTS disks, machine_facts, data_points, groups, events, "
                        "documents, sessions, schema_migrations CASCADE"], check=True, capture_output=True, timeout=60)
        fleet = [self.collector(store="postgresql://"), self.collector(store="postgresql://")]
        # Every document goes to both collectors at about the same time.
        answered, join = upload_in_threads([(c, range(t, 120, 3)) for c in fleet for t in range(3)])
        join(120)
        self.assertEqual(len(answered), 240)
        for number in range(120):
            [(first, document_id), second] = sorted(answer[1:] for answer in answered if answer[0] == number)
            self.assertEqual((first, second), (200, (201, document_id)), number)
            raw = fleet[number % 2].request("GET", "/v1/documents/%d/raw" % document_id)[2]
            self.assertEqual(raw, numbered_document(number))  # the packed bytes survive PostgreSQL
        self.assertEqual(len(fleet[0].documents(limit="1000")), 120)
        self.assertEqual(len(fleet[1].get("/v1/events/summary")[1]["events"]), 120)


if __name__ == "__main__":
    unittest.main()
