#!/usr/bin/env python3
"""dromika-collector from outside: the API's answers, the limits, bearer
tokens, dedupe, unparsed documents, import, slow senders, HTTPS, a kill and a
fleet on one PostgreSQL. Environment (set by ctest): DROMIKA_COLLECTOR, DROMIKA_EXE."""
import gzip
import hashlib
import http.client
import json
import os
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
             '  <event name="file.open" value="3" eventtime="0d 0:00:05.120" elapsed="0d 0:00:01.200" />\r\n</events>\r\n'
             '<system>\r\n  <wmi>\r\n    <Win32_OperatingSystem Caption="OS 1" Version="10.0"/>\r\n'
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
    def test_stores_documents_once_and_answers_questions(self):
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
        self.assertEqual([(d["id"], d["kind"]) for d in documents], [(stored["id"], "report"), (first["id"], "analytics")])
        fields = ("machine", "sender", "size", "sha256", "state")
        self.assertEqual([documents[1][k] for k in fields], ["PC-1", "127.0.0.1", len(ANALYTICS),
                         hashlib.sha256(ANALYTICS).hexdigest(), "parsed"])
        self.assertEqual([d["id"] for d in c.documents(machine="PC-1")], [first["id"]])
        self.assertEqual((len(c.documents(limit="1")), c.documents(until="2000-01-01")), (1, []))
        for document_id, body in ((first["id"], ANALYTICS), (stored["id"], report)):
            status, headers, raw = c.request("GET", "/v1/documents/%d/raw" % document_id)
            self.assertEqual((status, raw), (200, body))
            self.assertTrue(headers["content-type"].startswith("application/xml"))

        status, summary = c.get("/v1/events/summary", since="2000-01-01T00:00Z")
        by_name = {e["name"]: e for e in summary["events"]}
        self.assertEqual((status, sorted(by_name)), (200, ["file.open", "session.init"]))
        self.assertEqual((by_name["file.open"]["value_sum"], by_name["file.open"]["elapsed_ms"]),
                         (3, {"p50": 1200, "p90": 1200, "p99": 1200}))
        self.assertEqual((by_name["session.init"]["count"], by_name["session.init"]["machines"]), (1, 1))
        self.assertEqual(c.get("/v1/events/summary", name="nothing")[1], {"events": []})
        self.assertEqual(c.get("/v1/health")[1]["status"], "ok")

        self.assertEqual(machine_facts(c), FACTS)

        # The newest facts win; later documents without facts or without a name change none.
        newer = ANALYTICS.replace(b"OS 1", b"OS 2").replace(b'totalfreebytes="100" ', b"")
        expected = dict(FACTS, os_caption="OS 2", disks=[dict(FACTS["disks"][0], free_bytes=None)])
        no_facts = (b"<dromika><system><wmi><Win32_ComputerSystem Name='PC-1'/></wmi></system>"
                    b"</dromika>")
        for body in (newer, no_facts, b"<dromika/>"):
            self.assertEqual(c.post(body)[0], 201)
            self.assertEqual(machine_facts(c), expected)
        self.assertEqual(len(c.get("/v1/machines")[1]["machines"]), 2)  # PC-1 and this machine

    def test_bad_queries_are_answered_with_escaped_echoes(self):
        c = self.collector()
        for path, code in (("/v1/documents?since=%3Cscript%3E", 400), ("/v1/documents?limit=0", 400),
                           ("/v1/documents/999/raw", 404), ("/v1/documents/x%22%3C/raw", 404), ("/v1/%3Cnothing%3E", 404)):
            status, headers, body = c.request("GET", path)
            self.assertEqual(status, code, path)
            self.assertTrue(headers["content-type"].startswith("application/json"), path)
            self.assertNotIn(b"<", body, path)
            json.loads(body)

    def test_ill_formed_documents_are_kept_unparsed_without_rows(self):
        c = self.collector()
        body = (b"<?xml version=\"1.0\"?>\r\n<dromika><events><event name=\"lost\"/></events>\r\n"
                b"<my group>\r\n</dromika>")
        for sent, part in ((b"<other/>", "not dromika"),
                           (b"<dromika>&undefined;</dromika>", "undefined"), (body, "line 3")):
            status, answer = c.post(sent)
            self.assertEqual((status, answer["state"]), (202, "unparsed"))
            self.assertIn(part, answer["message"])
        self.assertEqual(c.request("GET", "/v1/documents/%d/raw" % answer["id"])[2], body)
        self.assertEqual([d["state"] for d in c.documents()], ["unparsed"] * 3)
        self.assertEqual(c.get("/v1/events/summary")[1], {"events": []})
        self.assertEqual(c.post(body)[0], 200)

    def test_import_stores_saved_files_as_if_uploaded(self):
        files = [self.write("a.dromika", ANALYTICS),
                 self.write("b.dromika.gz", gzip.compress(b"<dromika>") + gzip.compress(b"</dromika>"))]
        for expected in ("2 stored, 0 unparsed, 0 already stored, 0 failed",
                         "0 stored, 0 unparsed, 2 already stored, 0 failed"):
            result = subprocess.run([COLLECTOR, "import", "--store", "sqlite:" + self.path("store.db"), *files],
                                    capture_output=True, timeout=60)
            self.assertEqual((result.returncode, result.stdout.decode().strip()), (0, expected))
        # One file that holds no document fails the run; the others are stored all the same.
        result = subprocess.run([COLLECTOR, "import", "--store", "sqlite:" + self.path("store.db"), self.folder,
                                 self.write("c.dromika", b"<dromika/>")], capture_output=True, timeout=60)
        self.assertEqual((result.returncode, result.stdout.decode().strip()),
                         (1, "1 stored, 0 unparsed, 0 already stored, 1 failed"))
        self.assertIn("a folder, not a file", result.stderr.decode())
        files.append(self.path("c.dromika"))
        # Neither client data nor every report block: an analytics document.
        self.assertEqual({d["sender"]: d["kind"] for d in self.collector().documents()},
                         {"import:" + f: "analytics" for f in files})

    def test_refuses_a_public_address_without_tokens_and_bad_options(self):
        for args in (["--listen", "0.0.0.0:0"], ["--listen", "[::]:0"], ["--bogus", "1"], ["--max-body", "3G"],
                     ["--timeout", "0"], ["--timeout", "3601"], ["--timeout", "30s"],
                     ["--tokens", self.write("no-tokens", b"# nothing\n")]):
            result = subprocess.run([COLLECTOR, "serve", *args], capture_output=True, timeout=30, cwd=self.folder)
            self.assertEqual(result.returncode, 2, args)
            self.assertTrue(result.stderr.startswith(b"dromika-collector: "), args)
        self.assertFalse(os.path.exists(self.path("dromika.db")))


