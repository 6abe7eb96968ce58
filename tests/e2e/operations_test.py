#!/usr/bin/env python3
"""dromika-collector as an operator runs it: /metrics parsed strictly, reloads on SIGHUP, a stop during an
upload, keep-alive and pipelining, gzip. That no log line shows a secret the harness checks for every test.
Environment (set by ctest): DROMIKA_COLLECTOR, DROMIKA_EXE."""
import gzip
import http.client
import json
import math
import re
import signal
import ssl
import unittest

from collector_test import ANALYTICS, HEAD, certificate, connect, numbered_document, poll
from dromika import XML, FolderCase

METRIC = r"[a-zA-Z_:][a-zA-Z0-9_:]*"
SAMPLE = re.compile(r"(%s)(?:\{((?:[a-zA-Z_]\w*=\"(?:[^\"\\\n]|\\[\\\"n])*\",?)*)\})? (\S+)" % METRIC)
LABEL = re.compile(r"([a-zA-Z_]\w*)=\"((?:[^\"\\\n]|\\[\\\"n])*)\"")


def parse_metrics(text):
    """{(name, ((label, value), ...)): value} of the Prometheus text format, failing on anything that format
    does not allow: a sample before its TYPE, a family split or typed twice, a duplicate sample, a value that
    is not a number, a histogram whose buckets fall or whose +Inf bucket is not its count."""
    assert text.endswith("\n"), "the text must end with a line end"
    samples, types, family_of, seen = {}, {}, {}, []
    for line in text[:-1].split("\n"):
        if line.startswith("#"):
            words = line.split(" ", 3)
            assert len(words) >= 3 and words[1] in ("HELP", "TYPE") and re.fullmatch(METRIC, words[2]), line
            if words[1] == "TYPE":
                assert words[2] not in types and words[3] in ("counter", "gauge", "histogram", "summary", "untyped")
                types[words[2]] = words[3]
            continue
        match = SAMPLE.fullmatch(line)
        assert match, "not a sample: %r" % line
        name, labels, value = match.groups()
        family = re.sub(r"_(bucket|sum|count)$", "", name) if re.sub(r"_(bucket|sum|count)$", "", name) in types \
            else name
        assert family in types, "a sample before its TYPE: " + line
        assert not seen or seen[-1] == family or family not in seen, "family %s is split" % family
        seen.append(family)
        key = (name, tuple(LABEL.findall(labels or "")))
        assert key not in samples, "a duplicate sample: " + line
        samples[key] = float(value)  # float() takes +Inf, NaN and exponents as the format does
        family_of[key] = family
    for family in (f for f, t in types.items() if t == "histogram"):
        buckets = [(float(dict(k[1])["le"]), v) for k, v in samples.items() if k[0] == family + "_bucket"]
        counts = [v for _, v in sorted(buckets)]
        assert buckets and counts == sorted(counts) and math.isinf(max(buckets)[0]), family
        assert counts[-1] == samples[(family + "_count", ())] and (family + "_sum", ()) in samples, family
    return samples


class OperationsCase(FolderCase):
    def metrics(self, c, headers=None):
        status, answer, body = c.request("GET", "/metrics", headers=headers)
        self.assertEqual((status, answer["content-type"]), (200, "text/plain; charset=utf-8"), body)
        return parse_metrics(body.decode())


