#!/usr/bin/env bash
# End-to-end check of the real program: starts it under Xvfb, finds the window
# by its title and uses it as a person would, with the mouse, the keyboard and
# the clipboard: the four pages with their panel borders, then texts pasted
# into the input, converted and copied with Tab and Enter, against
# zentraq-cli's data for the same text. Screenshots are left in the given
# folder for a person to look at.
#
# When the update address the program is built with is on this machine's
# loopback, the test serves the project's site there and expects a quiet
# version check; for any other address it expects the failure box of the
# version check, closes it and goes on. Every step waits for what it checks,
# up to a deadline, so a busy machine makes it slower, not wrong.
#
#   smoke.sh PROGRAM SITE SCREENSHOTS ZENTRAQ-CLI VERSION BASE-URL
set -euo pipefail
bin=$1 site=$2 shots=$3 cli=$4 version=$5 base_url=$6
serve="$(cd "$(dirname "$0")/../.." && pwd)/scripts/serve-site.py"

# The whole test in a network namespace of its own where one can be made: the
# update address is then the test's alone, and the program finds the
# display's sockets where the test's Xvfb made them. Elsewhere the machine's
# port is used only when it serves this project's site.
netns=0
if [ -n "${ZENTRAQ_SMOKE_NETNS:-}" ]; then
    ip link set lo up
    netns=1
elif unshare -rn true 2>/dev/null; then
    exec unshare -rn env ZENTRAQ_SMOKE_NETNS=1 "$0" "$@"
