"""End-to-end scenarios: catalogues that try to reach outside the download
folder, with file names that climb out or name devices, and a catalogue
archive whose member would fill the disk (the plain suite of e2e.py).

Every hostile package is a real installer that logs its start, and the
mirrors carry it wherever a program that used the name as it stands would
look for it, so that such a program would fetch, write and start it."""
import os
import threading
import time

from e2e import Log, N, Program, check, pkg
import site_builder as sb

MIB = 1 << 20
# The bound on the catalogue member, as the program has it.
CATALOGUE_MAX = 64 * MIB


def tool(name, file_name, **kw):
    """A chosen non-Dek package; its installer writes C:\\QuotaLib\\<name>.dat."""
    return N("Tool", [("name", name), ("fileName", file_name), ("state", "2")],
             package=pkg(name, name + ".dat", "no"), **kw)


def fine_group():
    return N("Group", [("name", "正常"), ("path", "tools")], [tool("正常工具", "fine.exe")])


def climbing_site(world):
    return N("InstallFiles", [("name", "越界目录")], [
        N("Group", [("name", "越界"), ("path", "evil/a/b")], [
            # A server may read "\" as "/" and fold "..": the file waits there too.
            tool("上两级", "..\\..\\climb1.exe", also_at=("evil/climb1.exe",)),
            tool("上一级", "../climb2.exe"),
            tool("子目录", "sub\\climb3.exe", also_at=("evil/a/b/sub/climb3.exe",)),
            tool("斜杠子目录", "sub/climb4.exe"),
            tool("盘符", "C:climb5.exe"),
            tool("绝对路径", "C:\\climb6.exe", also_at=("evil/a/b/C:/climb6.exe",)),
            tool("网络路径", "\\\\127.0.0.1\\share\\climb7.exe"),
            tool("问号", "climb8.exe?.exe", also_at=("evil/a/b/climb8.exe",)),
        ]),
        fine_group(),
    ])


CLIMBERS = ["上两级", "上一级", "子目录", "斜杠子目录", "盘符", "绝对路径", "网络路径", "问号"]


def reserved_site(world):
    return N("InstallFiles", [("name", "保留名目录")], [
        N("Group", [("name", "保留名"), ("path", "reserved")], [
            tool("空设备", "nul.exe"),
            tool("控制台", "CON"),
            tool("串口", "com1.exe"),
            tool("打印口", "lpt9.txt"),
            tool("大写设备", "Aux.Exe"),
            # Windows drops a trailing dot or space: "dotted.exe." is "dotted.exe".
            tool("尾点", "dotted.exe.", also_at=("reserved/dotted.exe",)),
            tool("尾空格", "spaced.exe ", also_at=("reserved/spaced.exe",)),
            tool("点", "."),
            tool("点点", ".."),
            tool("空名", ""),
        ]),
        fine_group(),
    ])


RESERVED = ["空设备", "控制台", "串口", "打印口", "大写设备", "尾点", "尾空格", "点", "点点", "空名"]
# Names a refused package could leave on the disk, in lower case and without
# the trailing dots and spaces that Windows drops.
RESERVED_FILES = {"nul.exe", "con", "com1.exe", "lpt9.txt", "aux.exe", "dotted.exe", "spaced.exe"}


def refused_run(world, site, refused, stray):
    """Chooses every package of `site` and runs: each of `refused` gets its
    two "from" lines and "下载失败" with nothing asked of a server, and the
    ordinary package after them installs. `stray(name)` tells a file name
    that a refused package could have left anywhere on drive C."""
    world.reset("[Dek Files]\r\n", site=site)
    os.makedirs(os.path.join(world.downloads(), "sub"))  # "sub\x.exe" would find its folder
    p = Program(world)
    try:
        log = Log(world.urls)
        for name in refused:
            log.fetch(name, "none")
        log.fetch("正常工具", "both", "安装完成。\r\n")
        p.install(log)
    finally:
        p.kill()
    asked = set(world.requests(1) + world.requests(2))
    check(asked <= {"/download/InstallFiles.zip", "/download/tools/fine.exe"},
          "requests beyond the catalogue and the ordinary package: %s" % sorted(asked))
    after = world.files()
    strays = [path for path in after if world.before.get(path) != after[path] and stray(os.path.basename(path))]
    check(not strays, "files of refused packages (WinINet's cache included): %s" % strays)
    check(os.listdir(os.path.join(world.downloads(), "sub")) == [], "something landed in Downloads\\sub")
    world.check_aftermath(["fine.exe|/auto /s|正常工具"], ["fine.exe", "sub"])


