#!/usr/bin/env python3
"""A time-stamping authority on 127.0.0.1 for the signing test: answers each
RFC 3161 request with `openssl ts -reply` (CONFIG's [tsa] section); writes
its port to PORT_FILE once it listens.

    tsa.py CONFIG PORT_FILE
"""
import http.server
import os
import subprocess
import sys
import tempfile


class TimeStamper(http.server.BaseHTTPRequestHandler):
    config = None

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        query = self.rfile.read(length)
        with tempfile.TemporaryDirectory() as work:
            query_file = os.path.join(work, "query.tsq")
            reply_file = os.path.join(work, "reply.tsr")
            with open(query_file, "wb") as f:
                f.write(query)
            made = subprocess.run(["openssl", "ts", "-reply", "-config", self.config,
                                   "-queryfile", query_file, "-out", reply_file],
                                  capture_output=True)
            if made.returncode != 0:
                sys.stderr.write(made.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


def main():
    config, port_file = sys.argv[1:3]
    TimeStamper.config = os.path.abspath(config)
    server = http.server.HTTPServer(("127.0.0.1", 0), TimeStamper)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
