#!/usr/bin/env python3
"""Report mode as a user meets it: exit codes, console lines and the saved
document (ReportModeTest), and a whole report of this machine read by a real
XML parser (SystemReportTest)."""
import os
import re
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree

from dromika import EXE, WINDOWS, WINE, FolderCase, dromika, host_path, read_bytes

BANNER = r"DromikaCmd version \d+\.\d+\.\d+\.\d+ .*"


class ReportModeTest(FolderCase):
    def test_no_arguments_or_help_print_the_usage_and_unknown_ones_fail_quietly_on_stdout(self):
        code, out, err = dromika()
        self.assertEqual(code, 0, err)
        self.assertRegex(out, "^%s\nUsage: DromikaCmd.exe /out:outfile.dromika\n$" % BANNER)
        for args in (["runserver"], ["/Out:x"], ["/verbose"], ["report", "/out:x"], ["-help"], ["/?:x"], ["café"]):
            with self.subTest(args=args):
                code, out, err = dromika(*args)
                self.assertEqual((code, out), (1, ""))
                self.assertIn("unrecognised argument", err)
                self.assertIn("Qrn.Tally\\Qrn.Tally", err)
        self.assertIn("unrecognised argument: café", err)
        for args in (["/?"], ["-h"], ["--help"], ["RunServer", "/?"]):
            code, out, err = dromika(*args)
            self.assertEqual(code, 0, err)
            self.assertRegex(out, "^%s\nUsage: DromikaCmd.exe /out:outfile.dromika\n$" % BANNER)

    def test_a_failed_save_reports_why_exits_1_and_leaves_nothing_behind(self):
        os.mkdir(self.path("dir"))
        for target in (host_path(self.path("missing/r.dromika")), host_path(self.path("dir"))):
            with self.subTest(target=target):
                code, out, err = dromika("/out:" + target)
                self.assertEqual(code, 1, err)
                self.assertIn("Saving to " + target, out.splitlines())
                self.assertRegex(out.splitlines()[-1], "^" + re.escape("Unable to save to " + target + ": ") + "[A-Z]")
                self.assertEqual((os.listdir(self.folder), os.listdir(self.path("dir"))), (["dir"], []))

    def test_a_file_size_limit_keeps_the_previous_report(self):
        before = b"<previous/>\r\n" * 10
        path = self.write("r.dromika", before)
        # SIGXFSZ ignored: the write past 4 KiB fails (EFBIG) instead of killing the run.
        # A wine server started under the limit would fail: start it (or keep the running one) first.
        script = ("/usr/lib/wine/wineserver -p3; " if WINDOWS else "") + "trap '' XFSZ; ulimit -f 4; exec \"$@\""
        limited = subprocess.run(["bash", "-c", script, "limited", *WINE, EXE, "/out:" + host_path(path)],
                                 capture_output=True, timeout=120, env=dict(os.environ, WINEDEBUG="-all"))
        self.assertEqual(limited.returncode, 1, limited.stderr)
        self.assertTrue(limited.stdout, limited.stderr)
        last = limited.stdout.decode().splitlines()[-1]
        self.assertRegex(last, "^Unable to save to " + re.escape(host_path(path)) + ": [A-Z]")
        self.assertNotRegex(last, "Success|already exists")
        self.assertEqual((read_bytes(path), os.listdir(self.folder)), (before, ["r.dromika"]))

    @unittest.skipIf(WINDOWS, "modes, symbolic links and paths as bytes are Linux's")
    def test_the_report_is_private_a_planted_link_is_replaced_and_bytes_name_the_file(self):
        victim = self.write("victim.txt", b"not yours")
        link = self.path("link\udce9.dromika")
        os.symlink(victim, link)
        code, out, err = dromika("/out:" + link)
        self.assertEqual(code, 0, err)
        self.assertFalse(os.path.islink(link))
        self.assertEqual(os.stat(link).st_mode & 0o777, 0o600, "the report lists every command line")
        self.assertEqual(read_bytes(victim), b"not yours")
        self.assertEqual(sorted(os.listdir(os.fsencode(self.folder))), [b"link\xe9.dromika", b"victim.txt"])

    def test_marker_operators_and_split_ids_are_exported(self):
        command = ["x86_64-w64-mingw32-objdump", "-p"] if WINDOWS else ["nm", "-D", "--defined-only"]
        table = subprocess.run(command + [EXE], capture_output=True, text=True).stdout
        for symbol in ("_Z8SplitIds", "_ZN4meta18MetaIsDefaultNeveraSERKS0_",
                       "_ZN4meta30MetaIsMissingValueNotSupportedaSERKS0_"):
            self.assertIn(symbol, table)


class SystemReportTest(FolderCase):
    def test_a_report_of_this_machine_saved_to_a_non_ascii_path(self):
        path = self.path("résumé €.dromika")
        code, out, err = dromika("/out:" + host_path(path), timeout=120)
        self.assertEqual(code, 0, err)
        self.assertRegex(out, "^%s\n(.*\n)*Scanning system configuration...\n(.*\n)*Examining running processes...\n"
                         "(.*\n)*Saving to %s\n$" % (BANNER, re.escape(host_path(path))))
        data = read_bytes(path)
        self.assertTrue(data.startswith(b'<?xml version="1.0" encoding="utf-8"?>\r\n<dromika version=\''), "no BOM")
        self.assertTrue(data.endswith(b"</dromika>\r\n"))
        self.assertEqual((data.count(b"\r"), data.count(b"\n")), (data.count(b"\r\n"),) * 2, "only CR LF line ends")
        self.assertNotIn(b"versionDisplay=''", data)
        root = ElementTree.fromstring(data)
        system = root.find("system")
        for name in ("wmi/Win32_OperatingSystem", "wmi/Win32_Processor", "wmi/Win32_ComputerSystem", "dotnet",
                     "monitors", "ie", "environment", "time", "processors", "memory") + \
                ("windowsinstaller", "monitors/monitor") * WINDOWS:
            self.assertIsNotNone(system.find(name), name)
        self.assertTrue(system.find("locale/user_locale").get("LCID", "").isdigit())
        self.assertGreater(int(system.find("memory").get("rambytes")), 0)
        names = [p.get("Name", "") for p in root.findall("processes/wmi/Win32_Process")]
        self.assertGreater(len(names), 1)
        self.assertTrue(any(n.startswith("DromikaCmd") for n in names), names)


if __name__ == "__main__":
    unittest.main(verbosity=2)
