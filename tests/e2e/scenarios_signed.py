"""End-to-end scenarios: signed catalogues (signed suite: a build with two
keys) and a build without a key (plain suite). The program keeps the highest
serial it accepted; catalogues use the default serial, the time of signing,
so no scenario leaves one behind that a later one would fall below."""
import os
import subprocess
import time

from e2e import Failure, Log, N, Program, check, first_window, pkg, tool
import site_builder as sb

BAD_SIGNATURE = "配置文件签名无效。\r\n"
EXPIRED = "配置文件已过期，请检查本机的日期和时间。\r\n"
OLDER = "配置文件版本低于已使用的版本。\r\n"


def catalogue(before=(), after=()):
    return N("InstallFiles", [("name", "签名目录")], [
        N("Group", [("name", "签名"), ("path", "signed")], list(before) + [
            tool("签名定额", "signed.exe", tag="Dek", package=pkg("签名定额", "signed.dek"), digest=True),
        ] + list(after)),
    ])


# The tree of catalogue() as the driver lists it: depth|state image|text.
ITEMS = "0|1|签名\n1|2|签名定额\n"


def tampered_catalogue():
    """catalogue() with one more package, as a mirror that was broken into
    might serve it under the genuine signature."""
    return catalogue(after=[tool("篡改项", "evil.exe", target="evil.dat")])


def given_key(option):
    """The key file that the option `option` names, as a function of the world."""
    def key(world):
        path = getattr(world.args, option)
        if not path or not os.path.exists(path):
            raise Failure("no catalogue signing key (--%s): the build found no openssl to make one"
                          % option.replace("_", "-"))
        return path
    return key


signing_key, second_key = given_key("signing_key"), given_key("second_signing_key")


def other_key(world):
    """A key the program does not know, made fresh for this run."""
    path = os.path.join(world.args.work, "other-key.pem")
    if not os.path.exists(path):
        subprocess.run(["openssl", "genpkey", "-quiet", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048",
                        "-out", path], check=True)
    return path


def genuine_xml():
    return sb.catalogue_xml(catalogue())


def genuine_signature(world):
    """The signing key's signature of the genuine catalogue."""
    return sb.archive_members(sb.signed_archive(signing_key(world), genuine_xml()))[sb.SIGNATURE_MEMBER]


def archive(name, member=None, sig=None, xml=genuine_xml):
    """A maker, named `name`, of an archive of xml() and, with `member`, that
    member holding sig(world)."""
    def make(world):
        return sb.zip_archive([(sb.CATALOGUE_MEMBER, xml())] + ([(member, sig(world))] if member else []))
    make.__name__ = name
    return make


# Archives a mirror might serve instead of the genuine signed one; none
# carries the key's signature of its own catalogue.
tampered_archive = archive("tampered_archive", sb.SIGNATURE_MEMBER, genuine_signature,
                           lambda: sb.catalogue_xml(tampered_catalogue()))
unsigned_archive = archive("unsigned_archive")
truncated_archive = archive("truncated_archive", sb.SIGNATURE_MEMBER, lambda w: genuine_signature(w)[:128])
empty_signature_archive = archive("empty_signature_archive", sb.SIGNATURE_MEMBER, lambda w: b"")
# The right signature, but in a folder of the archive: not the member.
misplaced_signature_archive = archive("misplaced_signature_archive", "sig/" + sb.SIGNATURE_MEMBER,
                                      genuine_signature)


def other_key_archive(world):
    return sb.signed_archive(other_key(world), genuine_xml())


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
    world.reset(site=site)
    return Program(world, program=world.args.signed_program)


def fetch_result(world, site):
    """The log and the tree of the signed build just after its window
    showed; the download folder must be empty again by then."""
    log, items = first_window(start_signed(world, site))
    world.check_aftermath([], [])
    return log, items


SIGNED = site_with()


def check_signed_installed(world):
    world.check_aftermath([("signed.exe", "签名定额")], ["signed.exe"],
                          {"签名定额": "C:\\QuotaLib\\signed.dek"})

# Mirror 1 serves each of these, mirror 2 the genuine archive.
INVALID = [tampered_archive, unsigned_archive, other_key_archive, truncated_archive, empty_signature_archive,
           misplaced_signature_archive]


