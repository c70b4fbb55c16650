"""End-to-end scenarios: a mirror that lies about its length or trickles
(the faults suite of e2e.py). The build under test (InstallZelmE2EFault) has
the scripted fault server as mirror 1 and nginx as mirror 2, and transfer
limits of seconds (--short-limits: stall window, catalogue deadline); the
fault server answers the fixed paths that each scenario routes.

Time enters only as a bound on waiting: a program that ignored a limit would
keep its window from showing, or a package from finishing, for hours."""
import os
import re
import time

from e2e import Log, N, Program, check, first_window, install_until_mirror1_first, pkg

CATALOGUE = "/download/InstallFiles.zip"
NETWORK_LINE = "无法联网取得配置文件，请检查网络设置。\r\n"
DAMAGED_LINE = "配置文件已损坏。\r\n"
# A body that would take hours: 100,000 bytes at one byte every 300 ms.
TRICKLE = "/drip/100000/1/300"
# A steady 20 KB a second, far above any stall, in a body of 100 MiB.
STEADY = "/drip/104857600/2048/100"
MIB = 1 << 20


def tool(name, file_name, **kw):
    return N("Tool", [("name", name), ("fileName", file_name), ("state", "2")],
             package=pkg(name, file_name + ".dat", "no"), **kw)


def fault_site(world):
    return N("InstallFiles", [("name", "故障目录")], [
        N("Group", [("name", "故障"), ("path", "pk")], [tool("普通工具", "plain.exe")]),
    ])


ITEMS = "0|1|故障\n1|2|普通工具\n"


def no_mirror2_catalogue_site(world):
    return fault_site(world), {"catalogue_mirrors": (1,)}


def wait_fault_line(world, prefix, seconds=30):
    """The fault server's log lines starting with `prefix` (drip or flood
    ends), once there is one: the server notes them when the client left."""
    deadline = time.time() + seconds
    while True:
        lines = world.fault_lines(prefix)
        if lines or time.time() > deadline:
            return lines
        time.sleep(0.2)


def sent_bytes(line):
    return int(re.fullmatch(r"\S+ \d+ sent (\d+)", line).group(1))


def window_bound(world):
    """How long the window may take to show when mirror 1's catalogue
    attempt must be given up: the deadline plus a start-up margin."""
    return world.args.short_limits[1] + 40000


def shown_window(world, routes, site):
    """Starts the fault build with mirror 1 answering as `routes` say and
    returns the log and the tree once the window shows, closing it then."""
    world.reset("[Dek Files]\r\n", site=site, routes=routes)
    return first_window(Program(world, find_ms=window_bound(world)))


def catalogue_fault(world, route, ended, site=fault_site, leftover=()):
    """Starts the fault build with mirror 1's catalogue answered by `route`;
    returns the log and the tree once the window shows, and the number of
    bytes the fault server sent before the client left (its log line
    starting with `ended`). The download folder must hold just `leftover`."""
    log, items = shown_window(world, {CATALOGUE: route}, site)
    lines = wait_fault_line(world, ended)
    check(len(lines) == 1, "the fault server did not see the client leave: %s" % lines)
    check(world.requests(1) == [CATALOGUE], "mirror 1 asked for %s" % world.requests(1))
    world.check_aftermath([], leftover)
    return log, items, sent_bytes(lines[0])


def catalogue_longer_than_announced(world):
    # 2,000 bytes announced; the head, 64 KiB and then an endless body
    # follow, so the surplus arrives with the first read.
    log, items, sent = catalogue_fault(world, "/flood/2000", "flood 2000 sent")
    check(log == "", "log not empty: %r" % log)
    check(items == ITEMS, "the tree is not mirror 2's catalogue:\n" + items)
    # An endless read would have taken everything the server offers (16
    # GiB); stopping at the first block past the length leaves only what the
    # sockets' buffers held.
    check(sent < 16 * MIB, "the client took %d bytes of the flood" % sent)