class MetricsTest(OperationsCase):
    def test_counts_move_with_uploads_and_refusals_and_the_text_parses(self):
        c = self.collector("--max-body", "64K", "--tokens", self.write("tokens", b"sender-token-1 ingest # s\n"))
        sender = {"Authorization": "Bearer sender-token-1"}
        before = self.metrics(c)  # open on loopback without a token
        for body, code in ((ANALYTICS, 201), (ANALYTICS, 200), (b"<dromika><unclosed></dromika>", 202),
                           (b"<dromika>" + b" " * 70000 + b"</dromika>", 413)):
            self.assertEqual(c.post(body, sender)[0], code)
        self.assertEqual(c.post(ANALYTICS, {"Authorization": "Bearer wrong-token-9"})[0], 401)
        # A request is counted as its log line is written, once its answer is sent.
        self.assertTrue(poll(lambda: len(c.log("request")) == 6, 50))
        after = self.metrics(c)

        def moved(name, *labels):
            key = (name, tuple(labels))
            return after.get(key, 0) - before.get(key, 0)
        self.assertEqual([moved("dromika_documents_stored_total", ("kind", "analytics")),
                          moved("dromika_documents_duplicate_total"), moved("dromika_documents_unparsed_total"),
                          moved("dromika_refusals_total", ("reason", "too_large")),
                          moved("dromika_refusals_total", ("reason", "unauthorized")),
                          moved("dromika_http_requests_total", ("route", "/v1/documents"), ("method", "POST"),
                                ("code", "201")),
                          moved("dromika_http_requests_total", ("route", "/metrics"), ("method", "GET"),
                                ("code", "200")),
                          moved("dromika_store_commit_seconds_count")],
                         [1, 1, 1, 1, 1, 1, 1, 3])
        self.assertGreaterEqual(moved("dromika_received_bytes_total"), 2 * len(ANALYTICS))  # the 413 at its headers
        self.assertEqual(after[("dromika_receiving_bytes", ())], 0)
        self.assertGreaterEqual(after[("dromika_connections", ())], 1)
        # A scraper's own address answers /metrics alone, without a token.
        m = self.collector("--tokens", self.path("tokens"), "--metrics-listen", "127.0.0.1:0")
        port = int(re.search(r":(\d+)/metrics$", m.log("start")[0]["metrics"]).group(1))
        for path, code in (("/metrics", 200), ("/v1/documents", 404)):
            scrape = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
            scrape.request("GET", path)
            answer = scrape.getresponse()
            self.assertEqual(answer.status, code, path)
            if code == 200:
                parse_metrics(answer.read().decode())
            scrape.close()


class SignalsTest(OperationsCase):
    def test_a_reload_swaps_tokens_and_certificates_without_dropping_connections_and_keeps_them_on_errors(self):
        tokens = self.write("tokens", b"first-token-1 # first\n")
        cert, key = certificate(self, "a")
        second_cert, second_key = certificate(self, "b")
        c = self.collector("--tokens", tokens, "--tls-cert", cert, "--tls-key", key)
        context = ssl.create_default_context(cafile=cert)
        held = http.client.HTTPSConnection("localhost", c.port, timeout=30, context=context)
        held.auto_open = 0  # a dropped connection fails the next request instead of opening another
        self.addCleanup(held.close)
        held.connect()

        def status(token):
            c.remember_secrets("", None, {"Authorization": token})
            held.request("GET", "/v1/documents", headers={"Authorization": "Bearer " + token})
            answer = held.getresponse()
            answer.read()
            return answer.status

        def reload(count):
            c.signal(signal.SIGHUP)
            self.assertTrue(poll(lambda: len(c.log("reload")) == count, 100))
            return c.log("reload")[-1]

        def served_certificate():
            with socket_to(c.port, context) as s:
                return s.getpeercert(binary_form=True)
        first_served = served_certificate()
        self.assertEqual(status("first-token-1"), 200)
        self.write("tokens", b"second-token-2 read # second\n")
        with open(cert, "wb") as f, open(second_cert, "rb") as new:
            f.write(new.read())
        with open(key, "wb") as f, open(second_key, "rb") as new:
            f.write(new.read())
        self.assertEqual(reload(1), dict(reload_fields(c, 1), tokens="1 loaded", tls="loaded"))
        self.assertEqual((status("first-token-1"), status("second-token-2")), (401, 200))
        context.load_verify_locations(cafile=second_cert)
        second_served = served_certificate()
        self.assertNotEqual(first_served, second_served)
        # Files that do not load leave the last good ones in use, and the log says why.
        self.write("tokens", b"third-token-3 sideways\n")
        with open(key, "wb") as f:
            f.write(b"not a key")
        answer = reload(2)
        self.assertTrue(answer["tokens"].startswith("kept the old ones: ") and "sideways" in answer["tokens"], answer)
        self.assertTrue(answer["tls"].startswith("kept the old pair: ") and "--tls-key" in answer["tls"], answer)
        self.assertEqual((status("second-token-2"), served_certificate()), (200, second_served))

    def test_a_stop_lets_an_upload_under_way_finish(self):
        c = self.collector()
        body = b"<dromika>" + b" " * (20 * 1024 * 1024) + b"</dromika>"
        with connect(c.port) as s:
            s.sendall(HEAD % len(body) + body[:1024 * 1024])
            self.assertTrue(poll(lambda: c.get("/v1/health")[1]["receiving_bytes"] > 0, 100))
            c.signal(signal.SIGTERM)
            self.assertTrue(poll(lambda: c.log("stopping"), 100))
            s.settimeout(60)
            s.sendall(body[1024 * 1024:])
            answer = http.client.HTTPResponse(s)
            answer.begin()
            self.assertEqual((answer.status, answer.getheader("Connection")), (201, "close"), answer.read())
        self.assertEqual(c.process.wait(timeout=60), 0)
        c.stop()
        self.assertEqual(([e["event"] for e in c.log()][-1], c.log("stopping")[0]["drain_ms"]), ("stopped", 10000))


