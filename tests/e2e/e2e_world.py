"""The end-to-end tests' world: the Wine prefix, the download site and
folder, the settings file and what a run leaves behind (e2e.py)."""
import glob
import os
import re
import shutil
import sys
import time
import urllib.parse

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "demo"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
sys.path.insert(0, os.path.join(ROOT, "tests", "https"))
import display  # noqa: E402,F401
import site_builder as sb  # noqa: E402

WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
LIB = "C:\\QuotaLib\\"
# The program's support log in the download folder, which most checks pass over.
SUPPORT_LOGS = ("InstallZelm.log", "InstallZelm.log.1")
RUNLOG = "C:\\QuotaLib\\runs.log"
CATALOGUE = "/download/InstallFiles.zip"
MIB = 1 << 20


N = sb.Node


def pkg(name, target, record="yes", **kw):
    return dict(name=name, target=LIB + target, record=record, runlog=RUNLOG, **kw)


def tool(name, file_name, state="2", target=None, record="no", tag="Tool", attrs=(), package=None, **kw):
    """A package node (chosen by default) whose installer writes
    C:\\QuotaLib\\`target` (default `file_name`.dat); `package` replaces its settings."""
    package = package or pkg(name, target or file_name + ".dat", record)
    return N(tag, [("name", name), ("fileName", file_name), ("state", state)] + list(attrs),
             package=package, **kw)


def named_tool(name, file_name, state="2", **kw):
    """tool() whose installer writes C:\\QuotaLib\\<name>.dat."""
    return tool(name, file_name, state, target=name + ".dat", **kw)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def catalogue(world=None):
    """The standard site: a catalogue of every kind of package the scenarios need."""
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
        """Builds the site from `site`(world): a root node or (root, sb.build() options)."""
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

    def reset(self, ini_text="[Dek Files]\r\n", seed=(), site=None, files=None, routes=None):
        """Publishes `site` (default: the standard catalogue), empties the download
        folder and quota libraries, puts site files `seed` and `files` ({name:
        bytes}) in the download folder, writes qmtz.ini, sets `routes`, marks the logs."""
        self.publish(site or catalogue)
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
        with open(os.path.join(self.drive_c, "windows", "qmtz.ini"), "wb") as f:
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

    def lines(self, *path):
        """The GBK lines of a file below drive C, none when it is missing."""
        path = os.path.join(self.drive_c, *path)
        return read(path).decode("gbk").splitlines() if os.path.exists(path) else []

    def ini(self):
        section, records = None, {}
        for line in self.lines("windows", "qmtz.ini"):
            line = line.strip()
            if line.startswith("["):
                section = line[1:-1]
            elif "=" in line and section == "Dek Files":
                k, v = line.split("=", 1)
                records[k] = v
        return records

    def runs(self):
        return self.lines("QuotaLib", "runs.log")

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
        """Decoded paths mirror 1 or 2 (nginx, or the fault server) was asked for since the mark."""
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

    def routes(self, files):
        """Fault server routes: the catalogue as mirror 2 has it, and {path below
        "download": mode, or (mode, mirror 1 or 2 whose copy to serve)}."""
        found = {CATALOGUE: ("/file/0/0", self.site_path(2, "InstallFiles.zip"))}
        for path, mode in files.items():
            if isinstance(mode, tuple):
                mode = (mode[0], self.site_path(mode[1], path))
            found["/download/" + path] = mode
        return found

    def set_routes(self, routes):
        """Gives the fault server {request path: mode or (mode, file)}."""
        os.makedirs(self.fault_dir, exist_ok=True)
        tmp = os.path.join(self.fault_dir, "routes.tmp")
        with open(tmp, "w", encoding="utf-8") as f:
            for path, mode in routes.items():
                f.write("\t".join((path,) + (mode if isinstance(mode, tuple) else (mode,))) + "\n")
        os.replace(tmp, os.path.join(self.fault_dir, "routes"))

    # -- the disk --------------------------------------------------------

    def check_aftermath(self, runs, downloads, records=None):
        """After the run: runs.log holds exactly `runs` ((file, name), each
        started "/auto /s"), the download folder exactly `downloads`,
        "Dek Files" exactly `records`, and nothing else on drive C changed since
        reset() but the quota libraries, qmtz.ini and WinINet's cache."""
        runs = ["%s|/auto /s|%s" % r for r in runs]
        check(self.runs() == runs, "installers run: %s, expected %s" % (self.runs(), runs))
        check(self.downloaded() == sorted(downloads), "downloads: %s, expected %s"
              % (self.downloaded(), sorted(downloads)))
        check(self.ini() == (records or {}), "records: %s" % self.ini())
        folder = os.path.relpath(self.downloads(), self.drive_c)
        keep = {os.path.join(folder, name) for name in tuple(downloads) + SUPPORT_LOGS}
        keep.add(os.path.join("windows", "qmtz.ini"))
        after = self.files()
        changed = [path for path in sorted(set(self.before) | set(after))
                   if self.before.get(path) != after.get(path) and path not in keep
                   and not path.startswith("QuotaLib" + os.sep) and os.sep + "INetCache" + os.sep not in path]
        check(not changed, "files written outside the download folder: %s" % changed)

    def check_file(self, name, want):
        """The download folder's `name` holds `want`: bytes, or a site file's path."""
        got = read(os.path.join(self.downloads(), name))
        check(got == (want if isinstance(want, bytes) else read(want)), "%s is not the file expected" % name)

    def cached_copies(self):
        """WinINet cache files, new or changed since reset(), holding a downloaded file's bytes."""
        paths = [os.path.join(self.downloads(), name) for name in self.downloaded()]
        downloaded = {read(path) for path in paths if os.path.isfile(path)}
        return [path for path, stat in self.files().items()
                if re.search("INetCache|Temporary Internet Files", os.path.dirname(path))
                and self.before.get(path) != stat and read(os.path.join(self.drive_c, path)) in downloaded]

    def argv(self):
        """The options that give another run of this script the same set-up."""
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
        return {os.path.relpath(path, self.drive_c): stat for path, stat in walk_files(self.drive_c)}


def walk_files(folder):
    """(path, (size, mtime_ns)) of every file below `folder`."""
    for parent, _, names in os.walk(folder):
        for name in names:
            try:
                st = os.lstat(os.path.join(parent, name))
            except OSError:
                continue
            yield os.path.join(parent, name), (st.st_size, st.st_mtime_ns)


def wait_until(done, seconds, message=None, step=0.1):
    """Polls done(): True once true; after `seconds`, Failure(message), or False without one."""
    deadline = time.time() + seconds
    while not done():
        if time.time() > deadline:
            check(message is None, message)
            return False
        time.sleep(step)
    return True


def check(cond, message):
    if not cond:
        raise Failure(message)