def climbing_names(world):
    refused_run(world, climbing_site, CLIMBERS, lambda name: "climb" in name.lower())


def reserved_names(world):
    refused_run(world, reserved_site, RESERVED,
                lambda name: name.lower().rstrip(". ") in RESERVED_FILES)


def bomb_site(world):
    root = N("InstallFiles", [("name", "炸弹目录")], [
        N("Group", [("name", "炸弹"), ("path", "bomb")], [tool("炸弹定额", "bomb.exe")]),
    ])
    # A well-formed catalogue of one package, made long by blanks inside its
    # root: parsed whole, it would show that package.
    xml = sb.catalogue_xml(root)
    xml = xml.replace(b"</InstallFiles>", b" " * (80 * MIB) + b"</InstallFiles>")
    archive = sb.zip_archive([(sb.CATALOGUE_MEMBER, xml)])
    return root, {"archives": {1: archive, 2: archive}}


class SizeWatch:
    """Watches the user folders (the download folder among them) and Wine's
    temporary folder while the program runs, and keeps the largest size seen
    of a file that is new or changed since world.reset(): a file that is
    written and deleted again within the fetch is still caught."""

    def __init__(self, world):
        self.world = world
        self.folders = [os.path.join(world.drive_c, *p.split("/")) for p in ("windows/temp", "users")]
        self.largest, self.where = 0, None
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def run(self):
        while not self.stop.is_set():
            for folder in self.folders:
                for path, stat in walk_files(folder):
                    known = self.world.before.get(os.path.relpath(path, self.world.drive_c))
                    if stat != known and stat[0] > self.largest:
                        self.largest, self.where = stat[0], path
            time.sleep(0.02)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()


def walk_files(folder):
    """(path, (size, mtime_ns)) of every file below `folder`, as World.files() has them."""
    for parent, _, names in os.walk(folder):
        for name in names:
            try:
                st = os.lstat(os.path.join(parent, name))
            except OSError:
                continue
            yield os.path.join(parent, name), (st.st_size, st.st_mtime_ns)


def zip_bomb(world):
    world.reset("[Dek Files]\r\n", site=bomb_site)
    archive_size = os.path.getsize(world.site_path(1, "InstallFiles.zip"))
    check(archive_size < MIB, "the test archive is %d bytes; it should deflate to well under 1 MiB" % archive_size)
    with SizeWatch(world) as watch:
        p = Program(world)  # back once the window shows: the fetch is over
    try:
        items = p.text("items")
        check(items == "", "the tree shows the oversized catalogue:\n" + items)
        # A member too big to read whole is a damaged catalogue: a line for
        # each mirror, both of which serve the bomb.
        check(p.log() == "配置文件已损坏。\r\n" * 2, "log %r" % p.log())
        p.close()
    finally:
        p.kill()
    check(watch.largest <= CATALOGUE_MAX, "a file of %d bytes was written: %s" % (watch.largest, watch.where))
    written = [(stat[0], path) for path, stat in world.files().items() if world.before.get(path) != stat]
    check(max(written, default=(0, None))[0] <= CATALOGUE_MAX, "drive C has new files of over 64 MiB: %s"
          % [w for w in written if w[0] > CATALOGUE_MAX])
    world.check_aftermath([], [])
    check(world.requests(1) == ["/download/InstallFiles.zip"] and world.requests(2) == ["/download/InstallFiles.zip"],
          "catalogue requests: mirror 1 %s, mirror 2 %s" % (world.requests(1), world.requests(2)))


SCENARIOS = [climbing_names, reserved_names, zip_bomb]
