"""The scripted fault server of the download tests (servers.py starts it).

The first path segments pick the behaviour, so that a test can put a whole
"base URL" in front of a file name (byte i of a made-up body is i % 251):

  /ok/N/...          200, Content-Length N, N bytes
  /status/C/...      status C, Content-Length 5, body "error"
  /nolength/N/...    200, no Content-Length, N bytes, then close
  /short/N/...       Content-Length N, N // 2 bytes, then close
  /long/N/...        Content-Length N, N + 4096 bytes sent with the head
  /slow/N/MS/...     Content-Length N, 4096-byte pieces every MS ms
  /drip/N/B/MS/...   Content-Length N, B-byte pieces every MS ms; logs
                     "drip N sent S" when it ends, S the bytes sent
  /flood/N/...       Content-Length N, then an endless body; logs "flood N sent S"
  /trickleheader/MS  a status line, then a header byte every MS ms (10 min at most)
  /stall/...         reads the request and answers nothing
  /stallbody/N/...   headers with Content-Length N, then nothing
  /length/TEXT/...   200 with "Content-Length: TEXT" (URL-decoded), 64 bytes
  /ranged/N/CUT/CUTS/AFTER/B/MS/...  the routed /ranged below, for a made-up
                     body of N bytes with a fixed date

ROUTES names a file, read at every request, of tab-separated lines "PATH
MODE [FILE]" ("#" a comment): a request for PATH is answered as one for MODE,
a path no route names gets 404. These modes need FILE (an absolute path):

  /file/B/MS         200 with FILE, B-byte pieces every MS ms (0: at once)
  /cut/N/MS          Content-Length N, FILE's first N bytes, the rest MS ms later
  /ranged/CUT/CUTS/AFTER/B/MS
                     FILE with nginx's strong ETag (mtime-size in hex) and
                     Last-Modified, B-byte pieces every MS ms, honouring
                     "Range: bytes=N-" when If-Range is absent or matches.
                     The first CUTS requests for the path hang up after CUT
                     percent of the file; later ones with a Range get AFTER:
                       honest    206, the rest of the file
                       norange   200, the whole file (Range ignored)
                       badrange  206 "bytes 0-(L-1)/L" and the whole file
                       stuck     206 with the right head, then hangs up
                       changed   as honest, but the first request served
                                 another version (bytes, ETag and date)
                       weak      as honest, with weak (W/) ETags
                       dateonly  as honest, without any ETag
                       longtag   as honest, with an ETag of 302 characters
                     Each logs "ranged PATH STATUS sent S range=RANGE
                     if-range=IFRANGE" ("-": not sent); counts restart when
                     the route file changes.

Every request line and its User-Agent is appended to DIR/fault-requests.log.
"""
import os
import re
import socket
import threading
import time
import urllib.parse

from fault_wire import body_bytes, head_bytes, hold, log_line, read_request, send_head


def read_routes(routes_path):
    """{decoded path: (mode path, file or None)} from the route file."""
    try:
        with open(routes_path, encoding="utf-8") as f:
            lines = [l.split("\t") for l in f.read().splitlines()
                     if l.strip() and not l.lstrip().startswith("#")]
    except OSError:
        return {}
    return {urllib.parse.unquote(fields[0]): (fields[1], fields[2] if len(fields) > 2 else None)
            for fields in lines}


RANGED_COUNTS = {}
ROUTES_STAMP = None
RANGED_LOCK = threading.Lock()


def ranged_index(path):
    """How many requests for `path` came before this one."""
    with RANGED_LOCK:
        index = RANGED_COUNTS.get(path, 0)
        RANGED_COUNTS[path] = index + 1
        return index


def send_paced(conn, total, part, piece, ms):
    """Sends part(size, at) for `total` bytes in `piece`-byte pieces, `ms` ms
    apart; answers the bytes sent, also when the client left early."""
    sent = 0
    try:
        while sent < total:
            chunk = part(min(piece, total - sent), sent)
            conn.sendall(chunk)
            sent += len(chunk)
            if ms:
                time.sleep(ms / 1000.0)
    except OSError:
        pass
    return sent


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
        sent = send_paced(conn, limit, lambda size, at: body[at:at + size], piece or limit or 1, ms)
    finally:
        log_line(log_path, "ranged %s %d sent %d range=%s if-range=%s" % (
            path, status, sent, headers.get("range", "-"), headers.get("if-range", "-")))


class Request:
    """One request as the modes see it: the path's segments after routing."""

    def __init__(self, conn, headers, log_path, request_path, seg, file_path):
        self.conn, self.headers, self.log_path = conn, headers, log_path
        self.request_path, self.seg, self.file_path = request_path, seg, file_path

    def arg(self, i, default=0):
        return int(self.seg[i]) if len(self.seg) > i and self.seg[i].isdigit() else default

    def text(self, i, default=""):
        return self.seg[i] if len(self.seg) > i else default

    def file_data(self):
        with open(self.file_path, "rb") as f:
            return f.read()


