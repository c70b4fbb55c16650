"""nginx on 127.0.0.1 for the tests and the demo, and free loopback ports.

    with Nginx(run_dir, [(port, document_root) or Server, ...], slow_rate="40k"):

run_dir holds the configuration, the logs (nginx-access.log, and
nginx-access-PORT.log per server) and nginx's temporary folders. With
slow_rate, files whose URL contains "slow" are sent at that rate, so that a
test can cancel in the middle.
"""
import os
import re
import shutil
import socket
import subprocess
import time


CONF = """\
daemon off;
worker_processes 1;
pid {dir}/nginx.pid;
error_log {dir}/nginx-error.log warn;
{user}
events {{ worker_connections 64; }}
http {{
  access_log {dir}/nginx-access.log;
  client_body_temp_path {dir}/tmp/body;
  proxy_temp_path {dir}/tmp/proxy;
  fastcgi_temp_path {dir}/tmp/fastcgi;
  uwsgi_temp_path {dir}/tmp/uwsgi;
  scgi_temp_path {dir}/tmp/scgi;
  types {{ }}
  default_type application/octet-stream;
  sendfile on;
{servers}}}
"""

# Each server also logs to a file of its own, so that a test can tell which
# mirror was asked for what.
SERVER = """\
  server {{
    listen 127.0.0.1:{port}{ssl};
{tls}    root {root};
    access_log {dir}/nginx-access.log;
    access_log {dir}/nginx-access-{port}.log;
    location / {{ }}
{redirects}{slow}  }}
"""

TLS = "    ssl_certificate {cert};\n    ssl_certificate_key {key};\n"

# ^~ keeps the "slow" regular expression from taking the URL over.
REDIRECT = "    location ^~ {prefix} {{ rewrite ^{prefix}(.*)$ {target}$1 redirect; }}\n"

SLOW = "    location ~ slow {{ limit_rate {rate}; }}\n"


class NginxError(RuntimeError):
    """nginx did not come up; the text says why."""


class NginxNotFound(NginxError):
    """There is no nginx program to run."""


class Server:
    """One server on 127.0.0.1: port, document root, and optionally a TLS
    certificate chain and key (PEM files) and redirects, (URL prefix, target
    base URL) pairs, answered with 302."""

    def __init__(self, port, root, cert=None, key=None, redirects=()):
        if (cert is None) != (key is None):
            raise ValueError("a TLS server needs both a certificate and a key")
        self.port, self.root = port, os.path.abspath(root)
        self.cert = os.path.abspath(cert) if cert else None
        self.key = os.path.abspath(key) if key else None
        self.redirects = list(redirects)
        for prefix, target in self.redirects:
            # Both land in the configuration as they are, the prefix inside a
            # regular expression: nothing there may need quoting.
            if not re.fullmatch(r"/[A-Za-z0-9_/-]*/", prefix) or re.search(r"[\s;{}$'\"]", target):
                raise ValueError("redirect %r -> %r: the prefix must be a plain /folder/ path and "
                                 "the target a plain URL" % (prefix, target))

    def conf(self, slow, run_dir):
        tls = TLS.format(cert=self.cert, key=self.key) if self.cert else ""
        redirects = "".join(REDIRECT.format(prefix=p, target=t) for p, t in self.redirects)
        return SERVER.format(port=self.port, ssl=" ssl" if self.cert else "", tls=tls, root=self.root,
                             redirects=redirects, slow=slow, dir=run_dir)


def find_nginx():
    """The nginx program's path on PATH, as scripts/test looks for it."""
    path = shutil.which("nginx")
    if path:
        return path
    raise NginxNotFound("nginx not found (looked in PATH): run scripts/setup to install it; "
                        "Debian keeps it in /usr/sbin, which must be on PATH")


def check_tls(program):
    """Raises NginxError when `program` was built without the TLS module."""
    built = subprocess.run([program, "-V"], capture_output=True, text=True).stderr
    if "--with-http_ssl_module" not in built:
        raise NginxError("%s has no TLS module (http_ssl_module): install a Debian nginx "
                         "package that has one (nginx-light does)" % program)


def free_port():
    """A loopback port that nothing listens on at the moment."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds=10, process=None):
    """True once 127.0.0.1:`port` accepts a connection; False after `seconds`,
    or as soon as `process` (a Popen, if given) has ended."""
    deadline = time.time() + seconds
    while True:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            if (process is not None and process.poll() is not None) or time.time() > deadline:
                return False
            time.sleep(0.05)


def spawn(argv, log_path):
    """Starts `argv` with its output appended to `log_path`, in a new session,
    so that CTest does not wait for it nor our stop signal reach it."""
    with open(log_path, "ab") as out:
        return subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                start_new_session=True)


class Nginx:
    """nginx serving Servers or (port, document root) pairs; a context manager."""

    def __init__(self, run_dir, servers, slow_rate=None):
        self.run_dir, self.slow_rate = os.path.abspath(run_dir), slow_rate
        self.servers = [s if isinstance(s, Server) else Server(*s) for s in servers]
        self.process = None

    def start(self, seconds=10):
        """Starts nginx and waits for every port; NginxNotFound or NginxError."""
        program = find_nginx()
        if any(s.cert for s in self.servers):
            check_tls(program)
        # Another server on one of our ports would answer in nginx's stead.
        for server in self.servers:
            if wait_for_port(server.port, 0):
                raise NginxError("port %d is taken by another program" % server.port)
        os.makedirs(os.path.join(self.run_dir, "tmp"), exist_ok=True)
        conf = os.path.join(self.run_dir, "nginx.conf")
        slow = SLOW.format(rate=self.slow_rate) if self.slow_rate else ""
        user = "user root;" if os.geteuid() == 0 else ""  # workers must read our folders
        with open(conf, "w") as f:
            f.write(CONF.format(dir=self.run_dir, user=user,
                                servers="".join(s.conf(slow, self.run_dir) for s in self.servers)))
        self.process = spawn([program, "-p", self.run_dir, "-e", self.run_dir + "/nginx-error.log", "-c", conf],
                             os.path.join(self.run_dir, "nginx.out"))
        deadline = time.time() + seconds
        for port in (s.port for s in self.servers):
            if not wait_for_port(port, max(0, deadline - time.time()), self.process):
                self.stop()
                raise NginxError("nginx did not start on port %d (see %s/nginx-error.log)" % (port, self.run_dir))
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
