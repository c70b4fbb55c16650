"""What the fault server says on the wire: requests read, heads and bodies sent."""

STALL_SECONDS = 120  # a stalled connection is dropped after this, at the latest


PATTERN = bytes(range(251))


def body_bytes(n, offset=0):
    """Bytes offset..offset+n of a made-up body whose byte i is i % 251."""
    start = offset % 251
    return (PATTERN * ((start + n) // 251 + 1))[start:start + n]


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


def log_line(log_path, text):
    with open(log_path, "a", encoding="latin-1") as log:
        log.write(text + "\n")
