#!/usr/bin/env python3
"""The help button finds the help file beside the program, whatever folder
the program was started in. Under Wine HTML Help shows nothing (no mshtml),
so the test reads Wine's htmlhelp trace of HtmlHelpW (HtmlHelpA's callee).

  product_help_test.py --program InstallZelmE2E.exe --driver e2e_driver.exe --work DIR
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import types

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
from e2e_program import Failure, Program  # noqa: E402
from e2e_world import read, wait_until  # noqa: E402

TOPIC = "InstallZelm.chm::/html/main.htm>simple"
# The longest path the program handles, and so gives HTML Help.
MAX_PATH_CHARS = 255


def windows_path(unix_path):
    """The program's view of a path: Wine's drive Z: is the Unix root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def unescape_wine(text):
    """The text of a Wine debugstr_w: \\\\ \\" \\n \\r \\t and \\XXXX escapes."""
    named = {"n": "\n", "r": "\r", "t": "\t"}
    return re.sub(r'\\([\\"nrt]|[0-9A-Fa-f]{4})', lambda m: named.get(m.group(1), m.group(1))
                  if len(m.group(1)) == 1 else chr(int(m.group(1), 16)), text)


def help_requests(trace):
    """The file arguments of every HH_DISPLAY_TOPIC call in a trace."""
    return [unescape_wine(m.group(1)) for m in
            re.finditer(r'HtmlHelpW \([0-9A-Fa-f]+, L"((?:[^"\\]|\\.)*)", command=HH_DISPLAY_TOPIC', trace)]


def press_help(args, folder, start_in, name):
    """The names HTML Help was asked for by a copy of the program in `folder`,
    started from `start_in`, after one press of help (105)."""
    os.makedirs(folder, exist_ok=True)
    os.makedirs(start_in, exist_ok=True)
    program = os.path.join(folder, "InstallZelm.exe")
    shutil.copy(args.program, program)
    trace_path = os.path.join(args.work, name + ".trace")
    world = types.SimpleNamespace(args=args, env=lambda: dict(os.environ, WINEDEBUG="-all,trace+htmlhelp"))
    asked = lambda: help_requests(read(trace_path).decode("utf-8", "replace"))  # noqa: E731
    with open(trace_path, "wb") as trace, Program(world, program, cwd=start_in, stderr=trace) as p:
        p.ask("press 105")
        wait_until(asked, 30, step=0.2)  # the press is posted; its call reaches the trace later
        p.close(60)
    return asked()


def padded_folder(base, total):
    """A folder under `base` whose Windows path is `total` characters long."""
    pad = total - len(windows_path(base)) - 1
    if pad < 1 or pad > 255:
        raise Failure("the work folder %s leaves no room for a %d-character folder" % (base, total))
    return os.path.join(base, "p" * pad)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    if os.path.isdir(args.work):
        shutil.rmtree(args.work)
    os.makedirs(args.work)
    start_in = os.path.join(args.work, "elsewhere")
    # The longest program folder whose help name still fits, and one more.
    fits = MAX_PATH_CHARS - len("\\" + TOPIC)
    cases = [
        # name, program folder, what HTML Help is asked for (None: the full path)
        ("chinese", os.path.join(args.work, "沃蒙 安装"), None),
        ("longest", padded_folder(os.path.join(args.work, "a"), fits), None),
        ("too-long", padded_folder(os.path.join(args.work, "b"), fits + 1), TOPIC),
    ]
    failures = 0
    for name, folder, expected in cases:
        if expected is None:
            expected = windows_path(folder) + "\\" + TOPIC
        try:
            asked = press_help(args, folder, start_in, name)
            if asked != [expected]:
                raise Failure("asked for %r, expected [%r]" % (asked, expected))
            print("ok: %s: %s" % (name, expected))
        except (Failure, subprocess.TimeoutExpired) as e:
            failures += 1
            print("FAILED: %s: %s" % (name, e))
    print("%d passed, %d failed" % (len(cases) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
