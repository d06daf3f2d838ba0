#!/usr/bin/env python3
"""Serves the project's update site at the address the program is built with,
for scripts/run.sh and the tests that start the program.

    serve-site.py SITE ADDRESS PIDFILE [OWNER]
    serve-site.py --where BASE-URL

ADDRESS is PORT (on 127.0.0.1), HOST:PORT, or the program's update base address
(ZENTRAQ_UPDATE_BASE_URL, http://HOST:PORT/...) with a loopback host. Returns
once the site can be reached, with one of:
  "serving SITE on HOST:PORT"        the port was free: a server process now
                                     runs in the background, its id in PIDFILE,
                                     until it is killed or process OWNER ends;
  "already served on HOST:PORT"      another process serves the same files
                                     (v.txt, v.htm, down.htm); no PIDFILE;
  "serve-site: ..."                  on standard error, what is on the port
                                     instead; exit status 1; or that ADDRESS
                                     is not on this machine; exit status 2.
The port is bound before anything else, so no other server can slip in
between the check and the start.

--where prints HOST:PORT when BASE-URL is plain http on this machine's
loopback (127.x.x.x or localhost), where this script can serve the site, and
nothing otherwise.
"""
import functools
import http.server
import os
import socket
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path

FILES = ("v.txt", "v.htm", "down.htm")


def describe(data: bytes) -> str:
    text = data[:60].decode("utf-8", "replace")
    return repr(text) + ("..." if len(data) > 60 else "")


def loopback(address: str):
    """(host, port) of a port, HOST:PORT or http base address on this
    machine's loopback; None for anything else."""
    if address.isdigit():
        host, port = "127.0.0.1", int(address)
    else:
        parts = urllib.parse.urlsplit(address if "//" in address else "//" + address)
        if parts.scheme not in ("", "http") or parts.username or parts.password:
            return None
        try:
            host, port = parts.hostname, parts.port or 80
        except ValueError:
            return None
        if host == "localhost":
            host = "127.0.0.1"
    octets = (host or "").split(".")
    if len(octets) != 4 or octets[0] != "127" or not all(o.isdigit() and int(o) < 256 for o in octets):
        return None
    if not 0 < port < 65536:
        return None
    return host, port


def check_foreign(site: Path, host: str, port: int) -> int:
    """The port is taken: tell whether it serves this site, and if not, what."""
    for name in FILES:
        url = f"http://{host}:{port}/{name}"
        try:
            with urllib.request.urlopen(url, timeout=5) as reply:
                got = reply.read(1 << 20)
        except urllib.error.HTTPError as e:
            print(f"serve-site: {host}:{port} is taken by another server: {name} answers "
                  f"HTTP {e.code}, not this project's {site / name}", file=sys.stderr)
            return 1
        except (OSError, ValueError) as e:
            print(f"serve-site: {host}:{port} is taken by a program that does not serve "
                  f"{name} over HTTP ({e})", file=sys.stderr)
            return 1
        want = (site / name).read_bytes()
        if got != want:
            print(f"serve-site: {host}:{port} is taken by another server: its {name} reads "
                  f"{describe(got)}, this project's {describe(want)}", file=sys.stderr)
            return 1
    print(f"already served on {host}:{port}", flush=True)
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
    if len(sys.argv) == 3 and sys.argv[1] == "--where":
        where = loopback(sys.argv[2])
        if where:
            print(f"{where[0]}:{where[1]}")
        return 0
    if len(sys.argv) not in (4, 5):
        print("usage: serve-site.py SITE ADDRESS PIDFILE [OWNER] | --where BASE-URL", file=sys.stderr)
        return 2
    owner = int(sys.argv[4]) if len(sys.argv) == 5 else None
    site, pidfile = Path(sys.argv[1]), Path(sys.argv[3])
    where = loopback(sys.argv[2])
    if not where:
        print(f"serve-site: {sys.argv[2]} is not an http address on this machine's loopback",
              file=sys.stderr)
        return 2
    host, port = where
    handler = functools.partial(QuietHandler, directory=str(site))
    try:
        server = http.server.ThreadingHTTPServer((host, port), handler)
    except OSError:
        return check_foreign(site, host, port)
    child = os.fork()
    if child:
        pidfile.write_text(f"{child}\n")
        print(f"serving {site} on {host}:{port}", flush=True)
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
