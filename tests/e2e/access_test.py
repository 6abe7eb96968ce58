#!/usr/bin/env python3
"""dromika-collector's access and data lifecycle from outside: token scopes,
signing in from a browser with sessions in the store, removing documents and
machines, retention, and a backup taken while serving. Environment (set by
ctest): DROMIKA_COLLECTOR, DROMIKA_EXE."""
import json
import os
import re
import sqlite3
import subprocess
import threading
import time
import unittest
import urllib.parse

from dromika import COLLECTOR, FolderCase
from collector_test import ANALYTICS, certificate, numbered_document, upload_in_threads

TOKENS = (b"# clients get the ingest token built in; people read\n"
          b"client-token ingest # clients\nreader-token read # alice\nops-token read admin # ops\nold-token\n")
TABLES = ("documents", "events", "groups", "data_points", "machine_facts", "disks")


def bearer(token):
    return {"Authorization": "Bearer " + token} if token else {}


def form(**fields):
    return urllib.parse.urlencode(fields), {"Content-Type": "application/x-www-form-urlencoded"}


def session_of(headers):
    match = re.match(r"(?:__Host-)?dromika_session=([0-9a-f]+);", headers.get("set-cookie", ""))
    return match.group(1) if match else None


def sql(store, *statements):
    """The rows of the last statement, each statement committed; the connection is closed after."""
    db = sqlite3.connect(store)
    try:
        rows = [db.execute(statement).fetchall() for statement in statements][-1]
        db.commit()
        return rows
    finally:
        db.close()


def row_counts(store):
    return {t: sql(store, "SELECT COUNT(*) FROM " + t)[0][0] for t in TABLES}


class AccessCase(FolderCase):
    def serve(self, *args, store=None):
        return self.collector("--tokens", self.write("tokens.txt", TOKENS), *args, store=store)

    def sign_in(self, c, token="reader-token", next_page="/"):
        body, headers = form(token=token, next=next_page)
        return c.request("POST", "/login", body, headers)


class ScopesTest(AccessCase):
    def test_each_token_reaches_what_its_scopes_allow(self):
        c = self.serve()
        self.assertEqual(c.post(ANALYTICS, bearer("client-token"))[0], 201)
        doc = c.documents(bearer("reader-token"))[0]["id"]
        endpoints = [("POST", "/v1/documents"), ("GET", "/v1/documents"), ("GET", "/v1/documents/%d" % doc),
                     ("GET", "/v1/machines"), ("GET", "/machines/PC-1"), ("DELETE", "/v1/documents/999"),
                     ("DELETE", "/v1/machines/nobody"), ("GET", "/v1/health")]
        expected = {  # token: status per endpoint, in order
            None: [401, 401, 401, 401, 303, 401, 401, 200],
            "wrong": [401, 401, 401, 401, 401, 401, 401, 200],
            "client-token": [200, 403, 403, 403, 403, 403, 403, 200],
            "reader-token": [403, 200, 200, 200, 200, 403, 403, 200],
            "ops-token": [403, 200, 200, 200, 200, 404, 404, 200],
            "old-token": [200, 200, 200, 200, 200, 403, 403, 200],
        }
        for token, statuses in expected.items():
            for (method, path), status in zip(endpoints, statuses):
                headers = dict(bearer(token), **({"Content-Type": "application/xml"} if method == "POST" else {}))
                answer = c.request(method, path, ANALYTICS if method == "POST" else None, headers)
                self.assertEqual(answer[0], status, (token, method, path))
        self.assertEqual(self.sign_in(c, "ops-token")[0], 303)
        # The log names tokens (the harness checks it never shows one); its lines are read as they come.
        self.assertTrue(wait_for(lambda: c.log("signed_in") and len(c.log("request")) >= 50, 100))
        self.assertIn({"client": "127.0.0.1", "token": "ops"},
                      [{k: e[k] for k in ("client", "token")} for e in c.log("signed_in")])
        refused = {(e["method"], e["path"], e["token"] if "token" in e else None): e["refused"]
                   for e in c.log("request") if "refused" in e}
        self.assertEqual((refused[("DELETE", "/v1/machines/nobody", "alice")], refused[("GET", "/v1/documents", None)]),
                         ("forbidden", "unauthorized"))


