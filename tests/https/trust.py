"""A test CA made fresh for each run, and Windows programs run under Wine with
that CA trusted, and only there.

Wine's crypt32 reads the system's roots from /etc/ssl/certs/ca-certificates.crt
into volatile registry entries that live in the wineserver until it ends, so
a test CA one program saw would be trusted by every later program of the
prefix (and a killed run never cleans up). So run_trusted bind-mounts the
system's roots plus the test CA over that bundle in a private mount namespace
(unshare, root) and runs the programs there with a throw-away prefix copy
whose wineserver is killed before the end. NamespaceError says why the
namespace cannot be made; a test that cannot trust its CA must fail.
"""
import contextlib
import os
import shutil
import subprocess

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SYSTEM_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"

# Wine's name check compares DNS names only, so 127.0.0.1 is a DNS name too;
# clients that read IP address entries (openssl, Python) match it there.
LOOPBACK_NAMES = "IP:127.0.0.1,DNS:localhost,DNS:127.0.0.1"
OTHER_HOST = "mirror.other-host.example"


class NamespaceError(RuntimeError):
    """The private mount namespace cannot be made; the text says why."""


class Pki:
    """make_pki's PEM files: the CA's certificate, and (certificate, key) for
    127.0.0.1 (good), another host (other_host), both from the CA, and for
    127.0.0.1 signed by itself (self_signed)."""

    def __init__(self, folder):
        self.folder = folder
        self.ca = os.path.join(folder, "ca.crt")
        for name in ("good", "other_host", "self_signed"):
            setattr(self, name, (os.path.join(folder, name + ".crt"), os.path.join(folder, name + ".key")))


def openssl(*args):
    result = subprocess.run(["openssl"] + list(args), capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed: %s" % (args[0], result.stderr.strip()))


def issue(pki, name, common_name, alt_names, ca_key):
    """A server certificate and key; signed by the CA, or by itself without ca_key."""
    crt, key = getattr(pki, name)
    extensions = ["subjectAltName=" + alt_names, "basicConstraints=critical,CA:FALSE",
                  "keyUsage=critical,digitalSignature,keyEncipherment", "extendedKeyUsage=serverAuth"]
    if ca_key is None:
        added = sum((["-addext", e] for e in extensions), [])
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", crt, "-days", "2",
                "-subj", "/CN=" + common_name, *added)
        return
    ext = os.path.join(pki.folder, name + ".ext")
    with open(ext, "w") as f:
        f.write("\n".join(extensions) + "\n")
    csr = os.path.join(pki.folder, name + ".csr")
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=" + common_name)
    openssl("x509", "-req", "-in", csr, "-CA", pki.ca, "-CAkey", ca_key, "-set_serial",
            str(int.from_bytes(os.urandom(8), "big")), "-days", "2", "-out", crt, "-extfile", ext)


def make_pki(folder):
    """A new test CA and the three server certificates in `folder` (emptied
    first), as a Pki; the CA's key is deleted once they are signed."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder, mode=0o700)
    pki = Pki(folder)
    ca_key = os.path.join(folder, "ca.key")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", pki.ca, "-days", "2",
            "-subj", "/CN=InstallZelm Test CA %s" % os.urandom(4).hex(),
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    issue(pki, "good", "127.0.0.1", LOOPBACK_NAMES, ca_key)
    issue(pki, "other_host", OTHER_HOST, "DNS:" + OTHER_HOST, ca_key)
    issue(pki, "self_signed", "127.0.0.1", LOOPBACK_NAMES, None)
    os.remove(ca_key)
    return pki


@contextlib.contextmanager
def fresh_pki(folder):
    """make_pki(folder) for the block; the folder, keys and all, goes after it."""
    try:
        yield make_pki(folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def check_namespace():
    """Raises NamespaceError unless a private mount namespace can be made here."""
    if os.geteuid() != 0:
        raise NamespaceError("the test CA is trusted only inside a private mount namespace, and making one "
                             "(unshare --mount) needs root; run the test as root")
    if not shutil.which("unshare"):
        raise NamespaceError("unshare not found (Debian's util-linux has it)")
    if not os.path.isfile(SYSTEM_BUNDLE):
        raise NamespaceError("%s is missing: the test bind-mounts its own bundle over it, which Wine "
                             "reads its roots from (Debian's ca-certificates makes it)" % SYSTEM_BUNDLE)
    result = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise NamespaceError("unshare --mount --propagation private failed: %s" % result.stderr.strip())


def shared_prefix():
    """The project's Wine prefix (made if missing), as scripts/wine-env picks it."""
    return subprocess.run(["bash", "-c", 'source "$1/scripts/wine-env" && iz_make_prefix >&2 && '
                           'printf %s "$WINEPREFIX"', "bash", ROOT],
                          stdout=subprocess.PIPE, check=True, text=True).stdout


# Inside the namespace: the caller's set-up lines (shifting off their
# arguments; 97 when a mount fails), the program, then the end of the prefix
# copy's wineserver, which holds the cached roots.
INSIDE = r"""
set -u
%s
status=0
"$@" || status=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
exit $status
"""

TRUST_MOUNT = r"""
bundle=$1 system=$2; shift 2
mount --bind "$bundle" "$system" || { echo "trust: cannot bind-mount $bundle over $system" >&2; exit 97; }
cmp -s "$bundle" "$system" || { echo "trust: the bind mount over $system did not take" >&2; exit 97; }
"""


def run_in_namespace(argv, folder, setup, setup_args=(), env=None, source=None):
    """Runs `argv` in a private mount namespace after the shell lines `setup`
    (given `setup_args`), with a copy of the Wine prefix `source` (default the
    project's) at `folder`/wineprefix. Answers the exit status; NamespaceError
    when there is no namespace or a mount of `setup` failed."""
    check_namespace()
    prefix = os.path.join(folder, "wineprefix")
    env = dict(os.environ if env is None else env)
    env["IZ_WINEPREFIX"] = env["WINEPREFIX"] = prefix
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)  # a copy left by a killed run
    shutil.rmtree(prefix, ignore_errors=True)
    shutil.copytree(source or shared_prefix(), prefix, symlinks=True)
    try:
        status = subprocess.run(["unshare", "--mount", "--propagation", "private", "--", "bash", "-c",
                                 INSIDE % setup, "namespace"] + list(setup_args) + list(argv),
                                env=env).returncode
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)
    if status == 97:  # the set-up's own failure; the test programs end with 0 or 1
        raise NamespaceError("a mount in the private namespace failed (see above)")
    return status


def run_trusted(argv, ca_cert, folder, env=None):
    """run_in_namespace(argv) with `ca_cert` trusted by Wine; RuntimeError when
    the system's bundle is not as it was afterwards."""
    os.makedirs(folder, exist_ok=True)
    bundle = os.path.join(folder, "ca-certificates.crt")
    with open(SYSTEM_BUNDLE, "rb") as f:
        system = f.read()
    with open(ca_cert, "rb") as f:
        test_ca = f.read()
    with open(bundle, "wb") as f:
        f.write(system + (b"" if system.endswith(b"\n") else b"\n") + test_ca)
    try:
        status = run_in_namespace(argv, folder, TRUST_MOUNT, [bundle, SYSTEM_BUNDLE], env)
    finally:
        os.remove(bundle)
    with open(SYSTEM_BUNDLE, "rb") as f:
        after = f.read()
    if after != system or test_ca in after:
        raise RuntimeError("%s changed or holds the test CA after the run" % SYSTEM_BUNDLE)
    return status
