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
import tempfile
from xml.sax.saxutils import quoteattr

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


NGINX_CONF = """worker_processes 1;
daemon off;
{user}
pid {dir}/nginx.pid;
error_log {dir}/nginx-error.log warn;
events {{ worker_connections 64; }}
http {{
  access_log {dir}/nginx-access.log;
  client_body_temp_path {dir}/tmp;
  proxy_temp_path {dir}/tmp;
  fastcgi_temp_path {dir}/tmp;
  uwsgi_temp_path {dir}/tmp;
  scgi_temp_path {dir}/tmp;
  types {{ }}
  default_type application/octet-stream;
{servers}}}
"""

SERVER_CONF = """  server {{
    listen 127.0.0.1:{port};
    root {root};
    location ~ slow {{ limit_rate {slow_rate}; }}
  }}
"""


def nginx_conf(run_dir, mirrors, slow_rate="40k"):
    """nginx configuration serving each (port, folder) pair of `mirrors`.

    Any file whose URL contains "slow" is sent at `slow_rate` bytes a second,
    so that a test can press cancel in the middle of its transfer.
    """
    os.makedirs(os.path.join(run_dir, "tmp"), exist_ok=True)
    servers = "".join(SERVER_CONF.format(port=port, root=root, slow_rate=slow_rate) for port, root in mirrors)
    user = "user root;" if os.geteuid() == 0 else ""  # workers must read our folders
    return NGINX_CONF.format(dir=run_dir, servers=servers, user=user)


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    """nginx on 127.0.0.1 serving (port, folder) pairs; a context manager."""

    def __init__(self, run_dir, mirrors, slow_rate="40k"):
        self.run_dir, self.slow_rate = os.path.abspath(run_dir), slow_rate
        self.mirrors = [(port, os.path.abspath(root)) for port, root in mirrors]
        self.process = None

    def __enter__(self):
        import socket
        import time
        os.makedirs(self.run_dir, exist_ok=True)
        conf = os.path.join(self.run_dir, "nginx.conf")
        with open(conf, "w") as f:
            f.write(nginx_conf(self.run_dir, self.mirrors, self.slow_rate))
        log = open(os.path.join(self.run_dir, "nginx.out"), "ab")
        self.process = subprocess.Popen(
            ["nginx", "-p", self.run_dir, "-e", self.run_dir + "/nginx-error.log", "-c", conf],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        deadline = time.time() + 10
        for port, _ in self.mirrors:
            while True:
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    break
                except OSError:
                    if self.process.poll() is not None or time.time() > deadline:
                        self.__exit__()
                        raise RuntimeError("nginx did not start on port %d (see %s)" % (port, self.run_dir))
                    time.sleep(0.05)
        return self

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
