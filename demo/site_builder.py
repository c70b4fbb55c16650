"""Builds a download site for InstallZelm: sample packages, the catalogue
InstallFiles.xml zipped into InstallFiles.zip, and one folder per mirror.

A package is the sample installer (samples/SamplePackage.exe) with its
settings appended (see samples/sample_package.cpp), so every package file is
a real program that the installer run can start with "/auto /s".

Layout written under OUT:
  OUT/mirror1/download/InstallFiles.zip, OUT/mirror1/download/<path>/<file>
  OUT/mirror2/download/...   (the same, less the files left off that mirror)

A site can also publish each package's SHA-256 in the catalogue (Node's
`digest`), serve another file on one mirror than the catalogue publishes
(Node's `variants`, for tampered copies), sign the catalogue with a private
key (build's `signing_key`, through scripts/sign-catalogue) and serve another
archive on one mirror (build's `archives`).
"""
import hashlib
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
import nginx_site  # noqa: E402

MAGIC = b"IZSAMPLE"
SIGN_CATALOGUE = os.path.join(HERE, "..", "scripts", "sign-catalogue")
CATALOGUE_MEMBER = "InstallFiles.xml"
SIGNATURE_MEMBER = "InstallFiles.xml.sig"


def package_bytes(sample_exe, name="", target="", record="yes", delay_ms=0, runlog="", pad=0,
                  close_host=False, exit_code=0):
    """The sample installer with its settings block appended (GBK text);
    `pad` zero bytes between the two make a bigger file; `exit_code` is the
    code it ends with after installing."""
    lines = ["name=" + name, "target=" + target, "record=" + record,
             "delay=%d" % delay_ms, "runlog=" + runlog, "closehost=" + ("yes" if close_host else "no")]
    if exit_code:  # only when asked: the other packages keep their bytes
        lines.append("exitcode=%d" % exit_code)
    block = ("\n".join(lines) + "\n").encode("gbk")
    with open(sample_exe, "rb") as f:
        exe = f.read()
    return exe + bytes(pad) + block + struct.pack("<I", len(block)) + MAGIC


def sha256_hex(data):
    """The "sha256" attribute value of `data`: 64 lower-case hex digits."""
    return hashlib.sha256(data).hexdigest()


class Node:
    """One catalogue element: tag, attributes (in order) and children.

    package: None for a group, else a dict of package_bytes() arguments;
    mirrors: the mirrors (1, 2) that carry the package file;
    digest: publish the package's SHA-256 as a last attribute "sha256";
    variants: {mirror: package_bytes() arguments or bytes}, the file that
      mirror serves instead of the published one;
    also_at: further places, relative to each of the node's mirrors'
      "download" folder, where the mirror serves the same file.
    """

    def __init__(self, tag, attrs=(), children=(), package=None, mirrors=(1, 2), digest=False,
                 variants=None, also_at=()):
        self.tag, self.attrs, self.children = tag, list(attrs), list(children)
        self.package, self.mirrors = package, tuple(mirrors)
        self.digest, self.variants, self.also_at = digest, dict(variants or {}), tuple(also_at)

    def attr(self, key):
        for k, v in self.attrs:
            if k == key:
                return v
        return None

    def xml(self, indent="", digests=None):
        """The element and its children as text; `digests` maps a node to
        the "sha256" value it publishes."""
        attrs = list(self.attrs)
        if digests and self in digests:
            attrs.append(("sha256", digests[self]))
        head = indent + "<" + self.tag + "".join(" %s=%s" % (k, quoteattr(v)) for k, v in attrs)
        if not self.children:
            return head + "/>\r\n"
        inner = "".join(c.xml(indent + "  ", digests) for c in self.children)
        return head + ">\r\n" + inner + indent + "</" + self.tag + ">\r\n"


def catalogue_xml(root, encoding="UTF-8", digests=None):
    """The whole document as bytes, declared in `encoding` (UTF-8 or GBK)."""
    text = '<?xml version="1.0" encoding="%s"?>\r\n<!-- 沃蒙在线安装 catalogue -->\r\n' % encoding
    text += root.xml(digests=digests)
    return text.encode("utf-8" if encoding.upper() == "UTF-8" else "gbk")


def walk_packages(node, inherited_path=""):
    """Yields (node, server path) for every element that has a fileName."""
    own = node.attr("path")
    path = inherited_path if own is None else own
    if node.attr("fileName") is not None and node.package is not None:
        yield node, path
    for child in node.children:
        yield from walk_packages(child, path)


