#!/usr/bin/env python3
"""A whole report of this machine: the system and process elements are there and the document parses."""
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

EXE = os.environ["DROMIKA_EXE"]
WINDOWS = os.environ.get("DROMIKA_HOST") == "win32"


def run_report(path):
    if WINDOWS:
        command = ["/usr/lib/wine/wine64", EXE, "/out:Z:" + path.replace("/", "\\")]
    else:
        command = [EXE, "/out:" + path]
    return subprocess.run(command, capture_output=True, timeout=120)


def main():
    folder = tempfile.mkdtemp(prefix="dromika-e2e-system-")
    try:
        path = os.path.join(folder, "report.dromika")
        result = run_report(path)
        console = result.stdout.decode("utf-8", "replace")
        assert result.returncode == 0, (result.returncode, console, result.stderr)
        for line in ("Scanning system configuration...", "Examining running processes..."):
            assert line in console, console
        if shutil.which("xmllint"):
            lint = subprocess.run(["xmllint", "--noout", path], capture_output=True)
            assert lint.returncode == 0, lint.stderr
        root = ElementTree.parse(path).getroot()
        system = root.find("system")
        assert system is not None
        wmi = system.find("wmi")
        for name in ("Win32_OperatingSystem", "Win32_Processor", "Win32_ComputerSystem"):
            assert wmi.find(name) is not None, name
        locale = system.find("locale/user_locale")
        assert locale is not None and locale.get("LCID", "").isdigit()
        for name in ("dotnet", "monitors", "ie", "environment", "time", "processors", "memory"):
            assert system.find(name) is not None, name
        assert int(system.find("memory").get("rambytes")) > 0
        if WINDOWS:
            assert system.find("windowsinstaller") is not None
            assert system.find("monitors/monitor") is not None
        processes = root.findall("processes/wmi/Win32_Process")
        assert len(processes) > 1, len(processes)
        names = [p.get("Name", "") for p in processes]
        assert any(n.startswith("DromikaCmd") for n in names), names
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
