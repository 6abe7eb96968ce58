#!/usr/bin/env python3
"""The collector's pages in a real browser: headless chromium loads each page
of a collector holding a report of this machine, analytics documents with
timed events, an unreadable document and a hostile one, and the DOM it ends
with is checked for the expected sections, and for no trace of any script
that came from a document. `render` output is loaded from its file the same way.

Environment (set by ctest): DROMIKA_COLLECTOR, DROMIKA_EXE; CHROMIUM names the
browser (default: chromium on the PATH). DROMIKA_SCREENSHOTS, when set, is a
folder that receives a screenshot of the overview and of the report's page."""
import os
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse

from collector_test import COLLECTOR, DROMIKA, Collector

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


def analytics(number):
    events = "".join(
        f'<event name="{name}" value="{i}" eventtime="0d 0:00:00.{i:03d}" '
        f'elapsed="0d 0:00:{ms // 1000:02d}.{ms % 1000:03d}"/>\n'
        for i, (name, ms) in enumerate((n, 40 * (i + 1) * (number + 1)) for i, n in
                                       enumerate(["query.run", "file.open", "query.run", "render"] * 5)))
    return (f'<?xml version="1.0" encoding="utf-8"?>\n<dromika version="1.0">\n<project files="{number}"/>\n'
            f"<events>\n{events}</events>\n<system><wmi><Win32_ComputerSystem Name=\"APP-{number}\"/></wmi></system>\n"
            f'<disks><disk drive="C:\\" totalfreebytes="{(5 - number) * 2**30}" '
            f'totalavailablebytes="{(4 - number) * 2**30}"/></disks>\n</dromika>\n')


def browser(url, folder, *extra):
    """The DOM chromium ends with after loading `url`, bounded in time."""
    command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + os.path.join(folder, "profile"), *(extra or ["--dump-dom"]), url]
    result = subprocess.run(command, capture_output=True, timeout=120)
    if result.returncode != 0:
        raise AssertionError(f"chromium failed on {url}: {result.stderr.decode(errors='replace')[-2000:]}")
    return result.stdout.decode("utf-8", errors="replace")


class PagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="dromika-pages-")
        store = "sqlite:" + os.path.join(cls.folder, "store.db")
        cls.files = {"report": os.path.join(cls.folder, "report.dromika")}
        subprocess.run([DROMIKA, "/out:" + cls.files["report"]], capture_output=True, timeout=120, check=True)
        for name, text in [("app0", analytics(0)), ("app1", analytics(1)), ("hostile", HOSTILE),
                           ("broken", "<dromika><a>&lt;script&gt;document.title='pwned'&lt;/script&gt;</dromika>")]:
            cls.files[name] = os.path.join(cls.folder, name + ".dromika")
            with open(cls.files[name], "w", encoding="utf-8") as f:
                f.write(text)
        order = ["report", "app0", "app1", "hostile", "broken"]
        subprocess.run([COLLECTOR, "import", "--store", store, *(cls.files[n] for n in order)],
                       capture_output=True, timeout=120, check=True)
        cls.ids = {name: i + 1 for i, name in enumerate(order)}  # a fresh store numbers from 1
        cls.collector = Collector(cls.folder, store=store)
        status, machines = cls.collector.get("/v1/machines")
        cls.machine = next(m for m in machines["machines"] if m["name"] not in (HOSTILE_MACHINE, "APP-0", "APP-1"))

    @classmethod
    def tearDownClass(cls):
        cls.collector.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def page(self, path):
        return browser(f"http://127.0.0.1:{self.collector.port}{path}", self.folder)

    def assert_nothing_ran(self, dom):
        title = dom.split("<title>", 1)[1].split("</title>", 1)[0]
        self.assertNotEqual(title, PWNED)
        for markup in ("<img", "<script>document.title", "<script>document.body", '<a href="javascript', "<grp",
                       f"</ul>{PWNED}", f"</main>{PWNED}"):
            self.assertTrue(markup not in dom, f"{markup!r} in the page")
        # Our own script did run: it marks the tables it makes sortable.
        if 'class="sortable"' in dom:
            self.assertIn('data-ready="1"', dom)

    def assert_in_order(self, dom, *parts):
        at = 0
        for part in parts:
            found = dom.find(part, at)
            self.assertGreaterEqual(found, 0, f"{part!r} missing or out of order")
            at = found + len(part)

    def test_overview_shows_documents_events_and_machines(self):
        dom = self.page("/")
        self.assert_in_order(dom, '<section class="per-day">', 'role="img"', "Documents received per day: ",
                             '<section class="top-events">', "query.run", '<section class="timed-events">',
                             'role="img"', "p50", '<section class="machines">', self.machine["name"],
                             '<section class="recent">')
        self.assertIn(f'href="/events/query.run?days=30"', dom)
        self.assertIn('href="/?days=7"', dom)
        self.assert_nothing_ran(dom)
        dom = self.page("/?days=7&machine=APP-1")
        self.assertIn("machine APP-1", dom)
        self.assertNotIn('href="/machines/APP-0"', dom.split('<section class="machines">')[1])
        self.assert_nothing_ran(dom)

    def test_event_page_shows_count_over_time_and_elapsed_histogram(self):
        dom = self.page("/events/query.run")
        self.assert_in_order(dom, '<section class="event-summary">', '<td class="n" data-v="20">20</td>',
                             '<section class="event-count">', 'role="img"', '<section class="event-elapsed">',
                             'aria-label="Events per elapsed time: up to')
        self.assert_nothing_ran(dom)

    def test_machine_page_shows_its_documents_and_free_space(self):
        dom = self.page("/machines/APP-1")
        self.assert_in_order(dom, '<section class="facts">', '<section class="disk-history">', "Free space per disk: C:\\ from ",
                             "<polyline", '<section class="documents">', f'href="/documents/{self.ids["app1"]}"')
        self.assert_nothing_ran(dom)
        dom = self.page("/machines/" + urllib.parse.quote(self.machine["name"]))
        self.assertIn(f'href="/documents/{self.ids["report"]}"', dom)

    def test_document_pages_show_each_block(self):
        dom = self.page(f"/documents/{self.ids['report']}")
        self.assert_in_order(dom, f'href="/v1/documents/{self.ids["report"]}/raw"', '<section class="networking">',
                             '<section class="system">', "Win32_OperatingSystem", '<section class="disks">',
                             "available to the user", '<section class="registry">', '<section class="products">',
                             '<section class="filesystem">', "<details>", '<section class="processes">',
                             'class="sortable"')
        self.assertNotIn("<details open", dom)
        self.assert_nothing_ran(dom)
        dom = self.page(f"/documents/{self.ids['app0']}")
        self.assert_in_order(dom, '<section class="group">', "project", '<section class="events">',
                             "<td>query.run</td>")
        dom = self.page(f"/documents/{self.ids['broken']}")
        self.assert_in_order(dom, '<section class="unparsed">', '<p class="error">line 1: ', "&lt;dromika&gt;")
        self.assert_nothing_ran(dom)

    def test_hostile_text_is_shown_and_runs_nothing(self):
        hostile_event = "<script>document.title='pwned'</script>"
        for path in ["/", f"/documents/{self.ids['hostile']}", "/events/" + urllib.parse.quote(hostile_event, safe=""),
                     "/machines/" + urllib.parse.quote(HOSTILE_MACHINE, safe="")]:
            with self.subTest(path=path):
                dom = self.page(path)
                self.assert_nothing_ran(dom)
                self.assertIn("&lt;img src=x onerror=" if "machines" in path else
                              "&lt;script&gt;document.title='pwned'&lt;/script&gt;", dom)
        status, headers = self.headers("/")
        self.assertEqual(status, 200)
        self.assertIn("script-src 'self'", headers["content-security-policy"])
        status, headers = self.headers(f"/v1/documents/{self.ids['hostile']}/raw")
        self.assertIn("sandbox", headers["content-security-policy"])

    def headers(self, path):
        connection = self.collector.connection()
        try:
            connection.request("GET", path)
            response = connection.getresponse()
            response.read()
            return response.status, {k.lower(): v for k, v in response.getheaders()}
        finally:
            connection.close()

    def test_render_writes_one_self_contained_page(self):
        for name in ["report", "hostile", "broken"]:
            with self.subTest(name=name):
                out = os.path.join(self.folder, name + ".html")
                subprocess.run([COLLECTOR, "render", self.files[name], "-o", out], capture_output=True,
                               timeout=120, check=True)
                with open(out, encoding="utf-8") as f:
                    html = f.read()
                for external in ("<link", "<script src", "<img"):
                    self.assertTrue(external not in html, external)
                dom = browser("file://" + out, self.folder)
                self.assert_nothing_ran(dom)
                if name == "report":
                    self.assertIn('<section class="processes">', dom)
        screenshots = os.environ.get("DROMIKA_SCREENSHOTS")
        if screenshots:
            size = "--window-size=1366,900"
            url = f"http://127.0.0.1:{self.collector.port}"
            browser(url + "/", self.folder, "--hide-scrollbars", size,
                    "--screenshot=" + os.path.join(screenshots, "overview.png"))
            browser(url + f"/documents/{self.ids['report']}", self.folder, "--hide-scrollbars", size,
                    "--screenshot=" + os.path.join(screenshots, "document.png"))


if __name__ == "__main__":
    unittest.main()