def zip_archive(members):
    """A deflated archive of (name, bytes) members, in order, as bytes."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members:
            z.writestr(zipfile.ZipInfo(name, (2026, 1, 15, 8, 0, 0)), data, zipfile.ZIP_DEFLATED)
    return out.getvalue()


def signed_archive(signing_key, xml, options=()):
    """The archive scripts/sign-catalogue makes from catalogue bytes `xml`
    with the private key file `signing_key` and further `options` of the
    script (--days N, --serial N, --key MORE.pem), as bytes."""
    with tempfile.TemporaryDirectory() as tmp:
        xml_path, zip_path = os.path.join(tmp, "catalogue.xml"), os.path.join(tmp, "signed.zip")
        with open(xml_path, "wb") as f:
            f.write(xml)
        subprocess.run([SIGN_CATALOGUE] + list(options) + [signing_key, xml_path, zip_path], check=True,
                       stdout=subprocess.DEVNULL)
        with open(zip_path, "rb") as f:
            return f.read()


def archive_members(archive):
    """{name: bytes} of the members of archive bytes."""
    with zipfile.ZipFile(io.BytesIO(archive)) as z:
        return {name: z.read(name) for name in z.namelist()}


def mirror_file(download, relative):
    """The path of `relative` (joined with "/") below a mirror's download
    folder; refuses a path that leaves the mirror."""
    path = os.path.normpath(os.path.join(download, relative))
    if not path.startswith(os.path.normpath(download) + os.sep):
        raise ValueError("%r lies outside the mirror" % relative)
    return path


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def build(out, root, sample_exe, encoding="UTF-8", catalogue_mirrors=(1, 2), signing_key=None,
          archives=None, sign_options=()):
    """Writes the two mirror folders under `out` (emptied first).

    signing_key: a PEM private key; the catalogue archive is then signed
    with it by scripts/sign-catalogue, given `sign_options` (the script's
    defaults: expires in 30 days, the time as serial). archives: {mirror: bytes}, an archive
    that mirror serves instead of the site's own. Returns the catalogue's
    bytes as published.
    """
    if os.path.isdir(out):
        shutil.rmtree(out)
    downloads = {m: os.path.join(out, "mirror%d" % m, "download") for m in (1, 2)}
    for d in downloads.values():
        os.makedirs(d)
    published, digests = {}, {}
    for node, _ in walk_packages(root):
        published[node] = package_bytes(sample_exe, **node.package)
        if node.digest:
            digests[node] = sha256_hex(published[node])
    xml = catalogue_xml(root, encoding, digests)
    if signing_key:
        archive = signed_archive(signing_key, xml, sign_options)
    else:
        with tempfile.TemporaryDirectory() as tmp:
            xml_path = os.path.join(tmp, CATALOGUE_MEMBER)
            with open(xml_path, "wb") as f:
                f.write(xml)
            zip_path = os.path.join(tmp, "InstallFiles.zip")
            subprocess.run(["zip", "-q", "-j", "-X", zip_path, xml_path], check=True)
            with open(zip_path, "rb") as f:
                archive = f.read()
    archives = dict(archives or {})
    for m in (1, 2):
        if m in archives:
            write_file(os.path.join(downloads[m], "InstallFiles.zip"), archives[m])
        elif m in catalogue_mirrors:
            write_file(os.path.join(downloads[m], "InstallFiles.zip"), archive)
    for node, path in walk_packages(root):
        for m in node.mirrors:
            data = node.variants.get(m, published[node])
            if isinstance(data, dict):
                data = package_bytes(sample_exe, **data)
            # A name that is no file (empty, "." or "..") has no place of its own.
            natural = "/".join(p for p in path.split("/") + [node.attr("fileName")] if p)
            places = [natural] if node.attr("fileName").split("/")[-1] not in ("", ".", "..") else []
            for relative in places + list(node.also_at):
                write_file(mirror_file(downloads[m], relative), data)
    return xml


def serve(run_dir, mirrors, slow_rate="40k"):
    """nginx on 127.0.0.1 serving each (port, mirror folder) pair of `mirrors`;
    a context manager. Any file whose URL contains "slow" is sent at
    `slow_rate` bytes a second, so that a test can press cancel in the middle
    of its transfer. Entering it raises nginx_site.NginxError (NginxNotFound
    when there is no nginx) if nginx does not come up."""
    return nginx_site.Nginx(run_dir, mirrors, slow_rate)
