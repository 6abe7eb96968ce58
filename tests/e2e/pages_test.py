#!/usr/bin/env python3
"""The collector's pages in headless chromium: for a store holding a report of
this machine, analytics documents, an unreadable and a hostile one, the DOM
each page (and `render` output) ends with holds the expected sections in order
and no trace of a script that came from a document; and a person signing in
through the form. CHROMIUM names the browser."""
import fcntl
import json
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from dromika import COLLECTOR, Collector, dromika

CHROMIUM = os.environ.get("CHROMIUM") or shutil.which("chromium") or "chromium"
PWNED = "pwned"

# Every way a document's text could turn into markup or a link if a page
# forgot to escape it; each would set the title or add an element.
HOSTILE = """<?xml version="1.0"?>
<dromika><events>
<event name="&lt;script&gt;document.title='pwned'&lt;/script&gt;" value="1" elapsed="0d 0:00:01.000"/>
<event name="&quot;&gt;&lt;img src=x onerror=&quot;document.title='pwned'&quot;&gt;"/></events>
<grp a="&lt;script&gt;document.body.append('pwned')&lt;/script&gt;" link="javascript:document.title='pwned'"/>
<system><wmi><Win32_ComputerSystem Name="evil&quot;&gt;&lt;img src=x onerror=&quot;document.title='pwned'&quot;&gt;"/>
</wmi></system>
<filesystem><dir name="d&quot;&gt;&lt;script&gt;document.title='pwned'&lt;/script&gt;"><file name="a.log">&lt;/pre&gt;\
&lt;script&gt;document.title='pwned'&lt;/script&gt;&lt;a href="javascript:document.title='pwned'"&gt;x&lt;/a&gt;</file>
</dir></filesystem></dromika>
"""
HOSTILE_MACHINE = "evil\"><img src=x onerror=\"document.title='pwned'\">"
BROKEN = "<dromika><a>&lt;script&gt;document.title='pwned'&lt;/script&gt;</dromika>"


def analytics(number):
    """Timed events whose elapsed times grow with `number`, a machine and its free space."""
    events = "".join(f'<event name="{name}" value="{i}" eventtime="0d 0:00:00.{i:03d}" elapsed="0d 0:00:'
                     f'{40 * (i + 1) * (number + 1) / 1000:06.3f}"/>\n'
                     for i, name in enumerate(["query.run", "file.open", "query.run", "render"] * 5))
    return (f'<?xml version="1.0" encoding="utf-8"?>\n<dromika version="1.0">\n<project files="{number}"/>\n'
            f"<events>\n{events}</events>\n<system><wmi><Win32_ComputerSystem Name=\"APP-{number}\"/></wmi></system>\n"
            f'<disks><disk drive="C:\\" totalfreebytes="{(5 - number) * 2**30}" '
            f'totalavailablebytes="{(4 - number) * 2**30}"/></disks>\n</dromika>\n')


def browser(url, folder):
    """The DOM chromium ends with after loading `url`, bounded in time."""
    command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + os.path.join(folder, "profile"), "--dump-dom", url]
    result = subprocess.run(command, capture_output=True, timeout=120)
    if result.returncode != 0:
        raise AssertionError(f"chromium failed on {url}: {result.stderr.decode(errors='replace')[-2000:]}")
    return result.stdout.decode("utf-8", errors="replace")