class SignInTest(AccessCase):
    def test_a_session_opens_pages_ends_on_sign_out_and_is_shared_by_collectors_on_one_store(self):
        store = "sqlite:" + self.path("store.db")
        first, second = self.serve(store=store), self.serve(store=store)
        self.assertEqual(first.post(ANALYTICS, bearer("client-token"))[0], 201)
        status, headers, body = first.request("GET", "/machines/PC-1?days=7")
        self.assertEqual((status, headers["location"]), (303, "/login?next=%2Fmachines%2FPC-1%3Fdays%3D7"))
        self.assertIn(b'name="token"', first.request("GET", headers["location"])[2])
        # Ingest tokens cannot sign in; a read token lands where it was going.
        self.assertEqual(self.sign_in(first, "client-token")[0], 401)
        status, headers, _ = self.sign_in(first, "reader-token", "/machines/PC-1?days=7")
        self.assertEqual((status, headers["location"]), (303, "/machines/PC-1?days=7"))
        self.assertEqual(set(headers["set-cookie"].split("; ")[1:]), {"Path=/", "HttpOnly", "SameSite=Strict"})
        session = session_of(headers)
        self.assertEqual(len(session), 64)  # 256 bits
        self.assertNotIn((session,), sql(self.path("store.db"), "SELECT digest FROM sessions"))
        cookie = {"Cookie": "other=1; dromika_session=" + session}
        for c in (first, second):
            status, _, page = c.request("GET", "/machines/PC-1", headers=cookie)
            self.assertEqual((status, b"Sign out" in page), (200, True))
            self.assertEqual(c.request("GET", "/v1/machines", headers=cookie)[0], 200)
            self.assertEqual(c.request("DELETE", "/v1/machines/PC-1", headers=cookie)[0], 401)  # sessions only read
        form_key = re.search(rb'name="form_key" value="([0-9a-f]+)"', page).group(1).decode()
        # Signing out needs the page's form key, not the cookie alone.
        for key, status in (("", 403), ("0" * 64, 403), (form_key, 303)):
            body, headers = form(form_key=key)
            self.assertEqual(second.request("POST", "/logout", body, dict(headers, **cookie))[0], status, key)
        self.assertEqual(first.request("GET", "/", headers=cookie)[0], 303)
        self.assertEqual(first.request("GET", "/v1/machines", headers=cookie)[0], 401)

    def test_expired_and_forged_cookies_go_to_sign_in_and_failures_are_limited(self):
        c = self.serve()
        session = session_of(self.sign_in(c)[1])
        sql(self.path("store.db"), "UPDATE sessions SET expires_ms = 0")
        for value in (session, "f" * 64, "", "x\"<"):
            status, headers, _ = c.request("GET", "/", headers={"Cookie": "dromika_session=" + value})
            self.assertEqual((status, headers["location"]), (303, "/login?next=%2F"), value)
        # Another site's page cannot send a visitor elsewhere through the form.
        for bad in ("//elsewhere.example/", "/\\elsewhere.example", "https://elsewhere.example/"):
            self.assertEqual(self.sign_in(c, next_page=bad)[1]["location"], "/")
        for attempt in range(10):
            self.assertEqual(self.sign_in(c, "guess-%d" % attempt)[0], 401)
        status, headers, _ = self.sign_in(c)  # even the right token, for a minute
        self.assertEqual((status, headers["retry-after"]), (429, "60"))
        self.assertEqual(self.sign_in(c, "reader-token")[0], 429)
        self.assertEqual(c.request("GET", "/v1/documents", headers=bearer("reader-token"))[0], 200)

    def test_https_cookies_are_secure_and_host_only_and_loopback_without_tokens_needs_none(self):
        cert, key = certificate(self, "cert")
        c = self.serve("--tls-cert", cert, "--tls-key", key)
        result = subprocess.run(["curl", "-sS", "--cacert", cert, "-o", "/dev/null", "-D", "-", "--data",
                                 "token=reader-token&next=%2F", "https://localhost:%d/login" % c.port],
                                capture_output=True, timeout=60)
        cookie = re.search(r"(?im)^set-cookie: (.*?)\r?$", result.stdout.decode()).group(1)
        self.assertTrue(cookie.startswith("__Host-dromika_session="), cookie)
        self.assertEqual(set(cookie.split("; ")[1:]), {"Path=/", "HttpOnly", "SameSite=Strict", "Secure"})
        plain = self.collector(store="sqlite:" + self.path("open.db"))
        self.assertEqual(plain.request("GET", "/")[0], 200)
        self.assertEqual((plain.request("GET", "/login")[0], plain.request("POST", "/login", "")[0]), (303, 303))


