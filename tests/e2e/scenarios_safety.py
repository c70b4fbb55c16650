"""End-to-end scenarios (plain and faults suites): a failed, refused or
cancelled transfer leaves the user's file of that name as it was, and only
the file that was checked is started, by its own full path."""
import os
import re
import sys

from e2e import (CATALOGUE, DONE, MIB, Log, N, Program, check, install, named_tool as tool, pkg, q, uninstall,
                 wait_until)
import site_builder as sb
import trust

NO_CATALOGUE = "未取得配置文件，没有卸载任何定额库。\r\n"
HERE = os.path.dirname(os.path.abspath(__file__))


# ---- plain suite ----------------------------------------------------------

def no_catalogue_site(world):
    return N("InstallFiles", [("name", "空")], [N("Dek", [("name", "甲"), ("fileName", "a.exe")])]), \
        {"catalogue_mirrors": ()}


def uninstall_without_catalogue(world):
    # What the fetch said of the mirrors is its own affair; the line follows it.
    uninstall(world, "[Dek Files]\r\n北京定额2008=C:\\QuotaLib\\bj2008.dek\r\n上海定额=C:\\QuotaLib\\sh.dek\r\n",
              ["bj2008.dek", "sh.dek"], "(?:[^\r\n]*\r\n)?" + q(NO_CATALOGUE), ["北京定额2008", "上海定额"],
              ["bj2008.dek", "sh.dek"], site=no_catalogue_site,
              shown=lambda p: check(p.text("items") == "", "the tree is not empty"))


def setup_site(world):
    return N("InstallFiles", [("name", "程序目录")], [
        N("Group", [("name", "程序"), ("path", "prog")], [
            # "02" means chosen to the run, so the tree must show it ticked.
            tool("安装程序", "setup", "02"),
            tool("空格二", "two.exe", " 2"),
        ]),
    ])


def extensionless_package_runs_itself(world):
    # Another program of the user put "setup.exe" beside the package "setup":
    # started without an application name, Windows would run that one.
    planted = sb.package_bytes(world.args.sample, **pkg("冒充", "planted.dat", "no"))
    world.reset(site=setup_site, files={"setup.exe": planted})
    with Program(world) as p:
        items = p.text("items")
        check(items == "0|1|程序\n1|2|安装程序\n1|2|空格二\n", "the tree does not show the run's choice:\n" + items)
        p.install(Log(world.urls).installs("安装程序", "空格二"))
    world.check_aftermath([("setup", "安装程序"), ("two.exe", "空格二")], ["setup", "setup.exe", "two.exe"])
    check(not os.path.exists(os.path.join(world.drive_c, "QuotaLib", "planted.dat")), "setup.exe was started")


def big_site(world):
    return N("InstallFiles", [("name", "大包目录")], [
        N("Group", [("name", "大包"), ("path", "big")], [
            tool("大包", "big.xlsx", package=dict(pkg("大包", "big.dat", "no"), pad=3 * MIB)),
            tool("小包", "small.exe"),
        ]),
    ])


def write_error_keeps_the_users_file(world):
    # Every file the program writes may hold 1 MiB at most, as on a disk
    # that is nearly full: the 3 MiB package cannot be written.
    users = b"the user's own workbook\r\n" * 100
    world.reset(site=big_site, files={"big.xlsx": users})
    log = Log(world.urls)
    log.fetch("大包", "none")
    install(world, log.installs("小包"), file_limit=MIB)
    small_installed_big_kept(world, users)


def small_installed_big_kept(world, users):
    """The small package installed, the user's big.xlsx as it was."""
    world.check_aftermath([("small.exe", "小包")], ["big.xlsx", "small.exe"])
    world.check_file("big.xlsx", users)


SMALL_DRIVE = "2m"  # tmpfs size: room for the catalogue and a sample package, not for big.xlsx
# The download folder of the prefix copy, as a small drive of its own.
SMALL_DRIVE_MOUNT = r"""
folder="$WINEPREFIX/$1" size=$2; shift 2
mkdir -p "$folder" || exit 97
mount -t tmpfs -o "size=$size" small-drive "$folder" || { echo "e2e: cannot mount a tmpfs on $folder" >&2; exit 97; }
"""


def no_room_on_a_small_drive(world):
    # The download folder is a 2 MiB drive (a tmpfs in a private mount
    # namespace, on a prefix copy): big.xlsx is not even begun.
    argv = [sys.executable, os.path.join(HERE, "e2e.py"), "--inside", "small_drive_run"] + world.argv()
    try:
        status = trust.run_in_namespace(argv, os.path.join(world.args.work, "small-drive"), SMALL_DRIVE_MOUNT,
                                        [os.path.relpath(world.downloads(), world.prefix), SMALL_DRIVE],
                                        world.env(), world.prefix)
    finally:
        world.published = None  # the run inside published a site of its own
    check(status == 0, "the run on the small drive failed (see above)")


def small_drive_run(world):
    users = b"the user's own workbook\r\n" * 100
    world.reset(site=big_site, files={"big.xlsx": users})
    log = Log(world.urls).text('正在下载"大包"...\r\n')
    log.parts.append("(?:%s)" % "|".join(q("from %s\r\n" % u) for u in world.urls))
    install(world, log.text("磁盘空间不足。\r\n下载失败\r\n").installs("小包"))
    small_installed_big_kept(world, users)
    requested = world.requests(1) + world.requests(2)
    check(requested.count("/download/big/big.xlsx") == 1, "big.xlsx asked for: %s" % requested)


