#!/usr/bin/env python3
"""End-to-end tests of https mirrors: InstallZelmE2EHttps against nginx with
TLS, run again (--inside) in a private namespace where Wine trusts a fresh
test CA. A mirror with a bad certificate serves a decoy site, so anything
taken from it would show in the tree, log, downloads or settings file.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402 (which puts tests/support and tests/https on the path)
import display  # noqa: E402
import trust  # noqa: E402
from e2e import N, Log, Program, World, check, install_until_mirror1_first, pkg, sb  # noqa: E402

DECOY_GROUP = "伪造目录"  # "forged catalogue"
CHOSEN = [("北京定额2008", "bj2008.exe"), ("天津定额", "tj 2012.exe"), ("Beijing-B", "bjb.exe")]


def decoy_catalogue():
    """An impostor's site: e2e.catalogue()'s file names, other installers and tree."""
    return N("InstallFiles", [("name", "root")], [
        N("Group", [("name", DECOY_GROUP), ("path", "dek")], [
            N("Dek", [("name", "伪造" + name), ("fileName", file)], package=pkg("伪造定额", "decoy.dek"))
            for name, file in CHOSEN]),
    ])


class HttpsWorld(World):
    def __init__(self, args, pki):
        super().__init__(args)
        self.urls = ["https://127.0.0.1:%d/download/" % p for p in args.ports]
        self.pki = pki

    def mirrors(self, first, second):
        """nginx with certificates `first`, `second` (Pki names); a bad one serves the decoy."""
        servers = []
        for port, m, cert in zip(self.args.ports, (1, 2), (first, second)):
            root = os.path.join(self.args.work, "site" if cert == "good" else "decoy", "mirror%d" % m)
            servers.append(sb.nginx_site.Server(port, root, *getattr(self.pki, cert)))
        return sb.serve(os.path.join(self.args.work, "nginx"), servers)

    def item_names(self, program):
        return [line.split("|", 2)[2] for line in program.text("items").splitlines() if line.count("|") >= 2]


def check_real_tree(world, p):
    names = world.item_names(p)
    check("定额库" in names and "北京定额2008" in names and DECOY_GROUP not in names,
          "tree not as mirror 2's catalogue says: %s" % names)
    check(p.log() == "", "the catalogue fetch logged: %r" % p.log())


def check_installed(world, names_files):
    want = sorted(f for _, f in names_files)
    check(world.downloaded() == want, "downloads: %s" % world.downloaded())
    for _, f in names_files:
        world.check_file(f, world.site_file(f))
    records = world.ini()
    check(sorted(records) == sorted(n for n, _ in names_files), "records: %s" % records)


def good_https_mirrors(world):
    world.reset()
    with world.mirrors("good", "good"):
        e2e.install(world, Log(world.urls).installs("北京定额2008"), ["定额库/北京定额2008"],
                    shown=lambda p: check_real_tree(world, p))
    check_installed(world, CHOSEN[:1])


def falls_back(cert, runs=5):
    """Mirror 1 presents `cert` and serves the decoy; mirror 2 is good. The
    catalogue and each package come from mirror 2, after a silent failure on
    mirror 1 when it was tried first (repeated until a package drew it)."""
    def scenario(world):
        names = [name for name, _ in CHOSEN]
        with world.mirrors(cert, "good"):
            first = install_until_mirror1_first(
                world, {}, Log(world.urls).installs(*names, where="m2"), names,
                runs=runs, after=lambda: check_installed(world, CHOSEN), ticks=["定额库/" + n for n in names],
                shown=lambda p: check_real_tree(world, p))
        return "mirror 1 drawn first for %d of %d packages" % (list(first.values()).count(1), len(names))
    scenario.__name__ = "mirror1_%s_falls_back_to_mirror2" % cert
    return scenario


def no_trusted_mirror(world):
    # Both faults at once: the catalogue cannot be had, and the program says so.
    with world.mirrors("other_host", "self_signed"):
        world.reset()
        with Program(world) as p:
            check(world.item_names(p) == [], "tree from an untrusted mirror: %s" % world.item_names(p))
            check(p.log() == "无法联网取得配置文件，请检查网络设置。\r\n", "log: %r" % p.log())
            p.close()
    check(world.downloaded() == [], "downloads: %s" % world.downloaded())


SCENARIOS = [good_https_mirrors, falls_back("other_host"), falls_back("self_signed"), no_trusted_mirror]


def main():
    parser = e2e.argument_parser()
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    if args.inside:
        world = HttpsWorld(args, trust.Pki(os.path.join(args.work, "pki")))
        return e2e.run_suite(SCENARIOS, world, args.k)

    if display.missing("e2e_https"):
        return 1
    try:
        trust.check_namespace()
        with trust.fresh_pki(os.path.join(args.work, "pki")) as pki:
            sb.build(os.path.join(args.work, "site"), e2e.catalogue(), args.sample)
            sb.build(os.path.join(args.work, "decoy"), decoy_catalogue(), args.sample)
            argv = [sys.executable, os.path.abspath(__file__), "--inside"] + sys.argv[1:]
            return trust.run_trusted(argv, pki.ca, os.path.join(args.work, "trust"))
    except (trust.NamespaceError, RuntimeError) as e:
        print("FAIL e2e_https: %s" % e, flush=True)
        return 1


if __name__ == "__main__":
    sys.exit(main())