class LimitsTest(FolderCase):
    def test_each_limit_answers_stores_nothing_and_leaves_the_service_up(self):
        c = self.collector("--max-body", "64K")
        gz = {"Content-Encoding": "gzip"}
        cases = [  # name, headers, body (a list is sent chunked), answer
            ("declared too large", {"Content-Length": str(65 * 1024)}, b"<dromika/>", 413),
            ("too large while read", {}, [b"<dromika>", b" " * (70 * 1024)], 413),
            ("gzip bomb", gz, gzip.compress(b"<dromika>" + b" " * (4 << 20) + b"</dromika>"), 413),
            ("damaged gzip", gz, b"\x1f\x8bnot really", 400),
            ("cut gzip", gz, gzip.compress(ANALYTICS)[:40], 400),
            ("other encoding", {"Content-Encoding": "br"}, ANALYTICS, 415),
            ("other type", {"Content-Type": "application/json"}, b"{}", 415),
            ("no type", {"Content-Type": ""}, ANALYTICS, 415),
            ("doctype", {}, b"<!DOCTYPE d [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><dromika>&e;</dromika>", 422),
            ("entity expansion", {}, b"<!DOCTYPE d [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>"
             b"<dromika>&b;&b;&b;</dromika>", 422),
            ("too deep", {}, b"<dromika>" + b"<g>" * 100 + b"</g>" * 100 + b"</dromika>", 422),
            ("entity loop", {}, b"<!DOCTYPE d [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><dromika>&a;</dromika>", 422),
            ("attributes", {}, b"<dromika><g" + b"".join(b" a%d=''" % i for i in range(1100)) + b"/></dromika>", 422),
            ("empty", {}, b"", 400),
        ]
        why = {"doctype": "declaration", "entity expansion": "declaration", "too deep": "nested",
               "entity loop": "declaration", "attributes": "attributes", "empty": "empty"}
        for name, headers, body, code in cases:
            with self.subTest(name):
                status, _, answer = c.request("POST", "/v1/documents", body, dict(XML, **headers),
                                              chunked=isinstance(body, list))
                self.assertEqual(status, code, answer)
                self.assertIn(why.get(name, ""), json.loads(answer)["error"])
                self.assertEqual(c.documents(), [])
                self.assertEqual(c.get("/v1/health")[0], 200)
        # Long nested group names are stored once each, not once per data point below them.
        nested = (b"<dromika>" + b"".join(b"<g%d%s>" % (i, b"x" * 400) for i in range(60)) +
                  b"<v" + b"".join(b" a%d=''" % i for i in range(1000)) + b"/>" +
                  b"".join(b"</g%d%s>" % (i, b"x" * 400) for i in reversed(range(60))) + b"</dromika>")
        self.assertEqual(c.post(nested)[0], 201)

    def test_a_body_of_exactly_the_limit_is_taken_and_one_byte_more_is_not(self):
        c = self.collector("--max-body", "64K")
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
                self.assertEqual(send(document(limit, filler))[0], 201)
                self.assertEqual(send(document(limit + 1, filler))[0], 413)
        self.assertEqual([d["size"] for d in c.documents()], [limit] * len(ways))

    def test_uploads_beyond_the_memory_budget_are_turned_away(self):
        c = self.collector("--max-body", "64K")  # four such bodies at once at most, one per address
        head = (b"POST /v1/documents HTTP/1.1\r\nHost: x\r\nContent-Type: application/xml\r\n"
                b"Content-Length: 65536\r\n\r\n<dromika>" + b" " * (65535 - 9))
        held = []
        try:
            for n in range(4):  # each from an address of its own, one byte short of its body
                held.append(connect(c.port, "127.0.0.%d" % (11 + n)))
                held[-1].sendall(head)
            # What the bodies above have sent is held until they end.
            poll(lambda: c.get("/v1/health")[1]["receiving_bytes"] == 4 * 65535, 100)
            status, answer = c.post(ANALYTICS)
            self.assertEqual(status, 503, answer)
        finally:
            for s in held:
                s.close()
        answers = []
        poll(lambda: answers.append(c.post(ANALYTICS)) or answers[-1][0] != 503, 50)
        self.assertEqual(answers[-1][0], 201, answers[-1])
        self.assertEqual(len(c.documents()), 1)

    def test_slow_senders_are_cut_off(self):
        c = self.collector("--timeout", "1")
        for start in (b"POST /v1/documents HTTP/1.1\r\nHost: x\r\n",
                      b"POST /v1/documents HTTP/1.1\r\nHost: x\r\nContent-Type: application/xml\r\n"
                      b"Content-Length: 100000\r\n\r\n<dromika>"):
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
        self.assertEqual(c.documents(), [])


