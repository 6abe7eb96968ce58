#!/usr/bin/env python3
"""dromika-collector from outside: the API's answers, the limits, bearer
tokens, dedupe, unparsed documents, import, slow senders and HTTPS.

Environment (set by ctest): DROMIKA_COLLECTOR, DROMIKA_EXE. Every collector
runs on a free loopback port with a store in a fresh folder and is stopped
when its test ends."""
import gzip
import http.client
import json
import os
import re
import select
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.parse

COLLECTOR = os.environ["DROMIKA_COLLECTOR"]
DROMIKA = os.environ["DROMIKA_EXE"]
XML = {"Content-Type": "application/xml; charset=utf-8"}

ANALYTICS = (
    '<?xml version="1.0" encoding="utf-8"?>\r\n'
    "<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
    '<project files="12" />\r\n'
    "<events>\r\n"
    '  <event name="session.init" eventtime="0d 0:00:00.015" />\r\n'
    '  <event name="file.open" value="3" eventtime="0d 0:00:05.120" elapsed="0d 0:00:01.200" />\r\n'
    "</events>\r\n"
    "<system>\r\n  <wmi>\r\n"
    '    <Win32_ComputerSystem Name="PC-1" NumberOfLogicalProcessors="4"/>\r\n'
    "  </wmi>\r\n</system>\r\n"
    "</dromika>\r\n").encode()


class Collector:
    """One `dromika-collector serve` on 127.0.0.1 and a free port."""

    def __init__(self, folder, *args, store=None):
        self.folder = folder
        command = [COLLECTOR, "serve", "--listen", "127.0.0.1:0",
                   "--store", store or "sqlite:" + os.path.join(folder, "store.db"), *args]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=folder)
        ready, _, _ = select.select([self.process.stdout], [], [], 30)
        line = self.process.stdout.readline().decode() if ready else ""
        match = re.search(r"listening on (https?)://127\.0\.0\.1:(\d+)", line)
        if not match:
            self.stop()
            raise AssertionError("the collector did not start: " + line + self.process.stderr.read().decode())
        self.port = int(match.group(2))
        self.context = None

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()

    def connection(self):
        if self.context:
            return http.client.HTTPSConnection("localhost", self.port, timeout=30, context=self.context)
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)

    def request(self, method, path, body=None, headers=None, chunked=False):
        connection = self.connection()
        try:
            connection.request(method, path, body=body, headers=headers or {}, encode_chunked=chunked)
            response = connection.getresponse()
            return response.status, response.getheader("Content-Type", ""), response.read()
        finally:
            connection.close()

    def post(self, body, headers=None, **kwargs):
        status, _, answer = self.request("POST", "/v1/documents", body, dict(XML, **(headers or {})), **kwargs)
        return status, json.loads(answer)

    def get(self, path, headers=None, **query):
        if query:
            path += "?" + urllib.parse.urlencode(query)
        status, _, answer = self.request("GET", path, headers=headers)
        return status, json.loads(answer)

    def documents(self, headers=None):
        status, answer = self.get("/v1/documents", headers=headers)
        assert status == 200, answer
        return answer["documents"]


class CollectorCase(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="dromika-collector-")
        self.collectors = []

    def tearDown(self):
        for collector in self.collectors:
            collector.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, *args, store=None):
        collector = Collector(self.folder, *args, store=store)
        self.collectors.append(collector)
        return collector

    def write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def report_document(self):
        path = os.path.join(self.folder, "report.dromika")
        subprocess.run([DROMIKA, "/out:" + path], capture_output=True, timeout=120, check=True)
        with open(path, "rb") as f:
            return f.read()


