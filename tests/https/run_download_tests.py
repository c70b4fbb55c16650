#!/usr/bin/env python3
"""Runs https_tests.exe under Wine with a fresh test CA trusted in a private
mount namespace only (trust.py), against nginx with four servers over one
root, each first checked to present the certificate it should (so a refusal
under Wine can only be the certificate's or redirect's doing).

    run_download_tests.py --tests https_tests.exe --work DIR [gtest options]

The good server redirects:

    /to-https/REST        -> https://127.0.0.1:GOOD/REST
    /to-http/REST         -> http://127.0.0.1:PLAIN/REST
    /to-other-host/REST   -> https://127.0.0.1:OTHER_HOST/REST
    /to-self-signed/REST  -> https://127.0.0.1:SELF_SIGNED/REST
"""
import argparse
import os
import shutil
import socket
import ssl
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import display  # noqa: E402
import nginx_site  # noqa: E402
import trust  # noqa: E402


def fetch(port, path, ca=None, server_name="127.0.0.1", tls=True):
    """Status of GET path on 127.0.0.1:port. Over TLS the certificate is checked
    against `ca` for `server_name`, or not at all without `ca`; a failed check
    raises ssl.SSLCertVerificationError."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    if tls:
        if ca:
            context = ssl.create_default_context(cafile=ca)  # that CA only
        else:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
            context.check_hostname = False
            context.verify_mode = ssl.CERT_NONE
        sock = context.wrap_socket(sock, server_hostname=server_name)
    with sock:
        sock.sendall(b"GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n" % path.encode())
        status_line = sock.makefile("rb").readline().split()
    return int(status_line[1]) if len(status_line) > 1 else 0


def refused(port, ca, server_name="127.0.0.1"):
    try:
        fetch(port, "/", ca, server_name)
    except ssl.SSLCertVerificationError:
        return True
    return False


def check_servers(ports, pki, probe):
    """Raises RuntimeError unless each server presents what it should."""
    good, other, self_signed, plain = ports
    checks = [
        ("the good server serves the file with a valid certificate", fetch(good, probe, pki.ca) == 200),
        ("the other-host server's certificate is valid for its own name",
         fetch(other, probe, pki.ca, trust.OTHER_HOST) == 200),
        ("the other-host server's certificate is refused for 127.0.0.1", refused(other, pki.ca)),
        ("the self-signed server serves the file without a check", fetch(self_signed, probe) == 200),
        ("the self-signed server's certificate is refused", refused(self_signed, pki.ca)),
        ("the plain server serves the file over http", fetch(plain, probe, tls=False) == 200),
    ]
    failed = [what for what, ok in checks if not ok]
    if failed:
        raise RuntimeError("server check failed: " + "; ".join(failed))


def start_servers(work, www, pki):
    """(running Nginx, ports) with the four servers on free loopback ports."""
    for _ in range(5):
        ports = [nginx_site.free_port() for _ in range(4)]
        if len(set(ports)) < 4:
            continue
        good, other, self_signed, plain = ports
        https = "https://127.0.0.1:%d/"
        redirects = [("/to-https/", https % good), ("/to-http/", "http://127.0.0.1:%d/" % plain),
                     ("/to-other-host/", https % other), ("/to-self-signed/", https % self_signed)]
        site = nginx_site.Nginx(os.path.join(work, "nginx"), [
            nginx_site.Server(good, www, *pki.good, redirects=redirects),
            nginx_site.Server(other, www, *pki.other_host),
            nginx_site.Server(self_signed, www, *pki.self_signed),
            nginx_site.Server(plain, www),
        ])
        try:
            return site.start(), ports
        except nginx_site.NginxNotFound:
            raise
        except nginx_site.NginxError:
            pass  # a port was taken meanwhile: try others
    raise nginx_site.NginxError("nginx did not start (see %s/nginx/nginx-error.log)" % work)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tests", required=True, help="https_tests.exe")
    parser.add_argument("--work", required=True)
    args, gtest_args = parser.parse_known_args()
    work = os.path.abspath(args.work)
    if display.missing("https"):
        return 1
    shutil.rmtree(work, ignore_errors=True)
    www = os.path.join(work, "www")
    os.makedirs(www)
    probe = "/probe.txt"
    with open(os.path.join(www, probe[1:]), "w") as f:
        f.write("probe\n")
    try:
        trust.check_namespace()
        # The server keys go with the run.
        with trust.fresh_pki(os.path.join(work, "pki")) as pki:
            site, ports = start_servers(work, www, pki)
            try:
                check_servers(ports, pki, probe)
                info = os.path.join(work, "https.info")
                with open(info, "w") as f:
                    for key, port in zip(("GOOD_PORT", "OTHER_HOST_PORT", "SELF_SIGNED_PORT", "PLAIN_PORT"), ports):
                        f.write("%s=%d\n" % (key, port))
                    f.write("WWW_WIN=Z:%s\n" % www.replace("/", "\\"))
                env = dict(os.environ, IZ_HTTPS_INFO=info)
                return trust.run_trusted([os.path.join(ROOT, "scripts", "wine-run"), args.tests] + gtest_args,
                                         pki.ca, os.path.join(work, "trust"), env)
            finally:
                site.stop()
    except (trust.NamespaceError, nginx_site.NginxError, RuntimeError) as e:
        print("FAIL https: %s" % e, flush=True)
        return 1

if __name__ == "__main__":
    sys.exit(main())
