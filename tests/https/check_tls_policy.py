#!/usr/bin/env python3
"""Fails when the program's sources relax a certificate check.

    check_tls_policy.py SOURCE_DIR

A bad certificate must fail the attempt and an https-to-http redirect must be
refused: WinINet's flags and options that switch that off, and InternetErrorDlg
(the user waving a certificate through), are looked for in the program's sources.
"""
import os
import re
import sys

PRODUCT_DIRS = ["app", "framework", "markup", "platform", "treeview", "zip", "resources"]
SOURCE_SUFFIXES = (".cpp", ".h", ".c", ".rc", ".cmake", "CMakeLists.txt")

FORBIDDEN = re.compile(r"\b(SECURITY_FLAG_IGNORE_\w+|INTERNET_FLAG_IGNORE_CERT_\w+|"
                       r"INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP|INTERNET_OPTION_SECURITY_FLAGS|"
                       r"INTERNET_OPTION_IGNORE_CERT_ERROR_FLAGS|InternetErrorDlg)\b")

# The pattern itself, checked first: a pattern that matched nothing would
# pass every program.
MUST_MATCH = [
    "flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;",
    "DWORD f = SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_REVOCATION;",
    "INTERNET_FLAG_RELOAD | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID",
    "flags |= INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP;",
    "InternetSetOptionA(h, INTERNET_OPTION_SECURITY_FLAGS, &f, sizeof f);",
    "InternetErrorDlg(hwnd, request, error, flags, nullptr);",
]
MUST_NOT_MATCH = [
    "flags |= INTERNET_FLAG_SECURE;",
    "flags |= INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;",  # http -> https is no weakening
    "InternetQueryOptionA(request, INTERNET_OPTION_URL, url, &length);",
]


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    bad_pattern = [line for line in MUST_MATCH if not FORBIDDEN.search(line)]
    bad_pattern += [line for line in MUST_NOT_MATCH if FORBIDDEN.search(line)]
    if bad_pattern:
        print("check_tls_policy: the pattern is wrong for: %s" % bad_pattern)
        return 1
    root = sys.argv[1]
    paths = [os.path.join(folder, name) for top in PRODUCT_DIRS
             for folder, _, names in os.walk(os.path.join(root, top))
             for name in names if name.endswith(SOURCE_SUFFIXES)]
    found, scanned = [], len(paths)
    for path in paths:
        with open(path, encoding="utf-8", errors="replace") as f:
            found += ["%s:%d: %s" % (os.path.relpath(path, root), number, line.strip())
                      for number, line in enumerate(f, 1) if FORBIDDEN.search(line)]
    if scanned == 0:
        print("check_tls_policy: no sources below %s" % root)
        return 1
    if found:
        print("check_tls_policy: certificate checks relaxed:\n  " + "\n  ".join(found))
        return 1
    print("check_tls_policy: %d sources, no certificate check relaxed" % scanned)
    return 0


if __name__ == "__main__":
    sys.exit(main())
