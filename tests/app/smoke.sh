#!/usr/bin/env bash
# End-to-end check of the real program: starts it under Xvfb against the
# project's update site, finds the window by its title and uses it as a person
# would, with the mouse, the keyboard and the clipboard: the four pages with
# their panel borders, then texts pasted into the input, converted and copied
# with Tab and Enter, against zentraq-cli's data for the same text.
# Screenshots are left in the given folder for a person to look at.
#
#   smoke.sh PROGRAM SITE SCREENSHOTS ZENTRAQ-CLI VERSION
set -euo pipefail
bin=$1 site=$2 shots=$3 cli=$4 version=$5
serve="$(cd "$(dirname "$0")/../.." && pwd)/scripts/serve-site.py"
mkdir -p "$shots"
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}" $(cat "$work/server.pid" 2>/dev/null); do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# The program reads its update site from 127.0.0.1:8765, fixed when it is
# built. In a network namespace of its own that address belongs to this test
# alone; where namespaces are not allowed, the shared port is used only when
# it serves this project's site. The server ends with the program (or with
# this script), also when the test is killed.
if unshare -rn ip link set lo up 2>/dev/null; then
    unshare -rn sh -c 'ip link set lo up && "$0" "$1" 8765 "$2" $$ && exec "$3"' \
        "$serve" "$site" "$work/server.pid" "$bin" >"$work/app.log" 2>&1 &
else
    "$serve" "$site" 8765 "$work/server.pid" $$ || { echo "FAIL: no update site for the program"; exit 1; }
    "$bin" >"$work/app.log" 2>&1 &
fi
app=$!
pids+=($app)

# Windows come and go while the program starts; search until it is there.
find_window() { # title [tenths of a second to wait]
    local w=
    for _ in $(seq "${2:-300}"); do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
        [ -n "$w" ] && break
        sleep 0.1
    done
    echo "$w"
}
win=$(find_window "^Zentraq-懒人版 $version\$")
[ -n "$win" ] || { echo "FAIL: no window titled Zentraq-懒人版 $version"; cat "$work/app.log"; exit 1; }
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
# The page panels lie at (8, 96), 720 x 560; every pixel of their 1-pixel
# border has the colour of its top-left corner, whatever the page holds.
check_border() { # shot
    local colour edge bad intact=1
    colour=$(convert "$shots/$1.png" -format "%[pixel:p{8,96}]" info:)
    for edge in 1x560+8+96 1x560+727+96 720x1+8+96 720x1+8+655; do
        bad=$(convert "$shots/$1.png" -crop "$edge" +repage -fill white +opaque "$colour" \
              -fill black -opaque "$colour" -format "%[fx:int(mean*w*h+0.5)]" info:)
        if [ "$bad" != 0 ]; then echo "FAIL: $1: $bad pixels of the border $edge are painted over"; intact=0 fail=1; fi
    done
    [ $intact = 0 ] || echo "ok: $1 keeps its panel border"
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
for page in page1-home page2-data page3-serial page4-mcu; do check_border $page; done

# The version check runs about a second after start; with the site's own
# version file it says nothing and the program runs on.
sleep 1
kill -0 "$app" 2>/dev/null || { echo "FAIL: the program ended"; cat "$work/app.log"; exit 1; }
if xdotool search --onlyvisible --name '^Zentraq$' >/dev/null 2>&1; then echo "FAIL: a message box is open"; fail=1; fi

# Each text goes onto the clipboard, is pasted into Text1 (at (8, 48) in the
# tab control) and converted with "8*16字母", reached with Shift+Tab twice and
# pressed with Enter; Tab three times then reaches "字模数据复制到粘贴板",
# which Enter presses and whose box Enter closes. Should Tab type into Text1
# instead of moving on, the data never reaches the clipboard.
click_nav $((136 + 64))
texts=('A\rB' 'A\nB' 'x\r\r\ny' 'a\tb\t' '中\r文\n\t\r\n\n\r末')
for i in "${!texts[@]}"; do
    printf "${texts[$i]}" >"$work/text"
    xclip -selection clipboard -i -quiet "$work/text" >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.3
    xdotool mousemove $((wx + 9 + 8 + 50)) $((wy + 97 + 48 + 50)) click 1
    xdotool key ctrl+a ctrl+v
    sleep 0.3
    [ "$i" = 0 ] && shot paste-lone-cr
    xdotool key shift+Tab shift+Tab Return
    sleep 0.3
    xdotool key Tab Tab Tab Return
    box=$(find_window '^Zentraq$' 50)
    if [ -z "$box" ]; then echo "FAIL: paste ${texts[$i]}: no message box after Enter on the copy button"; fail=1; continue; fi
    if [ "$i" = 0 ]; then
        # The box has an OK button only, without an icon: no green tick.
        sleep 0.5
        import -window "$box" "$shots/message-box.png"
        green=$(convert "$shots/message-box.png" -fx "g-r>0.05 && g-b>0.05" -format "%[fx:int(mean*w*h+0.5)]" info:)
        if [ "$green" != 0 ]; then echo "FAIL: the message box shows $green green pixels (an icon)"; fail=1; else echo "ok: the message box has no icon"; fi
    fi
    xclip -selection clipboard -o -t UTF8_STRING >"$work/copied" 2>/dev/null || true
    xdotool key Return
    "$cli" glyph --size 8x16 --input "$work/text" -q >"$work/expected"
    if cmp -s "$work/copied" "$work/expected"; then
        echo "ok: paste ${texts[$i]}: the window's data equals zentraq-cli's ($(wc -c <"$work/expected") bytes)"
    else
        echo "FAIL: paste ${texts[$i]}: the window's data ($(wc -c <"$work/copied") bytes) differs from zentraq-cli's ($(wc -c <"$work/expected") bytes)"
        fail=1
    fi
    sleep 0.3
done

kill -0 "$app" 2>/dev/null || { echo "FAIL: the program ended"; cat "$work/app.log"; exit 1; }
echo "screenshots in $shots"
exit $fail