class RemovalTest(AccessCase):
    def test_removing_a_machine_during_uploads_takes_all_its_rows_and_loses_no_upload(self):
        c = self.collector()  # loopback without tokens: every scope
        gone = [c.post(ANALYTICS.replace(b"OS 1", b"OS %d" % n))[1]["id"] for n in range(30)]
        status, answer = c.get("/v1/documents/%d" % gone[0])
        self.assertEqual((status, answer["machine"], answer["id"]), (200, "PC-1", gone[0]))
        answered, join = upload_in_threads([(c, range(t, 200, 4)) for t in range(4)])
        time.sleep(0.2)
        status, _, body = c.request("DELETE", "/v1/machines/PC-1")
        join(120)
        self.assertEqual(status, 200, body)
        removed = json.loads(body)
        self.assertEqual({k: removed[k] for k in ("documents", "events", "machine_facts", "disks")},
                         {"documents": 30, "events": 60, "machine_facts": 30, "disks": 30})
        self.assertEqual(len(answered), 200)
        for number, status, document_id in answered:
            self.assertEqual((status, c.request("GET", "/v1/documents/%d/raw" % document_id)[2]),
                             (201, numbered_document(number)))
        counts = row_counts(self.path("store.db"))
        self.assertEqual((counts["documents"], counts["events"], counts["machine_facts"], counts["disks"]),
                         (200, 600, 0, 0))
        self.assertEqual(c.request("DELETE", "/v1/machines/PC-1")[0], 404)
        self.assertEqual(c.request("DELETE", "/v1/documents/%d" % answered[0][2])[0], 200)
        self.assertEqual(c.get("/v1/documents/%d" % answered[0][2])[0], 404)

    def test_prune_and_retention_remove_old_documents_and_give_space_back(self):
        store = self.path("store.db")
        c = self.collector()
        for n in range(40):
            filler = b"<!-- " + os.urandom(10000).hex().encode() + b" -->"  # hardly compressible
            self.assertEqual(c.post(numbered_document(n) + filler)[0], 201)
        c.stop()
        sql(store, "UPDATE documents SET received_ms = 1577836800000 + id WHERE id <= 10",  # ten from 2020,
            "UPDATE documents SET received_ms = 1609459200000 + id WHERE id > 10 AND id <= 20")  # ten from 2021
        size = os.path.getsize(store)
        result = subprocess.run([COLLECTOR, "prune", "--before", "2021-01-01", "--store", "sqlite:" + store],
                                capture_output=True, timeout=60)
        self.assertEqual((result.returncode, result.stdout.decode().split(",")[:2]),
                         (0, ["removed 10 documents", " 30 events"]), result.stderr)
        self.assertLess(os.path.getsize(store), size)
        c = self.collector("--retain-days", "365")
        self.assertTrue(wait_for(lambda: len(c.documents(limit="1000")) == 20, 300))
        self.assertEqual(row_counts(store)["events"], 60)
        c.stop()
        self.assertTrue(c.log("retention")[0]["removed"].startswith("10 documents, 30 events"), c.log("retention"))


class BackupTest(AccessCase):
    def test_a_backup_under_load_opens_and_holds_every_document_acknowledged_before_it(self):
        c = self.collector()
        answered, join = upload_in_threads([(c, range(t, 400, 4)) for t in range(4)])
        self.assertTrue(wait_for(lambda: len(answered) >= 40, 600))
        before = list(answered)
        result = subprocess.run([COLLECTOR, "backup", "--store", "sqlite:" + self.path("store.db"),
                                 self.path("copy.db")], capture_output=True, timeout=120)
        join(120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(answered), 400)
        copy = self.collector(store="sqlite:" + self.path("copy.db"))
        for number, status, document_id in before:
            self.assertEqual((status, copy.request("GET", "/v1/documents/%d/raw" % document_id)[2]),
                             (201, numbered_document(number)))
        self.assertEqual(copy.get("/v1/health")[1]["status"], "ok")
        result = subprocess.run([COLLECTOR, "backup", "--store", "postgresql://nowhere/db", self.path("pg.db")],
                                capture_output=True, timeout=60)
        self.assertEqual((result.returncode, b"pg_dump" in result.stderr), (1, True))


def wait_for(done, tries, pause=0.1):
    for _ in range(tries):
        if done():
            return True
        time.sleep(pause)
    return False


if __name__ == "__main__":
    unittest.main()
