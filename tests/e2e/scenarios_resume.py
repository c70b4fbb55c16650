"""End-to-end scenarios: a broken download goes on from where it stopped
(the faults suite of e2e.py). Mirror 1 is the scripted fault server, whose
ranged routes honour Range and If-Range, cut a transfer once, and count the
bytes they send; mirror 2 is nginx, which does the same for real.

Each scenario measures what was fetched again after the cut: at most the
missing share of the file and 64 KiB of slack."""
import os
import re
import time

from e2e import Failure, Log, N, Program, check, pkg, q

CATALOGUE = "/download/InstallFiles.zip"
KIB = 1024
MIB = 1 << 20
SLACK = 64 * KIB
RESUMED = "(续传)"


def big(name, file_name, **kw):
    """An unchosen tool package of a little over 1 MiB with its SHA-256."""
    return N("Tool", [("name", name), ("fileName", file_name), ("state", "1")],
             package=dict(pkg(name, file_name + ".dat", "no"), pad=MIB), digest=True, **kw)


OTHERS = ["换源%d" % i for i in range(1, 4)]


def resume_site(world):
    return N("InstallFiles", [("name", "续传目录")], [
        N("Group", [("name", "续传"), ("path", "rs")], [
            big("同源", "same.exe", mirrors=(1,)),
            big("改版", "changed.exe", mirrors=(1,)),
            big("无范围", "norange.exe", mirrors=(1,)),
            big("错范围", "badrange.exe", mirrors=(1,)),
            big("取消", "cancel.exe", mirrors=(1,)),
        ] + [big(name, "other%d.exe" % i) for i, name in enumerate(OTHERS, 1)]),
    ])


def routes(world, **files):
    """The catalogue from mirror 2's copy, and each file of rs/ as a ranged
    route: {file name: (mode, mirror whose copy it serves)}."""
    found = {CATALOGUE: ("/file/0/0", world.site_path(2, "InstallFiles.zip"))}
    for name, (mode, mirror) in files.items():
        found["/download/rs/" + name] = (mode, world.site_path(mirror, "rs/" + name))
    return found


def ranged_lines(world, name):
    """(status, bytes sent, Range, If-Range) of each ranged answer of the
    fault server for rs/name since the mark."""
    found = []
    for line in world.fault_lines("ranged /download/rs/%s " % name):
        m = re.fullmatch(r"ranged \S+ (\d+) sent (\d+) range=(.*) if-range=(.*)", line)
        if m:
            found.append((int(m.group(1)), int(m.group(2)), m.group(3), m.group(4)))
    return found


def wait_ranged(world, name, count, seconds=15):
    """The fault server logs an answer when it ends: waits for `count`."""
    deadline = time.time() + seconds
    while len(ranged_lines(world, name)) < count and time.time() < deadline:
        time.sleep(0.1)
    return ranged_lines(world, name)


def done_line(name, resumed):
    return (q("下载完成 ") + r"\d+\.\d\d" + q("KB/S" + (RESUMED if resumed else "") + "\r\n") +
            q('现在安装"%s"...\r\n' % name))


def only_on_mirror1(world, name, resumed, result="安装完成。\r\n"):
    """The lines of a package that mirror 2 does not have, in either order."""
    u1, u2 = (q("from %s\r\n" % u) for u in world.urls)
    return q('正在下载"%s"...\r\n' % name) + "(?:%s|%s%s)" % (u1, u2, u1) + done_line(name, resumed) + q(result)


def run_one(world, path, pattern, seconds=60):
    p = Program(world)
    try:
        p.tick(path)
        p.ask("press 102")
        return p.wait_log(pattern, seconds)
    finally:
        try:
            p.close()
        finally:
            p.kill()


def share(sent, size):
    return "%.1f%%" % (100.0 * sent / size)


