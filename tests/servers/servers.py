#!/usr/bin/env python3
"""Loopback HTTP servers for the download tests.

  servers.py start DIR   starts nginx (document root DIR/www) and our fault
                         server on free ports of 127.0.0.1, and writes
                         DIR/servers.info (KEY=VALUE lines) once both answer
  servers.py stop DIR    stops the two servers started in DIR
  servers.py fault DIR PORT [ROUTES]
                         runs fault_server.py in the foreground on PORT
"""
import os
import signal
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from nginx_site import Nginx, NginxError, NginxNotFound, free_port, spawn, wait_for_port  # noqa: E402


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
        fault = start_fault(directory, fault_port)
        if fault:
            with open(os.path.join(directory, "pids"), "w") as f:
                f.write("%d\n%d\n" % (nginx.process.pid, fault.pid))
            break
        reason = "the fault server did not start on port %d (see %s/fault.out)" % (fault_port, directory)
        nginx.stop()  # its port was taken meanwhile: try other ones
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
        f.write("".join("%s=%s\n" % item for item in info.items()))
    os.replace(tmp, os.path.join(directory, "servers.info"))
    print("servers: nginx on %d, fault server on %d, dead port %d" % (nginx_port, fault_port, dead_port))
    return 0


def start_fault(directory, port, routes=None):
    """The fault server's Popen on `port` (output in DIR/fault.out) once it answers, else None."""
    argv = [sys.executable, os.path.abspath(__file__), "fault", directory, str(port)] + ([routes] if routes else [])
    fault = spawn(argv, os.path.join(directory, "fault.out"))
    if wait_for_port(port, 10, fault):
        return fault
    fault.terminate()
    return None


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
        from fault_server import run_fault
        run_fault(directory, int(sys.argv[3]), sys.argv[4] if len(sys.argv) > 4 else None)
    return 2


if __name__ == "__main__":
    sys.exit(main())
