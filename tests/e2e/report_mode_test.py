#!/usr/bin/env python3
"""Report mode as a user meets it: exit codes, console lines and the saved document."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from dromika import EXE, WINDOWS, WINE, dromika, host_path  # noqa: E402

BANNER = re.compile(r"^DromikaCmd version \d+\.\d+\.\d+\.\d+ ")


class ReportModeTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def test_no_arguments_prints_banner_and_usage(self):
        code, out, err = dromika()
        lines = out.splitlines()
        self.assertEqual(code, 0, err)
        self.assertRegex(lines[0], BANNER)
        self.assertEqual(lines[1:], ["Usage: DromikaCmd.exe /out:outfile.dromika"])
        self.assertEqual(os.listdir(self.folder), [])

    def test_unknown_word_or_option_fails_quietly_on_stdout(self):
        for args in (["runserver"], ["/Out:x"], ["/verbose"], ["report", "/out:x"]):
            with self.subTest(args=args):
                code, out, err = dromika(*args)
                self.assertEqual(code, 1)
                self.assertEqual(out, "")
                self.assertIn("unrecognised argument", err)
                self.assertIn("Qrn.Tally\\Qrn.Tally", err)

    def test_a_failed_save_reports_why_exits_1_and_leaves_nothing_behind(self):
        os.mkdir(os.path.join(self.folder, "dir"))
        for target in (os.path.join(self.folder, "missing", "r.dromika"), os.path.join(self.folder, "dir")):
            with self.subTest(target=target):
                code, out, err = dromika("/out:" + host_path(target))
                lines = out.splitlines()
                self.assertEqual(code, 1, err)
                self.assertIn("Saving to " + host_path(target), lines)
                self.assertRegex(lines[-1], "^" + re.escape("Unable to save to " + host_path(target) + ": ") + "[A-Z]")
                self.assertEqual(os.listdir(self.folder), ["dir"])
                self.assertEqual(os.listdir(os.path.join(self.folder, "dir")), [])

    def test_a_file_size_limit_keeps_the_previous_report(self):
        path = os.path.join(self.folder, "r.dromika")
        before = b"<previous/>\r\n" * 10
        with open(path, "wb") as previous:
            previous.write(before)
        # SIGXFSZ ignored: the write past 4 KiB fails (EFBIG) instead of killing the run.
        command = ([WINE] if WINDOWS else []) + [EXE, "/out:" + host_path(path)]
        # A wine server started under the limit would fail: start it (or keep the running one) first.
        server = "/usr/lib/wine/wineserver -p3; " if WINDOWS else ""
        limited = subprocess.run(["bash", "-c", server + "trap '' XFSZ; ulimit -f 4; exec \"$@\"", "limited"] + command,
                                 capture_output=True, timeout=120, env=dict(os.environ, WINEDEBUG="-all"))
        self.assertEqual(limited.returncode, 1, limited.stderr)
        self.assertTrue(limited.stdout, limited.stderr)
        last = limited.stdout.decode().splitlines()[-1]
        self.assertRegex(last, "^Unable to save to " + re.escape(host_path(path)) + ": [A-Z]")
        self.assertNotRegex(last, "Success|already exists")
        with open(path, "rb") as saved:
            self.assertEqual(saved.read(), before)
        self.assertEqual(os.listdir(self.folder), ["r.dromika"])

    @unittest.skipIf(WINDOWS, "modes and symbolic links are Linux's")
    def test_the_report_is_private_and_a_planted_link_is_replaced(self):
        victim = os.path.join(self.folder, "victim.txt")
        with open(victim, "wb") as planted:
            planted.write(b"not yours")
        link = os.path.join(self.folder, "link.dromika")
        os.symlink(victim, link)
        code, out, err = dromika("/out:" + link)
        self.assertEqual(code, 0, err)
        self.assertFalse(os.path.islink(link))
        self.assertEqual(os.stat(link).st_mode & 0o777, 0o600, "the report lists every command line")
        with open(victim, "rb") as planted:
            self.assertEqual(planted.read(), b"not yours")

    @unittest.skipIf(WINDOWS, "Linux paths are bytes")
    def test_a_path_that_is_not_utf8_names_the_same_file(self):
        code, out, err = dromika("/out:" + os.path.join(self.folder, "r\udce9.dromika"))
        self.assertEqual(code, 0, err)
        self.assertEqual(os.listdir(os.fsencode(self.folder)), [b"r\xe9.dromika"])

    def test_saved_document_is_well_formed_with_crlf_lines(self):
        path = os.path.join(self.folder, "r.dromika")
        code, out, err = dromika("/out:" + host_path(path))
        self.assertEqual(code, 0, err)
        lines = out.splitlines()
        self.assertRegex(lines[0], BANNER)
        self.assertEqual(lines[-1], "Saving to " + host_path(path))
        with open(path, "rb") as saved:
            data = saved.read()
        self.assertFalse(data.startswith(b"\xef\xbb\xbf"), "no byte-order mark")
        self.assertTrue(data.startswith(b'<?xml version="1.0" encoding="utf-8"?>\r\n<dromika version=\''))
        self.assertTrue(data.endswith(b"</dromika>\r\n"))
        self.assertEqual(data.count(b"\r"), data.count(b"\r\n"), "every CR starts a CR LF")
        self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "every LF ends a CR LF")
        self.assertNotIn(b"versionDisplay=''", data)
        check = subprocess.run(["xmllint", "--noout", path], capture_output=True)
        self.assertEqual(check.returncode, 0, check.stderr.decode())

    def test_non_ascii_reaches_both_streams_as_utf8(self):
        path = os.path.join(self.folder, "résumé €.dromika")
        code, out, err = dromika("/out:" + host_path(path))
        self.assertEqual(code, 0, err)
        self.assertIn("Saving to " + host_path(path), out.splitlines())
        self.assertTrue(os.path.exists(path))
        code, out, err = dromika("café")
        self.assertEqual(code, 1)
        self.assertIn("unrecognised argument: café", err)

    def test_marker_operators_and_split_ids_are_exported(self):
        if WINDOWS:
            table = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", EXE], capture_output=True, text=True).stdout
        else:
            table = subprocess.run(["nm", "-D", "--defined-only", EXE], capture_output=True, text=True).stdout
        for symbol in ("_Z8SplitIds", "_ZN4meta18MetaIsDefaultNeveraSERKS0_",
                       "_ZN4meta30MetaIsMissingValueNotSupportedaSERKS0_"):
            self.assertIn(symbol, table)


if __name__ == "__main__":
    unittest.main(verbosity=2)
