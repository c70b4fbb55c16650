"""End-to-end scenarios (faults suite): mirror 1 lies about its length or
trickles. Time is only a bound on waiting: a program that ignored a limit
would keep its window from showing, or a package from finishing, for hours."""
import os
import re

from e2e import (CATALOGUE, DONE, MIB, Log, N, Program, check, first_window, install_until_mirror1_first,
                 tool, wait_until)

NETWORK_LINE = "无法联网取得配置文件，请检查网络设置。\r\n"
DAMAGED_LINE = "配置文件已损坏。\r\n"
# A body that would take hours: 100,000 bytes at one byte every 300 ms.
TRICKLE = "/drip/100000/1/300"
# A steady 20 KB a second, far above any stall, in a body of 100 MiB.
STEADY = "/drip/104857600/2048/100"


def fault_site(world):
    return N("InstallFiles", [("name", "故障目录")], [
        N("Group", [("name", "故障"), ("path", "pk")], [tool("普通工具", "plain.exe")]),
    ])


ITEMS = "0|1|故障\n1|2|普通工具\n"


def no_mirror2_catalogue_site(world):
    return fault_site(world), {"catalogue_mirrors": (1,)}


def wait_fault_line(world, prefix, seconds=30):
    """The fault server's `prefix` lines, once there is one (noted when the client left)."""
    wait_until(lambda: world.fault_lines(prefix), seconds, step=0.2)
    return world.fault_lines(prefix)


def sent_bytes(line):
    return int(re.fullmatch(r"\S+ \d+ sent (\d+)", line).group(1))


def cut_at_half(world):
    """Mirror 1 announces half the archive's length, the rest comes late: the
    kept half lacks its directory, a damaged catalogue, not a network fault."""
    world.publish(fault_site)
    archive = world.site_path(2, "InstallFiles.zip")
    return "/cut/%d/1000" % (os.path.getsize(archive) // 2), archive


# Mirror 1's catalogue route, the fault server's line when the client left
# (None: it sent all), a bound on its bytes sent, the site, the log and tree.
CATALOGUE_CASES = [
    # 2,000 bytes announced, an endless body sent: a reader that stops at the
    # first block past the length leaves only what the sockets' buffers held.
    ("/flood/2000", "flood 2000 sent", 16 * MIB, fault_site, "", ITEMS),
    (TRICKLE, "drip 100000 sent", 100000, fault_site, "", ITEMS),
    # Never a stall: only the catalogue attempt's deadline can end this.
    (STEADY, "drip 104857600 sent", 104857600, fault_site, "", ITEMS),
    # The failed download leaves nothing of mirror 1's archive behind.
    (TRICKLE, "drip 100000 sent", 100000, no_mirror2_catalogue_site, NETWORK_LINE, ""),
    (cut_at_half, None, None, fault_site, DAMAGED_LINE, ITEMS),
]


def catalogue_faults_on_mirror1(world):
    for route, ended, bound, site, want_log, want_items in CATALOGUE_CASES:
        route = route(world) if callable(route) else route
        world.reset(site=site, routes={CATALOGUE: route})
        # The window may take the catalogue deadline and a start-up margin to show.
        log, items = first_window(Program(world, find_ms=world.args.short_limits[1] + 40000))
        what = "%s (%s)" % (route, site.__name__)
        check(log == want_log, "%s: log %r" % (what, log))
        check(items == want_items, "%s: tree\n%s" % (what, items))
        if ended:
            lines = wait_fault_line(world, ended)
            check(len(lines) == 1, "%s: the fault server did not see the client leave: %s" % (what, lines))
            check(sent_bytes(lines[0]) < bound, "%s: the client took %s" % (what, lines[0]))
        for mirror in (1, 2):
            check(world.requests(mirror) == [CATALOGUE], "%s: mirror %d asked for %s"
                  % (what, mirror, world.requests(mirror)))
        world.check_aftermath([], [])


TRICKLING = ["慢包%d" % i for i in range(1, 5)]


def package_site(world):
    return N("InstallFiles", [("name", "故障目录")], [
        N("Group", [("name", "故障"), ("path", "pk")], [
            tool(name, "t%d.exe" % i) for i, name in enumerate(TRICKLING, 1)
        ] + [
            # Only mirror 1 has it, sent at a steady pace that takes longer
            # than a catalogue attempt may: packages have no such limit.
            tool("稳包", "steady.exe", mirrors=(1,)),
        ]),
    ])


def package_trickle(world):
    log = Log(world.urls).each(TRICKLING, "fail", "ok", DONE).package("稳包", "ok", "fail", DONE)
    routes = {"pk/t%d.exe" % i: TRICKLE for i in range(1, len(TRICKLING) + 1)}
    routes["pk/steady.exe"] = ("/file/10240/100", 1)
    first = install_until_mirror1_first(world, dict(site=package_site, routes=world.routes(routes)), log,
                                        TRICKLING, 120)
    trickled = [name for name in TRICKLING if first[name] == 1]
    files = ["t%d.exe" % i for i in range(1, len(TRICKLING) + 1)] + ["steady.exe"]
    world.check_aftermath(list(zip(files, TRICKLING + ["稳包"])), files)
    for name in files:
        world.check_file(name, world.site_path(1 if name == "steady.exe" else 2, "pk/" + name))
    # The server notes a drip's end at its next send.
    wait_until(lambda: len(world.fault_lines("drip 100000 sent")) >= len(trickled), 10, step=0.2)
    lines = world.fault_lines("drip 100000 sent")
    check(len(lines) == len(trickled) and all(sent_bytes(l) < 100000 for l in lines),
          "trickles given up: %s, packages that met one: %s" % (lines, trickled))


SCENARIOS = [catalogue_faults_on_mirror1, package_trickle]