def signed_mirror1_invalid(world):
    cases = [(make, BAD_SIGNATURE) for make in INVALID] + [(expired_archive, EXPIRED)]
    for make, want in cases:
        log, items = fetch_result(world, site_with(mirror1=make))
        check(log == want, "%s on mirror 1: log %r" % (make.__name__, log))
        check(items == ITEMS, "%s on mirror 1: the tree is not mirror 2's catalogue:\n%s" % (make.__name__, items))
        check(world.requests(2) == ["/download/InstallFiles.zip"], "%s: mirror 2 not asked" % make.__name__)


def signed_both_invalid(world):
    cases = [
        # Both mirrors answer, neither with a valid catalogue: one line each.
        (site_with(mirror1=unsigned_archive, mirror2=other_key_archive), BAD_SIGNATURE * 2),
        (site_with(mirror1=expired_archive, mirror2=expired_archive), EXPIRED * 2),
        # Mirror 1 has no archive: its download failed, which the signature
        # line of mirror 2 does not turn into the network line.
        (site_with(mirror2=tampered_archive, catalogue_mirrors=(2,)), BAD_SIGNATURE),
    ]
    for site, want in cases:
        log, items = fetch_result(world, site)
        check(log == want, "%s: log %r, expected %r" % (site.__name__, log, want))
        check(items == "", "%s: the tree shows a catalogue:\n%s" % (site.__name__, items))


def signed_valid(world):
    with start_signed(world, SIGNED) as p:
        check(p.log() == "", "log not empty: %r" % p.log())
        check(p.text("items") == ITEMS, "tree: %r" % p.text("items"))
        p.install(Log(world.urls).installs("签名定额"))
    check_signed_installed(world)
    check(world.requests(1).count("/download/InstallFiles.zip") == 1 and
          "/download/InstallFiles.zip" not in world.requests(2), "the catalogue came from mirror 1 alone")


def signed_by_second_key_then_older_serial(world):
    # The catalogue carries only the second key's signature, in its one
    # member: the build trusts either of its keys, and keeps its serial.
    log, items = fetch_result(world, site_with(key=second_key))
    check(log == "", "log %r" % log)
    check(items == ITEMS, "tree: %r" % items)
    check(world.requests(2) == [], "mirror 2 was asked for %s" % world.requests(2))
    # Then mirror 1 serves one numbered a day back, fresh and validly
    # signed with the first key: a rollback.
    log, items = fetch_result(world, site_with(mirror1=older_archive))
    check(log == OLDER, "log %r" % log)
    check(items == ITEMS, "the tree is not mirror 2's catalogue:\n%s" % items)
    check(world.requests(2) == ["/download/InstallFiles.zip"], "mirror 2 not asked")


def signed_package_without_hash(world):
    # Both packages lie on both mirrors; the one without "sha256" is never
    # asked for, and the run goes on with the next.
    unhashed = catalogue([tool("无校验", "nohash.exe", target="nohash.dat")])
    with start_signed(world, site_with(root=unhashed)) as p:
        check(p.log() == "", "log not empty: %r" % p.log())
        p.install(Log(world.urls).text('正在下载"无校验"...\r\n文件校验失败。\r\n').installs("签名定额"))
    check_signed_installed(world)
    asked = world.requests(1) + world.requests(2)
    check(not [r for r in asked if "nohash" in r], "the package without a hash was asked for: %s" % asked)


def unsigned_build_ignores_signature(world):
    # Mirror 1's archive has a signature member that is no signature at all.
    junk = archive("junk", sb.SIGNATURE_MEMBER, lambda w: b"no signature")
    world.reset(site=lambda world: (catalogue(), {"archives": {1: junk(world)}}))
    log, items = first_window(Program(world))
    check(log == "", "log not empty: %r" % log)
    check(items == ITEMS, "tree: %r" % items)
    check(world.requests(2) == [], "mirror 2 was asked for %s" % world.requests(2))
    world.check_aftermath([], [])


SCENARIOS = [signed_valid, signed_mirror1_invalid, signed_both_invalid, signed_by_second_key_then_older_serial,
             signed_package_without_hash]
PLAIN_SCENARIOS = [unsigned_build_ignores_signature]
