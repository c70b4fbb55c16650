#!/usr/bin/env python3
"""End-to-end tests: the real program under Wine against nginx on 127.0.0.1.

Each scenario builds the download site, resets the download folder, the
settings file qmtz.ini and the installed quota libraries in the Wine prefix,
starts the program, drives it through driver.exe (ticks, buttons, the log)
and checks the log, the downloaded files and the settings file.

The scenarios come in suites (--suite), each for a build of its own:
  plain    the program with both mirrors on nginx (this file, the hostile
           catalogues and package hashes of scenarios_names.py and
           scenarios_hashes.py, the installers' exit codes of
           scenarios_results.py, the user's files of scenarios_safety.py,
           and the window during a run, the second start, the keyboard and
           two DPI settings of scenarios_window.py)
  faults   a build whose mirror 1 is the scripted fault server, with
           transfer limits of seconds (scenarios_faults.py), and broken
           downloads that resume (scenarios_resume.py)
  signed   a build with a catalogue key (scenarios_signed.py)
"""
import argparse
import glob
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import time
import traceback
import urllib.parse

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "demo"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import display  # noqa: E402
import site_builder as sb  # noqa: E402

# The scenario modules import this one as "e2e"; run as a script it is
# "__main__", and they must share its classes (Failure above all).
sys.modules.setdefault("e2e", sys.modules[__name__])
SERVERS_PY = os.path.join(ROOT, "tests", "servers", "servers.py")

N = sb.Node
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
LIB = "C:\\QuotaLib\\"
# The program's own support log in the download folder (scenarios_support.py
# looks into it; every other check of the folder passes over it).
SUPPORT_LOGS = ("InstallZelm.log", "InstallZelm.log.1")
RUNLOG = "C:\\QuotaLib\\runs.log"


def pkg(name, target, record="yes", **kw):
    return dict(name=name, target=LIB + target, record=record, runlog=RUNLOG, **kw)


def catalogue():
    return N("InstallFiles", [("name", "root")], [
        N("Version", [("value", "2026.1"), ("name", "版本")]),
        N("Group", [("name", "定额库"), ("path", "dek"), ("state", "1")], [
            N("Dek", [("name", "北京定额2008"), ("fileName", "bj2008.exe"), ("modifyDate", "8-5-1 0:0:0")],
              package=pkg("北京定额2008", "bj2008.dek")),
            N("Dek", [("name", "上海定额"), ("fileName", "sh.exe")], package=pkg("上海定额", "sh.dek", "no")),
            N("Dek", [("name", "广东定额"), ("fileName", "gd.exe")], package=pkg("广东定额", "gd.dek", "dangling")),
            N("Dek", [("name", "天津定额"), ("fileName", "tj 2012.exe")], package=pkg("天津定额", "tj.dek")),
            N("Dek", [("name", "重庆定额"), ("fileName", "cq.exe")], package=pkg("重庆定额", "cq.dek"), mirrors=(2,)),
            N("Dek", [("name", "河北定额"), ("fileName", "hb.exe")], package=pkg("河北定额", "hb.dek"), mirrors=()),
            N("Dek", [("name", "北京定额2008副本"), ("fileName", "bj2008.exe")],
              package=pkg("北京定额2008", "bj2008.dek")),
            N("Dek", [("name", "Beijing-B"), ("fileName", "bjb.exe")], package=pkg("Beijing-B", "bjb.dek")),
        ]),
        N("Group", [("name", "工具"), ("path", "tools")], [
            N("Tool", [("name", "报表工具"), ("fileName", "report.exe")], package=pkg("", "report.dat", "no")),
        ]),
        N("Group", [("name", "慢速"), ("path", "slow")], [
            N("Dek", [("name", "慢速定额"), ("fileName", "slow.exe")],
              package=pkg("慢速定额", "slow.dek")),
            N("Dek", [("name", "耗时定额"), ("fileName", "wait.exe")], package=pkg("耗时定额", "wait.dek", delay_ms=4000)),
            N("Dek", [("name", "关窗定额"), ("fileName", "closer.exe")],
              package=pkg("关窗定额", "closer.dek", delay_ms=1000, close_host=True)),
            N("Dek", [("name", "现成定额"), ("fileName", "ready.exe")], package=pkg("现成定额", "ready.dek")),
            N("Dek", [("name", "其后定额"), ("fileName", "after.exe")], package=pkg("其后定额", "after.dek")),
        ]),
    ])


