"""End-to-end scenarios (plain suite): packages with a SHA-256. A tampered
copy keeps the size, so only the hash tells it apart; started, it logs so."""
import os
import time

from e2e import DONE, Log, N, check, install, install_until_mirror1_first, pkg
import e2e
import site_builder as sb

PUBLISHED, TAMPERED = "published", "tampered!"  # equal lengths: equal file sizes


def package(file_name, build=PUBLISHED):
    return pkg(build, file_name + ".dat", "no")


def tool(name, file_name, attrs=(), **kw):
    """A chosen non-Dek package, published with its SHA-256 unless `attrs`
    gives "sha256" itself."""
    return e2e.tool(name, file_name, attrs=attrs, package=package(file_name), digest=not attrs, **kw)


def published_bytes(world, file_name):
    return sb.package_bytes(world.args.sample, **package(file_name))


def tampered_bytes(world, file_name):
    data = sb.package_bytes(world.args.sample, **package(file_name, TAMPERED))
    check(len(data) == len(published_bytes(world, file_name)), "a tampered copy must keep the size")
    return data


# Packages that mirror 1 serves tampered: with the server order drawn per
# package, six make it likely that some try mirror 1 first in one run.
MIRROR1_TAMPERED = ["篡改%d" % i for i in range(1, 7)]


def mirror1_tampered_site(world):
    upper = sb.sha256_hex(published_bytes(world, "hu.exe")).upper()
    return N("InstallFiles", [("name", "校验目录")], [
        N("Group", [("name", "校验"), ("path", "hash")], [
            tool(name, "h%d.exe" % i, variants={1: package("h%d.exe" % i, TAMPERED)})
            for i, name in enumerate(MIRROR1_TAMPERED, 1)
        ] + [tool("大写校验", "hu.exe", [("sha256", upper)])]),
    ])


def check_published(world, file_names):
    """Exactly `file_names` were started, as the published files they are."""
    world.check_aftermath([(name, PUBLISHED) for name in file_names], file_names)
    for name in file_names:
        world.check_file(name, published_bytes(world, name))


def hash_mirror1_tampered(world):
    log = Log(world.urls).each(MIRROR1_TAMPERED, "reject", "ok", DONE).package("大写校验", "ok", "ok", DONE)
    first = install_until_mirror1_first(world, dict(site=mirror1_tampered_site), log, MIRROR1_TAMPERED)
    files = ["h%d.exe" % i for i in range(1, 7)] + ["hu.exe"]
    check_published(world, files)
    # Mirror 1 was asked exactly for the packages that tried it first.
    asked1 = sorted(path for path in world.requests(1) if path != "/download/InstallFiles.zip")
    want = sorted("/download/hash/h%d.exe" % i for i, name in enumerate(MIRROR1_TAMPERED, 1) if first[name] == 1)
    want += ["/download/hash/hu.exe"] if first["大写校验"] == 1 else []
    check(asked1 == sorted(want), "mirror 1 asked for %s, expected %s" % (asked1, sorted(want)))


# Malformed "sha256" values, made from the right one.
MALFORMED = {"63位": lambda h: h[:-1], "65位": lambda h: h + "0", "非十六进制": lambda h: "g" + h[1:],
             "空值": lambda h: "", "前导空格": lambda h: " " + h[:-1]}


def rejections_site(world):
    good = sb.sha256_hex(published_bytes(world, "hm.exe"))
    return N("InstallFiles", [("name", "校验目录")], [
        N("Group", [("name", "校验"), ("path", "hash")], [
            tool("双篡改", "hb.exe", variants={m: package("hb.exe", TAMPERED) for m in (1, 2)}),
        ] + [
            tool("畸形" + label, "hm.exe", [("sha256", make(good))]) for label, make in MALFORMED.items()
        ] + [
            tool("本地篡改", "hl.exe"),
            tool("本地完好", "hc.exe"),
        ]),
    ])


def hash_rejections(world):
    # hl.exe (tampered, written now) and hc.exe (published, earlier today UTC)
    # both pass the size and date test; only the hash tells them apart.
    world.reset(site=rejections_site,
                files={"hl.exe": tampered_bytes(world, "hl.exe"), "hc.exe": published_bytes(world, "hc.exe")})
    now = time.time()
    earlier = max(now - 120, now - now % 86400 + 1)
    current = os.path.join(world.downloads(), "hc.exe")
    os.utime(current, (earlier, earlier))
    stamp = os.stat(current).st_mtime_ns
    log = Log(world.urls).each(["双篡改"] + ["畸形" + label for label in MALFORMED], "reject", "reject")
    log.package("本地篡改", "ok", "ok", DONE)
    log.package("本地完好", "ok", "ok", DONE, speed="0.00")
    install(world, log)
    # Every rejected transfer was deleted; the tampered local copy was replaced.
    check_published(world, ["hl.exe", "hc.exe"])
    check(os.stat(current).st_mtime_ns == stamp, "the current local copy hc.exe was fetched again")


SCENARIOS = [hash_mirror1_tampered, hash_rejections]
