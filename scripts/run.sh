#!/usr/bin/env bash
# Starts the program against the project's own update site, served on
# loopback from site/. A vendor build configures ZENTRAQ_UPDATE_BASE_URL to
# its own server instead and starts build/release/src/app/zentraq directly.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display found (DISPLAY is not set); start it from a desktop session, or try: xvfb-run -a scripts/run.sh" >&2
    exit 1
fi

port=8765
server_pid=
if ! python3 - "$port" <<'PY'
import socket, sys
s = socket.socket()
try:
    s.connect(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(1)
PY
then
    python3 -m http.server "$port" --bind 127.0.0.1 --directory site >/dev/null 2>&1 &
    server_pid=$!
    trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null' EXIT
    sleep 0.5
fi

build/release/src/app/zentraq "$@"