class ApiTest(CollectorCase):
    def test_stores_documents_once_and_answers_questions(self):
        c = self.start()
        status, first = c.post(ANALYTICS)
        self.assertEqual((status, first["events"], first["groups"], first["blocks"]), (201, 2, 1, 1))
        self.assertEqual(c.post(ANALYTICS), (200, first))  # a retry after a lost answer

        report = self.report_document()
        status, stored = c.post(gzip.compress(report), {"Content-Encoding": "gzip", "Content-Type": "text/xml"})
        self.assertEqual((status, stored["blocks"], stored["events"]), (201, 7, 0))

        documents = c.documents()
        self.assertEqual([d["id"] for d in documents], [stored["id"], first["id"]])
        self.assertEqual([d["kind"] for d in documents], ["report", "analytics"])
        self.assertEqual(documents[1]["machine"], "PC-1")
        self.assertEqual(documents[1]["sender"], "127.0.0.1")
        self.assertEqual([d["id"] for d in c.get("/v1/documents", machine="PC-1")[1]["documents"]], [first["id"]])
        self.assertEqual(len(c.get("/v1/documents", limit="1")[1]["documents"]), 1)
        self.assertEqual(c.get("/v1/documents", until="2000-01-01")[1]["documents"], [])

        for document_id, body in ((first["id"], ANALYTICS), (stored["id"], report)):
            status, kind, raw = c.request("GET", "/v1/documents/%d/raw" % document_id)
            self.assertEqual((status, raw), (200, body))
            self.assertTrue(kind.startswith("application/xml"))

        status, summary = c.get("/v1/events/summary", since="2000-01-01T00:00Z")
        self.assertEqual(status, 200)
        by_name = {e["name"]: e for e in summary["events"]}
        self.assertEqual(sorted(by_name), ["file.open", "session.init"])
        self.assertEqual(by_name["file.open"]["value_sum"], 3)
        self.assertEqual(by_name["file.open"]["elapsed_ms"], {"p50": 1200, "p90": 1200, "p99": 1200})
        self.assertEqual((by_name["session.init"]["count"], by_name["session.init"]["machines"]), (1, 1))
        self.assertEqual(c.get("/v1/events/summary", name="nothing")[1], {"events": []})

        machines = {m["name"]: m for m in c.get("/v1/machines")[1]["machines"]}
        self.assertEqual(machines["PC-1"]["logical_processors"], 4)
        self.assertEqual(c.get("/v1/health")[1]["status"], "ok")

    def test_bad_queries_are_answered_with_escaped_echoes(self):
        c = self.start()
        cases = [
            ("/v1/documents?since=%3Cscript%3E", 400),
            ("/v1/documents?limit=0", 400),
            ("/v1/documents/999/raw", 404),
            ("/v1/documents/x%22%3C/raw", 404),
            ("/v1/%3Cnothing%3E", 404),
        ]
        for path, code in cases:
            status, kind, body = c.request("GET", path)
            self.assertEqual(status, code, path)
            self.assertTrue(kind.startswith("application/json"), path)
            self.assertNotIn(b"<", body, path)
            json.loads(body)

    def test_ill_formed_documents_are_kept_unparsed(self):
        c = self.start()
        body = b"<?xml version=\"1.0\"?>\r\n<dromika>\r\n<my group>\r\n</dromika>\r\n"
        status, answer = c.post(body)
        self.assertEqual(status, 202)
        self.assertEqual(answer["state"], "unparsed")
        self.assertIn("line 3", answer["message"])
        self.assertEqual(c.request("GET", "/v1/documents/%d/raw" % answer["id"])[2], body)
        self.assertEqual(c.documents()[0]["state"], "unparsed")
        self.assertEqual(c.post(body)[0], 200)

    def test_import_stores_saved_files_as_if_uploaded(self):
        files = [self.write("a.dromika", ANALYTICS), self.write("b.dromika.gz", gzip.compress(b"<dromika/>"))]
        store = "sqlite:" + os.path.join(self.folder, "store.db")
        for expected in ("2 stored, 0 unparsed, 0 already stored, 0 failed",
                         "0 stored, 0 unparsed, 2 already stored, 0 failed"):
            result = subprocess.run([COLLECTOR, "import", "--store", store, *files], capture_output=True, timeout=60)
            self.assertEqual((result.returncode, result.stdout.decode().strip()), (0, expected))
        c = self.start()
        self.assertEqual({d["sender"] for d in c.documents()}, {"import:" + f for f in files})

    def test_refuses_a_public_address_without_tokens(self):
        for args in (["--listen", "0.0.0.0:0"], ["--listen", "[::]:0"], ["--bogus", "1"], ["--max-body", "3G"]):
            result = subprocess.run([COLLECTOR, "serve", *args], capture_output=True, timeout=30, cwd=self.folder)
            self.assertEqual(result.returncode, 2, args)
            self.assertTrue(result.stderr.startswith(b"dromika-collector: "), args)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "dromika.db")))


