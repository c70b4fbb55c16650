"""End-to-end scenarios (plain suite): the window during a run. The driver
times WM_NULL answers; Windows calls a window hung after 5 s without one
(bench/app_scale.py --waits measures the margin)."""
import os
import re
import subprocess
import time

from e2e import DONE, ROOT, WINE_RUN, Log, N, Program, check, pkg, q, tool

HUNG_MS = 5000


def window_site(world):
    return N("InstallFiles", [("name", "root")], [
        N("Group", [("name", "慢装"), ("path", "slow")], [
            tool("慢装定额", "slow12.exe", tag="Dek", package=pkg("慢装定额", "slow12.dek", delay_ms=12000)),
            N("Dek", [("name", "耗时定额"), ("fileName", "wait.exe")],
              package=pkg("耗时定额", "wait.dek", delay_ms=4000)),
            N("Dek", [("name", "其后定额"), ("fileName", "after.exe")], package=pkg("其后定额", "after.dek")),
        ]),
    ])


def missing_site(world):
    return N("InstallFiles", [("name", "root")], [
        N("Dek", [("name", "缺失%04d" % i), ("fileName", "m%04d.exe" % i), ("state", "2")], mirrors=())
        for i in range(1000)
    ])


def watch_stop(p, what):
    longest, sends = p.ask("watch stop").split()[1:]
    print("  %s: longest message wait %s ms over %s messages" % (what, longest, sends), flush=True)
    check(int(sends) > 0, "the watch sent nothing")
    check(float(longest) < HUNG_MS, "%s: the window answered no message for %s ms" % (what, longest))


def enabled(p, control):
    return p.ask("enabled %d" % control) == "OK 1"


def installer_keeps_window_answering(world):
    world.reset("[Dek Files]\r\n其他=C:\\QuotaLib\\other.dek\r\n", site=window_site)
    with Program(world) as p:
        items = p.text("items")
        p.ask("watch start")
        p.ask("press 102")
        p.wait_log(q('正在下载"慢装定额"...\r\n') + "from [^\r]*\r\n" + q("下载完成 ") + r"\d+\.\d\d" +
                   q('KB/S\r\n现在安装"慢装定额"...\r\n'), 30)
        # The installer runs for 12 s: one run at a time, and no close.
        check(not enabled(p, 102) and not enabled(p, 109), "102 and 109 must be greyed during a run")
        check(enabled(p, 107), "cancel must stay usable during a run")
        tick = p.ask("tick " + "慢装/其后定额".encode("gbk").hex()).split()
        check(tick[1] == tick[2], "a tree click changed a box during a run: %s" % tick)
        p.ask("press 102")
        p.ask("press 109")
        p.ask("close")
        time.sleep(1)
        check(p.ask("alive") == "OK 1", "the window closed under a running installer")
        check(p.text("items") == items, "the tree changed during a run")
        p.wait_log(".*" + q(DONE), 30)
        watch_stop(p, "12 s installer")
        check(enabled(p, 102) and enabled(p, 109), "102 and 109 must come back after the run")
        p.tick("慢装/其后定额")  # and the boxes with them
        p.close()
    world.check_aftermath([("slow12.exe", "慢装定额")], ["slow12.exe"],
                          {"其他": "C:\\QuotaLib\\other.dek", "慢装定额": "C:\\QuotaLib\\slow12.dek"})


def cancel_during_installer(world):
    world.reset(site=window_site)
    with Program(world) as p:
        p.tick("慢装/慢装定额", "慢装/耗时定额", "慢装/其后定额")  # the first: off, chosen in the catalogue
        p.ask("press 102")
        p.wait_log(".*" + q('现在安装"耗时定额"...\r\n'), 30)
        p.ask("press 107")
        text = p.wait_log(Log(world.urls).installs("耗时定额").text("下载中止。\r\n").pattern(), 30)
        time.sleep(2)
        check(p.log() == text, "the run went on after the cancel: %r" % p.log())
        check(enabled(p, 102), "102 must come back after a cancelled run")
        p.close()
    world.check_aftermath([("wait.exe", "耗时定额")], ["wait.exe"], {"耗时定额": "C:\\QuotaLib\\wait.dek"})


