#!/usr/bin/env python3
"""Loopback HTTP servers for the download tests.

  servers.py start DIR   starts nginx (document root DIR/www) and our fault
                         server on free ports of 127.0.0.1, and writes
                         DIR/servers.info (KEY=VALUE lines) once both answer
  servers.py stop DIR    stops the two servers started in DIR
  servers.py fault DIR PORT [ROUTES]
                         runs the fault server in the foreground on PORT
                         (internal; the end-to-end tests start it this way)

The fault server picks its behaviour from the first path segments, so that a
test can put a whole "base URL" in front of a file name:

  /ok/N/...            200, Content-Length N, N bytes (byte i = i % 251)
  /status/C/...        status C, Content-Length 5, body "error"
  /nolength/N/...      200, no Content-Length, N bytes, then close
  /short/N/...         Content-Length N, N // 2 bytes, then close
  /long/N/...          Content-Length N, N + 4096 bytes sent with the head, then close
  /slow/N/MS/...       Content-Length N, 4096-byte pieces every MS ms
  /drip/N/B/MS/...     Content-Length N, B-byte pieces every MS ms (B = 1: a trickle)
  /flood/N/...         Content-Length N, then a body that never ends (its first
                       64 KiB sent with the head); the number
                       of bytes sent before the client left is logged as
                       "flood N sent S"
  /trickleheader/MS/...  a status line, then one byte of a header every MS ms
                       for as long as the client stays (ten minutes at most)
  /stall/...           reads the request and answers nothing
  /stallbody/N/...     headers with Content-Length N, then nothing
  /length/TEXT/...     200 with "Content-Length: TEXT" (URL-decoded), 64 bytes

A drip logs "drip N sent S" when it ends, S being the bytes it sent.

ROUTES names a file that gives fixed paths a mode, so that a program whose
base URL is this server's "/download/" meets a fault at a file's own URL. It
is read at every request, so a test can change it between runs. One route a
line, fields separated by tabs, "#" starting a comment:

  PATH  MODE [FILE]    e.g. "/download/InstallFiles.zip<TAB>/flood/2000"

PATH is compared with the request path, both URL-decoded; a request for it
is answered as one for MODE. FILE (an absolute path) goes with the mode

  /file/B/MS           200, Content-Length and bytes of FILE, B-byte pieces
                       every MS ms (B = 0: all at once)

  /cut/N/MS            Content-Length N, the first N bytes of FILE, then after
                       MS ms the rest of it: a body longer than announced whose
                       surplus comes late, so that the client cuts the body at
                       the announced length (the file it keeps is FILE cut short)

  /ranged/CUT/CUTS/AFTER/B/MS
                       FILE with a strong ETag (as nginx makes it: mtime and
                       size in hex) and Last-Modified, B-byte pieces every MS
                       ms (B = 0: all at once), honouring "Range: bytes=N-"
                       when If-Range names that ETag or date (or is absent).
                       The first CUTS requests for the path hang up after
                       sending CUT percent of the file's length (from where
                       they start). After them, a request with a Range is
                       answered as AFTER says:
                         honest    206, the rest of the file
                         norange   200, the whole file (Range ignored)
                         badrange  206 "bytes 0-(L-1)/L" and the whole file
                         stuck     206 with the right head, then hangs up
                         changed   as honest, but the first request served
                                   another version of the file (every byte
                                   changed, another ETag and date)
                         weak      as honest, but every ETag is weak (W/)
                         dateonly  as honest, without any ETag
                         longtag   as honest, with an ETag of 302 characters
                       Each request logs "ranged PATH STATUS sent S
                       range=RANGE if-range=IFRANGE" ("-" for a header not
                       sent). Counts start again when the route file changes.
  /ranged/N/CUT/CUTS/AFTER/B/MS/...
                       the same without a route: a body of N bytes (byte i =
                       i % 251) with a fixed date

A path that no route names is answered 404.

Every request line and its User-Agent is appended to DIR/fault-requests.log.
"""
import os
import re
import signal
import socket
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from nginx_site import Nginx, NginxError, NginxNotFound, free_port, spawn, wait_for_port  # noqa: E402

STALL_SECONDS = 120  # a stalled connection is dropped after this, at the latest


