"""End-to-end scenarios (plain suite): the support log InstallZelm.log in the
download folder, and its move to InstallZelm.log.1 past 1 MiB."""
import datetime
import os
import re

from e2e import DONE, ROOT, Log, N, Program, check, pkg, tool
import site_builder as sb

BOM = b"\xef\xbb\xbf"
LINE = re.compile(r"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z) ([a-z0-9]+)(?: (.*))?\Z")


def version():
    """The project's version, as CMakeLists.txt gives it."""
    text = open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8").read()
    return re.search(r"project\(InstallZelm VERSION (\S+)", text).group(1)


def support_site(world):
    return N("InstallFiles", [("name", "支持目录")], [
        N("Group", [("name", "支持"), ("path", "support")], [
            tool("支持定额", "sd.exe", tag="Dek", package=pkg("支持定额", "sd.dek"), digest=True),
            tool("支持工具", "st.exe", package=pkg("支持工具", "st.dat", "no", exit_code=1603)),
            # Only mirror 2 has it: an attempt on mirror 1 is a 404.
            tool("二号工具", "m2.exe", target="m2.dat", mirrors=(2,)),
        ]),
    ])


def read_log(path):
    """[(stamp, kind, text)] of a support log; checks its BOM, UTF-8 and line form."""
    data = open(path, "rb").read()
    check(data.startswith(BOM), "%s does not start with a byte-order mark" % path)
    check(data.count(BOM) == 1, "%s has %d byte-order marks" % (path, data.count(BOM)))
    try:
        text = data[len(BOM):].decode("utf-8")
    except UnicodeDecodeError as e:
        raise AssertionError("%s is no UTF-8: %s" % (path, e))
    check(text.endswith("\r\n"), "the last line of %s is unfinished" % path)
    entries = []
    for line in text[:-2].split("\r\n"):
        m = LINE.match(line)
        check(m, "line without a stamp and kind: %r" % line)
        entries.append((m.group(1), m.group(2), m.group(3) or ""))
    return entries


def of_kind(entries, kind):
    return [text for _, k, text in entries if k == kind]


def stamp(when):
    return when.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (when.microsecond // 1000)


def support_log_after_a_run(world):
    old = BOM + "2026-01-01T00:00:00.000Z window 旧的一行\r\n".encode("utf-8") * 30000  # > 1 MiB
    check(len(old) > 1 << 20, "the old log must be past 1 MiB")
    world.reset(site=support_site,
                files={"InstallZelm.log": old, "InstallZelm.log.1": b"the generation before"})
    started = datetime.datetime.utcnow() - datetime.timedelta(seconds=2)
    with Program(world) as p:
        log = Log(world.urls).package("支持定额", "ok", "ok", DONE)
        log.package("支持工具", "ok", "ok", "安装失败，返回值 1603。\r\n").package("二号工具", "fail", "ok", DONE)
        window = p.install(log.text("以下软件安装失败:\r\n    支持工具\r\n"))
    ended = datetime.datetime.utcnow() + datetime.timedelta(seconds=2)
    folder = world.downloads()
    world.check_file("InstallZelm.log.1", old)  # the old log, moved aside unchanged
    entries = read_log(os.path.join(folder, "InstallZelm.log"))
    stamps = [s for s, _, _ in entries]
    check(stamps == sorted(stamps), "stamps out of order")
    check(stamp(started) <= stamps[0] and stamps[-1] <= stamp(ended),
          "stamps %s..%s are not the run's UTC time %s..%s" % (stamps[0], stamps[-1], stamp(started), stamp(ended)))

    start = of_kind(entries, "start")
    check(len(start) == 1 and start[0].startswith("InstallZelm %s, download folder C:\\" % version())
          and start[0].endswith("\\Downloads"), "start line: %s" % start)
    check(entries[0][1] == "start", "the first line is not the start line")
    shown = "".join(t + "\r\n" for t in of_kind(entries, "window"))
    check(shown == window, "window lines differ.\n--- log:\n%s\n--- window:\n%s" % (shown, window))

    http = of_kind(entries, "http")
    site_zip = os.path.getsize(world.site_path(1, "InstallFiles.zip"))
    want_zip = "GET %sInstallFiles.zip status 200 length %d" % (world.urls[0], site_zip)
    check(http and http[0].startswith(want_zip + " "), "catalogue request: %s" % http[:1])
    asked = re.findall(r"from ([^\r]*)\r\n", window)
    check(len(http) == 1 + len(asked), "requests: %s, mirrors tried: %s" % (http, asked))
    for (url, name), line in zip(zip(asked, ["sd.exe", "st.exe"] + ["m2.exe"] * 2), http[1:]):
        missing = name == "m2.exe" and url == world.urls[0]
        size = 0 if missing else os.path.getsize(world.site_path(2, "support/" + name))
        want = "GET %ssupport/%s status %d length " % (url, name, 404 if missing else 200)
        check(line.startswith(want) and (missing or line.startswith(want + str(size) + " ")),
              "request of %s: %s" % (name, line))

    transfers = of_kind(entries, "transfer")
    for name in ("InstallFiles.zip", "sd.exe", "st.exe", "m2.exe"):
        size = os.path.getsize(world.site_path(2, name if name.endswith(".zip") else "support/" + name))
        check(any(re.fullmatch(r".*\\%s\.part received %d of %d bytes in \d+ ms: complete" % (re.escape(name), size, size),
                               t) for t in transfers), "no complete transfer of %s: %s" % (name, transfers))
    digest = sb.sha256_hex(open(world.site_path(2, "support/sd.exe"), "rb").read())
    hashes = of_kind(entries, "sha256")
    check(len(hashes) == 1 and hashes[0].endswith("\\sd.exe.part computed %s expected %s: match" % (digest, digest)),
          "hash lines: %s" % hashes)
    check(of_kind(entries, "signature") == ["%sInstallFiles.zip: not checked (no catalogue key in this build)"
                                            % world.urls[0]], "signature: %s" % of_kind(entries, "signature"))
    installs = of_kind(entries, "install")
    codes = [re.fullmatch(r'"C:\\.*\\Downloads\\(\S+)" /auto /s: exit code (\d+) after \d+ ms', i) for i in installs]
    check(all(codes) and [(m.group(1), int(m.group(2))) for m in codes]
          == [("sd.exe", 0), ("st.exe", 1603), ("m2.exe", 0)], "installers: %s" % installs)
    check(not any("PRIVATE KEY" in t or "BEGIN PUBLIC" in t for _, _, t in entries), "key material in the log")

    # A start without a run: its lines follow on in the same log (one mark),
    # which stays below 1 MiB and is not moved aside.
    left = world.downloaded()
    with Program(world) as p:
        p.close()
    entries = read_log(os.path.join(folder, "InstallZelm.log"))
    check([k for _, k, _ in entries].count("start") == 2, "two runs, start lines: %s" % entries)
    world.check_file("InstallZelm.log.1", old)  # not moved aside below 1 MiB
    check(world.downloaded() == left, "downloads: %s, before %s" % (world.downloaded(), left))


SCENARIOS = [support_log_after_a_run]