class ConnectionTest(OperationsCase):
    def test_a_hundred_uploads_on_one_connection_and_pipelined_requests_answered_in_order(self):
        c = self.collector()
        connection = http.client.HTTPConnection("127.0.0.1", c.port, timeout=30)
        connection.auto_open = 0
        self.addCleanup(connection.close)
        connection.connect()
        ids = []
        for number in range(100):
            connection.request("POST", "/v1/documents", numbered_document(number), XML)
            answer = connection.getresponse()
            self.assertEqual(answer.status, 201)
            ids.append(json.loads(answer.read())["id"])
        self.assertEqual(len(set(ids)), 100)
        # Three requests sent at once are answered one after the other, in the order asked.
        wanted = [ids[7], ids[3], ids[50]]
        with connect(c.port) as s:
            s.sendall(b"".join(b"GET /v1/documents/%d HTTP/1.1\r\nHost: x\r\n\r\n" % i for i in wanted))
            reader = s.makefile("rb")
            got = []
            for _ in wanted:
                status = reader.readline()
                headers = dict(line.decode().rstrip("\r\n").split(": ", 1) for line in iter(reader.readline, b"\r\n"))
                self.assertIn(b" 200 ", status)
                got.append(json.loads(reader.read(int(headers["Content-Length"])))["id"])
            self.assertEqual(got, wanted)

    def test_pages_and_json_are_gzipped_when_asked_and_raw_bytes_never(self):
        c = self.collector()
        document = c.post(ANALYTICS)[1]["id"]
        for number in range(5):
            c.post(numbered_document(number))
        for path in ("/", "/v1/documents", "/v1/documents/%d" % document):
            plain = c.request("GET", path)
            packed = c.request("GET", path, headers={"Accept-Encoding": "br, gzip;q=0.5"})
            refused = c.request("GET", path, headers={"Accept-Encoding": "gzip;q=0, identity"})
            self.assertEqual((plain[1]["vary"], packed[1].get("content-encoding"), refused[1].get("content-encoding")),
                             ("Accept-Encoding", "gzip" if len(plain[2]) >= 512 else None, None), path)
            self.assertEqual(gzip.decompress(packed[2]) if len(plain[2]) >= 512 else packed[2], plain[2], path)
        raw = c.request("GET", "/v1/documents/%d/raw" % document, headers={"Accept-Encoding": "gzip"})
        self.assertEqual((raw[1].get("content-encoding"), raw[2]), (None, ANALYTICS))


def socket_to(port, context):
    return context.wrap_socket(connect(port), server_hostname="localhost")


def reload_fields(c, count):
    """The reload line's time and event, which the comparison takes as they are."""
    line = c.log("reload")[count - 1]
    return {"time": line["time"], "event": "reload"}


if __name__ == "__main__":
    unittest.main()