class ConnectionsTest(FolderCase):
    """A hostile network: held connections, declared lengths, framing, oversized requests, a stop mid-upload."""
    HEAD = b"POST /v1/documents HTTP/1.1\r\nHost: x\r\nContent-Type: application/xml\r\nContent-Length: %d\r\n\r\n"

    def exchange(self, c, raw, source="127.0.0.1"):
        """Status, headers (lower-case names) and body of one request sent as raw bytes; the server closes after."""
        with connect(c.port, source) as s:
            s.sendall(raw)
            response = http.client.HTTPResponse(s)
            response.begin()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()

    def post_from(self, c, source, body):
        connection = http.client.HTTPConnection("127.0.0.1", c.port, timeout=30, source_address=(source, 0))
        try:
            connection.request("POST", "/v1/documents", body, XML)
            return connection.getresponse().status
        finally:
            connection.close()

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
        self.assertEqual(self.exchange(c, b"GET /v1/health HTTP/1.1\r\nHost: x\r\n\r\n")[0], 200)
        for _ in range(2100):  # one more asks for every connection left: past its share it is turned away
            try:
                held.append(connect(c.port, "127.0.0.12"))
            except OSError:
                pass
        self.assertEqual(self.exchange(c, b"GET /v1/health HTTP/1.1\r\nHost: x\r\n\r\n", "127.0.0.2")[0], 200)
        self.assertEqual(self.post_from(c, "127.0.0.2", ANALYTICS), 201)

    def test_a_declared_length_reserves_nothing_and_one_address_holds_a_quarter(self):
        c = self.collector()
        held = [connect(c.port) for _ in range(4)]
        self.addCleanup(lambda: [s.close() for s in held])
        for s in held:
            s.sendall(self.HEAD % 268435455 + b"<dromika>")
        poll(lambda: c.get("/v1/health")[1]["receiving_bytes"] == 4 * 9, 100)
        self.assertEqual([self.post_from(c, source, numbered_document(n)) for n, source in
                          enumerate(("127.0.0.1", "127.0.0.2"))], [201, 201])

        c = self.collector("--max-body", "64K")
        with connect(c.port, "127.0.0.3") as hog:  # all but the last byte of the most one address may hold
            hog.sendall(self.HEAD % 65536 + b"<dromika>" + b" " * (65535 - 9))
            poll(lambda: c.get("/v1/health")[1]["receiving_bytes"] == 65535, 100)
            self.assertEqual(self.post_from(c, "127.0.0.3", ANALYTICS), 503)
            self.assertEqual(self.post_from(c, "127.0.0.4", ANALYTICS), 201)

    def test_lengths_that_differ_are_refused_and_the_connection_closed(self):
        c = self.collector()
        # What follows the shorter body must not be read as a second request.
        for second, code in ((5, 400), (10, 201)):
            raw = (self.HEAD % 10)[:-2] + b"Content-Length: %d\r\n\r\n<dromika/>" % second
            status, _, body = self.exchange(c, raw + b"GET /v1/health HTTP/1.1\r\nHost: x\r\n\r\n")
            self.assertEqual(status, code, body)
            if code == 400:
                self.assertIn("Content-Length", json.loads(body)["error"])
        self.assertEqual(len(c.documents()), 1)

    def test_requests_too_large_are_answered_with_the_usual_headers(self):
        c = self.collector()
        # Somewhat larger ones only: past the server's own memory for them, it answers alone and bare.
        for raw, code in ((b"GET /v1/health?" + b"a" * 70000 + b" HTTP/1.1\r\nHost: x\r\n\r\n", 414),
                          (b"GET /v1/health HTTP/1.1\r\nHost: x\r\nX-Filler: " + b"b" * 70000 + b"\r\n\r\n", 431)):
            status, headers, body = self.exchange(c, raw)
            self.assertEqual((status, headers["content-security-policy"], headers["x-content-type-options"]),
                             (code, "default-src 'none'; sandbox", "nosniff"))
            self.assertIn("65536 bytes", json.loads(body)["error"])

    def test_a_stop_ends_a_slow_upload_within_the_drain_time(self):
        c = self.collector()
        with connect(c.port) as slow:
            slow.sendall(self.HEAD % 100000 + b"<dromika>")
            poll(lambda: c.get("/v1/health")[1]["receiving_bytes"] == 9, 100)
            c.process.terminate()
            self.assertEqual(c.process.wait(timeout=60), 0)  # far beyond the drain time: it must not hang
        self.assertIn(b"still under way", c.process.stderr.read())


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