def catalogue_cut_at_announced_length(world):
    # Mirror 1 announces half of a good archive's length and sends all of
    # it, the surplus late: the client keeps the first half, an archive
    # without its directory. That is a damaged catalogue, not a network
    # fault: one line, and the tree from mirror 2.
    world.publish(fault_site)
    archive = world.site_path(2, "InstallFiles.zip")
    half = os.path.getsize(archive) // 2
    log, items = shown_window(world, {CATALOGUE: ("/cut/%d/1000" % half, archive)}, fault_site)
    check(log == DAMAGED_LINE, "log %r" % log)
    check(items == ITEMS, "the tree is not mirror 2's catalogue:\n" + items)
    check(world.requests(1) == [CATALOGUE], "mirror 1 asked for %s" % world.requests(1))
    check(world.requests(2) == [CATALOGUE], "mirror 2 asked for %s" % world.requests(2))
    world.check_aftermath([], [])


def catalogue_trickle(world):
    log, items, sent = catalogue_fault(world, TRICKLE, "drip 100000 sent")
    check(log == "", "log not empty: %r" % log)
    check(items == ITEMS, "the tree is not mirror 2's catalogue:\n" + items)
    check(sent < 100000, "the trickle was not given up")


def catalogue_steady_past_deadline(world):
    # Never a stall, only the catalogue attempt's deadline can end this.
    log, items, sent = catalogue_fault(world, STEADY, "drip 104857600 sent")
    check(log == "", "log not empty: %r" % log)
    check(items == ITEMS, "the tree is not mirror 2's catalogue:\n" + items)
    check(sent < 104857600, "the transfer was not given up")


def catalogue_trickle_and_no_mirror2(world):
    # The failed download leaves nothing of mirror 1's archive behind.
    log, items, sent = catalogue_fault(world, TRICKLE, "drip 100000 sent", site=no_mirror2_catalogue_site)
    check(sent < 100000, "the trickle was not given up")
    check(log == NETWORK_LINE, "log %r" % log)
    check(items == "", "tree not empty:\n" + items)
    check(world.requests(2) == [CATALOGUE], "mirror 2 asked for %s" % world.requests(2))


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


def package_routes(world):
    routes = {"/download/pk/t%d.exe" % i: TRICKLE for i in range(1, len(TRICKLING) + 1)}
    routes[CATALOGUE] = ("/file/0/0", world.site_path(2, "InstallFiles.zip"))
    routes["/download/pk/steady.exe"] = ("/file/10240/100", world.site_path(1, "pk/steady.exe"))
    return routes


def package_trickle(world):
    log = Log(world.urls)
    for name in TRICKLING:
        log.package(name, "fail", "ok", "安装完成。\r\n")
    log.package("稳包", "ok", "fail", "安装完成。\r\n")
    # A run in which every trickling package happens to try mirror 2 first
    # meets no trickle.
    first = install_until_mirror1_first(
        world, lambda: world.reset("[Dek Files]\r\n", site=package_site, routes=package_routes(world)),
        log, TRICKLING, 120)
    trickled = [name for name in TRICKLING if first[name] == 1]
    files = ["t%d.exe" % i for i in range(1, len(TRICKLING) + 1)] + ["steady.exe"]
    world.check_aftermath(["%s|/auto /s|%s" % (f, n) for f, n in zip(files, TRICKLING + ["稳包"])], files)
    for name in files:
        with open(os.path.join(world.downloads(), name), "rb") as f:
            mirror = 1 if name == "steady.exe" else 2
            check(f.read() == open(world.site_path(mirror, "pk/" + name), "rb").read(), name + " differs")
    deadline = time.time() + 10  # the server notes a drip's end at its next send
    while len(world.fault_lines("drip 100000 sent")) < len(trickled) and time.time() < deadline:
        time.sleep(0.2)
    lines = world.fault_lines("drip 100000 sent")
    check(len(lines) == len(trickled) and all(sent_bytes(l) < 100000 for l in lines),
          "trickles given up: %s, packages that met one: %s" % (lines, trickled))


SCENARIOS = [catalogue_longer_than_announced, catalogue_cut_at_announced_length, catalogue_trickle, catalogue_steady_past_deadline,
             catalogue_trickle_and_no_mirror2, package_trickle]