def cut_at_80_resumes_on_the_same_mirror(world):
    world.publish(resume_site)
    size = os.path.getsize(world.site_path(1, "rs/same.exe"))
    world.reset("[Dek Files]\r\n", site=resume_site,
                routes=routes(world, **{"same.exe": ("/ranged/80/1/honest/0/0", 1)}))
    run_one(world, "续传/同源", only_on_mirror1(world, "同源", True))
    world.check_aftermath(["same.exe|/auto /s|同源"], ["same.exe"])
    check(open(os.path.join(world.downloads(), "same.exe"), "rb").read() ==
          open(world.site_path(1, "rs/same.exe"), "rb").read(), "same.exe is not the published file")
    answers = wait_ranged(world, "same.exe", 2)
    check([a[0] for a in answers] == [200, 206], "answers: %s" % answers)
    cut = size * 80 // 100
    check(answers[1][2] == "bytes=%d-" % cut, "resumed with %s after %d bytes" % (answers[1][2], cut))
    check(answers[0][1] == cut, "the cut came after %d bytes, not %d" % (answers[0][1], cut))
    again = sum(a[1] for a in answers[1:])
    check(again <= size // 5 + SLACK, "fetched after the cut: %d of %d" % (again, size))
    print("  cut at 80%%: fetched after the cut %d of %d bytes (%s)" % (again, size, share(again, size)))


def nginx_answers(world, name):
    """(status, body bytes) of each request for rs/name that nginx (mirror 2) logged since the mark."""
    found = []
    for line in world._since_mark(world.args.ports[1]):
        m = re.search(r'"GET /download/rs/%s HTTP/[\d.]+" (\d+) (\d+)' % re.escape(name), line)
        if m:
            found.append((int(m.group(1)), int(m.group(2))))
    return found


def cut_then_other_mirror(world):
    # Mirror 1 cuts at 80% and then brings nothing more; nginx knows the
    # same file by the same validator and sends the rest.
    world.publish(resume_site)
    files = {"other%d.exe" % i: ("/ranged/80/1/stuck/0/0", 2) for i in range(1, len(OTHERS) + 1)}
    u1, u2 = (q("from %s\r\n" % u) for u in world.urls)
    log = Log(world.urls)
    for name in OTHERS:
        log.parts.append(q('正在下载"%s"...\r\n' % name) + "(?:%s%s%s|%s%s)" % (
            u1, u2, done_line(name, True), u2, done_line(name, False)) + q("安装完成。\r\n"))

    # The program draws each package's first mirror: three packages, up to
    # three runs, until one of them met the cut on mirror 1.
    first = None
    for _ in range(3):
        world.reset("[Dek Files]\r\n", site=resume_site, routes=routes(world, **files))
        p = Program(world)
        try:
            for name in OTHERS:
                p.tick("续传/" + name)
            text = p.install(log, 90)
        finally:
            p.kill()
        first = {n: u for n, u in re.findall('正在下载"([^"]*)"...\r\nfrom ([^\r]*)\r\n', text)}
        if any(first[n] == world.urls[0] for n in OTHERS):
            break
    else:
        raise Failure("no package asked mirror 1 first in three runs")
    for i, name in enumerate(OTHERS, 1):
        file_name = "other%d.exe" % i
        size = os.path.getsize(world.site_path(2, "rs/" + file_name))
        check(open(os.path.join(world.downloads(), file_name), "rb").read() ==
              open(world.site_path(2, "rs/" + file_name), "rb").read(), file_name + " differs")
        if first[name] != world.urls[0]:
            continue
        ranged = wait_ranged(world, file_name, 2)
        check([a[0] for a in ranged] == [200, 206] and ranged[1][1] == 0,
              "mirror 1 answered %s for %s" % (ranged, file_name))
        answers = nginx_answers(world, file_name)
        check(len(answers) == 1 and answers[0][0] == 206, "nginx answered %s for %s" % (answers, file_name))
        again = answers[0][1]
        check(again <= size // 5 + SLACK, "fetched again from mirror 2: %d of %d" % (again, size))
        print("  %s: mirror 2 sent the rest, %d of %d bytes (%s)" % (file_name, again, size, share(again, size)))


def starts_over(world, file_name, name, mode):
    """A cut at 80%, then an answer that sends the whole file (200)."""
    world.publish(resume_site)
    size = os.path.getsize(world.site_path(1, "rs/" + file_name))
    world.reset("[Dek Files]\r\n", site=resume_site,
                routes=routes(world, **{file_name: ("/ranged/80/1/%s/0/0" % mode, 1)}))
    run_one(world, "续传/" + name, only_on_mirror1(world, name, False))
    world.check_aftermath(["%s|/auto /s|%s" % (file_name, name)], [file_name])
    check(open(os.path.join(world.downloads(), file_name), "rb").read() ==
          open(world.site_path(1, "rs/" + file_name), "rb").read(), file_name + " is not the published file")
    answers = wait_ranged(world, file_name, 2)
    check([(a[0], a[1]) for a in answers] == [(200, size * 80 // 100), (200, size)], "answers: %s" % answers)
    check(answers[1][2] == "bytes=%d-" % (size * 80 // 100), "no Range asked: %s" % answers)
    return answers


def file_changed_between_tries(world):
    answers = starts_over(world, "changed.exe", "改版", "changed")
    check(answers[1][3] != "-", "no If-Range sent: %s" % answers)


def server_ignores_range(world):
    starts_over(world, "norange.exe", "无范围", "norange")


def wrong_content_range_is_never_spliced(world):
    # After the cut, mirror 1 answers the Range with a 206 for the whole
    # file: the try fails, and mirror 2 has no copy.
    world.publish(resume_site)
    published = open(world.site_path(1, "rs/badrange.exe"), "rb").read()
    cut = len(published) * 80 // 100
    world.reset("[Dek Files]\r\n", site=resume_site,
                routes=routes(world, **{"badrange.exe": ("/ranged/80/1/badrange/0/0", 1)}))
    u1, u2 = (q("from %s\r\n" % u) for u in world.urls)
    run_one(world, "续传/错范围", q('正在下载"错范围"...\r\n') + "(?:%s%s|%s%s)" % (u1, u2, u2, u1) +
            q("下载失败\r\n"))
    world.check_aftermath([], ["badrange.exe.part", "badrange.exe.part.info"])
    part = open(os.path.join(world.downloads(), "badrange.exe.part"), "rb").read()
    check(part == published[:cut], "the part is not the %d bytes first received (%d bytes)" % (cut, len(part)))
    answers = wait_ranged(world, "badrange.exe", 2)
    check([a[0] for a in answers] == [200, 206], "answers: %s" % answers)


def cancel_at_half_then_restart(world):
    # About 200 KB a second; cancel once half the file is in the part.
    world.publish(resume_site)
    published = world.site_path(1, "rs/cancel.exe")
    size = os.path.getsize(published)
    world.reset("[Dek Files]\r\n", site=resume_site,
                routes=routes(world, **{"cancel.exe": ("/ranged/100/0/honest/10240/50", 1)}))
    part = os.path.join(world.downloads(), "cancel.exe.part")
    u1, u2 = (q("from %s\r\n" % u) for u in world.urls)
    p = Program(world)
    try:
        p.tick("续传/取消")
        p.ask("press 102")
        deadline = time.time() + 60
        while not (os.path.exists(part) and os.path.getsize(part) >= size // 2):
            check(time.time() < deadline, "the part never reached half the file")
            time.sleep(0.02)
        p.ask("press 107")
        p.wait_log(q('正在下载"取消"...\r\n') + "(?:%s%s%s%s|%s%s%s)" % (
            u1, q("下载中止。\r\n"), u2, q("下载中止。\r\n"), u2, u1, q("下载中止。\r\n")), 30)
        p.close()
    finally:
        p.kill()
    kept = os.path.getsize(part)
    check(size // 2 <= kept < size, "kept %d of %d bytes" % (kept, size))
    check(sorted(world.downloaded()) == ["cancel.exe.part", "cancel.exe.part.info"],
          "downloads after the cancel: %s" % world.downloaded())
    check(world.runs() == [], "an installer ran: %s" % world.runs())
    world.mark()
    run_one(world, "续传/取消", only_on_mirror1(world, "取消", True))
    check(open(os.path.join(world.downloads(), "cancel.exe"), "rb").read() == open(published, "rb").read(),
          "cancel.exe is not the published file")
    check(world.downloaded() == ["cancel.exe"], "downloads: %s" % world.downloaded())
    answers = wait_ranged(world, "cancel.exe", 1)
    check(len(answers) == 1 and answers[0][0] == 206, "second run's answers: %s" % answers)
    again = answers[0][1]
    check(again == size - kept and again <= size // 2 + SLACK, "second run fetched %d of %d" % (again, size))
    print("  cancel at %s: the next run fetched %d of %d bytes (%s)" % (
        share(kept, size), again, size, share(again, size)))


SCENARIOS = [cut_at_80_resumes_on_the_same_mirror, cut_then_other_mirror, file_changed_between_tries,
             server_ignores_range, wrong_content_range_is_never_spliced, cancel_at_half_then_restart]