class Browser:
    """A headless chromium driven over its DevTools pipe (fds 3 and 4), each
    page shown at 1280 x 900 and asked questions in its own context."""

    def __init__(self, folder):
        ours_in, chrome_out = os.pipe()
        chrome_in, ours_out = os.pipe()
        # Above 3 and 4, so that dup2 onto those makes a copy (and clears close-on-exec) for both.
        ends = (chrome_in, chrome_out)
        chrome_in, chrome_out = (fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in ends)

        def pipes():
            os.dup2(chrome_in, 3)
            os.dup2(chrome_out, 4)
        self.process = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--hide-scrollbars",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + os.path.join(folder, "devtools"), "--remote-debugging-pipe", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, close_fds=False, preexec_fn=pipes)
        for fd in (chrome_in, chrome_out, *ends):
            os.close(fd)
        self.reader, self.writer = os.fdopen(ours_in, "rb"), os.fdopen(ours_out, "wb")
        self.next_id = 0
        self.session = None

    def call(self, method, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if self.session and not method.startswith(("Target.", "Storage.")):
            message["sessionId"] = self.session
        self.writer.write(json.dumps(message).encode() + b"\0")
        self.writer.flush()
        for _ in range(10000):  # events come in between; bounded all the same
            data = b""
            while not data.endswith(b"\0"):
                chunk = self.reader.read1(65536) if hasattr(self.reader, "read1") else self.reader.read(1)
                if not chunk:
                    raise AssertionError("chromium closed its DevTools pipe")
                data += chunk
            for part in data.split(b"\0")[:-1]:
                answer = json.loads(part)
                if answer.get("id") == self.next_id:
                    if "error" in answer:
                        raise AssertionError(answer["error"])
                    return answer["result"]
        raise AssertionError("no answer to " + method)

    def open(self, url):
        self.session = None
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        self.call("Emulation.setDeviceMetricsOverride", width=1280, height=900, deviceScaleFactor=1, mobile=False)
        self.call("Page.navigate", url=url)
        deadline = time.monotonic() + 60
        while self.evaluate("document.readyState") != "complete" or not url.startswith(self.evaluate("location.href")[:20]):
            if time.monotonic() > deadline:
                raise AssertionError("chromium did not load " + url)
            time.sleep(0.1)

    def evaluate(self, expression):
        return self.call("Runtime.evaluate", expression=expression, returnByValue=True)["result"].get("value")

    def wait_for_page(self, path):
        """The page's DOM once `path` (with its query) is loaded, within 30 s."""
        where = None
        for _ in range(300):
            try:  # a page being left may not answer
                where = self.evaluate("location.pathname + location.search + '|' + document.readyState")
                if where == path + "|complete":
                    return self.evaluate("document.documentElement.outerHTML")
            except AssertionError:
                pass
            time.sleep(0.1)
        raise AssertionError(f"never reached {path}, at {where}")

    def close(self):
        self.process.kill()
        self.process.wait()
        self.reader.close()
        self.writer.close()


class PagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="dromika-pages-")
        store = "sqlite:" + os.path.join(cls.folder, "store.db")
        order = ["report", "app0", "app1", "hostile", "broken", "report2"]
        cls.files = {name: os.path.join(cls.folder, name + ".dromika") for name in order}
        for name, path in (("report", ""), ("report2", ":/opt/pages-test")):
            code, _, err = dromika("/out:" + cls.files[name], env={"PATH": os.environ["PATH"] + path}, timeout=120)
            assert code == 0, err
        for name, text in [("app0", analytics(0)), ("app1", analytics(1)), ("hostile", HOSTILE), ("broken", BROKEN)]:
            pathlib.Path(cls.files[name]).write_text(text, encoding="utf-8")
        subprocess.run([COLLECTOR, "import", "--store", store, *(cls.files[n] for n in order)],
                       capture_output=True, timeout=120, check=True)
        cls.ids = {name: i + 1 for i, name in enumerate(order)}  # a fresh store numbers from 1
        cls.collector = Collector(cls.folder, store=store)
        machines = cls.collector.get("/v1/machines")[1]["machines"]
        cls.machine = next(m["name"] for m in machines if m["name"] not in (HOSTILE_MACHINE, "APP-0", "APP-1"))

    @classmethod
    def tearDownClass(cls):
        cls.collector.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def page(self, path, *in_order):
        """The page's DOM, checked to hold `in_order` in that order and nothing that came to run from a document."""
        dom = browser(path if path.startswith("file:") else f"http://127.0.0.1:{self.collector.port}{path}", self.folder)
        self.assertRegex(dom, "(?s)" + ".*?".join(map(re.escape, in_order)), f"missing or out of order in {path}")
        for markup in (f"<title>{PWNED}</title>", "<img", "<script>document.title", "<script>document.body",
                       '<a href="javascript', "<grp", f"</ul>{PWNED}", f"</main>{PWNED}"):
            self.assertTrue(markup not in dom, f"{markup!r} in {path}")
        if 'class="sortable"' in dom:  # our own script did run: it marks the tables it makes sortable
            self.assertIn('data-ready="1"', dom)
        return dom

    def test_each_page_shows_its_sections_in_order(self):
        report, app0, app1, broken = (self.ids[name] for name in ("report", "app0", "app1", "broken"))
        pages = [  # the path, then what it shows in that order
            ("/", '<section class="per-day">', 'role="img"', "Documents received per day: ",
             '<section class="top-events">', "query.run", '<section class="timed-events">', 'role="img"', "p50",
             '<section class="machines">', self.machine, '<section class="recent">'),
            ("/?days=7&machine=APP-1", "machine APP-1", '<section class="machines">'),
            ("/events/query.run", '<section class="event-summary">', '<td class="n" data-v="20">20</td>',
             '<section class="event-count">', 'role="img"', '<section class="event-elapsed">',
             'aria-label="Events per elapsed time: up to'),
            ("/machines/APP-1", '<section class="facts">', '<section class="disk-history">',
             "Free space per disk: C:\\ from ", "<polyline", '<section class="documents">', f'href="/documents/{app1}"'),
            ("/machines/" + urllib.parse.quote(self.machine), f'href="/documents/{report}"'),
            (f"/documents/{report}", f'href="/v1/documents/{report}/raw"', '<section class="networking">',
             '<section class="system">', "Win32_OperatingSystem", '<section class="disks">', "available to the user",
             '<section class="registry">', '<section class="products">', '<section class="filesystem">', "<details>",
             '<section class="processes">', 'class="sortable"'),
            (f"/documents/{app0}", '<section class="group">', "project", '<section class="events">', "<td><a href=\"/events/query.run\">query.run</a></td>"),
            (f"/documents/{broken}", '<section class="unparsed">', '<p class="error">line 1: ', "&lt;dromika&gt;"),
        ]
        doms = {}
        for path, *parts in pages:
            with self.subTest(path=path):
                doms[path] = self.page(path, *parts)
        self.assertIn('href="/events/query.run?days=30"', doms["/"])
        self.assertIn('href="/?days=7"', doms["/"])
        self.assertNotIn('href="/machines/APP-0"', doms["/?days=7&machine=APP-1"].split('<section class="machines">')[1])
        self.assertNotIn("<details open", doms[f"/documents/{report}"])
        self.assertNotIn('<section class="group"', doms[f"/documents/{broken}"])

    def test_hostile_text_is_shown_and_runs_nothing(self):
        shown = "&lt;script&gt;document.title='pwned'&lt;/script&gt;"
        for path, text in [("/", shown), (f"/documents/{self.ids['hostile']}", shown),
                           ("/events/" + urllib.parse.quote("<script>document.title='pwned'</script>", safe=""), shown),
                           ("/machines/" + urllib.parse.quote(HOSTILE_MACHINE, safe=""), "&lt;img src=x onerror=")]:
            with self.subTest(path=path):
                self.page(path, text)
        status, headers, _ = self.collector.request("GET", "/")
        self.assertEqual(status, 200)
        self.assertIn("script-src 'self'", headers["content-security-policy"])
        headers = self.collector.request("GET", f"/v1/documents/{self.ids['hostile']}/raw")[1]
        self.assertIn("sandbox", headers["content-security-policy"])

    def test_render_writes_one_self_contained_page(self):
        for name in ["report", "hostile", "broken"]:
            with self.subTest(name=name):
                out = os.path.join(self.folder, name + ".html")
                subprocess.run([COLLECTOR, "render", self.files[name], "-o", out], capture_output=True,
                               timeout=120, check=True)
                html = pathlib.Path(out).read_text(encoding="utf-8")
                for external in ("<link", "<script src", "<img"):
                    self.assertTrue(external not in html, external)
                self.page("file://" + out, *(['<section class="processes">'] if name == "report" else []))


    def test_headers_link_neighbours_filters_work_and_no_page_scrolls_sideways(self):
        report, report2 = self.ids["report"], self.ids["report2"]
        dom = self.page(f"/documents/{report2}", '<table class="header">', self.machine, "report",
                        f'rel="prev" href="/documents/{report}"',
                        f'href="/machines/{urllib.parse.quote(self.machine)}/changes?from={report}&amp;to={report2}"',
                        "Changes since the previous report", '<section class="processes">', 'class="filter"')
        self.assertNotIn('rel="next"', dom)
        machine = urllib.parse.quote(self.machine)
        self.page(f"/machines/{machine}", '<form class="pick"', f'<option value="{report}" selected="">',
                  f'class="compare" href="/machines/{machine}/changes?from={report}&amp;to={report2}">compare with {report}</a>')
        self.page(f"/machines/{machine}/changes", "<h2>Environment</h2>", "/opt/pages-test")
        out = os.path.join(self.folder, "changes.html")
        code = subprocess.run([COLLECTOR, "diff", self.files["report"], self.files["report2"], "-o", out],
                              capture_output=True, timeout=120).returncode
        self.assertEqual(code, 1)
        browser = Browser(self.folder)
        self.addCleanup(browser.close)
        pages = ["/", f"/documents/{report}", f"/documents/{report2}", f"/documents/{self.ids['app0']}",
                 f"/documents/{self.ids['hostile']}", f"/documents/{self.ids['broken']}",
                 "/machines/" + urllib.parse.quote(self.machine),
                 f"/machines/{urllib.parse.quote(self.machine)}/changes?all=1", "file://" + out]
        for path in pages:
            with self.subTest(path=path):
                browser.open(path if path.startswith("file:") else f"http://127.0.0.1:{self.collector.port}{path}")
                widths = browser.evaluate("[document.documentElement.scrollWidth, document.documentElement.clientWidth]")
                self.assertLessEqual(widths[0], widths[1], "scrolls sideways")
        # Typing into the processes' filter leaves the matching rows alone.
        browser.open(f"http://127.0.0.1:{self.collector.port}/documents/{report}")
        shown = browser.evaluate(
            "var i = document.querySelector('input[data-for=processes-table]'); i.value = 'dromikacmd';"
            "i.dispatchEvent(new Event('input'));"
            "Array.from(document.querySelectorAll('#processes-table tbody tr')).filter(r => !r.hidden)"
            ".map(r => r.textContent)")
        self.assertTrue(shown and all("dromikacmd" in row.lower() for row in shown), shown)
        everything = browser.evaluate("document.querySelectorAll('#processes-table tbody tr').length")
        self.assertLess(len(shown), everything)


