#!/usr/bin/env bash
# A quiet start for a user other than root: the program as built, started by a
# user made for this run (only then does the web engine run its renderers in
# the sandbox), prints nothing on its standard output or error, both with the
# update site served at the address the program is built with and with nothing
# answering there. The test runs in a network namespace of its own, so the
# address belongs to it alone and the program finds the display's sockets
# where the test's Xvfb made them.
#
#   quiet-start.sh PROGRAM SITE BASE-URL
#
# Needs root, to make the user and the namespaces; exits 77 (skipped) without.
# Whatever happens, an exit trap ends the processes it started, removes the
# user and its group, puts back the backup copies (/etc/passwd- ...) that
# useradd and userdel replace, and checks that /etc/passwd and its companions
# are as they were. Runs that make users take turns through
# /run/lock/zentraq-check-package.lock, as scripts/check-package.sh does.
set -euo pipefail
bin=$1 site=$2 base_url=$3
serve="$(cd "$(dirname "$0")/../.." && pwd)/scripts/serve-site.py"

[ "$(id -u)" = 0 ] || { echo "skipped: making a user for the run needs root"; exit 77; }
for tool in useradd userdel setpriv unshare ip Xvfb xdotool import convert flock; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
if [ -z "${ZENTRAQ_QUIET_START_NETNS:-}" ]; then
    unshare -n true 2>/dev/null || { echo "skipped: no network namespace can be made"; exit 77; }
    exec unshare -n env ZENTRAQ_QUIET_START_NETNS=1 "$0" "$@"
fi
ip link set lo up

