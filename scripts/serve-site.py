#!/usr/bin/env python3
"""Serves the project's update site on 127.0.0.1:PORT, the address the program
is built with, for scripts/run.sh and the end-to-end test.

    serve-site.py SITE PORT PIDFILE [OWNER]

Returns once the site can be reached, with one of:
  "serving SITE on 127.0.0.1:PORT"   the port was free: a server process now
                                     runs in the background, its id in PIDFILE,
                                     until it is killed or process OWNER ends;
  "already served on 127.0.0.1:PORT" another process serves the same files
                                     (v.txt, v.htm, down.htm); no PIDFILE;
  "serve-site: ..."                  on standard error, what is on the port
                                     instead; exit status 1.
The port is bound before anything else, so no other server can slip in
between the check and the start.
"""
import functools
import http.server
import os
import socket
import sys
import threading
import time
import urllib.error
import urllib.request
from pathlib import Path

FILES = ("v.txt", "v.htm", "down.htm")


def describe(data: bytes) -> str:
    text = data[:60].decode("utf-8", "replace")
    return repr(text) + ("..." if len(data) > 60 else "")


def check_foreign(site: Path, port: int) -> int:
    """The port is taken: tell whether it serves this site, and if not, what."""
    for name in FILES:
        url = f"http://127.0.0.1:{port}/{name}"
        try:
            with urllib.request.urlopen(url, timeout=5) as reply:
                got = reply.read(1 << 20)
        except urllib.error.HTTPError as e:
            print(f"serve-site: 127.0.0.1:{port} is taken by another server: {name} answers "
                  f"HTTP {e.code}, not this project's {site / name}", file=sys.stderr)
            return 1
        except (OSError, ValueError) as e:
            print(f"serve-site: 127.0.0.1:{port} is taken by a program that does not serve "
                  f"{name} over HTTP ({e})", file=sys.stderr)
            return 1
        want = (site / name).read_bytes()
        if got != want:
            print(f"serve-site: 127.0.0.1:{port} is taken by another server: its {name} reads "
                  f"{describe(got)}, this project's {describe(want)}", file=sys.stderr)
            return 1
    print(f"already served on 127.0.0.1:{port}", flush=True)
    return 0


def stop_with(owner: int, server) -> None:
    """Stops the server once process `owner` has ended, however it ended."""
    while True:
        time.sleep(1)
        try:
            os.kill(owner, 0)
        except ProcessLookupError:
            server.shutdown()
            return
        except PermissionError:
            pass


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main() -> int:
    if len(sys.argv) not in (4, 5):
        print("usage: serve-site.py SITE PORT PIDFILE [OWNER]", file=sys.stderr)
        return 2
    owner = int(sys.argv[4]) if len(sys.argv) == 5 else None
    site, port, pidfile = Path(sys.argv[1]), int(sys.argv[2]), Path(sys.argv[3])
    handler = functools.partial(QuietHandler, directory=str(site))
    try:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    except OSError:
        return check_foreign(site, port)
    child = os.fork()
    if child:
        pidfile.write_text(f"{child}\n")
        print(f"serving {site} on 127.0.0.1:{port}", flush=True)
        return 0
    # The server: detached from the caller's output, so that a caller that
    # reads this script's output is not kept waiting.
    quiet = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(quiet, fd)
    if owner:
        threading.Thread(target=stop_with, args=(owner, server), daemon=True).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