def body_bytes(n, offset=0):
    pattern = bytes(i % 251 for i in range(251 * 64))
    out = bytearray()
    start = offset % 251
    while len(out) < n:
        out += pattern[start:]
        start = 0
    return bytes(out[:n])


def read_request(conn):
    data = b""
    conn.settimeout(30)
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None, {}
        data += chunk
        if len(data) > 65536:
            return None, {}
    head = data.split(b"\r\n\r\n", 1)[0].decode("latin-1")
    lines = head.split("\r\n")
    headers = {}
    for line in lines[1:]:
        if ":" in line:
            k, v = line.split(":", 1)
            headers[k.strip().lower()] = v.strip()
    return lines[0], headers


def head_bytes(status, length=None, reason="OK"):
    head = "HTTP/1.1 %d %s\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n" % (
        status, reason)
    if length is not None:
        head += "Content-Length: %s\r\n" % length
    return (head + "\r\n").encode("latin-1")


def send_head(conn, status, length=None, reason="OK"):
    conn.sendall(head_bytes(status, length, reason))


def hold(conn):
    # Keep the connection open and silent until the client gives up.
    conn.settimeout(STALL_SECONDS)
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass


def read_routes(routes_path):
    """{decoded path: (mode path, file or None)} from the route file."""
    routes = {}
    if not routes_path:
        return routes
    try:
        with open(routes_path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError:
        return routes
    for line in lines:
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = line.split("\t")
        routes[urllib.parse.unquote(fields[0])] = (fields[1], fields[2] if len(fields) > 2 else None)
    return routes


RANGED_COUNTS = {}
ROUTES_STAMP = None
RANGED_LOCK = threading.Lock()


def ranged_index(path):
    """How many requests for `path` came before this one."""
    with RANGED_LOCK:
        index = RANGED_COUNTS.get(path, 0)
        RANGED_COUNTS[path] = index + 1
        return index


def forget_ranged_counts():
    with RANGED_LOCK:
        RANGED_COUNTS.clear()


def ranged(conn, headers, log_path, path, data, mtime, cut, cuts, after, piece, ms):
    import email.utils
    etag = '"%x-%x"' % (mtime, len(data))
    modified = email.utils.formatdate(mtime, usegmt=True)
    index = ranged_index(path)
    if after == "changed" and index == 0:
        data = bytes(b ^ 0x5A for b in data)
        etag = '"%x-%x"' % (mtime - 86400, len(data))
        modified = email.utils.formatdate(mtime - 86400, usegmt=True)
    if after == "weak":
        etag = "W/" + etag
    total, start, status = len(data), 0, 200
    wanted = re.fullmatch(r"bytes=(\d+)-", headers.get("range", ""))
    if_range = headers.get("if-range")
    if wanted and (if_range is None or if_range in (etag, modified)) and after != "norange":
        start, status = int(wanted.group(1)), 206
    extra = "Last-Modified: %s\r\nAccept-Ranges: bytes\r\n" % modified
    if after == "longtag":
        extra = "ETag: \"%s\"\r\n" % ("a" * 300) + extra
    elif after != "dateonly":
        extra = "ETag: %s\r\n" % etag + extra
    body = data[start:]
    if status == 206 and after == "badrange":
        body = data
        extra += "Content-Range: bytes 0-%d/%d\r\n" % (total - 1, total)
    elif status == 206:
        if start >= total:
            status, body = 416, b""
        extra += "Content-Range: bytes %d-%d/%d\r\n" % (start, total - 1, total)
    reason = {200: "OK", 206: "Partial Content", 416: "Range Not Satisfiable"}[status]
    head = head_bytes(status, len(body), reason).replace(b"\r\n\r\n", b"\r\n" + extra.encode() + b"\r\n")
    limit = len(body)
    if index < cuts:
        limit = min(limit, total * cut // 100)
    elif status == 206 and after == "stuck":
        limit = 0
    sent = 0
    try:
        conn.sendall(head)
        step = piece or limit or 1
        while sent < limit:
            chunk = body[sent:min(limit, sent + step)]
            conn.sendall(chunk)
            sent += len(chunk)
            if ms:
                time.sleep(ms / 1000.0)
    finally:
        log_line(log_path, "ranged %s %d sent %d range=%s if-range=%s" % (
            path, status, sent, headers.get("range", "-"), headers.get("if-range", "-")))


def log_line(log_path, text):
    with open(log_path, "a", encoding="latin-1") as log:
        log.write(text + "\n")


def handle(conn, log_path, routes_path=None):
    try:
        request_line, headers = read_request(conn)
        if not request_line:
            return
        log_line(log_path, "%s\t%s" % (request_line, headers.get("user-agent", "")))
        parts = request_line.split(" ")
        path = parts[1] if len(parts) > 1 else "/"
        file_path = None
        request_path = urllib.parse.unquote(path)
        if routes_path:
            try:
                stamp = os.stat(routes_path).st_mtime_ns
            except OSError:
                stamp = None
            global ROUTES_STAMP
            if stamp != ROUTES_STAMP:  # new routes: the cuts begin again
                ROUTES_STAMP = stamp
                forget_ranged_counts()
            # A routed server answers only what its routes name.
            path, file_path = read_routes(routes_path).get(urllib.parse.unquote(path), ("/", None))
        seg = [urllib.parse.unquote(s) for s in path.split("/") if s]
        mode = seg[0] if seg else ""
        arg = lambda i, d=0: int(seg[i]) if len(seg) > i and seg[i].isdigit() else d
        if mode == "ok":
            n = arg(1)
            send_head(conn, 200, n)
            conn.sendall(body_bytes(n))
        elif mode == "status":
            send_head(conn, arg(1, 404), 5, "Status")
            conn.sendall(b"error")
        elif mode == "nolength":
            send_head(conn, 200)
            conn.sendall(body_bytes(arg(1)))
        elif mode == "short":
            n = arg(1)
            send_head(conn, 200, n)
            conn.sendall(body_bytes(n // 2))
        elif mode == "long":
            # Head and body in one write, as a lying server would send them:
            # a client reads the surplus with the head.
            n = arg(1)
            conn.sendall(head_bytes(200, n) + body_bytes(n + 4096))
        elif mode == "slow":
            n, ms = arg(1), arg(2, 50)
            send_head(conn, 200, n)
            sent = 0
            while sent < n:
                piece = body_bytes(min(4096, n - sent), sent)
                conn.sendall(piece)
                sent += len(piece)
                time.sleep(ms / 1000.0)
        elif mode == "drip":
            n, piece, ms = arg(1), max(1, arg(2, 1)), arg(3, 1000)
            send_head(conn, 200, n)
            sent = 0
            try:
                while sent < n:
                    conn.sendall(body_bytes(min(piece, n - sent), sent))
                    sent += min(piece, n - sent)
                    time.sleep(ms / 1000.0)
            finally:
                log_line(log_path, "drip %d sent %d" % (n, sent))
        elif mode == "file" and file_path:
            with open(file_path, "rb") as f:
                data = f.read()
            piece, ms = arg(1) or len(data) or 1, arg(2)
            send_head(conn, 200, len(data))
            for at in range(0, len(data), piece):
                conn.sendall(data[at:at + piece])
                if ms:
                    time.sleep(ms / 1000.0)
        elif mode == "ranged" and file_path:
            with open(file_path, "rb") as f:
                data = f.read()
            ranged(conn, headers, log_path, request_path, data, int(os.stat(file_path).st_mtime),
                   arg(1, 100), arg(2, 0), seg[3] if len(seg) > 3 else "honest", arg(4), arg(5))
        elif mode == "ranged":
            # Unrouted: /ranged/N/CUT/CUTS/AFTER/B/MS/..., a body of N bytes.
            ranged(conn, headers, log_path, request_path, body_bytes(arg(1)), 1700000000,
                   arg(2, 100), arg(3, 0), seg[4] if len(seg) > 4 else "honest", arg(5), arg(6))
        elif mode == "cut" and file_path:
            with open(file_path, "rb") as f:
                data = f.read()
            n, ms = arg(1), arg(2, 500)
            conn.sendall(head_bytes(200, n) + data[:n])
            time.sleep(ms / 1000.0)
            conn.sendall(data[n:])
            hold(conn)
        elif mode == "flood":
            n = arg(1)
            piece = body_bytes(65536)
            conn.sendall(head_bytes(200, n) + piece)
            sent = len(piece)
            try:
                while sent < (1 << 34):  # 16 GiB: far more than any client should take
                    conn.sendall(piece)
                    sent += len(piece)
            finally:
                log_line(log_path, "flood %d sent %d" % (n, sent))
        elif mode == "trickleheader":
            ms = arg(1, 200)
            conn.sendall(b"HTTP/1.1 200 OK\r\nX-Slow: ")
            deadline = time.time() + 600
            while time.time() < deadline:
                conn.sendall(b"a")
                time.sleep(ms / 1000.0)
        elif mode == "stall":
            hold(conn)
        elif mode == "stallbody":
            send_head(conn, 200, arg(1))
            hold(conn)
        elif mode == "length":
            send_head(conn, 200, seg[1] if len(seg) > 1 else "")
            conn.sendall(body_bytes(64))
        else:
            send_head(conn, 404, 9, "Not Found")
            conn.sendall(b"not found")
    except OSError:
        pass
    finally:
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.close()


def run_fault(directory, port, routes_path=None):
    log_path = os.path.join(directory, "fault-requests.log")
    srv = socket.socket()
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", port))
    srv.listen(64)
    while True:
        conn, _ = srv.accept()
        threading.Thread(target=handle, args=(conn, log_path, routes_path), daemon=True).start()


def start(directory):
    directory = os.path.abspath(directory)
    stop(directory)
    os.makedirs(os.path.join(directory, "www"), exist_ok=True)
    reason = ""
    for attempt in range(5):
        nginx_port, fault_port, dead_port = free_port(), free_port(), free_port()
        if len({nginx_port, fault_port, dead_port}) < 3:
            continue
        nginx = Nginx(directory, [(nginx_port, os.path.join(directory, "www"))])
        try:
            nginx.start()
        except NginxNotFound as e:
            print("servers: %s" % e, file=sys.stderr)
            return 1
        except NginxError as e:
            reason = str(e)
            continue  # the port was taken meanwhile: try other ones
        fault = spawn([sys.executable, os.path.abspath(__file__), "fault", directory, str(fault_port)],
                      os.path.join(directory, "fault.out"))
        with open(os.path.join(directory, "pids"), "w") as f:
            f.write("%d\n%d\n" % (nginx.process.pid, fault.pid))
        if wait_for_port(fault_port, process=fault):
            break
        reason = "the fault server did not start on port %d (see %s/fault.out)" % (fault_port, directory)
        stop(directory)  # its port was taken meanwhile: try other ones
    else:
        print("servers: could not start nginx and the fault server: %s" % reason, file=sys.stderr)
        return 1
    winroot = "Z:" + directory.replace("/", "\\")
    info = {
        "NGINX_PORT": nginx_port, "FAULT_PORT": fault_port, "DEAD_PORT": dead_port,
        "DIR": directory, "DIR_WIN": winroot,
        "WWW": directory + "/www", "WWW_WIN": winroot + "\\www",
    }
    tmp = os.path.join(directory, "servers.info.tmp")
    with open(tmp, "w") as f:
        for k, v in info.items():
            f.write("%s=%s\n" % (k, v))
    os.replace(tmp, os.path.join(directory, "servers.info"))
    print("servers: nginx on %d, fault server on %d, dead port %d" % (nginx_port, fault_port, dead_port))
    return 0


def stop(directory):
    pids = os.path.join(directory, "pids")
    if os.path.exists(pids):
        with open(pids) as f:
            for line in f:
                if line.strip().isdigit():
                    try:
                        os.kill(int(line), signal.SIGTERM)
                    except OSError:
                        pass
        os.remove(pids)
    info = os.path.join(directory, "servers.info")
    if os.path.exists(info):
        os.remove(info)
    return 0


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    cmd, directory = sys.argv[1], sys.argv[2]
    if cmd == "start":
        return start(directory)
    if cmd == "stop":
        return stop(directory)
    if cmd == "fault":
        run_fault(directory, int(sys.argv[3]), sys.argv[4] if len(sys.argv) > 4 else None)
    return 2


if __name__ == "__main__":
    sys.exit(main())