work=$(mktemp -d /tmp/zentraq-quiet.XXXXXX)
chmod 755 "$work" # the user runs the program from here
pids=()
xvfb=
user=
etc_saved=0
etc_files=(/etc/passwd /etc/group /etc/shadow /etc/gshadow /etc/subuid /etc/subgid)
cleanup() {
    local status=$?
    set +e
    for p in "${pids[@]}" $(cat "$work/server.pid" 2>/dev/null); do kill "$p" 2>/dev/null; done
    # Xvfb removes its socket as it ends; once it has, the display number is
    # free for the next server without this one taking the socket away.
    [ -z "$xvfb" ] || wait "$xvfb" 2>/dev/null
    if [ -n "$user" ]; then
        # Whatever the user still runs (the web engine's helpers), by id.
        for _ in $(seq 50); do
            left=$(pgrep -u "$user" || true)
            [ -z "$left" ] && break
            kill -KILL $left 2>/dev/null
            sleep 0.1
        done
        userdel "$user" >/dev/null 2>&1 || { echo "quiet-start: could not remove user $user" >&2; status=1; }
    fi
    if [ "$etc_saved" = 1 ]; then
        for f in "${etc_files[@]}"; do
            [ -e "$work/etc/$(basename "$f")-" ] && cp -p "$work/etc/$(basename "$f")-" "$f-"
        done
        if ! (cd / && sha256sum --quiet -c "$work/etc.sha256") >&2; then
            echo "quiet-start: the user files in /etc differ from before the run" >&2
            status=1
        fi
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
# A reader that goes away (| head) makes writes fail instead of ending the
# script before its cleanup.
trap '' PIPE

# The program and its web engine helper, where the user can run them whatever
# the build folder's permissions; a folder the user cannot write, so the
# program keeps its files in the user's data folder.
install -d -m 755 "$work/bin"
install -m 755 "$bin" "$work/bin/"
helper=$(dirname "$bin")/zentraq-webengine
[ ! -e "$helper" ] || install -m 755 "$helper" "$work/bin/"
# The web engine's view, a module as far from the program as in the build
# tree (where the command-line tool's libraries lie).
module=$(cd "$(dirname "$bin")" && find .. -path '*/zentraq/libzentraq-webview.so' -print -quit)
if [ -n "$module" ]; then
    install -d -m 755 "$work/bin/$(dirname "$module")"
    install -m 644 "$(dirname "$bin")/$module" "$work/bin/$module"
fi

# -noreset: the test's own clients (xdotool, import) come and go, and a server
# that resets each time its last client leaves refuses connections meanwhile.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
pids+=($xvfb)
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"

exec 9>/run/lock/zentraq-check-package.lock
flock -w 180 9 || { echo "FAIL: /run/lock/zentraq-check-package.lock stays taken"; exit 1; }
mkdir "$work/etc"
for f in "${etc_files[@]}"; do
    [ -e "$f" ] && (cd / && sha256sum "${f#/}") >>"$work/etc.sha256"
    [ -e "$f-" ] && cp -p "$f-" "$work/etc/$(basename "$f")-" && (cd / && sha256sum "${f#/}-") >>"$work/etc.sha256"
done
etc_saved=1
name=zentraq-qs-$$
! getent passwd "$name" >/dev/null && ! getent group "$name" >/dev/null || { echo "FAIL: user $name exists already"; exit 1; }
home=$work/home
useradd --system --user-group --no-create-home --home-dir "$home" --shell /usr/sbin/nologin "$name"
user=$name

fail=0
where=$("$serve" --where "$base_url")
# start CASE: starts the program as the user, with the site served or not.
start() {
    rm -rf "$home"
    install -d -o "$user" -g "$user" -m 700 "$home" "$home/run"
    if [ "$1" = served ]; then
        "$serve" "$site" "$where" "$work/server.pid" >/dev/null || { echo "FAIL: the site is not served at $where"; exit 1; }
    fi
    # The program as the user, in the clean environment a desktop session
    # gives it.
    setpriv --reuid="$user" --regid="$user" --init-groups \
        env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" \
        XDG_RUNTIME_DIR="$home/run" "$work/bin/$(basename "$bin")" >"$work/out" 2>"$work/err" &
    app=$!
    pids+=($app)
}
# until SECONDS WHAT COMMAND...: runs COMMAND until it succeeds.
until_ok() {
    local deadline=$((SECONDS + $1)) what=$2
    shift 2
    until "$@"; do
        kill -0 "$app" 2>/dev/null || { echo "FAIL: the program ended while waiting for $what"; cat "$work/err"; return 1; }
        [ $SECONDS -lt $deadline ] || { echo "FAIL: no $what after $1 s"; return 1; }
        sleep 0.2
    done
}
window() { win=$(xdotool search --onlyvisible --name '^Zentraq-.* V' 2>/dev/null | head -1) && [ -n "$win" ]; }
box() { b=$(xdotool search --onlyvisible --name '^Zentraq$' 2>/dev/null | head -1) && [ -n "$b" ]; }
no_box() { ! box; }
# The home page drawn in the window's web view: a colour of its own in it.
page_shows() { # colour
    eval "$(xdotool getwindowgeometry --shell "$win")"
    import -window root -crop "720x560+$((X + 8))+$((Y + 96))" +repage "$work/page.png" 2>/dev/null &&
        [ "$(convert "$work/page.png" -fill black +opaque "$1" -fill white -opaque "$1" \
            -format '%[fx:mean>0]' info:)" = 1 ]
}
served_version() { cmp -s "$home/.local/share/Zentraq/v.txt" "$site/v.txt"; }

# Served: the site's header colour; the version check copies v.txt.
# Not served: the web engine's page for a failed load, with its blue button,
# and the version check's failure box, dismissed with Enter.
for case in served unserved; do
    if [ "$case" = served ] && [ -z "$where" ]; then
        echo "skip: $base_url is not on this machine's loopback; the start with a server is not tried"
        continue
    fi
    start "$case"
    if ! until_ok 60 "window" window; then
        fail=1
    elif [ "$case" = served ]; then
        until_ok 60 "home page" page_shows '#18305C' &&
            until_ok 30 "v.txt from the site" served_version || fail=1
    else
        until_ok 60 "failure box" box &&
            xdotool windowfocus --sync "$b" key Return &&
            until_ok 10 "closing of the failure box" no_box &&
            until_ok 60 "page of the failed load" page_shows '#1A73E8' || fail=1
    fi
    # The program ends, and with it the web engine's processes; what they
    # print on the way counts too.
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null || true
    for _ in $(seq 100); do pgrep -u "$user" >/dev/null || break; sleep 0.1; done
    if pgrep -u "$user" >/dev/null; then echo "FAIL: $case: processes of $user outlive the program"; fail=1; fi
    [ ! -s "$work/server.pid" ] || { kill "$(cat "$work/server.pid")" 2>/dev/null || true; rm -f "$work/server.pid"; }
    lines=$(cat "$work/out" "$work/err" | wc -l)
    if [ "$lines" != 0 ]; then
        echo "FAIL: $case: the program printed $lines lines as $user:"
        cat "$work/out" "$work/err"
        fail=1
    else
        echo "ok: $case: a start as $user prints nothing"
    fi
done
exit $fail
