"""The program and its driver under Wine, and the log a run should write (e2e.py)."""
import re
import resource
import signal
import subprocess
import time

from e2e_world import WINE_RUN, Failure


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


def first_window(program):
    """The log and the tree of a started Program once its window shows; the
    window is closed then."""
    try:
        log, items = program.log(), program.text("items")
        program.close()
    finally:
        program.kill()
    return log, items


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

    def fetch(self, name, where, result=None, speed=None):
        """where: 'both' (either mirror serves it), 'm2' (only the second
        mirror) or 'none'."""
        on1, on2 = {"both": ("ok", "ok"), "m2": ("fail", "ok"), "none": ("fail", "fail")}[where]
        self.package(name, on1, on2, result, speed)

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
