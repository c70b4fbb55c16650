"""End-to-end scenarios: signed catalogues. The signed suite of e2e.py runs
the build that carries two catalogue keys (--signed-program, made fresh by
the build; --signing-key and --second-signing-key are their private halves);
the plain suite checks that a build without a key takes an archive whatever
its signature member holds.

The program keeps the highest serial it accepted in the Wine prefix's
registry. Every catalogue here is signed with the script's default serial,
the time of signing, unless a scenario asks for an older one: so no scenario
leaves a serial behind that a later one (or a later run) would fall below."""
import os
import subprocess
import time

from e2e import Failure, Log, N, Program, check, first_window, pkg
import site_builder as sb

BAD_SIGNATURE = "配置文件签名无效。\r\n"
EXPIRED = "配置文件已过期，请检查本机的日期和时间。\r\n"
OLDER = "配置文件版本低于已使用的版本。\r\n"


def catalogue(extra=()):
    return N("InstallFiles", [("name", "签名目录")], [
        N("Group", [("name", "签名"), ("path", "signed")], [
            N("Dek", [("name", "签名定额"), ("fileName", "signed.exe"), ("state", "2")],
              package=pkg("签名定额", "signed.dek"), digest=True),
        ] + list(extra)),
    ])


# The tree of catalogue() as the driver lists it: depth|state image|text.
ITEMS = "0|1|签名\n1|2|签名定额\n"


def tampered_catalogue():
    """catalogue() with one more package, as a mirror that was broken into
    might serve it under the genuine signature."""
    return catalogue([N("Tool", [("name", "篡改项"), ("fileName", "evil.exe"), ("state", "2")],
                        package=pkg("篡改项", "evil.dat", "no"))])


def signing_key(world):
    if not world.args.signing_key or not os.path.exists(world.args.signing_key):
        raise Failure("no catalogue signing key (--signing-key): the build found no openssl to make one")
    return world.args.signing_key


def second_key(world):
    if not world.args.second_signing_key or not os.path.exists(world.args.second_signing_key):
        raise Failure("no second signing key (--second-signing-key): the build found no openssl to make one")
    return world.args.second_signing_key


def other_key(world):
    """A key the program does not know, made fresh for this run."""
    path = os.path.join(world.args.work, "other-key.pem")
    if not os.path.exists(path):
        subprocess.run(["openssl", "genpkey", "-quiet", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048",
                        "-out", path], check=True)
    return path


def signature(world, xml):
    return sb.archive_members(sb.signed_archive(signing_key(world), xml))[sb.SIGNATURE_MEMBER]


def genuine_xml():
    return sb.catalogue_xml(catalogue())


# Archives a mirror might serve instead of the genuine signed one; none
# carries the key's signature of its own catalogue.
def tampered_archive(world):
    return sb.zip_archive([(sb.CATALOGUE_MEMBER, sb.catalogue_xml(tampered_catalogue())),
                           (sb.SIGNATURE_MEMBER, signature(world, genuine_xml()))])


def unsigned_archive(world):
    return sb.zip_archive([(sb.CATALOGUE_MEMBER, genuine_xml())])


def other_key_archive(world):
    return sb.signed_archive(other_key(world), genuine_xml())


def truncated_archive(world):
    return sb.zip_archive([(sb.CATALOGUE_MEMBER, genuine_xml()),
                           (sb.SIGNATURE_MEMBER, signature(world, genuine_xml())[:128])])


def empty_signature_archive(world):
    return sb.zip_archive([(sb.CATALOGUE_MEMBER, genuine_xml()), (sb.SIGNATURE_MEMBER, b"")])


def misplaced_signature_archive(world):
    # The right signature, but in a folder of the archive: not the member.
    return sb.zip_archive([(sb.CATALOGUE_MEMBER, genuine_xml()),
                           ("sig/" + sb.SIGNATURE_MEMBER, signature(world, genuine_xml()))])


def expired_archive(world):
    """The genuine catalogue, validly signed, that expired a day ago."""
    return sb.signed_archive(signing_key(world), genuine_xml(), ["--days", "-1"])


def older_archive(world):
    """The genuine catalogue, validly signed and fresh, numbered a day back."""
    return sb.signed_archive(signing_key(world), genuine_xml(), ["--serial", str(int(time.time()) - 86400)])


def site_with(mirror1=None, mirror2=None, catalogue_mirrors=(1, 2), root=None, key=signing_key):
    """A site function: the signed catalogue (or `root`) signed with `key`,
    with archives of the given makers on the mirrors named."""
    def site(world):
        archives = {m: make(world) for m, make in ((1, mirror1), (2, mirror2)) if make}
        return root or catalogue(), {"signing_key": key(world), "archives": archives,
                                     "catalogue_mirrors": catalogue_mirrors}
    site.__name__ = "signed_site_%s_%s" % (getattr(mirror1, "__name__", "-"), getattr(mirror2, "__name__", "-"))
    return site


def start_signed(world, site):
    if not world.args.signed_program:
        raise Failure("no signed build (--signed-program): the build found no openssl to make its key")
    world.reset("[Dek Files]\r\n", site=site)
    return Program(world, program=world.args.signed_program)


def fetch_result(world, site):
    """The log and the tree of the signed build just after its window
    showed; the download folder must be empty again by then."""
    log, items = first_window(start_signed(world, site))
    world.check_aftermath([], [])
    return log, items


SIGNED = site_with()

# Mirror 1 serves each of these, mirror 2 the genuine archive.
INVALID = [tampered_archive, unsigned_archive, other_key_archive, truncated_archive, empty_signature_archive,
           misplaced_signature_archive]