def reply(r, status, length, body, reason="OK"):
    send_head(r.conn, status, length, reason)
    r.conn.sendall(body)


def mode_long(r):
    # Head and body in one write: a client reads the surplus with the head.
    n = r.arg(1)
    r.conn.sendall(head_bytes(200, n) + body_bytes(n + 4096))


def mode_slow(r):
    n = r.arg(1)
    send_head(r.conn, 200, n)
    send_paced(r.conn, n, body_bytes, 4096, r.arg(2, 50))


def mode_drip(r):
    n = r.arg(1)
    send_head(r.conn, 200, n)
    sent = send_paced(r.conn, n, body_bytes, max(1, r.arg(2, 1)), r.arg(3, 1000))
    log_line(r.log_path, "drip %d sent %d" % (n, sent))


def mode_file(r):
    data = r.file_data()
    send_head(r.conn, 200, len(data))
    send_paced(r.conn, len(data), lambda size, at: data[at:at + size], r.arg(1) or len(data) or 1, r.arg(2))


def mode_ranged(r):
    if r.file_path:
        ranged(r.conn, r.headers, r.log_path, r.request_path, r.file_data(),
               int(os.stat(r.file_path).st_mtime),
               r.arg(1, 100), r.arg(2, 0), r.text(3, "honest"), r.arg(4), r.arg(5))
    else:
        # Unrouted: /ranged/N/CUT/CUTS/AFTER/B/MS/..., a body of N bytes.
        ranged(r.conn, r.headers, r.log_path, r.request_path, body_bytes(r.arg(1)), 1700000000,
               r.arg(2, 100), r.arg(3, 0), r.text(4, "honest"), r.arg(5), r.arg(6))


def mode_cut(r):
    data = r.file_data()
    n, ms = r.arg(1), r.arg(2, 500)
    r.conn.sendall(head_bytes(200, n) + data[:n])
    time.sleep(ms / 1000.0)
    r.conn.sendall(data[n:])
    hold(r.conn)


def mode_flood(r):
    n = r.arg(1)
    piece = body_bytes(65536)
    r.conn.sendall(head_bytes(200, n) + piece)
    sent = len(piece)
    try:
        while sent < (1 << 34):  # 16 GiB: far more than any client should take
            r.conn.sendall(piece)
            sent += len(piece)
    finally:
        log_line(r.log_path, "flood %d sent %d" % (n, sent))


def mode_trickleheader(r):
    ms = r.arg(1, 200)
    r.conn.sendall(b"HTTP/1.1 200 OK\r\nX-Slow: ")
    deadline = time.time() + 600
    while time.time() < deadline:
        r.conn.sendall(b"a")
        time.sleep(ms / 1000.0)


# Mode name -> (handler, needs a routed FILE). A mode that needs a file is
# answered 404 where no route gives one.
MODES = {
    "ok": (lambda r: reply(r, 200, r.arg(1), body_bytes(r.arg(1))), False),
    "status": (lambda r: reply(r, r.arg(1, 404), 5, b"error", "Status"), False),
    "nolength": (lambda r: reply(r, 200, None, body_bytes(r.arg(1))), False),
    "short": (lambda r: reply(r, 200, r.arg(1), body_bytes(r.arg(1) // 2)), False),
    "long": (mode_long, False),
    "slow": (mode_slow, False),
    "drip": (mode_drip, False),
    "file": (mode_file, True),
    "ranged": (mode_ranged, False),
    "cut": (mode_cut, True),
    "flood": (mode_flood, False),
    "trickleheader": (mode_trickleheader, False),
    "stall": (lambda r: hold(r.conn), False),
    "stallbody": (lambda r: (send_head(r.conn, 200, r.arg(1)), hold(r.conn)), False),
    "length": (lambda r: reply(r, 200, r.text(1), body_bytes(64)), False),
}
NOT_FOUND = (lambda r: reply(r, 404, 9, b"not found", "Not Found"), False)


def route(path, routes_path):
    """(mode path, file) for a request path: the route that names it."""
    global ROUTES_STAMP
    try:
        stamp = os.stat(routes_path).st_mtime_ns
    except OSError:
        stamp = None
    if stamp != ROUTES_STAMP:  # new routes: the cuts begin again
        ROUTES_STAMP = stamp
        with RANGED_LOCK:
            RANGED_COUNTS.clear()
    # A routed server answers only what its routes name.
    return read_routes(routes_path).get(urllib.parse.unquote(path), ("/", None))


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
            path, file_path = route(path, routes_path)
        seg = [urllib.parse.unquote(s) for s in path.split("/") if s]
        handler, needs_file = MODES.get(seg[0] if seg else "", NOT_FOUND)
        if needs_file and not file_path:
            handler = NOT_FOUND[0]
        handler(Request(conn, headers, log_path, request_path, seg, file_path))
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
