#!/usr/bin/env python3
"""What changed between two reports of one machine, made by the built report
command with real differences: a product added to the maker's registry key,
the PATH changed, a file added to a product's folder. The changes page, the
JSON answer and `dromika-collector diff --json` must list exactly those.
Under wine the products come from the registry for real; Linux has no
registry, so there the maker's product lines and their folders are written
into the reports' text as the products and file system blocks would write them.
Running programs and free space move on a busy machine between two runs and
are left out of the comparison."""
import json
import os
import subprocess
import unittest

from dromika import COLLECTOR, WINDOWS, WINE, FolderCase, dromika, host_path

MOVING = {"Processes", "Disks"}
PRODUCT_A, PRODUCT_B = "Support A", "Support <B> & Co"


def sections(answer):
    return [s for s in answer["sections"] if s["section"] not in MOVING]


class ChangesTest(FolderCase):
    def setUp(self):
        super().setUp()
        self.key = "Software\\VANTOREL\\ChangesTest%d" % os.getpid()
        for name in ("A", "B"):
            os.makedirs(self.path(name))
        self.write("A/readme.txt", b"first\n")
        if WINDOWS:
            self.addCleanup(self.reg, "delete", "HKLM\\" + self.key, "/f")

    def reg(self, *args):
        subprocess.run(WINE + ["reg", *args], capture_output=True, timeout=120, check=True,
                       env=dict(os.environ, WINEDEBUG="-all"))

    def product(self, name, label, guid):
        """The product under the maker's key (wine), or its line as the products block writes it (Linux)."""
        folder = host_path(self.path(name)) + ("\\" if WINDOWS else "/")
        if WINDOWS:
            for value, data in (("ProductLabel", label), ("Version", "1.0"), ("InstallLocation", folder),
                                ("ProductCode", guid)):
                self.reg("add", "HKLM\\%s\\%s" % (self.key, name), "/v", value, "/d", data, "/f")
            return ""
        label = label.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
        return '  <product name="%s" installedversion="1.0" installlocation="%s" guid="%s"/>\n' % (label, folder, guid)

    def folders(self, names):
        """The products' folders as the file system block writes them (Linux)."""
        dirs = "".join('  <dir name="%s">\n' % part for part in self.folder.strip("/").split("/"))
        for name in names:
            dirs += '    <dir name="%s">\n' % name
            for file in sorted(os.listdir(self.path(name))):
                size = os.path.getsize(self.path(name + "/" + file))
                dirs += '      <file name="%s" bytes="%d" size="%d B" datemodified="07/12/2026 10:00:00">\n' \
                        'x\n      </file>\n' % (file, size, size)
            dirs += "    </dir>\n"
        return dirs + "  </dir>\n" * len(self.folder.strip("/").split("/"))

    def report(self, name, products, extra_path):
        path = self.path(name + ".dromika")
        # Wine builds the Windows PATH from its registry and adds WINEPATH to it.
        env = {"WINEPATH": extra_path} if WINDOWS else {"PATH": os.environ["PATH"] + extra_path}
        code, _, err = dromika("/out:" + host_path(path), env=env, timeout=180)
        self.assertEqual(code, 0, err)
        if not WINDOWS:
            with open(path, "rb") as file:
                text = file.read().decode()
            lines = "".join(self.product(*p) for p in products)
            text = text.replace("<products>\r\n", "<products>\r\n" + lines, 1)
            text = text.replace("<filesystem>\r\n", "<filesystem>\r\n" + self.folders([p[0] for p in products]), 1)
            with open(path, "wb") as file:
                file.write(text.encode())
        return path

    def test_the_page_the_answer_and_diff_list_what_changed(self):
        a = ("A", PRODUCT_A, "{A}")
        b = ("B", PRODUCT_B, "{B}")
        if WINDOWS:
            self.product(*a)
        older = self.report("older", [a], "")
        if WINDOWS:
            self.product(*b)
        self.write("A/added.log", b"second\n")
        added_folder = host_path("/opt/changes-test")
        newer = self.report("newer", [a, b], added_folder if WINDOWS else os.pathsep + added_folder)

        done = subprocess.run([COLLECTOR, "diff", "--json", older, newer], capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 1, done.stderr)
        offline = json.loads(done.stdout)
        separator = "\\" if WINDOWS else "/"
        added_file = host_path(self.path("A")) + separator + "added.log"
        got = {(s["section"], change, e["key"], e.get("field", ""))
               for s in sections(offline) for change in ("added", "removed", "changed") for e in s[change]}
        expected = {("Environment", "changed", "PATH", "value"), ("Products", "added", "{B}", ""),
                    ("File system", "added", added_file, "")}
        if WINDOWS:  # the registry block lists the maker's key, where the product was added
            product_key = "HKLM\\" + self.key + "\\B"
            expected |= {("Registry", "added", product_key, "")}
            expected |= {("Registry", "added", product_key + " : " + v, "")
                         for v in ("ProductLabel", "Version", "InstallLocation", "ProductCode")}
        self.assertEqual(got, expected)
        path_change = next(s for s in offline["sections"] if s["section"] == "Environment")["changed"][0]
        self.assertNotIn(added_folder, path_change["from"])
        self.assertIn(added_folder, path_change["to"])

        same = subprocess.run([COLLECTOR, "diff", "--json", older, older], capture_output=True, timeout=120)
        self.assertEqual((same.returncode, json.loads(same.stdout)["sections"]), (0, []))
        missing = subprocess.run([COLLECTOR, "diff", older, self.path("none")], capture_output=True, timeout=120)
        self.assertEqual(missing.returncode, 2)
        self.assertIn(b"none: ", missing.stderr)

        subprocess.run([COLLECTOR, "import", "--store", "sqlite:" + self.path("store.db"), older, newer],
                       capture_output=True, timeout=120, check=True)
        collector = self.collector()
        machine = offline["machine"]
        status, served = collector.get("/v1/machines/%s/changes" % machine)
        self.assertEqual(status, 200, served)
        self.assertEqual((served["from"]["id"], served["to"]["id"]), (1, 2))
        self.assertEqual(sections(served), sections(offline))
        backwards = collector.get("/v1/machines/%s/changes" % machine, **{"from": "2", "to": "1"})[1]
        products = next(s for s in backwards["sections"] if s["section"] == "Products")
        self.assertEqual(([e["key"] for e in products["removed"]], products["added"]), (["{B}"], []))
        self.assertEqual(collector.get("/v1/machines/%s/changes" % machine, to="99")[0], 404)
        self.assertEqual(collector.get("/v1/machines/%s/changes" % machine, **{"from": "x"})[0], 400)

        status, _, page = collector.request("GET", "/machines/%s/changes" % machine)
        page = page.decode()
        self.assertEqual(status, 200)
        for text in ("<h2>Environment</h2>", "<h2>Products</h2>", "Support &lt;B&gt; &amp; Co", "added.log",
                     'href="/documents/1"', 'href="/documents/2"'):
            self.assertIn(text, page)
        self.assertNotIn("<B>", page)


if __name__ == "__main__":
    unittest.main()
