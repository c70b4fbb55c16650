"""End-to-end scenarios (faults suite): a broken download goes on from where
it stopped, fetching again at most the missing share and 64 KiB of slack."""
import os
import re

from e2e import (DONE, MIB, Log, N, Program, check, install, install_until_mirror1_first, pkg, q, read,
                 tool, wait_until)

SLACK = 64 * 1024


def big(name, file_name, **kw):
    """An unchosen tool package of a little over 1 MiB with its SHA-256."""
    return tool(name, file_name, "1", package=dict(pkg(name, file_name + ".dat", "no"), pad=MIB), digest=True,
                **kw)


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


def matches(lines, pattern):
    """The groups of each line that `pattern` is found in, numbers as ints."""
    return [tuple(int(g) if g.isdigit() else g for g in m.groups())
            for m in map(re.compile(pattern).search, lines) if m]


def ranged_lines(world, name):
    """(status, sent, Range, If-Range) of the fault server's answers for rs/name."""
    return matches(world.fault_lines("ranged /download/rs/%s " % name),
                   r"^ranged \S+ (\d+) sent (\d+) range=(.*) if-range=(.*)$")


def wait_ranged(world, name, count, seconds=15):
    """The fault server logs an answer when it ends: waits for `count`."""
    wait_until(lambda: len(ranged_lines(world, name)) >= count, seconds)
    return ranged_lines(world, name)


def cut_route(world, file_name, mode):
    """Resets with mirror 1 serving rs/`file_name` by `mode`; the file's path and size."""
    world.publish(resume_site)
    published = world.site_path(1, "rs/" + file_name)
    world.reset(site=resume_site, routes=world.routes({"rs/" + file_name: (mode, 1)}))
    return published, os.path.getsize(published)


def share(sent, size):
    return "%.1f%%" % (100.0 * sent / size)


def cut_at_80_on_the_only_mirror(world):
    """Mirror 1 alone has the file and cuts it at 80%: an honest server then
    sends the rest ("续传"); a changed file (If-Range) or no Range, all of it."""
    for file_name, name, after in [("same.exe", "同源", "honest"), ("changed.exe", "改版", "changed"),
                                   ("norange.exe", "无范围", "norange")]:
        resumed = after == "honest"
        published, size = cut_route(world, file_name, "/ranged/80/1/%s/0/0" % after)
        install(world, Log(world.urls).package(name, "ok", "fail", DONE, resumed=resumed), ["续传/" + name])
        world.check_aftermath([(file_name, name)], [file_name])
        world.check_file(file_name, published)
        answers = wait_ranged(world, file_name, 2)
        cut = size * 80 // 100
        again = size - cut if resumed else size
        check([a[:2] for a in answers] == [(200, cut), (206 if resumed else 200, again)],
              "%s: answers %s" % (file_name, answers))
        check(answers[1][2] == "bytes=%d-" % cut, "%s: no Range from the cut: %s" % (file_name, answers))
        check(after != "changed" or answers[1][3] != "-", "no If-Range sent: %s" % answers)
        if resumed:
            print("  cut at 80%%: fetched after the cut %d of %d bytes (%s)"
                  % (again, size, share(again, size)))


def nginx_answers(world, name):
    """(status, body bytes) of each request for rs/name that nginx (mirror 2) logged since the mark."""
    return matches(world._since_mark(world.args.ports[1]),
                   r'"GET /download/rs/%s HTTP/[\d.]+" (\d+) (\d+)' % re.escape(name))