class SignInTest(unittest.TestCase):
    def test_a_person_signs_in_through_the_form_sees_the_overview_and_signs_out(self):
        folder = tempfile.mkdtemp(prefix="dromika-signin-")
        self.addCleanup(shutil.rmtree, folder, True)
        tokens = os.path.join(folder, "tokens.txt")
        pathlib.Path(tokens).write_text("reader read # alice\n")
        collector = Collector(folder, "--tokens", tokens)
        self.addCleanup(collector.stop)
        status, _ = collector.post(analytics(0).encode(), {"Authorization": "Bearer reader"})
        self.assertEqual(status, 403)  # a read token stores nothing
        chromium = Browser(folder)
        self.addCleanup(chromium.close)
        chromium.open(f"http://127.0.0.1:{collector.port}/?days=7")
        self.assertIn('name="token"', chromium.wait_for_page("/login?next=%2F%3Fdays%3D7"))
        chromium.evaluate("document.querySelector('[name=token]').value = 'reader';"
                          "document.querySelector('form.signin').submit()")
        overview = chromium.wait_for_page("/?days=7")
        self.assertIn('<section class="per-day">', overview)
        self.assertEqual(chromium.evaluate("document.cookie"), "")  # HttpOnly
        [cookie] = chromium.call("Storage.getCookies")["cookies"]
        self.assertEqual((cookie["name"], cookie["httpOnly"], cookie["sameSite"], cookie["path"]),
                         ("dromika_session", True, "Strict", "/"))
        chromium.evaluate("document.querySelector('nav form button').click()")
        chromium.wait_for_page("/login")
        chromium.evaluate("location.href = '/?days=9'")  # the session is over
        self.assertIn('name="token"', chromium.wait_for_page("/login?next=%2F%3Fdays%3D9"))


if __name__ == "__main__":
    unittest.main()