def signed_mirror1_invalid(world):
    for make in INVALID:
        log, items = fetch_result(world, site_with(mirror1=make))
        check(log == BAD_SIGNATURE, "%s on mirror 1: log %r" % (make.__name__, log))
        check(items == ITEMS, "%s on mirror 1: the tree is not mirror 2's catalogue:\n%s" % (make.__name__, items))
        check(world.requests(2) == ["/download/InstallFiles.zip"], "%s: mirror 2 not asked" % make.__name__)


def signed_both_invalid(world):
    cases = [
        # Both mirrors answer, neither with a valid catalogue: one line each.
        (site_with(mirror1=unsigned_archive, mirror2=other_key_archive), BAD_SIGNATURE * 2),
        # Mirror 1 has no archive: its download failed, which the signature
        # line of mirror 2 does not turn into the network line.
        (site_with(mirror2=tampered_archive, catalogue_mirrors=(2,)), BAD_SIGNATURE),
    ]
    for site, want in cases:
        log, items = fetch_result(world, site)
        check(log == want, "%s: log %r, expected %r" % (site.__name__, log, want))
        check(items == "", "%s: the tree shows a catalogue:\n%s" % (site.__name__, items))


def signed_valid(world):
    p = start_signed(world, SIGNED)
    try:
        check(p.log() == "", "log not empty: %r" % p.log())
        check(p.text("items") == ITEMS, "tree: %r" % p.text("items"))
        log = Log(world.urls)
        log.fetch("签名定额", "both", "安装完成。\r\n")
        p.install(log)
    finally:
        p.kill()
    world.check_aftermath(["signed.exe|/auto /s|签名定额"], ["signed.exe"], {"签名定额": "C:\\QuotaLib\\signed.dek"})
    check(world.requests(1).count("/download/InstallFiles.zip") == 1 and
          "/download/InstallFiles.zip" not in world.requests(2), "the catalogue came from mirror 1 alone")


def signed_by_second_key_only(world):
    # The catalogue carries only the second key's signature, in its one
    # member: the build trusts either of its keys.
    log, items = fetch_result(world, site_with(key=second_key))
    check(log == "", "log %r" % log)
    check(items == ITEMS, "tree: %r" % items)
    check(world.requests(2) == [], "mirror 2 was asked for %s" % world.requests(2))


def signed_mirror1_expired(world):
    log, items = fetch_result(world, site_with(mirror1=expired_archive))
    check(log == EXPIRED, "log %r" % log)
    check(items == ITEMS, "the tree is not mirror 2's catalogue:\n%s" % items)
    check(world.requests(2) == ["/download/InstallFiles.zip"], "mirror 2 not asked")


def signed_both_expired(world):
    log, items = fetch_result(world, site_with(mirror1=expired_archive, mirror2=expired_archive))
    check(log == EXPIRED * 2, "log %r" % log)
    check(items == "", "the tree shows an expired catalogue:\n%s" % items)


def signed_older_serial(world):
    # A catalogue of today is accepted and its serial kept; then mirror 1
    # serves one numbered a day back, fresh and validly signed: a rollback.
    log, items = fetch_result(world, site_with())
    check(log == "" and items == ITEMS, "the current catalogue was not accepted: %r\n%s" % (log, items))
    log, items = fetch_result(world, site_with(mirror1=older_archive))
    check(log == OLDER, "log %r" % log)
    check(items == ITEMS, "the tree is not mirror 2's catalogue:\n%s" % items)
    check(world.requests(2) == ["/download/InstallFiles.zip"], "mirror 2 not asked")


def unhashed_catalogue():
    return N("InstallFiles", [("name", "签名目录")], [
        N("Group", [("name", "签名"), ("path", "signed")], [
            N("Tool", [("name", "无校验"), ("fileName", "nohash.exe"), ("state", "2")],
              package=pkg("无校验", "nohash.dat", "no")),
            N("Dek", [("name", "签名定额"), ("fileName", "signed.exe"), ("state", "2")],
              package=pkg("签名定额", "signed.dek"), digest=True),
        ]),
    ])


def signed_package_without_hash(world):
    # Both packages lie on both mirrors; the one without "sha256" is never
    # asked for, and the run goes on with the next.
    p = start_signed(world, site_with(root=unhashed_catalogue()))
    try:
        check(p.log() == "", "log not empty: %r" % p.log())
        log = Log(world.urls)
        log.text('正在下载"无校验"...\r\n文件校验失败。\r\n')
        log.fetch("签名定额", "both", "安装完成。\r\n")
        p.install(log)
    finally:
        p.kill()
    world.check_aftermath(["signed.exe|/auto /s|签名定额"], ["signed.exe"], {"签名定额": "C:\\QuotaLib\\signed.dek"})
    asked = world.requests(1) + world.requests(2)
    check(not [r for r in asked if "nohash" in r], "the package without a hash was asked for: %s" % asked)


def unsigned_build_ignores_signature(world):
    # Mirror 1's archive has a signature member that is no signature at all.
    def site(world):
        return catalogue(), {"archives": {1: sb.zip_archive([(sb.CATALOGUE_MEMBER, genuine_xml()),
                                                             (sb.SIGNATURE_MEMBER, b"no signature")])}}
    world.reset("[Dek Files]\r\n", site=site)
    log, items = first_window(Program(world))
    check(log == "", "log not empty: %r" % log)
    check(items == ITEMS, "tree: %r" % items)
    check(world.requests(2) == [], "mirror 2 was asked for %s" % world.requests(2))
    world.check_aftermath([], [])


SCENARIOS = [signed_valid, signed_mirror1_invalid, signed_both_invalid, signed_by_second_key_only,
             signed_mirror1_expired, signed_both_expired, signed_older_serial, signed_package_without_hash]
PLAIN_SCENARIOS = [unsigned_build_ignores_signature]
