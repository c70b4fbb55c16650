#!/usr/bin/env python3
"""End-to-end tests: the real program under Wine, driven by driver.exe,
against nginx on 127.0.0.1. Suites (--suite), each for a build of its own:
plain (both mirrors on nginx), faults (mirror 1 is the scripted fault
server, transfer limits of seconds) and signed (a build with catalogue keys).
"""
import argparse
import contextlib
import os
import re
import sys
import time
import traceback

# Names the scenario modules take from here.
from e2e_world import (CATALOGUE, MIB, ROOT, WINE_RUN, Failure, N, World, catalogue,  # noqa: F401
                      check, display, named_tool, pkg, read, sb, tool, wait_until, walk_files)
from e2e_program import (DONE, Log, Program, first_window, install, install_until_mirror1_first, q,  # noqa: F401
                         uninstall)
import trust  # noqa: E402

# The scenario modules import this one as "e2e"; run as a script it is
# "__main__", and they must share its names.
sys.modules.setdefault("e2e", sys.modules[__name__])
sys.path.insert(0, os.path.join(ROOT, "tests", "servers"))
import servers  # noqa: E402


def install_run(world):
    world.reset()
    log = Log(world.urls)
    log.fetch("北京定额2008", "both", DONE)
    log.fetch("上海定额", "both")
    log.fetch("广东定额", "both")
    log.fetch("天津定额", "both", DONE)
    log.fetch("重庆定额", "m2", DONE)
    log.fetch("河北定额", "none")
    log.fetch("北京定额2008副本", "both", DONE, speed="0.00")
    log.fetch("报表工具", "both", DONE)
    log.text("以下定额库安装失败:\r\n    上海定额\r\n    广东定额\r\n")
    with Program(world) as p:
        items = p.text("items")
        check("0|1|定额库" in items and "版本" not in items, "tree not as the catalogue says:\n" + items)
        # Nothing chosen yet, nothing recorded: neither button does anything.
        p.ask("press 102")
        p.ask("press 109")
        time.sleep(3)
        check(p.log() == "", "log not empty: %r" % p.log())
        check(world.downloaded() == [], "downloads: %s" % world.downloaded())
        p.tick(*["定额库/" + n for n in ("北京定额2008", "上海定额", "广东定额", "天津定额", "重庆定额",
                                        "河北定额", "北京定额2008副本")] + ["工具"])
        p.install(log)
    files = ["bj2008.exe", "sh.exe", "gd.exe", "tj 2012.exe", "cq.exe", "report.exe"]
    check(world.downloaded() == sorted(files), "downloads: %s" % world.downloaded())
    runs = world.runs()
    check([r.split("|")[0] for r in runs] == files, "installers run: %s" % runs)
    check(all(r.split("|")[1] == "/auto /s" for r in runs), "arguments: %s" % runs)
    records = world.ini()
    check(sorted(records) == sorted(["北京定额2008", "广东定额", "天津定额", "重庆定额"]), "records: %s" % records)
    cached = world.cached_copies()
    check(not cached, "packages kept a second time in WinINet's cache: %s" % cached)


def uninstall_run(world):
    # Beijing-B keeps "beijing-b" (the settings file ignores case); a chosen
    # non-Dek protects no record.
    uninstall(world, "[Other]\r\nx=1\r\n[Dek Files]\r\n北京定额2008=C:\\QuotaLib\\bj2008.dek\r\n"
              "beijing-b=C:\\QuotaLib\\bjb.dek\r\n上海定额=C:\\QuotaLib\\sh.dek\r\n空记录=\r\n"
              "报表工具=C:\\QuotaLib\\report.dat\r\n", ["bj2008.dek", "bjb.dek", "sh.dek", "report.dat"],
              q("卸载: 上海定额...\r\n卸载: 空记录...\r\n卸载: 报表工具...\r\n"),
              ["北京定额2008", "beijing-b", "空记录"], ["bj2008.dek", "bjb.dek"],
              shown=lambda p: p.tick("定额库/北京定额2008", "定额库/Beijing-B", "工具"))