def standard_site(world):
    return catalogue()


class Failure(Exception):
    pass


class World:
    def __init__(self, args):
        self.args = args
        self.prefix = os.environ.get("IZ_WINEPREFIX") or os.path.join(ROOT, "build", "wineprefix")
        self.urls = ["http://127.0.0.1:%d/download/" % p for p in args.ports]
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.fault_dir = os.path.join(args.work, "fault")
        fault_port = getattr(args, "fault_port", None)
        if fault_port:
            # The fault build's mirror 1 is the fault server, its mirror 2 nginx's second port.
            self.urls = ["http://127.0.0.1:%d/download/" % fault_port, self.urls[1]]
        self.published = None
        self.marks = {}

    # -- the site ------------------------------------------------------

    def publish(self, site):
        """Builds the download site from `site`, a function of the world that
        returns the catalogue's root node, or (root, site_builder.build()
        options); kept while the same function is asked for again."""
        if self.published is site:
            return
        made = site(self)
        root, options = made if isinstance(made, tuple) else (made, {})
        sb.build(os.path.join(self.args.work, "site"), root, self.args.sample, **options)
        self.published = site

    def site_path(self, mirror, relative):
        """A file of the site as mirror 1 or 2 has it, by its path below "download"."""
        return os.path.join(self.args.work, "site", "mirror%d" % mirror, "download", *relative.split("/"))

    def downloads(self):
        desktops = [d for d in glob.glob(os.path.join(self.drive_c, "users", "*", "Desktop"))
                    if "/Public/" not in d]
        return os.path.join(os.path.dirname(desktops[0]), "Downloads")

    def reset(self, ini_text=None, seed=(), site=None, files=None, routes=None):
        """Publishes `site` (the standard catalogue when None), empties the
        download folder and the quota libraries, copies the site files named
        in `seed` and writes `files` ({name: bytes}) into the download folder,
        sets qmtz.ini, gives the fault server `routes` and marks the servers'
        logs."""
        self.publish(site or standard_site)
        for path in (self.downloads(), os.path.join(self.drive_c, "QuotaLib")):
            shutil.rmtree(path, ignore_errors=True)
        os.makedirs(self.downloads(), exist_ok=True)  # it may be a mount point that stays
        os.makedirs(os.path.join(self.drive_c, "QuotaLib"))
        for name in seed:  # already current in the download folder
            shutil.copy(self.site_file(name), os.path.join(self.downloads(), name))
        for name, data in (files or {}).items():
            with open(os.path.join(self.downloads(), name), "wb") as f:
                f.write(data)
        self.set_routes(routes or {})
        self.mark()
        ini = os.path.join(self.drive_c, "windows", "qmtz.ini")
        if ini_text is None:
            if os.path.exists(ini):
                os.remove(ini)
        else:
            with open(ini, "wb") as f:
                f.write(ini_text.encode("gbk"))
        self.before = self.files()

    def site_file(self, name):
        for path in glob.glob(os.path.join(self.args.work, "site", "mirror*", "download", "**", name),
                              recursive=True):
            return path
        raise Failure("no site file " + name)

    def env(self):
        env = dict(os.environ)
        # wine-run takes the prefix from IZ_WINEPREFIX.
        env["WINEPREFIX"] = env["IZ_WINEPREFIX"] = self.prefix
        return env

    def ini(self):
        path = os.path.join(self.drive_c, "windows", "qmtz.ini")
        if not os.path.exists(path):
            return {}
        section, records = None, {}
        for line in open(path, "rb").read().decode("gbk").splitlines():
            line = line.strip()
            if line.startswith("["):
                section = line[1:-1]
            elif "=" in line and section == "Dek Files":
                k, v = line.split("=", 1)
                records[k] = v
        return records

    def runs(self):
        path = os.path.join(self.drive_c, "QuotaLib", "runs.log")
        if not os.path.exists(path):
            return []
        return open(path, "rb").read().decode("gbk").splitlines()

    def downloaded(self):
        """The download folder's files, less the support log."""
        return sorted(n for n in os.listdir(self.downloads()) if n not in SUPPORT_LOGS)

    # -- what the servers saw ---------------------------------------------

    def server_logs(self):
        logs = {port: os.path.join(self.args.work, "nginx", "nginx-access-%d.log" % port)
                for port in self.args.ports}
        logs["fault"] = os.path.join(self.fault_dir, "fault-requests.log")
        return logs

    def mark(self):
        """Later calls of requests() and fault_lines() see only what comes after this."""
        self.marks = {key: os.path.getsize(path) if os.path.exists(path) else 0
                      for key, path in self.server_logs().items()}

    def _since_mark(self, key):
        path = self.server_logs()[key]
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            f.seek(self.marks.get(key, 0))
            return f.read().decode("latin-1").splitlines()

    def requests(self, mirror):
        """Decoded paths that mirror 1 or 2 was asked for since the mark, in
        order: nginx's port, or in the fault suite the fault server for 1."""
        if mirror == 1 and getattr(self.args, "fault_port", None):
            lines = [l.split("\t")[0] for l in self._since_mark("fault") if l.startswith("GET ")]
        else:
            # nginx's request line, or the whole log line when it has none (a request it could not read).
            lines = [(re.search(r'"(\S+ \S+)[^"]*"', l) or re.search("(.*)", l)).group(1)
                     for l in self._since_mark(self.args.ports[mirror - 1])]
        return [urllib.parse.unquote(l.split(" ")[1] if " " in l else l) for l in lines]

    def fault_lines(self, prefix):
        """Lines of the fault server's log since the mark that start with `prefix`."""
        return [l for l in self._since_mark("fault") if l.startswith(prefix)]

    def set_routes(self, routes):
        """Gives the fault server its routes: {request path: mode} or
        {request path: (mode, file)}."""
        os.makedirs(self.fault_dir, exist_ok=True)
        lines = []
        for path, mode in routes.items():
            lines.append("\t".join((path,) + (mode if isinstance(mode, tuple) else (mode,))))
        tmp = os.path.join(self.fault_dir, "routes.tmp")
        with open(tmp, "w", encoding="utf-8") as f:
            f.write("".join(l + "\n" for l in lines))
        os.replace(tmp, os.path.join(self.fault_dir, "routes"))

    # -- the disk --------------------------------------------------------

    def changed_outside(self, before, after, allowed=()):
        """Paths below drive C that are new, changed or gone between two
        files() listings, less those the program or the test installers may
        write: the download folder's files named in `allowed`, the quota
        libraries, qmtz.ini and WinINet's own cache."""
        downloads = os.path.relpath(self.downloads(), self.drive_c)
        keep = {os.path.join(downloads, name) for name in tuple(allowed) + SUPPORT_LOGS}
        keep.add(os.path.join("windows", "qmtz.ini"))
        changed = []
        for path in sorted(set(before) | set(after)):
            if before.get(path) == after.get(path) or path in keep:
                continue
            if path.startswith("QuotaLib" + os.sep) or os.sep + "INetCache" + os.sep in path:
                continue
            changed.append(path)
        return changed

    def check_aftermath(self, runs, downloads, records=None):
        """After the program has ended: runs.log holds exactly `runs`
        ("file|arguments|package name" lines, in order), the download folder
        exactly the files `downloads`, section "Dek Files" exactly `records`
        (none when None), and nothing else on drive C changed since reset()
        but the quota libraries and WinINet's cache."""
        check(self.runs() == list(runs), "installers run: %s, expected %s" % (self.runs(), list(runs)))
        check(self.downloaded() == sorted(downloads), "downloads: %s, expected %s"
              % (self.downloaded(), sorted(downloads)))
        check(self.ini() == (records or {}), "records: %s" % self.ini())
        changed = self.changed_outside(self.before, self.files(), downloads)
        check(not changed, "files written outside the download folder: %s" % changed)

    def cached_copies(self):
        """Files of WinINet's cache folders, new or changed since reset(),
        that hold the bytes of a file in the download folder."""
        downloaded = set()
        for name in self.downloaded():
            path = os.path.join(self.downloads(), name)
            if os.path.isfile(path):
                downloaded.add(open(path, "rb").read())
        copies = []
        for folder, _, names in os.walk(self.drive_c):
            if "INetCache" not in folder and "Temporary Internet Files" not in folder:
                continue
            for name in names:
                path = os.path.join(folder, name)
                st = os.lstat(path)
                if self.before.get(os.path.relpath(path, self.drive_c)) == (st.st_size, st.st_mtime_ns):
                    continue
                with open(path, "rb") as f:
                    if f.read() in downloaded:
                        copies.append(os.path.relpath(path, self.drive_c))
        return copies

    def argv(self):
        """The options that give another run of this script the same build,
        driver, sample, servers and work folder."""
        a = self.args
        return ["--program", a.program, "--driver", a.driver, "--sample", a.sample,
                "--ports", str(a.ports[0]), str(a.ports[1]), "--work", a.work]

    def win_path(self, path):
        """The Windows name of a Linux path: below drive C as C:, else by Z:."""
        rel = os.path.relpath(path, self.drive_c)
        if not rel.startswith(".."):
            return "C:\\" + rel.replace("/", "\\")
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def files(self):
        """{path below drive_c: (size, mtime_ns)} of every file in the prefix's drive C."""
        found = {}
        for folder, _, names in os.walk(self.drive_c):
            for name in names:
                path = os.path.join(folder, name)
                try:
                    st = os.lstat(path)
                except OSError:
                    continue
                found[os.path.relpath(path, self.drive_c)] = (st.st_size, st.st_mtime_ns)
        return found


