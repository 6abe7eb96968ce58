"""Runs the built programs the way a user does, on either host (wine for Windows)."""
import os
import subprocess

EXE = os.environ["DROMIKA_EXE"]
WINDOWS = os.environ.get("DROMIKA_HOST") == "win32"
WINE = "/usr/lib/wine/wine64"


def host_path(path):
    """The path as the program under test spells it (wine maps / to Z:)."""
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


def run(program, *args, stdin=None, timeout=120):
    command = ([WINE] if WINDOWS else []) + [program, *args]
    env = dict(os.environ, WINEDEBUG="-all")
    result = subprocess.run(command, input=stdin, capture_output=True, timeout=timeout, env=env)
    # A Windows pipe carries CR LF line ends; compare lines, not line ends.
    out = result.stdout.decode("utf-8").replace("\r\n", "\n")
    err = result.stderr.decode("utf-8").replace("\r\n", "\n")
    return result.returncode, out, err


def dromika(*args, **kwargs):
    return run(EXE, *args, **kwargs)
