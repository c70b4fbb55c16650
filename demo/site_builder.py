"""Builds a download site for InstallZelm: sample packages, the catalogue
InstallFiles.xml zipped into InstallFiles.zip, and one folder per mirror.

A package is the sample installer (samples/SamplePackage.exe) with its
settings appended (see samples/sample_package.cpp), so every package file is
a real program that the installer run can start with "/auto /s".

Layout written under OUT:
  OUT/mirror1/download/InstallFiles.zip, OUT/mirror1/download/<path>/<file>
  OUT/mirror2/download/...   (the same, less the files left off that mirror)
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
import nginx_site  # noqa: E402

MAGIC = b"IZSAMPLE"


def package_bytes(sample_exe, name="", target="", record="yes", delay_ms=0, runlog="", pad=0,
                  close_host=False):
    """The sample installer with its settings block appended (GBK text);
    `pad` zero bytes between the two make a bigger file."""
    lines = ["name=" + name, "target=" + target, "record=" + record,
             "delay=%d" % delay_ms, "runlog=" + runlog, "closehost=" + ("yes" if close_host else "no")]
    block = ("\n".join(lines) + "\n").encode("gbk")
    with open(sample_exe, "rb") as f:
        exe = f.read()
    return exe + bytes(pad) + block + struct.pack("<I", len(block)) + MAGIC


class Node:
    """One catalogue element: tag, attributes (in order) and children.

    package: None for a group, else a dict of package_bytes() arguments;
    mirrors: the mirrors (1, 2) that carry the package file.
    """

    def __init__(self, tag, attrs=(), children=(), package=None, mirrors=(1, 2)):
        self.tag, self.attrs, self.children = tag, list(attrs), list(children)
        self.package, self.mirrors = package, tuple(mirrors)

    def attr(self, key):
        for k, v in self.attrs:
            if k == key:
                return v
        return None

    def xml(self, indent=""):
        head = indent + "<" + self.tag + "".join(" %s=%s" % (k, quoteattr(v)) for k, v in self.attrs)
        if not self.children:
            return head + "/>\r\n"
        inner = "".join(c.xml(indent + "  ") for c in self.children)
        return head + ">\r\n" + inner + indent + "</" + self.tag + ">\r\n"


def catalogue_xml(root, encoding="UTF-8"):
    """The whole document as bytes, declared in `encoding` (UTF-8 or GBK)."""
    text = '<?xml version="1.0" encoding="%s"?>\r\n<!-- 沃蒙在线安装 catalogue -->\r\n' % encoding
    text += root.xml()
    return text.encode("utf-8" if encoding.upper() == "UTF-8" else "gbk")


def walk_packages(node, inherited_path=""):
    """Yields (node, server path) for every element that has a fileName."""
    own = node.attr("path")
    path = inherited_path if own is None else own
    if node.attr("fileName") is not None and node.package is not None:
        yield node, path
    for child in node.children:
        yield from walk_packages(child, path)


def build(out, root, sample_exe, encoding="UTF-8", catalogue_mirrors=(1, 2)):
    """Writes the two mirror folders under `out` (emptied first)."""
    if os.path.isdir(out):
        shutil.rmtree(out)
    downloads = {m: os.path.join(out, "mirror%d" % m, "download") for m in (1, 2)}
    for d in downloads.values():
        os.makedirs(d)
    with tempfile.TemporaryDirectory() as tmp:
        xml_path = os.path.join(tmp, "InstallFiles.xml")
        with open(xml_path, "wb") as f:
            f.write(catalogue_xml(root, encoding))
        zip_path = os.path.join(tmp, "InstallFiles.zip")
        subprocess.run(["zip", "-q", "-j", "-X", zip_path, xml_path], check=True)
        for m in catalogue_mirrors:
            shutil.copy(zip_path, downloads[m])
    for node, path in walk_packages(root):
        data = package_bytes(sample_exe, **node.package)
        for m in node.mirrors:
            folder = os.path.join(downloads[m], *[p for p in path.split("/") if p])
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, node.attr("fileName")), "wb") as f:
                f.write(data)


def serve(run_dir, mirrors, slow_rate="40k"):
    """nginx on 127.0.0.1 serving each (port, mirror folder) pair of `mirrors`;
    a context manager. Any file whose URL contains "slow" is sent at
    `slow_rate` bytes a second, so that a test can press cancel in the middle
    of its transfer. Entering it raises nginx_site.NginxError (NginxNotFound
    when there is no nginx) if nginx does not come up."""
    return nginx_site.Nginx(run_dir, mirrors, slow_rate)