class Program:
    """The program and the driver, started together; `program` is another
    build's path (default: --program), `find_ms` how long its window may
    take to show (the catalogue is fetched before it does). `file_limit`:
    the largest file, in bytes, the program may write; a write past it
    fails as on a full disk."""

    def __init__(self, world, program=None, find_ms=60000, file_limit=None):
        self.world = world
        env = world.env()
        self.program = subprocess.Popen([WINE_RUN, program or world.args.program], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        preexec_fn=file_limit and (lambda: limit_file_size(file_limit)))
        self.driver = subprocess.Popen([WINE_RUN, world.args.driver], env=env, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.ask("find %d" % find_ms)
        except BaseException:
            self.kill()
            raise

    def ask(self, line, ok=True):
        self.driver.stdin.write((line + "\n").encode())
        self.driver.stdin.flush()
        answer = self.driver.stdout.readline().decode().strip()
        if ok and not answer.startswith("OK"):
            raise Failure("driver: %s -> %s" % (line[:60], answer))
        return answer

    def text(self, line):
        answer = self.ask(line)
        return bytes.fromhex(answer[3:]).decode("gbk") if len(answer) > 3 else ""

    def tick(self, path):
        before, after = self.ask("tick " + path.encode("gbk").hex()).split()[1:]
        if before == after:
            raise Failure("tick %s did not change the state icon" % path)

    def log(self):
        """The log, or None while the window does not answer (an installer runs)."""
        answer = self.ask("log", ok=False)
        if answer == "ERR busy":
            return None
        if not answer.startswith("OK"):
            raise Failure("driver: log -> " + answer)
        return bytes.fromhex(answer[3:]).decode("gbk") if len(answer) > 3 else ""

    def wait_log(self, pattern, seconds=60):
        deadline = time.time() + seconds
        while True:
            text = self.log()
            if text is not None and re.fullmatch(pattern, text, re.S):
                return text
            if time.time() > deadline:
                raise Failure("log does not match.\n--- log:\n%s\n--- pattern:\n%s" % (text, pattern))
            time.sleep(0.3)

    def install(self, log, seconds=60):
        """Presses "download and install", waits until the log matches `log`
        (a Log) and closes the program; answers the log."""
        self.ask("press 102")
        text = self.wait_log(log.pattern(), seconds)
        self.close()
        return text

    def close(self, expect_exit=True):
        if self.ask("alive") == "OK 1":
            self.ask("close", ok=False)
        self.ask("quit", ok=False)
        self.driver.wait(30)
        if expect_exit:
            try:
                code = self.program.wait(30)
            except subprocess.TimeoutExpired:
                self.program.kill()
                raise Failure("program did not end after close")
            if code != 0:
                raise Failure("program exit code %d" % code)

    def kill(self):
        for p in (self.driver, self.program):
            if p.poll() is None:
                p.kill()


def limit_file_size(size):
    """In a child before it runs the program: writes past `size` bytes fail
    (EFBIG, which Wine reports as a failed write) instead of ending the
    process."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


def q(text):
    return re.escape(text)


class Log:
    """Builds the expected log as a pattern; the server order is random."""

    def __init__(self, urls):
        self.u1, self.u2 = urls
        self.parts = []

    def fetch(self, name, where, result=None, speed=None, both=False):
        """where: 'both', 'm2' (only on the second mirror) or 'none'."""
        start = q('正在下载"%s"...\r\n' % name)
        f1, f2 = q("from %s\r\n" % self.u1), q("from %s\r\n" % self.u2)
        if where == "both":
            froms = "(?:%s|%s)" % (f1, f2)
        elif where == "m2":
            froms = "(?:%s|%s%s)" % (f2, f1, f2)
        else:
            froms = "(?:%s%s|%s%s)" % (f1, f2, f2, f1)
        if where == "none":
            self.parts.append(start + froms + q("下载失败\r\n"))
            return
        speed_re = q(speed) if speed else r"\d+\.\d\d"
        done = q("下载完成 ") + speed_re + q('KB/S\r\n现在安装"%s"...\r\n' % name)
        self.parts.append(start + froms + done + (q(result) if result else ""))

    def package(self, name, on1, on2, result=None, speed=None):
        """One package's lines, in either server order. on1, on2: what an
        attempt on mirror 1 or 2 gives: "ok", "fail" (no line of its own) or
        "reject" (the file's SHA-256 is wrong: "文件校验失败。")."""
        urls = {1: self.u1, 2: self.u2}
        outcome = {1: on1, 2: on2}
        speed_re = q(speed) if speed else r"\d+\.\d\d"
        orders = []
        for order in ((1, 2), (2, 1)):
            lines = ""
            for m in order:
                lines += q("from %s\r\n" % urls[m])
                if outcome[m] == "ok":
                    lines += q("下载完成 ") + speed_re + q('KB/S\r\n现在安装"%s"...\r\n' % name)
                    lines += q(result) if result else ""
                    break
                if outcome[m] == "reject":
                    lines += q("文件校验失败。\r\n")
            else:
                lines += q("下载失败\r\n")
            orders.append(lines)
        self.parts.append(q('正在下载"%s"...\r\n' % name) + "(?:%s|%s)" % tuple(orders))

    def text(self, text):
        self.parts.append(q(text))

    def pattern(self):
        return "".join(self.parts)


def check(cond, message):
    if not cond:
        raise Failure(message)


def first_tried(log, urls):
    """{package name: 1 or 2}: the mirror each package of the log was asked first."""
    found = {}
    for name, url in re.findall('正在下载"([^"]*)"...\r\nfrom ([^\r]*)\r\n', log):
        found[name] = urls.index(url) + 1
    return found


def install_until_mirror1_first(world, reset, log, names, seconds=60):
    """The program draws each package's order of mirrors itself, and a run in
    which none of `names` tried mirror 1 first may test nothing: up to three
    runs of reset() and a Program through "download and install" (its log
    matching `log`, a Log) until one of them did. Answers {package name: 1
    or 2} of that run; Failure when no run had one."""
    for _ in range(3):
        reset()
        p = Program(world)
        try:
            first = first_tried(p.install(log, seconds), world.urls)
        finally:
            p.kill()
        if any(first[name] == 1 for name in names):
            return first
    raise Failure("none of %s tried mirror 1 first in three runs" % ", ".join(names))


# ---- scenarios ----------------------------------------------------------

def nothing_chosen(world):
    world.reset("[Dek Files]\r\n")
    p = Program(world)
    try:
        items = p.text("items")
        check("0|1|定额库" in items and "版本" not in items, "tree not as the catalogue says:\n" + items)
        p.ask("press 102")
        p.ask("press 109")  # nothing recorded: nothing to remove
        time.sleep(3)
        check(p.log() == "", "log not empty: %r" % p.log())
        p.close()
    finally:
        p.kill()
    check(world.downloaded() == [], "downloads: %s" % world.downloaded())


def install_run(world):
    world.reset("[Dek Files]\r\n")
    p = Program(world)
    try:
        for path in ["定额库/北京定额2008", "定额库/上海定额", "定额库/广东定额", "定额库/天津定额",
                     "定额库/重庆定额", "定额库/河北定额", "定额库/北京定额2008副本", "工具"]:
            p.tick(path)
        log = Log(world.urls)
        log.fetch("北京定额2008", "both", "安装完成。\r\n")
        log.fetch("上海定额", "both")
        log.fetch("广东定额", "both")
        log.fetch("天津定额", "both", "安装完成。\r\n")
        log.fetch("重庆定额", "m2", "安装完成。\r\n")
        log.fetch("河北定额", "none")
        log.fetch("北京定额2008副本", "both", "安装完成。\r\n", speed="0.00")
        log.fetch("报表工具", "both", "安装完成。\r\n")
        log.text("以下定额库安装失败:\r\n    上海定额\r\n    广东定额\r\n")
        p.install(log)
    finally:
        p.kill()
    want = sorted(["bj2008.exe", "sh.exe", "gd.exe", "tj 2012.exe", "cq.exe", "report.exe"])
    check(world.downloaded() == want, "downloads: %s" % world.downloaded())
    runs = world.runs()
    check([r.split("|")[0] for r in runs] == ["bj2008.exe", "sh.exe", "gd.exe", "tj 2012.exe", "cq.exe",
                                              "report.exe"], "installers run: %s" % runs)
    check(all(r.split("|")[1] == "/auto /s" for r in runs), "arguments: %s" % runs)
    records = world.ini()
    check(sorted(records) == sorted(["北京定额2008", "广东定额", "天津定额", "重庆定额"]), "records: %s" % records)
    cached = world.cached_copies()
    check(not cached, "packages kept a second time in WinINet's cache: %s" % cached)


def uninstall_run(world):
    lib = os.path.join(world.drive_c, "QuotaLib")
    world.reset("[Other]\r\nx=1\r\n[Dek Files]\r\n北京定额2008=C:\\QuotaLib\\bj2008.dek\r\n"
                "beijing-b=C:\\QuotaLib\\bjb.dek\r\n上海定额=C:\\QuotaLib\\sh.dek\r\n空记录=\r\n"
                "报表工具=C:\\QuotaLib\\report.dat\r\n")
    for name in ("bj2008.dek", "bjb.dek", "sh.dek", "report.dat"):
        open(os.path.join(lib, name), "w").write("x")
    p = Program(world)
    try:
        p.tick("定额库/北京定额2008")
        p.tick("定额库/Beijing-B")  # keeps "beijing-b": the settings file ignores case
        p.tick("工具")  # a chosen non-Dek protects no record
        p.ask("press 109")
        p.wait_log(q("卸载: 上海定额...\r\n卸载: 空记录...\r\n卸载: 报表工具...\r\n"))
        p.close()
    finally:
        p.kill()
    check(list(world.ini()) == ["北京定额2008", "beijing-b", "空记录"], "records left: %s" % world.ini())
    check(sorted(os.listdir(lib)) == ["bj2008.dek", "bjb.dek"], "files left: %s" % os.listdir(lib))


def cancel_and_reentry(world):
    world.reset("[Dek Files]\r\n其他=C:\\QuotaLib\\other.dek\r\n")
    p = Program(world)
    try:
        p.tick("慢速/慢速定额")
        p.tick("慢速/耗时定额")
        p.ask("press 102")
        # The "from" line shows only at the next refresh, after the transfer.
        p.wait_log(q('正在下载"慢速定额"...\r\n'), 20)
        time.sleep(1.5)
        p.ask("press 102")  # ignored while a run works
        p.ask("press 109")
        p.ask("close")      # refused during a transfer
        time.sleep(1.5)
        check(p.ask("alive") == "OK 1", "window closed during a transfer")
        p.ask("press 107")
        log = p.wait_log(q('正在下载"慢速定额"...\r\n') + "(from [^\r]*\r\n)" + q("下载中止。\r\n") +
                         "(from [^\r]*\r\n)" + q("下载中止。\r\n"), 30)
        time.sleep(2)
        check(p.log() == log, "the run went on after cancel: %r" % p.log())
        check(len(set(re.findall("from ([^\r]*)\r\n", log))) == 2, "both servers must be tried")
        p.close()
    finally:
        p.kill()
    check(world.runs() == [], "an installer ran: %s" % world.runs())
    # nginx gives a strong ETag: the part stays, with it, for the next run.
    check(world.downloaded() == ["slow.exe.part", "slow.exe.part.info"],
          "a cancelled transfer left %s" % world.downloaded())
    check("其他" in world.ini(), "the uninstall click must have been ignored")


def close_between_packages(world):
    # The close request is posted while the program's thread is held, after
    # wait.exe's installer has ended: the run's wait for it sees the ended
    # installer first and leaves the request queued, and the run handles it
    # before the next package, where nothing is cut short. It closes the
    # window, and after.exe is never fetched.
    world.reset("[Dek Files]\r\n")
    p = Program(world)
    try:
        for path in ("慢速/耗时定额", "慢速/其后定额"):
            p.tick(path)
        p.ask("press 102")
        p.wait_log(".*" + q('现在安装"耗时定额"...\r\n'), 30)
        p.ask("suspend")
        try:
            deadline = time.time() + 30
            while not world.runs():
                check(time.time() < deadline, "wait.exe did not finish")
                time.sleep(0.1)
            time.sleep(1)  # its process has ended
            p.ask("close")
        finally:
            p.ask("resume")
        deadline = time.time() + 60
        while p.program.poll() is None:
            check(time.time() < deadline, "the program did not end after the close")
            time.sleep(0.2)
        check(p.program.returncode == 0, "program exit code %d" % p.program.returncode)
        p.ask("quit", ok=False)
    finally:
        p.kill()
    world.check_aftermath(["wait.exe|/auto /s|耗时定额"], ["wait.exe"], {"耗时定额": "C:\\QuotaLib\\wait.dek"})


def close_during_uninstall(world):
    world.reset("[Dek Files]\r\na=C:\\QuotaLib\\a.dek\r\nb=C:\\QuotaLib\\b.dek\r\nc=C:\\QuotaLib\\c.dek\r\n")
    p = Program(world)
    try:
        p.ask("press 109")
        p.ask("close")  # queued behind the click: handled by the run's first pump
        p.close()
    finally:
        p.kill()
    check(list(world.ini()) == ["b", "c"], "records left: %s" % world.ini())


SCENARIOS = [nothing_chosen, install_run, uninstall_run, cancel_and_reentry, close_between_packages,
             close_during_uninstall]

import scenarios_faults  # noqa: E402
import scenarios_hashes  # noqa: E402
import scenarios_names  # noqa: E402
import scenarios_resume  # noqa: E402
import scenarios_results  # noqa: E402
import scenarios_safety  # noqa: E402
import scenarios_signed  # noqa: E402
import scenarios_support  # noqa: E402
import scenarios_window  # noqa: E402

SUITES = {
    "plain": SCENARIOS + scenarios_names.SCENARIOS + scenarios_hashes.SCENARIOS + scenarios_results.SCENARIOS
    + scenarios_signed.PLAIN_SCENARIOS + scenarios_safety.PLAIN_SCENARIOS + scenarios_window.SCENARIOS
    + scenarios_support.SCENARIOS,
    "faults": scenarios_faults.SCENARIOS + scenarios_safety.FAULT_SCENARIOS + scenarios_resume.SCENARIOS,
    "signed": scenarios_signed.SCENARIOS,
}


class FaultServerError(RuntimeError):
    pass


class FaultServer:
    """The scripted fault server of tests/servers on --fault-port, reading
    its routes from the world's route file; a context manager that does
    nothing without --fault-port."""

    def __init__(self, world):
        self.world, self.process = world, None

    def __enter__(self):
        port = self.world.args.fault_port
        if not port:
            return self
        if sb.nginx_site.wait_for_port(port, 0):
            raise FaultServerError("port %d of the fault server is taken" % port)
        self.world.set_routes({})
        self.process = sb.nginx_site.spawn(
            [sys.executable, SERVERS_PY, "fault", self.world.fault_dir, str(port),
             os.path.join(self.world.fault_dir, "routes")], os.path.join(self.world.fault_dir, "fault.out"))
        if not sb.nginx_site.wait_for_port(port, 10, self.process):
            self.__exit__()
            raise FaultServerError("the fault server did not start on port %d (see %s/fault.out)"
                                   % (port, self.world.fault_dir))
        return self

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


def argument_parser():
    """The options of every runner of scenarios: the build under test, the
    driver, the sample installer, the mirrors' two ports, the work folder
    and -k."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--sample", required=True)
    parser.add_argument("--ports", type=int, nargs=2, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("-k", default="", help="run only scenarios whose name contains this")
    return parser


def run_scenario(scenario, world):
    """Runs one scenario and prints its result; True when it passed."""
    started = time.time()
    try:
        scenario(world)
        print("PASS %s (%.1f s)" % (scenario.__name__, time.time() - started), flush=True)
        return True
    except Failure as e:
        print("FAIL %s: %s" % (scenario.__name__, e), flush=True)
    except Exception:  # a broken scenario fails alone; the others still run
        print("FAIL %s: %s" % (scenario.__name__, traceback.format_exc()), flush=True)
    return False


def main():
    parser = argument_parser()
    parser.add_argument("--suite", default="plain", choices=sorted(SUITES))
    parser.add_argument("--fault-port", type=int, help="faults: the fault build's mirror 1")
    parser.add_argument("--short-limits", type=int, nargs=2, metavar=("STALL_MS", "DEADLINE_MS"),
                        help="faults: the fault build's stall window and catalogue deadline")
    parser.add_argument("--signed-program", help="the build with a catalogue key")
    parser.add_argument("--signing-key", help="the private half of that build's first key")
    parser.add_argument("--second-signing-key", help="the private half of its second key")
    parser.add_argument("--inside", choices=sorted(scenarios_safety.INSIDE),
                        help="run this part of a scenario in the namespace that the scenario made; "
                             "its servers are already running")
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)

    if display.missing("e2e"):
        return 1
    if args.inside:
        return 0 if run_scenario(scenarios_safety.INSIDE[args.inside], World(args)) else 1
    if args.suite == "faults" and not (args.fault_port and args.short_limits):
        print("FAIL e2e: the faults suite needs --fault-port and --short-limits", flush=True)
        return 1
    world = World(args)
    site = os.path.join(args.work, "site")
    os.makedirs(site, exist_ok=True)
    failed = ran = 0
    try:
        with sb.serve(os.path.join(args.work, "nginx"),
                      [(args.ports[0], os.path.join(site, "mirror1")), (args.ports[1], os.path.join(site, "mirror2"))]), \
                FaultServer(world):
            for scenario in SUITES[args.suite]:
                if args.k not in scenario.__name__:
                    continue
                ran += 1
                failed += not run_scenario(scenario, world)
    except (sb.nginx_site.NginxError, FaultServerError) as e:
        print("FAIL e2e: %s" % e, flush=True)
        return 1
    if not ran:
        print("FAIL e2e: no scenario of suite %s matches -k %r" % (args.suite, args.k), flush=True)
        return 1
    print("%d scenario(s) failed" % failed if failed else "all scenarios passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