def cut_then_other_mirror(world):
    # Mirror 1 cuts at 80% and then brings nothing more; nginx knows the
    # same file by the same validator and sends the rest.
    world.publish(resume_site)
    files = {"rs/other%d.exe" % i: ("/ranged/80/1/stuck/0/0", 2) for i in range(1, len(OTHERS) + 1)}
    u1, u2 = (q("from %s\r\n" % u) for u in world.urls)
    log = Log(world.urls)
    for name in OTHERS:
        log.parts.append(q('正在下载"%s"...\r\n' % name) + "(?:%s%s%s|%s%s)" % (
            u1, u2, Log.done(name, True), u2, Log.done(name, False)) + q(DONE))

    # Three packages: a run in which none tries mirror 1 first comes one
    # time in eight, so up to five runs.
    first = install_until_mirror1_first(world, dict(site=resume_site, routes=world.routes(files)), log, OTHERS,
                                        90, runs=5, ticks=["续传/" + name for name in OTHERS])
    for i, name in enumerate(OTHERS, 1):
        file_name = "other%d.exe" % i
        size = os.path.getsize(world.site_path(2, "rs/" + file_name))
        world.check_file(file_name, world.site_path(2, "rs/" + file_name))
        if first[name] != 1:
            continue
        ranged = wait_ranged(world, file_name, 2)
        check([a[0] for a in ranged] == [200, 206] and ranged[1][1] == 0,
              "mirror 1 answered %s for %s" % (ranged, file_name))
        answers = nginx_answers(world, file_name)
        check(len(answers) == 1 and answers[0][0] == 206, "nginx answered %s for %s" % (answers, file_name))
        again = answers[0][1]
        check(again <= size // 5 + SLACK, "fetched again from mirror 2: %d of %d" % (again, size))
        print("  %s: mirror 2 sent the rest, %d of %d bytes (%s)" % (file_name, again, size, share(again, size)))


def wrong_content_range_is_never_spliced(world):
    # After the cut, mirror 1 answers the Range with a 206 for the whole
    # file: the try fails, and mirror 2 has no copy.
    published, size = cut_route(world, "badrange.exe", "/ranged/80/1/badrange/0/0")
    cut = size * 80 // 100
    install(world, Log(world.urls).package("错范围", "fail", "fail"), ["续传/错范围"])
    world.check_aftermath([], ["badrange.exe.part", "badrange.exe.part.info"])
    part = read(os.path.join(world.downloads(), "badrange.exe.part"))
    check(part == read(published)[:cut], "the part is not the %d bytes first received (%d)" % (cut, len(part)))
    answers = wait_ranged(world, "badrange.exe", 2)
    check([a[0] for a in answers] == [200, 206], "answers: %s" % answers)


def cancel_at_half_then_restart(world):
    # About 200 KB a second; cancel once half the file is in the part.
    published, size = cut_route(world, "cancel.exe", "/ranged/100/0/honest/10240/50")
    part = os.path.join(world.downloads(), "cancel.exe.part")
    u1, u2 = (q("from %s\r\n" % u) for u in world.urls)
    with Program(world) as p:
        p.tick("续传/取消")
        p.ask("press 102")
        wait_until(lambda: os.path.exists(part) and os.path.getsize(part) >= size // 2, 60,
                   "the part never reached half the file", 0.02)
        p.ask("press 107")
        p.wait_log(q('正在下载"取消"...\r\n') + "(?:%s%s%s%s|%s%s%s)" % (
            u1, q("下载中止。\r\n"), u2, q("下载中止。\r\n"), u2, u1, q("下载中止。\r\n")), 30)
        p.close()
    kept = os.path.getsize(part)
    check(size // 2 <= kept < size, "kept %d of %d bytes" % (kept, size))
    check(sorted(world.downloaded()) == ["cancel.exe.part", "cancel.exe.part.info"],
          "downloads after the cancel: %s" % world.downloaded())
    check(world.runs() == [], "an installer ran: %s" % world.runs())
    world.mark()
    install(world, Log(world.urls).package("取消", "ok", "fail", DONE, resumed=True), ["续传/取消"])
    world.check_file("cancel.exe", published)
    check(world.downloaded() == ["cancel.exe"], "downloads: %s" % world.downloaded())
    answers = wait_ranged(world, "cancel.exe", 1)
    check(len(answers) == 1 and answers[0][0] == 206, "second run's answers: %s" % answers)
    again = answers[0][1]
    check(again == size - kept and again <= size // 2 + SLACK, "second run fetched %d of %d" % (again, size))
    print("  cancel at %s: the next run fetched %d of %d bytes (%s)" % (
        share(kept, size), again, size, share(again, size)))


SCENARIOS = [cut_at_80_on_the_only_mirror, cut_then_other_mirror, wrong_content_range_is_never_spliced,
             cancel_at_half_then_restart]