def missing_packages_keep_window_answering(world):
    world.reset(site=missing_site)
    with Program(world) as p:
        p.ask("watch start")
        p.ask("press 102")
        last = q('正在下载"缺失0999"...\r\n') + "from [^\r]*\r\nfrom [^\r]*\r\n" + q("下载失败\r\n")
        text = p.wait_log(".*" + last, 300)
        watch_stop(p, "1,000 missing packages")
        check(text.count("下载失败\r\n") == 1000, "not every package failed once")
        p.close()
    world.check_aftermath([], [])


def second_start(world, p):
    """A second start of the program shows the first, minimised window and ends."""
    p.ask("show 6")  # SW_MINIMIZE
    check(p.ask("windows").split()[2] == "1", "the window did not minimise")
    second = subprocess.run([WINE_RUN, world.args.program], env=world.env(), timeout=60,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(second.returncode == 0, "the second start ended with %d" % second.returncode)
    count, iconic = p.ask("windows").split()[1:3]
    check(count == "1", "%s main windows after a second start" % count)
    check(iconic == "0", "the first window stayed minimised")
    check(p.program.poll() is None, "the first program ended")


def second_start_and_space_tick(world):
    world.reset(site=window_site)
    shown = {}
    for how in ("tick", "space"):
        with Program(world) as p:
            if how == "tick":
                second_start(world, p)
            before, after = p.ask("%s %s" % (how, "慢装/其后定额".encode("gbk").hex())).split()[1:]
            check((before, after) == ("1", "2"), "%s: state image %s -> %s" % (how, before, after))
            shown[how] = p.text("items")
            p.tick("慢装/慢装定额")  # off: chosen in the catalogue
            p.install(Log(world.urls).installs("其后定额"))
    check(shown["space"] == shown["tick"], "Space shows\n%s\na click\n%s" % (shown["space"], shown["tick"]))
    check(re.search(r"0\|3\|慢装\n", shown["space"]), "the group must show the grey tick:\n" + shown["space"])


SCENARIOS = [installer_keeps_window_answering, cancel_during_installer, missing_packages_keep_window_answering,
             second_start_and_space_tick]


def pictures_at_two_dpi_settings(world):
    """At 96 and 144 DPI (own prefix): state icons 16 or 24 px, lines tall enough,
    nothing outside the window; a picture of it kept in the work folder."""
    prefix144 = os.path.join(world.args.work, "wineprefix-dpi144")
    subprocess.run(["bash", "-c", 'source "$1/scripts/wine-env" && iz_make_prefix && iz_set_dpi 144', "-", ROOT],
                   env=dict(world.env(), IZ_WINEPREFIX=prefix144), check=True, timeout=600,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    world.reset(site=window_site)
    shots = os.path.join(world.args.work, "screens")
    os.makedirs(shots, exist_ok=True)
    for dpi, prefix in ((96, world.prefix), (144, prefix144)):
        with Program(world, prefix=prefix) as p:
            icon, line, inside = map(int, p.ask("metrics").split()[1:])
            print("  %d DPI: state icon %d px, tree line %d px" % (dpi, icon, line), flush=True)
            check(icon == 16 * dpi // 96, "%d DPI: state icon %d pixels wide" % (dpi, icon))
            check(line >= icon, "%d DPI: a tree line of %d pixels clips its icons" % (dpi, line))
            check(inside == 1, "%d DPI: a control lies outside the window" % dpi)
            shot = os.path.join(shots, "window-dpi%d.png" % dpi)
            window = subprocess.run(["xdotool", "search", "--name", "沃蒙在线安装"], capture_output=True,
                                    text=True).stdout.split()
            check(window and subprocess.run(["import", "-window", window[0], shot]).returncode == 0,
                  "no picture of the window at %d DPI" % dpi)
            print("  %d DPI: %s" % (dpi, shot), flush=True)
            p.close()


SCENARIOS.append(pictures_at_two_dpi_settings)
