#!/usr/bin/env bash
# Starts the program against the project's own update site, served on
# loopback from site/ at the address the program is built with. When another
# server holds that port, says what it serves and stops instead of starting
# the program against it. A vendor build configures ZENTRAQ_UPDATE_BASE_URL
# to its own server instead and starts build/release/src/app/zentraq directly.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display found (DISPLAY is not set); start it from a desktop session, or try: xvfb-run -a scripts/run.sh" >&2
    exit 1
fi

port=8765
pidfile=$(mktemp)
trap 'kill "$(cat "$pidfile")" 2>/dev/null; rm -f "$pidfile"' EXIT
if ! scripts/serve-site.py site "$port" "$pidfile" $$ >/dev/null; then
    echo "run: the program reads its update site from 127.0.0.1:$port; stop the server there, or build for another address with -DZENTRAQ_UPDATE_BASE_URL=..." >&2
    exit 1
fi

build/release/src/app/zentraq "$@"
