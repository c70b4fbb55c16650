"""The program and its driver under Wine, and the log a run should write (e2e.py)."""
import os
import re
import resource
import signal
import subprocess
import time

from e2e_world import WINE_RUN, Failure, check


class Program:
    """The program (default --program) and the driver, started together; the
    window may take `find_ms` to show (the catalogue comes first). Files past
    `file_limit` bytes fail to write, as on a full disk."""

    def __init__(self, world, program=None, find_ms=60000, file_limit=None, cwd=None,
                 stderr=subprocess.DEVNULL, prefix=None):
        self.world = world
        env = world.env()
        if prefix:  # another Wine prefix than the world's
            env["WINEPREFIX"] = env["IZ_WINEPREFIX"] = prefix
        self.program = subprocess.Popen([WINE_RUN, program or world.args.program], env=env, cwd=cwd,
                                        stdout=subprocess.DEVNULL, stderr=stderr,
                                        preexec_fn=file_limit and (lambda: limit_file_size(file_limit)))
        self.driver = subprocess.Popen([WINE_RUN, world.args.driver], env=env, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.ask("find %d" % find_ms)
        except BaseException:
            self.kill()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()

    def ask(self, line, ok=True):
        self.driver.stdin.write((line + "\n").encode())
        self.driver.stdin.flush()
        answer = self.driver.stdout.readline().decode().strip()
        if ok and not answer.startswith("OK"):
            raise Failure("driver: %s -> %s" % (line[:60], answer))
        return answer

    def text(self, line):
        return unhex(self.ask(line))

    def tick(self, *paths):
        for path in paths:
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
        return unhex(answer)

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
        """Presses "download and install", waits for `log` (a Log or a pattern), closes."""
        self.ask("press 102")
        text = self.wait_log(log if isinstance(log, str) else log.pattern(), seconds)
        self.close()
        return text

    def close(self, seconds=30):
        """Closes the window and the driver; Failure unless the program ends with 0 in time."""
        if self.ask("alive") == "OK 1":
            self.ask("close", ok=False)
        self.ask("quit", ok=False)
        self.driver.wait(30)
        try:
            code = self.program.wait(seconds)
        except subprocess.TimeoutExpired:
            self.program.kill()
            raise Failure("program did not end after close")
        if code != 0:
            raise Failure("program exit code %d" % code)

    def kill(self):
        for p in (self.driver, self.program):
            if p.poll() is None:
                p.kill()


def uninstall(world, ini, installed, log, records, kept, shown=None, site=None):
    """With qmtz.ini `ini` and the files `installed` in C:\\QuotaLib, presses
    "uninstall" (after shown(program)) until the log matches `log`; then
    exactly the records `records` and the files `kept` must be left."""
    lib = os.path.join(world.drive_c, "QuotaLib")
    world.reset(ini, site=site)
    for name in installed:
        with open(os.path.join(lib, name), "w") as f:
            f.write("installed")
    with Program(world) as p:
        if shown:
            shown(p)
        p.ask("press 109")
        p.wait_log(log)
        p.close()
    check(list(world.ini()) == records, "records left: %s" % world.ini())
    check(sorted(os.listdir(lib)) == kept, "files left: %s" % os.listdir(lib))


def unhex(answer):
    """The GBK text of an "OK hex" answer."""
    return bytes.fromhex(answer[3:]).decode("gbk")


def first_window(program):
    """The log and the tree of a started Program once its window shows; then closes it."""
    with program:
        log, items = program.log(), program.text("items")
        program.close()
    return log, items


def install(world, log, ticks=(), seconds=60, shown=None, **program):
    """Starts the program (Program options `program`), calls shown(it), ticks
    `ticks` and runs Program.install(log); answers the log."""
    with Program(world, **program) as p:
        if shown:
            shown(p)
        p.tick(*ticks)
        return p.install(log, seconds)


def first_tried(log, urls):
    """{package name: 1 or 2}: the mirror each package of the log was asked first."""
    tried = re.findall('正在下载"([^"]*)"...\r\nfrom ([^\r]*)\r\n', log)
    return {name: urls.index(url) + 1 for name, url in tried}


def install_until_mirror1_first(world, reset, log, names, seconds=60, runs=3, after=None, **install_kw):
    """The program draws each package's mirror order, and a run where none of
    `names` tried mirror 1 first may test nothing: up to `runs` runs of reset,
    install() and after() until one did. Answers that run's first_tried()."""
    for _ in range(runs):
        world.reset(**reset)
        first = first_tried(install(world, log, seconds=seconds, **install_kw), world.urls)
        if after:
            after()
        if any(first[name] == 1 for name in names):
            return first
    raise Failure("none of %s tried mirror 1 first in %d runs" % (", ".join(names), runs))


def limit_file_size(size):
    """In the child: writes past `size` bytes fail (EFBIG) instead of killing it."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


DONE = "安装完成。\r\n"


def q(text):
    return re.escape(text)


class Log:
    """Builds the expected log as a pattern; the server order is random."""

    def __init__(self, urls):
        self.u1, self.u2 = urls
        self.parts = []

    # Which mirrors serve a package: both, only the second, or none.
    WHERE = {"both": ("ok", "ok"), "m2": ("fail", "ok"), "none": ("fail", "fail")}

    def fetch(self, name, where, result=None, speed=None):
        self.package(name, *self.WHERE[where], result, speed)

    def package(self, name, on1, on2, result=None, speed=None, resumed=False):
        """One package's lines, in either server order. on1, on2: "ok", "fail" or
        "reject" (wrong SHA-256); `resumed`: the good transfer goes on from a part."""
        urls = {1: self.u1, 2: self.u2}
        outcome = {1: on1, 2: on2}
        speed_re = q(speed) if speed else r"\d+\.\d\d"
        orders = []
        for order in ((1, 2), (2, 1)):
            lines = ""
            for m in order:
                lines += q("from %s\r\n" % urls[m])
                if outcome[m] == "ok":
                    lines += self.done(name, resumed, speed_re)
                    lines += q(result) if result else ""
                    break
                if outcome[m] == "reject":
                    lines += q("文件校验失败。\r\n")
            else:
                lines += q("下载失败\r\n")
            orders.append(lines)
        self.parts.append(q('正在下载"%s"...\r\n' % name) + "(?:%s|%s)" % tuple(orders))
        return self

    @staticmethod
    def done(name, resumed=False, speed_re=r"\d+\.\d\d"):
        """The lines of a finished transfer whose installer starts."""
        return (q("下载完成 ") + speed_re + q("KB/S" + "(续传)" * resumed) +
                q('\r\n现在安装"%s"...\r\n' % name))

    def each(self, names, on1, on2, result=None):
        """package() for each of `names`."""
        for name in names:
            self.package(name, on1, on2, result)
        return self

    def installs(self, *names, where="both"):
        """Packages `names` that install in turn from `where` (a WHERE key)."""
        return self.each(names, *self.WHERE[where], DONE)

    def text(self, text):
        self.parts.append(q(text))
        return self

    def pattern(self):
        return "".join(self.parts)
