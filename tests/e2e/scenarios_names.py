"""End-to-end scenarios (plain suite): file names that climb out of the
download folder or name devices, and a catalogue member that would fill the
disk. Every hostile package is a real installer, served wherever a program
using the name as it stands would look for it."""
import os
import threading
import time

from e2e import MIB, Log, N, Program, check, install, named_tool as tool, walk_files
import site_builder as sb

# The bound on the catalogue member, as the program has it.
CATALOGUE_MAX = 64 * MIB


# (package name, file name, further places where the mirrors carry the file)
CLIMBERS = [
    # A server may read "\" as "/" and fold "..": the file waits there too.
    ("上两级", "..\\..\\climb1.exe", ("evil/climb1.exe",)),
    ("上一级", "../climb2.exe", ()),
    ("子目录", "sub\\climb3.exe", ("evil/a/b/sub/climb3.exe",)),
    ("斜杠子目录", "sub/climb4.exe", ()),
    ("盘符", "C:climb5.exe", ()),
    ("绝对路径", "C:\\climb6.exe", ("evil/a/b/C:/climb6.exe",)),
    ("网络路径", "\\\\127.0.0.1\\share\\climb7.exe", ()),
    ("问号", "climb8.exe?.exe", ("evil/a/b/climb8.exe",)),
]
RESERVED = [
    ("空设备", "nul.exe", ()),
    ("控制台", "CON", ()),
    ("串口", "com1.exe", ()),
    ("打印口", "lpt9.txt", ()),
    ("大写设备", "Aux.Exe", ()),
    # Windows drops a trailing dot or space: "dotted.exe." is "dotted.exe".
    ("尾点", "dotted.exe.", ("reserved/dotted.exe",)),
    ("尾空格", "spaced.exe ", ("reserved/spaced.exe",)),
    ("点", ".", ()),
    ("点点", "..", ()),
    ("空名", "", ()),
]
# Names a refused package could leave on the disk, in lower case and without
# the trailing dots and spaces that Windows drops.
RESERVED_FILES = {"nul.exe", "con", "com1.exe", "lpt9.txt", "aux.exe", "dotted.exe", "spaced.exe"}


def hostile_site(world):
    def group(name, path, table):
        return N("Group", [("name", name), ("path", path)], [tool(n, f, also_at=at) for n, f, at in table])
    return N("InstallFiles", [("name", "越界目录")], [
        group("越界", "evil/a/b", CLIMBERS), group("保留名", "reserved", RESERVED),
        N("Group", [("name", "正常"), ("path", "tools")], [tool("正常工具", "fine.exe")]),
    ])


def stray(name):
    """Whether a file name is one that a refused package could have left."""
    return "climb" in name.lower() or name.lower().rstrip(". ") in RESERVED_FILES


def hostile_names(world):
    # Every package but the ordinary one is refused: its two "from" lines
    # and "下载失败" with nothing asked of a server.
    world.reset(site=hostile_site)
    os.makedirs(os.path.join(world.downloads(), "sub"))  # "sub\x.exe" would find its folder
    log = Log(world.urls)
    for name, _, _ in CLIMBERS + RESERVED:
        log.fetch(name, "none")
    install(world, log.installs("正常工具"))
    asked = set(world.requests(1) + world.requests(2))
    check(asked <= {"/download/InstallFiles.zip", "/download/tools/fine.exe"},
          "requests beyond the catalogue and the ordinary package: %s" % sorted(asked))
    after = world.files()
    strays = [path for path in after if world.before.get(path) != after[path] and stray(os.path.basename(path))]
    check(not strays, "files of refused packages (WinINet's cache included): %s" % strays)
    check(os.listdir(os.path.join(world.downloads(), "sub")) == [], "something landed in Downloads\\sub")
    world.check_aftermath([("fine.exe", "正常工具")], ["fine.exe", "sub"])


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
    """The largest file, new or changed since reset(), seen in the user folders
    and Wine's temp while the program runs (catches files deleted again)."""

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


def zip_bomb(world):
    world.reset(site=bomb_site)
    archive_size = os.path.getsize(world.site_path(1, "InstallFiles.zip"))
    check(archive_size < MIB, "the test archive is %d bytes; it should deflate to well under 1 MiB" % archive_size)
    with SizeWatch(world) as watch:
        p = Program(world)  # back once the window shows: the fetch is over
    with p:
        items = p.text("items")
        check(items == "", "the tree shows the oversized catalogue:\n" + items)
        # A member too big to read whole is a damaged catalogue: a line for
        # each mirror, both of which serve the bomb.
        check(p.log() == "配置文件已损坏。\r\n" * 2, "log %r" % p.log())
        p.close()
    check(watch.largest <= CATALOGUE_MAX, "a file of %d bytes was written: %s" % (watch.largest, watch.where))
    written = [(stat[0], path) for path, stat in world.files().items() if world.before.get(path) != stat]
    check(max(written, default=(0, None))[0] <= CATALOGUE_MAX, "drive C has new files of over 64 MiB: %s"
          % [w for w in written if w[0] > CATALOGUE_MAX])
    world.check_aftermath([], [])
    check(world.requests(1) == ["/download/InstallFiles.zip"] and world.requests(2) == ["/download/InstallFiles.zip"],
          "catalogue requests: mirror 1 %s, mirror 2 %s" % (world.requests(1), world.requests(2)))


SCENARIOS = [hostile_names, zip_bomb]
