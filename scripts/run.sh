#!/usr/bin/env bash
# Starts the program against the project's own update site, served on
# loopback from site/ at the address the program is built with
# (ZENTRAQ_UPDATE_BASE_URL in build/release). When another server holds that
# port, says what it serves and stops instead of starting the program against
# it. A build for an address off this machine, such as a vendor's own server,
# starts without a site served here.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display found (DISPLAY is not set); start it from a desktop session, or try: xvfb-run -a scripts/run.sh" >&2
    exit 1
fi

base_url=$(sed -n 's/^ZENTRAQ_UPDATE_BASE_URL:[A-Z]*=//p' build/release/CMakeCache.txt 2>/dev/null)
[ -n "$base_url" ] || { echo "run: build/release is not configured; run scripts/build.sh first" >&2; exit 1; }
where=$(scripts/serve-site.py --where "$base_url")
if [ -n "$where" ]; then
    pidfile=$(mktemp)
    trap 'kill "$(cat "$pidfile")" 2>/dev/null; rm -f "$pidfile"' EXIT
    if ! scripts/serve-site.py site "$where" "$pidfile" $$ >/dev/null; then
        echo "run: the program reads its update site from $where; stop the server there, or build for another address with -DZENTRAQ_UPDATE_BASE_URL=..." >&2
        exit 1
    fi
fi

build/release/src/app/zentraq "$@"