INSIDE = {"small_drive_run": small_drive_run}

PLAIN_SCENARIOS = [uninstall_without_catalogue, extensionless_package_runs_itself,
                   write_error_keeps_the_users_file, no_room_on_a_small_drive]


# ---- faults suite ---------------------------------------------------------

READY = ["现成%d" % i for i in range(1, 7)]


def fault_site(world):
    return N("InstallFiles", [("name", "安全目录")], [
        N("Group", [("name", "安全"), ("path", "pk")], [
            # Only mirror 1 has these: it breaks off, or sends slowly.
            tool("报价", "quote.xlsx", mirrors=(1,)),
            tool("到达", "arrive.exe", mirrors=(1,), digest=True),
        ] + [tool(name, "r%d.exe" % i, digest=True) for i, name in enumerate(READY, 1)]),
    ])


def unticks(names):
    """The paths to tick to leave only `names` of fault_site chosen."""
    return ["安全/" + name for name in ["报价", "到达"] + READY if name not in names]


def broken_mirror_keeps_the_users_file(world):
    # The catalogue names a document the user keeps in the download folder;
    # mirror 1 announces 50,000 bytes, sends half and hangs up.
    users = "报价单 第一季度\r\n".encode("gbk") * 40
    world.reset(site=fault_site, files={"quote.xlsx": users},
                routes=world.routes({"pk/quote.xlsx": "/short/50000"}))
    log = Log(world.urls)
    log.package("报价", "fail", "fail")
    install(world, log, unticks(["报价"]))
    world.check_aftermath([], ["quote.xlsx"])
    world.check_file("quote.xlsx", users)
    check(world.requests(1) == [CATALOGUE, "/download/pk/quote.xlsx"], "mirror 1 asked for %s" % world.requests(1))


def overwritten_while_arriving(world):
    # Mirror 1 holds back arrive.exe's last byte; meanwhile another program
    # writes a tampered copy of the same size over the file being written.
    world.publish(fault_site)
    published = world.site_path(1, "pk/arrive.exe")
    size = os.path.getsize(published)
    tampered = os.path.join(world.args.work, "tampered.exe")
    with open(tampered, "wb") as f:
        f.write(sb.package_bytes(world.args.sample, **pkg("冒充", "冒充.dat", "no")))
    check(os.path.getsize(tampered) == size, "the tampered copy must keep the size")
    world.reset(site=fault_site,
                routes=world.routes({"pk/arrive.exe": ("/file/%d/1500" % (size - 1), 1)}))
    with Program(world) as p:
        p.tick(*unticks(["到达"]))
        log = Log(world.urls).package("到达", "ok", "fail", DONE)
        p.ask("press 102")
        # The files are watched, not the window: while the program waits for
        # the last byte it does not answer the driver.
        seen = set()

        def overwrite():
            for name in ("arrive.exe.part", "arrive.exe"):
                path = os.path.join(world.downloads(), name)
                if os.path.exists(path):
                    seen.add((name, os.path.getsize(path)))
            # The part is on disk and the last byte is still awaited:
            # whatever of it the program has written so far.
            if not any(n == "arrive.exe.part" and 0 < s < size for n, s in seen):
                return False
            for target in ("arrive.exe.part", "arrive.exe"):
                p.ask("overwrite %s %s" % tuple(world.win_path(path).encode("gbk").hex() for path in
                                                (os.path.join(world.downloads(), target), tampered)), ok=False)
            return True
        tried = wait_until(overwrite, 60, step=0.02)
        p.wait_log(log.pattern())
        p.close()
    check(tried, "the download was never seen half way: %s" % seen)
    world.check_aftermath([("arrive.exe", "到达")], ["arrive.exe"])
    world.check_file("arrive.exe", published)


def cancel_while_the_local_copy_is_checked(world):
    # Every package is current locally; mirror 1 never answers. The first to
    # ask mirror 1 waits there until cancel; its second attempt meets the
    # cancel while hashing the local copy, which must stay as it is.
    files = ["r%d.exe" % i for i in range(1, len(READY) + 1)]
    for attempt in range(3):
        world.reset(site=fault_site, seed=files,
                    routes=world.routes({"pk/" + name: "/stall" for name in files}))
        with Program(world) as p:
            p.tick(*unticks(READY))
            p.ask("press 102")
            # Until a package stalls, or every one tried mirror 2 first and the run ended.
            wait_until(lambda: world.fault_lines("GET /download/pk/") or (
                re.search("以下|安装完成。\r\n$", p.log() or "") and len(world.runs()) == len(files)), 60)
            stalled = world.fault_lines("GET /download/pk/")
            if stalled:
                p.ask("press 107")
                text = p.wait_log(".*" + q("from %s\r\n下载中止。\r\nfrom %s\r\n下载中止。\r\n" % tuple(world.urls)),
                                  30)
            p.close()
        if stalled:
            break
    check(stalled, "no package asked mirror 1 first in three runs")
    name = re.search(r"/download/pk/(\S+)", stalled[0]).group(1)
    check(len(world.runs()) == files.index(name), "runs before the cancel: %s\n%s" % (world.runs(), text))
    for f in files:
        world.check_file(f, world.site_file(f))
    check(world.downloaded() == sorted(files), "downloads: %s" % world.downloaded())


FAULT_SCENARIOS = [broken_mirror_keeps_the_users_file, overwritten_while_arriving,
                   cancel_while_the_local_copy_is_checked]