class LimitsTest(CollectorCase):
    def test_each_limit_answers_stores_nothing_and_leaves_the_service_up(self):
        c = self.start("--max-body", "64K")
        deep = b"<dromika>" + b"<g>" * 100 + b"</g>" * 100 + b"</dromika>"
        bomb = gzip.compress(b"<dromika>" + b" " * (4 << 20) + b"</dromika>")
        cases = [
            ("declared too large", {"Content-Length": str(65 * 1024)}, b"<dromika/>", False, 413),
            ("too large while read", {}, [b"<dromika>", b" " * (70 * 1024)], True, 413),
            ("gzip bomb", {"Content-Encoding": "gzip"}, bomb, False, 413),
            ("damaged gzip", {"Content-Encoding": "gzip"}, b"\x1f\x8bnot really", False, 400),
            ("cut gzip", {"Content-Encoding": "gzip"}, gzip.compress(ANALYTICS)[:40], False, 400),
            ("other encoding", {"Content-Encoding": "br"}, ANALYTICS, False, 415),
            ("other type", {"Content-Type": "application/json"}, b"{}", False, 415),
            ("no type", {"Content-Type": ""}, ANALYTICS, False, 415),
            ("doctype", {}, b"<!DOCTYPE d [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><dromika>&e;</dromika>",
             False, 422),
            ("entity expansion", {}, b"<!DOCTYPE d [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>"
             b"<dromika>&b;&b;&b;</dromika>", False, 422),
            ("too deep", {}, deep, False, 422),
        ]
        for name, headers, body, chunked, code in cases:
            with self.subTest(name):
                status, _, answer = c.request("POST", "/v1/documents", body, dict(XML, **headers), chunked=chunked)
                self.assertEqual(status, code, answer)
                self.assertIn("error", json.loads(answer))
                self.assertEqual(c.documents(), [])
                self.assertEqual(c.get("/v1/health")[0], 200)

    def test_uploads_beyond_the_memory_budget_are_turned_away(self):
        c = self.start("--max-body", "64K")  # four such bodies at once at most
        head = (b"POST /v1/documents HTTP/1.1\r\nHost: x\r\nContent-Type: application/xml\r\n"
                b"Content-Length: 65536\r\n\r\n<dromika>")
        held = []
        try:
            for _ in range(4):
                held.append(socket.create_connection(("127.0.0.1", c.port), timeout=10))
                held[-1].sendall(head)
            # The bodies above are unfinished; their room is taken until they end.
            for _ in range(100):
                if c.get("/v1/health")[1]["receiving_bytes"] == 4 * 65536:
                    break
                time.sleep(0.1)
            status, answer = c.post(ANALYTICS)
            self.assertEqual(status, 503, answer)
        finally:
            for s in held:
                s.close()
        for _ in range(50):
            status, answer = c.post(ANALYTICS)
            if status != 503:
                break
            time.sleep(0.1)
        self.assertEqual(status, 201, answer)
        self.assertEqual(len(c.documents()), 1)

    def test_slow_senders_are_cut_off(self):
        c = self.start("--timeout", "1")
        starts = [b"POST /v1/documents HTTP/1.1\r\nHost: x\r\n",
                  b"POST /v1/documents HTTP/1.1\r\nHost: x\r\nContent-Type: application/xml\r\n"
                  b"Content-Length: 100000\r\n\r\n<dromika>"]
        for start in starts:
            with socket.create_connection(("127.0.0.1", c.port), timeout=10) as s:
                s.sendall(start)
                closed = False
                for _ in range(120):  # one byte every 0.25 s, for at most 30 s
                    try:
                        s.sendall(b" ")
                        ready, _, _ = select.select([s], [], [], 0.25)
                        if ready and s.recv(4096) == b"":
                            closed = True
                    except OSError:
                        closed = True
                    if closed:
                        break
                self.assertTrue(closed, start)
            self.assertEqual(c.get("/v1/health")[0], 200)
        self.assertEqual(c.documents(), [])


class AuthTest(CollectorCase):
    def test_tokens_guard_uploads_and_reads(self):
        c = self.start("--tokens", self.write("tokens", b"# senders\nright-token\n"))
        good = {"Authorization": "Bearer right-token"}
        for headers in ({}, {"Authorization": "Bearer wrong-token"}, {"Authorization": "Bearer right-toke"},
                        {"Authorization": "right-token"}):
            status, answer = c.post(ANALYTICS, headers)
            self.assertEqual(status, 401, headers)
            self.assertEqual(c.get("/v1/documents", headers=headers)[0], 401)
        self.assertEqual(c.documents(good), [])
        self.assertEqual(c.post(ANALYTICS, good)[0], 201)
        self.assertEqual(len(c.documents(good)), 1)
        self.assertEqual(c.get("/v1/health")[0], 200)


