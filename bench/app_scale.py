#!/usr/bin/env python3
"""How the real program scales, under Wine, against nginx on 127.0.0.1.

Two measurements, each over several sizes in one run of this script:

  long run   N chosen packages, every one missing on both mirrors (four log
             lines and two requests each, no installer): the time from the
             press of "download and install" until the log holds the last
             line, the cost per package, and how that cost grows from the
             smallest to the largest N (goal: at most 1.3).
  start-up   catalogues of N packages, in groups or all at the top level: the
             time from the program's start to its main window being visible,
             and the overhead over an empty catalogue (goal: under 1 s for
             10,000 packages).
  waits      how long the window takes to answer a message (WM_NULL sent
             every 100 ms with SendMessageTimeout, as Windows does to tell a
             hung window) while it is idle, and during a run whose installer
             takes 12 s, and a run over 1,000 missing packages: the longest
             wait of each, and its ratio to the idle window's (goal: under
             500 ms; Windows calls a window hung after 5 s).

The program is InstallZelmBench.exe (the program with the benchmark's
loopback base URLs) and the timing is done inside Wine by app_bench_driver.exe
(bench/app_driver.cpp). Timings are printed, never asserted.

    bench/app_scale.py --build build/win32 [--runs 250 1000 4000]
                       [--startup 0 10000 30000] [--shapes grouped flat]
                       [--repeat 3] [--timeout 1800]
                       [--waits installer missing]
"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "demo"))
import site_builder as sb  # noqa: E402

N = sb.Node
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
GROUP = 100  # packages per group


def run_catalogue(count):
    """One top-level group over `count` packages, in groups of GROUP; none of
    the package files is on either mirror."""
    groups = []
    for g in range(0, count, GROUP):
        packages = [N("Dek", [("name", "定额%05d" % i), ("fileName", "d%05d.exe" % i)])
                    for i in range(g, min(count, g + GROUP))]
        groups.append(N("Group", [("name", "第%d组" % (g // GROUP))], packages))
    return N("InstallFiles", [("name", "root")], [
        N("Version", [("value", "2026.1")]),
        N("Group", [("name", "全部"), ("path", "dek"), ("state", "1")], groups),
    ])


def startup_catalogue(count, shape):
    """`count` packages as a real catalogue has them: every tenth group
    partly chosen (and so expanded), some packages chosen, a "Version" below
    some packages, groups with and without a state. shape "grouped": groups
    of GROUP packages at the top; "flat": the same packages all at the top."""
    groups = []
    for g in range(0, count, GROUP):
        index = g // GROUP
        partly = index % 10 == 0
        packages = []
        for i in range(g, min(count, g + GROUP)):
            attrs = [("name", "北京%05d建筑工程预算定额" % i), ("fileName", "p%05d.exe" % i),
                     ("modifyDate", "24-6-1 0:0:0")]
            if i % 3 == 0:
                attrs.append(("state", "2" if partly else "1"))
            children = [N("Version", [("value", "1.%d" % i)])] if i % 7 == 0 else []
            packages.append(N("Dek", attrs, children))
        attrs = [("name", "地区%04d" % index), ("path", "r%04d" % index)]
        if partly:
            attrs.append(("state", "3"))
        elif index % 2:
            attrs.append(("state", "1"))
        groups.append(N("Group", attrs, packages))
    top = groups if shape == "grouped" else [p for g in groups for p in g.children]
    return N("InstallFiles", [("name", "root")], [N("Version", [("value", "2026.1")])] + top)


def run_log_length(count, urls):
    """GBK length of the log of a run over `count` missing packages."""
    froms = sum(len(("from %s\r\n" % u).encode("gbk")) for u in urls)
    failed = len("下载失败\r\n".encode("gbk"))
    return sum(len(('正在下载"定额%05d"...\r\n' % i).encode("gbk")) + froms + failed for i in range(count))


class Driver:
    def __init__(self, driver_exe, env):
        self.process = subprocess.Popen([WINE_RUN, driver_exe], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def ask(self, line):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()
        answer = self.process.stdout.readline().decode().strip()
        if not answer.startswith("OK"):
            raise RuntimeError("driver: %s -> %s" % (line[:60], answer or "(no answer)"))
        return answer[3:]

    def stop(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.flush()
            self.process.wait(30)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()


class Bench:
    def __init__(self, args):
        self.args = args
        self.prefix = os.environ.get("IZ_WINEPREFIX") or os.path.join(ROOT, "build", "wineprefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix)
        bench = os.path.join(args.build, "bench")
        self.program = os.path.join(bench, "InstallZelmBench.exe")
        self.driver = os.path.join(bench, "app_bench_driver.exe")
        self.sample = os.path.join(args.build, "samples", "SamplePackage.exe")
        self.urls = ["http://127.0.0.1:%d/download/" % p for p in args.ports]

    def downloads(self):
        drive_c = os.path.join(self.prefix, "drive_c")
        desktops = [d for d in glob.glob(os.path.join(drive_c, "users", "*", "Desktop")) if "/Public/" not in d]
        return os.path.join(os.path.dirname(desktops[0]), "Downloads")

    def serve(self, root):
        """Builds the site for catalogue `root` and serves it on both ports."""
        site = os.path.join(self.args.work, "site")
        sb.build(site, root, sample_exe=self.sample)
        mirrors = [(port, os.path.join(site, "mirror%d" % (i + 1))) for i, port in enumerate(self.args.ports)]
        return sb.serve(os.path.join(self.args.work, "nginx"), mirrors)

    def fresh_downloads(self):
        shutil.rmtree(self.downloads(), ignore_errors=True)
        os.makedirs(self.downloads())

    def windows_path(self, path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def start(self):
        """Starts the driver and the program; returns (driver, ms to visible)."""
        self.fresh_downloads()
        driver = Driver(self.driver, self.env)
        try:
            ms = float(driver.ask("launch 600000 " + self.windows_path(self.program)))
        except Exception:
            driver.stop()
            raise
        return driver, ms

    def long_run(self, count):
        """Seconds for a run over `count` missing packages (None on time-out)."""
        with self.serve(run_catalogue(count)):
            driver, _ = self.start()
            try:
                driver.ask("tick " + "全部".encode("gbk").hex())
                length = run_log_length(count, self.urls)
                try:
                    ms = float(driver.ask("run %d %d" % (length, self.args.timeout * 1000)).split()[0])
                except RuntimeError as e:
                    print("  %d packages: %s" % (count, e), flush=True)
                    return None
                log = bytes.fromhex(driver.ask("log")).decode("gbk")
                if log.count("下载失败\r\n") != count or len(log.encode("gbk")) != length:
                    raise RuntimeError("the log of %d packages is not what the run writes" % count)
                driver.ask("close 600000")
            finally:
                driver.stop()
        return ms / 1000.0

    def wait_run(self, root, until, tick=None, seconds=600):
        """Longest message waits (ms, sends) of the idle window, and of a run
        over catalogue `root` (top-level item `tick` ticked first) until its
        log satisfies `until`."""
        with self.serve(root):
            driver, _ = self.start()
            try:
                if tick:
                    driver.ask("tick " + tick.encode("gbk").hex())
                driver.ask("watch start")
                time.sleep(3)
                idle = driver.ask("watch stop").split()
                driver.ask("watch start")
                driver.ask("run 0 60000")  # only presses the button
                deadline = time.time() + seconds
                while not until(bytes.fromhex(driver.ask("log")).decode("gbk")):
                    if time.time() > deadline:
                        raise RuntimeError("the run did not end in %d s" % seconds)
                    time.sleep(0.5)
                run = driver.ask("watch stop").split()
                driver.ask("close 600000")
            finally:
                driver.stop()
        return (float(idle[0]), int(idle[1])), (float(run[0]), int(run[1]))

    def waits(self, scenario):
        if scenario == "installer":
            root = N("InstallFiles", [("name", "root")], [
                N("Tool", [("name", "慢装"), ("fileName", "slow12.exe"), ("state", "2")],
                  package=dict(delay_ms=12000, record="no"))])
            return self.wait_run(root, lambda log: log.endswith("安装完成。\r\n"))
        return self.wait_run(run_catalogue(1000), lambda log: log.count("下载失败\r\n") == 1000, tick="全部")

    def startup(self, count, shape):
        """Median milliseconds from start to visible over the repeats."""
        times = []
        with self.serve(startup_catalogue(count, shape)):
            for _ in range(self.args.repeat):
                driver, ms = self.start()
                try:
                    driver.ask("close 600000")
                finally:
                    driver.stop()
                times.append(ms)
        return statistics.median(times), times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "win32"))
    parser.add_argument("--runs", type=int, nargs="*", default=[250, 1000, 4000])
    parser.add_argument("--startup", type=int, nargs="*", default=[0, 10000, 30000])
    parser.add_argument("--shapes", nargs="*", default=["grouped", "flat"],
                        help="start-up catalogues: packages in groups of %d, or all at the top" % GROUP)
    parser.add_argument("--repeat", type=int, default=3, help="start-ups per catalogue size")
    parser.add_argument("--timeout", type=int, default=1800, help="seconds allowed for one long run")
    parser.add_argument("--ports", type=int, nargs=2, default=[18581, 18582])
    parser.add_argument("--work", default=None)
    parser.add_argument("--waits", nargs="*", default=["installer", "missing"], choices=["installer", "missing"],
                        help="message waits during a run: a 12 s installer, 1,000 missing packages")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    if not os.environ.get("DISPLAY"):
        print("app_scale: DISPLAY is not set (bench/app_scale.sh starts an Xvfb)", file=sys.stderr)
        return 1
    bench = Bench(args)
    with tempfile.TemporaryDirectory(prefix="izscale.") as tmp:
        args.work = args.work or tmp
        if args.runs:
            print("long run: chosen packages missing on both mirrors (4 log lines, 2 requests each)")
            print("%10s %12s %18s" % ("packages", "run (s)", "per package (ms)"))
            costs = {}
            for count in args.runs:
                seconds = bench.long_run(count)
                if seconds is None:
                    print("%10d %12s" % (count, "> %d" % args.timeout), flush=True)
                    continue
                costs[count] = seconds / count
                print("%10d %12.1f %18.1f" % (count, seconds, 1000 * costs[count]), flush=True)
            if len(costs) >= 2:
                small, large = min(costs), max(costs)
                print("growth of the cost per package, %d -> %d packages: %.2f (goal: at most 1.3)"
                      % (small, large, costs[large] / costs[small]))
            if 1000 in costs:
                print("1000 packages: %.1f s (goal: under 60 s)" % (1000 * costs[1000]))
        if args.waits:
            print("message waits: longest time the window took to answer one message")
            print("%-34s %10s %10s %12s %10s" % ("run", "idle (ms)", "run (ms)", "run / idle", "messages"))
            for scenario in args.waits:
                (idle, _), (longest, sends) = bench.waits(scenario)
                what = {"installer": "installer of 12 s", "missing": "1,000 missing packages"}[scenario]
                print("%-34s %10.1f %10.1f %12.1f %10d   %s" % (what, idle, longest, longest / max(idle, 0.1), sends,
                                                           "goal met (< 500 ms)" if longest < 500 else "GOAL MISSED"),
                      flush=True)
        for shape in (args.shapes if args.startup else []):
            print("start-up, %s catalogue: program start to main window visible (median of %d)"
                  % (shape, args.repeat))
            print("%10s %14s %24s   %s" % ("packages", "visible (ms)", "over the smallest (ms)", "all (ms)"))
            base = None
            for count in args.startup:
                median, times = bench.startup(count, shape)
                base = median if base is None else base
                print("%10d %14.0f %24.0f   %s" % (count, median, median - base,
                                                  " ".join("%.0f" % t for t in times)), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