class AuthTest(FolderCase):
    def test_tokens_guard_uploads_and_reads(self):
        c = self.collector("--tokens", self.write("tokens", b"# senders\n  right-token \n\nother\n"))
        # Which headers pass is TokensTest's; here, that both uploads and reads ask.
        for token, accepted in (("Bearer right-token", True), ("Bearer other", True), ("", False),
                                ("Bearer right-token junk", False), ("Bearer # senders", False)):
            headers = {"Authorization": token} if token else {}
            self.assertEqual(c.get("/v1/documents", headers)[0], 200 if accepted else 401, token)
            if not accepted:
                self.assertEqual(c.post(ANALYTICS, headers)[0], 401, token)
        self.assertEqual(c.post(ANALYTICS, {"Authorization": "Bearer right-token"})[0], 201)
        self.assertEqual(len(c.documents({"Authorization": "Bearer other"})), 1)
        self.assertEqual(c.get("/v1/health")[0], 200)


class TlsTest(FolderCase):
    def certificate(self, name):
        cert, key = self.path(name + ".pem"), self.path(name + ".key")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                        "-keyout", key, "-out", cert], capture_output=True, timeout=60, check=True)
        return cert, key

    def test_a_certificate_or_key_that_does_not_load_stops_the_start(self):
        cert, key = self.certificate("cert")
        other_key = self.certificate("other")[1]
        for pair, why in (((self.write("empty.pem", b""), key), "empty"), ((self.folder, key), "not a file"),
                          ((cert, self.folder), "not a file"), ((key, key), "not a PEM certificate"),
                          ((cert, other_key), "does not belong")):
            result = subprocess.run([COLLECTOR, "serve", "--listen", "127.0.0.1:0", "--tls-cert", pair[0],
                                     "--tls-key", pair[1]], capture_output=True, timeout=30, cwd=self.folder)
            self.assertEqual(result.returncode, 2, pair)
            self.assertIn(why, result.stderr.decode())

    def test_serves_https_with_the_given_certificate(self):
        cert, key = self.certificate("cert")
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