class TlsTest(CollectorCase):
    def test_serves_https_with_the_given_certificate(self):
        cert, key = os.path.join(self.folder, "cert.pem"), os.path.join(self.folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                        "-keyout", key, "-out", cert], capture_output=True, timeout=60, check=True)
        c = self.start("--tls-cert", cert, "--tls-key", key)
        url = "https://localhost:%d/v1/documents" % c.port
        body = self.write("a.dromika", ANALYTICS)
        result = subprocess.run(["curl", "-sS", "--cacert", cert, "-H", "Content-Type: application/xml",
                                 "--data-binary", "@" + body, url], capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(json.loads(result.stdout)["events"], 2)
        # Without the certificate the client must refuse the server.
        result = subprocess.run(["curl", "-sS", url], capture_output=True, timeout=60)
        self.assertNotEqual(result.returncode, 0)
        c.context = ssl.create_default_context(cafile=cert)
        self.assertEqual(len(c.documents()), 1)


def numbered_document(number):
    events = "".join('  <event name="e%d" value="%d" elapsed="0d 0:00:00.%03d" />\r\n' % (number, k, k)
                     for k in range(3))
    return ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n"
            "<events>\r\n%s</events>\r\n</dromika>\r\n" % events).encode()


def upload_until_failure(collector, numbers, answered, lock):
    """Posts each numbered document; stops at the first failed exchange."""
    for number in numbers:
        try:
            status, answer = collector.post(numbered_document(number))
        except (OSError, http.client.HTTPException):
            return
        with lock:
            answered.append((number, status, answer.get("id")))


class DurabilityTest(CollectorCase):
    def test_every_answered_document_survives_a_kill(self):
        c = self.start()
        answered, lock = [], threading.Lock()
        threads = [threading.Thread(target=upload_until_failure, args=(c, range(t, 2000, 4), answered, lock))
                   for t in range(4)]
        for thread in threads:
            thread.start()
        for _ in range(600):  # at most 60 s for the first 40 answers
            with lock:
                if len(answered) >= 40:
                    break
            time.sleep(0.1)
        c.process.send_signal(signal.SIGKILL)
        c.process.wait()
        for thread in threads:
            thread.join(timeout=60)
        self.assertGreaterEqual(len(answered), 40)
        self.assertTrue(all(status == 201 for _, status, _ in answered), answered)

        c = self.start()
        for number, _, document_id in answered:
            status, _, raw = c.request("GET", "/v1/documents/%d/raw" % document_id)
            self.assertEqual((status, raw), (200, numbered_document(number)))
        stored = c.get("/v1/documents", limit="1000")[1]["documents"]
        events = c.get("/v1/events/summary")[1]["events"]
        # Every stored document, answered or not, came with all its events.
        self.assertEqual(len(events), len(stored))
        self.assertTrue(all(e["count"] == 3 and e["value_sum"] == 3 for e in events), events)


@unittest.skipUnless(os.environ.get("PGHOST"), "needs a PostgreSQL cluster (run under pg_virtualenv)")
class FleetTest(CollectorCase):
    def test_two_collectors_on_one_database_store_each_document_once(self):
        store = "postgresql://"
        subprocess.run(["psql", "-q", "-c", "DROP TABLE IF EXISTS disks, machine_facts, data_points, events, "
                        "documents, schema_migrations CASCADE"], check=True, capture_output=True, timeout=60)
        fleet = [self.start(store=store), self.start(store=store)]
        answered, lock = [], threading.Lock()
        # Every document goes to both collectors at about the same time.
        threads = [threading.Thread(target=upload_until_failure, args=(c, range(t, 120, 3), answered, lock))
                   for c in fleet for t in range(3)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=120)
        self.assertEqual(len(answered), 240)
        by_number = {}
        for number, status, document_id in answered:
            by_number.setdefault(number, []).append((status, document_id))
        for number, answers in by_number.items():
            self.assertEqual(sorted(status for status, _ in answers), [200, 201], number)
            self.assertEqual(answers[0][1], answers[1][1], number)
        self.assertEqual(len(fleet[0].get("/v1/documents", limit="1000")[1]["documents"]), 120)
        self.assertEqual(len(fleet[1].get("/v1/events/summary")[1]["events"]), 120)


if __name__ == "__main__":
    unittest.main()