fi
mkdir -p "$shots"
work=$(mktemp -d)
pids=()
xvfb=
cleanup() {
    for p in "${pids[@]}" $(cat "$work/server.pid" 2>/dev/null); do kill "$p" 2>/dev/null || true; done
    # Xvfb removes its socket as it ends; once it has, the display number is
    # free for the next server without this one taking the socket away.
    [ -z "$xvfb" ] || wait "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds; fails once
# SECONDS have passed.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}
fail=0
failed() { echo "FAIL: $*"; fail=1; }
stop() { echo "FAIL: $*"; cat "$work/app.log" 2>/dev/null; exit 1; }

# -noreset: the test's own clients (xdotool, import) come and go, and a server
# that resets each time its last client leaves refuses connections meanwhile.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
pids+=($xvfb)
wait_for 30 test -s "$work/display" || stop "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

# The site is served where the program looks for it; the server ends with
# this script, also when the test is killed. In the namespace an address off
# this machine cannot be reached at all.
where=$("$serve" --where "$base_url")
if [ -n "$where" ]; then
    echo "the program is built for $base_url: serving $site at $where"
    "$serve" "$site" "$where" "$work/server.pid" $$ >/dev/null || stop "no update site for the program"
elif [ $netns = 1 ]; then
    echo "the program is built for $base_url, off this machine: expecting the version check's failure box"
else
    echo "the program is built for $base_url, off this machine, and reaches the network: expecting the failure box"
fi
touch "$work/started"
"$bin" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
running() { kill -0 "$app" 2>/dev/null || stop "the program ended"; }

# Windows come and go while the program starts; search until it is there.
window_is_up() {
    running
    win=$(xdotool search --onlyvisible --name "^Zentraq-懒人版 $version\$" 2>/dev/null | head -1) && [ -n "$win" ]
}
wait_for 60 window_is_up || stop "no window titled Zentraq-懒人版 $version"
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" = 736 ] && [ "$HEIGHT" = 667 ] || stop "client area ${WIDTH}x${HEIGHT}, expected 736x667"
wx=$X wy=$Y

box_is_open() { box=$(xdotool search --onlyvisible --name '^Zentraq$' 2>/dev/null | head -1) && [ -n "$box" ]; }
no_box() { ! box_is_open; }
# The version check runs about a second after the start and writes v.txt
# into the program's data folder: beside a build tree's program, else the
# user's.
fresh_version_file() {
    local f
    for f in "$(dirname "$bin")/v.txt" "${XDG_DATA_HOME:-$HOME/.local/share}/Zentraq/v.txt"; do
        [ "$f" -nt "$work/started" ] && cmp -s "$f" "$site/v.txt" && return 0
    done
    return 1
}
if [ -n "$where" ]; then
    # With the site's own version file the check says nothing and the
    # program runs on; whether a box came is seen once the pages below have
    # answered the mouse, which they do only after the check.
    wait_for 60 fresh_version_file || failed "the version check did not copy the site's v.txt"
    page_colour='#18305C' # the site's header
else
    wait_for 60 box_is_open || stop "no failure box of the version check"
    echo "ok: the version check shows its failure box"
    xdotool windowfocus --sync "$box" key Return
    wait_for 20 no_box || stop "the failure box stays open after Enter"
    page_colour='#1A73E8' # the web engine's button on its page for a failed load
fi

pixel() { convert "$1" -format "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]" -crop "1x1+$2+$3" +repage info:; }
snap() { import -window root -crop "736x667+$wx+$wy" +repage "$shots/$1.png"; }
has_colour() { # shot colour
    [ "$(convert "$shots/$1.png" -crop 718x558+9+97 +repage -fill black +opaque "$2" -fill white -opaque "$2" \
        -format '%[fx:mean>0]' info:)" = 1 ]
}
# Navigation buttons sit in the bar at (8, 8) inside its 2-pixel border.
click_nav() { xdotool mousemove $((wx + 10 + $1)) $((wy + 10 + 44)) click 1; }

# show_page NAME TEST: screenshots NAME until TEST NAME holds.
snap_and_test() { running && snap "$1" && "$2" "$1"; }
show_page() { wait_for 60 snap_and_test "$1" "$2"; }
home_drawn() { has_colour "$1" "$page_colour"; }
# Text2 (white) lies at (8, 360) in page 2, which starts at (8, 96) inside a
# one-pixel border; the glyph canvas (red) at (288, 168) in the tab control.
output_x=$((9 + 8 + 20)) output_y=$((97 + 360 + 20))
data_page_shown() {
    [ "$(pixel "$shots/$1.png" $output_x $output_y)" = "255,255,255" ] &&
        [ "$(pixel "$shots/$1.png" $((9 + 288 + 5)) $((97 + 168 + 5)))" = "255,0,0" ]
}
output_hidden() { [ "$(pixel "$shots/$1.png" $output_x $output_y)" = "$(pixel "$shots/$1.png" 4 4)" ]; }

show_page page1-home home_drawn && echo "ok: page 1 shows the home page" || failed "page 1 shows no home page"
click_nav $((136 + 64))
show_page page2-data data_page_shown && echo "ok: page 2 shows the output area and the red glyph canvas" ||
    failed "page 2 lacks the output area or the glyph canvas"
click_nav $((280 + 48))
show_page page3-serial output_hidden && echo "ok: page 3 hides the output area" || failed "page 3 shows the output area"
click_nav $((392 + 48))
show_page page4-mcu output_hidden && echo "ok: page 4 hides the output area" || failed "page 4 shows the output area"
click_nav $((24 + 48))
show_page page1-again home_drawn && echo "ok: page 1 again" || failed "page 1 does not come back"

# The page panels lie at (8, 96), 720 x 560; every pixel of their 1-pixel
# border has the colour of its top-left corner, whatever the page holds.
check_border() { # shot
    local colour edge bad intact=1
    colour=$(convert "$shots/$1.png" -format "%[pixel:p{8,96}]" info:)
    for edge in 1x560+8+96 1x560+727+96 720x1+8+96 720x1+8+655; do
        bad=$(convert "$shots/$1.png" -crop "$edge" +repage -fill white +opaque "$colour" \
              -fill black -opaque "$colour" -format "%[fx:int(mean*w*h+0.5)]" info:)
        if [ "$bad" != 0 ]; then failed "$1: $bad pixels of the border $edge are painted over"; intact=0; fi
    done
    [ $intact = 0 ] || echo "ok: $1 keeps its panel border"
}
for page in page1-home page2-data page3-serial page4-mcu; do check_border $page; done

running
if box_is_open; then failed "a message box is open"; else echo "ok: no message box is open"; fi

# Each text goes onto the clipboard, is pasted into Text1 (at (8, 48) in the
# tab control) and converted with "8*16字母", reached with Shift+Tab twice and
# pressed with Enter; Tab three times then reaches "字模数据复制到粘贴板",
# which Enter presses and whose box Enter closes. Should Tab type into Text1
# instead of moving on, the data never reaches the clipboard. The window
# takes the keys in the order they are sent, so the box comes only after the
# paste and the conversion.
clipboard_holds() { xclip -selection clipboard -o -t UTF8_STRING 2>/dev/null | cmp -s - "$1"; }
box_drawn() { # the box's text and button are drawn: dark pixels in it
    import -window "$box" "$1" 2>/dev/null &&
        [ "$(convert "$1" -colorspace gray -threshold 40% -negate -format '%[fx:mean>0]' info:)" = 1 ]
}
click_nav $((136 + 64))
texts=('A\rB' 'A\nB' 'x\r\r\ny' 'a\tb\t' '中\r文\n\t\r\n\n\r末')
for i in "${!texts[@]}"; do
    printf "${texts[$i]}" >"$work/text"
    xclip -selection clipboard -i -quiet "$work/text" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 20 clipboard_holds "$work/text" || { failed "paste ${texts[$i]}: the clipboard does not take the text"; continue; }
    xdotool mousemove $((wx + 9 + 8 + 50)) $((wy + 97 + 48 + 50)) click 1
    xdotool key ctrl+a ctrl+v shift+Tab shift+Tab Return Tab Tab Tab Return
    if ! wait_for 30 box_is_open; then failed "paste ${texts[$i]}: no message box after Enter on the copy button"; continue; fi
    if [ "$i" = 0 ]; then
        snap paste-lone-cr
        # The box has an OK button only, without an icon: no green tick.
        wait_for 20 box_drawn "$shots/message-box.png" || failed "the message box is not drawn"
        green=$(convert "$shots/message-box.png" -fx "g-r>0.05 && g-b>0.05" -format "%[fx:int(mean*w*h+0.5)]" info:)
        if [ "$green" != 0 ]; then failed "the message box shows $green green pixels (an icon)"; else echo "ok: the message box has no icon"; fi
    fi
    xclip -selection clipboard -o -t UTF8_STRING >"$work/copied" 2>/dev/null || true
    xdotool windowfocus --sync "$box" key Return
    wait_for 20 no_box || failed "paste ${texts[$i]}: the box stays open after Enter"
    "$cli" glyph --size 8x16 --input "$work/text" -q >"$work/expected"
    if cmp -s "$work/copied" "$work/expected"; then
        echo "ok: paste ${texts[$i]}: the window's data equals zentraq-cli's ($(wc -c <"$work/expected") bytes)"
    else
        failed "paste ${texts[$i]}: the window's data ($(wc -c <"$work/copied") bytes) differs from zentraq-cli's ($(wc -c <"$work/expected") bytes)"
    fi
done

running
echo "screenshots in $shots"
exit $fail