def numbered_document(number):
    events = "".join('  <event name="e%d" value="%d" elapsed="0d 0:00:00.%03d" />\r\n' % (number, k, k)
                     for k in range(3))
    return ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
            "<events>\r\n%s</events>\r\n</dromika>\r\n" % events).encode()


def upload_in_threads(senders):
    """Starts one thread per (collector, numbers): each posts its numbered documents until an exchange fails.
    Returns the threads and the list of (number, status, id) they fill."""
    answered, lock = [], threading.Lock()

    def upload(collector, numbers):
        for number in numbers:
            try:
                status, answer = collector.post(numbered_document(number))
            except (OSError, http.client.HTTPException):
                return
            with lock:
                answered.append((number, status, answer.get("id")))
    threads = [threading.Thread(target=upload, args=sender) for sender in senders]
    for thread in threads:
        thread.start()
    return threads, answered


class DurabilityTest(FolderCase):
    def test_a_store_file_removed_while_serving_takes_no_more_documents(self):
        c = self.collector()
        self.assertEqual(c.post(ANALYTICS)[0], 201)
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(self.path("store.db" + suffix)):
                os.remove(self.path("store.db" + suffix))
        status, answer = c.post(numbered_document(1))
        self.assertEqual(status, 503)
        self.assertIn("removed or replaced", answer["error"])
        self.assertEqual(c.get("/v1/health")[0], 503)
        self.assertFalse(os.path.exists(self.path("store.db")))

    def test_every_answered_document_survives_a_kill(self):
        c = self.collector()
        threads, answered = upload_in_threads([(c, range(t, 2000, 4)) for t in range(4)])
        poll(lambda: len(answered) >= 40, 600)  # at most 60 s for the first 40 answers
        c.process.kill()  # SIGKILL: no chance to finish anything
        c.process.wait()
        for thread in threads:
            thread.join(timeout=60)
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
                        "documents, schema_migrations CASCADE"], check=True, capture_output=True, timeout=60)
        fleet = [self.collector(store="postgresql://"), self.collector(store="postgresql://")]
        # Every document goes to both collectors at about the same time.
        threads, answered = upload_in_threads([(c, range(t, 120, 3)) for c in fleet for t in range(3)])
        for thread in threads:
            thread.join(timeout=120)
        self.assertEqual(len(answered), 240)
        by_number = {}
        for number, status, document_id in answered:
            by_number.setdefault(number, []).append((status, document_id))
        for number, answers in by_number.items():
            self.assertEqual(sorted(status for status, _ in answers), [200, 201], number)
            self.assertEqual(answers[0][1], answers[1][1], number)
            raw = fleet[number % 2].request("GET", "/v1/documents/%d/raw" % answers[0][1])[2]
            self.assertEqual(raw, numbered_document(number))  # the packed bytes survive PostgreSQL
        self.assertEqual(len(fleet[0].documents(limit="1000")), 120)
        self.assertEqual(len(fleet[1].get("/v1/events/summary")[1]["events"]), 120)


if __name__ == "__main__":
    unittest.main()
