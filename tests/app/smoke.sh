#!/usr/bin/env bash
# End-to-end check of the real program: starts it under Xvfb against the
# project's update site, finds the window by its title, clicks the navigation
# buttons where the layout puts them and checks what each page shows.
# Screenshots are left in the given folder for a person to look at.
set -euo pipefail
bin=$1 site=$2 shots=$3 version=$4
mkdir -p "$shots"
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

port=8765
if ! (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then
    python3 -m http.server $port --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.5
fi

"$bin" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)

# Windows come and go while the program starts; search until it is there.
win=
for _ in $(seq 300); do
    win=$(xdotool search --onlyvisible --name "^Zentraq-懒人版 $version\$" 2>/dev/null | head -1) || true
    [ -n "$win" ] && break
    sleep 0.1
done
[ -n "$win" ] || { echo "FAIL: no window titled Zentraq-懒人版 $version"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" = 736 ] && [ "$HEIGHT" = 667 ] || { echo "FAIL: client area ${WIDTH}x${HEIGHT}, expected 736x667"; exit 1; }
wx=$X wy=$Y

pixel() { convert "$1" -format "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]" -crop "1x1+$2+$3" +repage info:; }
shot() { sleep 1; import -window root -crop "736x667+$wx+$wy" +repage "$shots/$1.png"; }
# Navigation buttons sit in the bar at (8, 8) inside its 2-pixel border.
click_nav() { xdotool mousemove $((wx + 10 + $1)) $((wy + 10 + 44)) click 1; }

fail=0
check() { # name shot x y expected
    local got; got=$(pixel "$shots/$2.png" "$3" "$4")
    if [ "$got" != "$5" ]; then echo "FAIL: $1: pixel ($3,$4) is $got, expected $5"; fail=1; else echo "ok: $1"; fi
}

shot page1-home
click_nav $((136 + 64)); shot page2-data
click_nav $((280 + 48)); shot page3-serial
click_nav $((392 + 48)); shot page4-mcu
click_nav $((24 + 48)); shot page1-again

# Text2 (white) lies at (8, 360) in page 2, which starts at (8, 96) inside a
# one-pixel border; the glyph canvas (red) at (288, 168) in the tab control.
check "page 2 shows the output area" page2-data $((9 + 8 + 20)) $((97 + 360 + 20)) "255,255,255"
check "page 2 shows the red glyph canvas" page2-data $((9 + 288 + 5)) $((97 + 168 + 5)) "255,0,0"
check "page 3 hides the output area" page3-serial $((9 + 8 + 20)) $((97 + 360 + 20)) "$(pixel "$shots/page3-serial.png" 4 4)"
check "page 4 hides the output area" page4-mcu $((9 + 8 + 20)) $((97 + 360 + 20)) "$(pixel "$shots/page4-mcu.png" 4 4)"

# The version check runs about a second after start; with the site's own
# version file it says nothing and the program runs on.
sleep 2
kill -0 "$app" 2>/dev/null || { echo "FAIL: the program ended"; cat "$work/app.log"; exit 1; }
if xdotool search --onlyvisible --name '^Zentraq$' >/dev/null 2>&1; then echo "FAIL: a message box is open"; fail=1; fi
echo "screenshots in $shots"
exit $fail