def cancel_and_reentry(world):
    world.reset("[Dek Files]\r\n其他=C:\\QuotaLib\\other.dek\r\n")
    with Program(world) as p:
        p.tick("慢速/慢速定额", "慢速/耗时定额")
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
    check(world.runs() == [], "an installer ran: %s" % world.runs())
    # nginx gives a strong ETag: the part stays, with it, for the next run.
    check(world.downloaded() == ["slow.exe.part", "slow.exe.part.info"],
          "a cancelled transfer left %s" % world.downloaded())
    check("其他" in world.ini(), "the uninstall click must have been ignored")


def close_between_packages(world):
    # Posted while the program's thread is held after wait.exe ended, the
    # close waits for the gap before the next package: after.exe never comes.
    world.reset()
    with Program(world) as p:
        p.tick("慢速/耗时定额", "慢速/其后定额")
        p.ask("press 102")
        p.wait_log(".*" + q('现在安装"耗时定额"...\r\n'), 30)
        p.ask("suspend")
        try:
            wait_until(world.runs, 30, "wait.exe did not finish")
            time.sleep(1)  # its process has ended
            p.ask("close")
        finally:
            p.ask("resume")
        wait_until(lambda: p.program.poll() is not None, 60, "the program did not end after the close")
        check(p.program.returncode == 0, "program exit code %d" % p.program.returncode)
        p.ask("quit", ok=False)
    world.check_aftermath([("wait.exe", "耗时定额")], ["wait.exe"], {"耗时定额": "C:\\QuotaLib\\wait.dek"})


def close_during_uninstall(world):
    world.reset("[Dek Files]\r\na=C:\\QuotaLib\\a.dek\r\nb=C:\\QuotaLib\\b.dek\r\nc=C:\\QuotaLib\\c.dek\r\n")
    with Program(world) as p:
        p.ask("press 109")
        p.ask("close")  # queued behind the click: handled by the run's first pump
        p.close()
    check(list(world.ini()) == ["b", "c"], "records left: %s" % world.ini())


SCENARIOS = [install_run, uninstall_run, cancel_and_reentry, close_between_packages,
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


@contextlib.contextmanager
def fault_server(world):
    """The fault server on --fault-port (if any) while the block runs."""
    port = world.args.fault_port
    if not port:
        yield
        return
    if sb.nginx_site.wait_for_port(port, 0):
        raise sb.nginx_site.NginxError("port %d of the fault server is taken" % port)
    world.set_routes({})
    process = servers.start_fault(world.fault_dir, port, os.path.join(world.fault_dir, "routes"))
    if not process:
        raise sb.nginx_site.NginxError("the fault server did not start on port %d (see %s/fault.out)"
                                       % (port, world.fault_dir))
    try:
        yield
    finally:
        process.terminate()
        process.wait(10)


def argument_parser():
    """The options every runner of scenarios takes."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--sample", required=True)
    parser.add_argument("--ports", type=int, nargs=2, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("-k", default="", help="run only scenarios whose name contains this")
    return parser


def run_scenario(scenario, world):
    """Runs and reports one scenario; True when it passed."""
    started = time.time()
    try:
        note = scenario(world)
        print("PASS %s (%.1f s)%s" % (scenario.__name__, time.time() - started, ": " + note if note else ""),
              flush=True)
        return True
    except (Failure, sb.nginx_site.NginxError, trust.NamespaceError) as e:
        print("FAIL %s: %s" % (scenario.__name__, e), flush=True)
    except Exception:  # a broken scenario fails alone; the others still run
        print("FAIL %s: %s" % (scenario.__name__, traceback.format_exc()), flush=True)
    return False


def run_suite(scenarios, world, k):
    """Runs the scenarios whose name contains `k`; the exit status."""
    chosen = [s for s in scenarios if k in s.__name__]
    if not chosen:
        print("FAIL e2e: no scenario matches -k %r" % k, flush=True)
        return 1
    failed = sum(not run_scenario(scenario, world) for scenario in chosen)
    print("%d scenario(s) failed" % failed if failed else "all scenarios passed")
    return 1 if failed else 0


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
                        help="run this part of a scenario inside its namespace (its servers already run)")
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
    try:
        with sb.serve(os.path.join(args.work, "nginx"),
                      [(args.ports[0], os.path.join(site, "mirror1")), (args.ports[1], os.path.join(site, "mirror2"))]), \
                fault_server(world):
            return run_suite(SUITES[args.suite], world, args.k)
    except sb.nginx_site.NginxError as e:
        print("FAIL e2e: %s" % e, flush=True)
        return 1


if __name__ == "__main__":
    sys.exit(main())
