#!/usr/bin/env bash
# Checks the installation and the Debian package of a built tree:
#
#  1. installs into a staging folder (DESTDIR) and checks the files, the
#     desktop entry (desktop-file-validate), the metainfo (appstreamcli), the
#     icons, the man pages (man -l) and that all of them carry the one version,
#     and that a CMake project finds the staged CMake package;
#  2. builds the .deb with CPack and checks its contents and control fields;
#  3. installs the package with apt, starts the installed window under Xvfb as
#     a user made for this run, converts a picture through the window and
#     checks that temp.txt lands in that user's data folder with the bytes
#     zentraq-cli writes for the same picture, and that the version check
#     wrote v.txt there; builds examples/cmake against the installed CMake
#     package; then removes the package and the user again.
#
#   scripts/check-package.sh [--no-system] [build-dir]     (default build/release)
#
# Step 3 changes the system, so it needs root and runs only when nothing of
# its own is there yet: no package named zentraq, none of the package's files.
# Whatever happens, an exit trap ends the processes it started, removes the
# package and the user, puts back the backup copies (/etc/passwd- ...) that
# useradd and userdel replace, and checks that /etc/passwd and its companions
# are as they were. Runs take turns through the empty file
# /run/lock/zentraq-check-package.lock. --no-system stops after step 2.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

system=1
if [ "${1:-}" = --no-system ]; then system=0; shift; fi
build=$(cd "${1:-$root/build/release}" && pwd)
cache=$build/CMakeCache.txt
[ -f "$cache" ] || { echo "check-package: $build is not a configured build folder" >&2; exit 1; }

cached() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
version=$(cached CMAKE_PROJECT_VERSION)
id=org.zentraq.Zentraq
base_url=$(cached ZENTRAQ_UPDATE_BASE_URL)
started=$(date +%s)

fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }

work=$(mktemp -d /tmp/zentraq-package.XXXXXX)
chmod 755 "$work" # the test user and apt's download user read from here

# Everything started or created is recorded here and undone by cleanup.
pids=()
user=
installed=0
etc_saved=0
etc_files=(/etc/passwd /etc/group /etc/shadow /etc/gshadow /etc/subuid /etc/subgid)
cleanup() {
    local status=$?
    set +e
    for p in "${pids[@]}"; do kill -TERM -- "-$p" 2>/dev/null || kill -TERM "$p" 2>/dev/null; done
    if [ -n "$user" ]; then
        # Processes of the run's own user, by id, before the user goes.
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            left=$(pgrep -u "$user" || true)
            [ -z "$left" ] && break
            kill -KILL $left 2>/dev/null
            sleep 0.2
        done
        userdel "$user" >/dev/null 2>&1 || { echo "check-package: could not remove user $user" >&2; status=1; }
    fi
    if [ "$installed" = 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=300 zentraq \
            >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; status=1; }
        if dpkg-query -W -f='${Status}' zentraq 2>/dev/null | grep -q installed; then
            echo "check-package: the package zentraq is still installed" >&2
            status=1
        fi
    fi
    if [ "$etc_saved" = 1 ]; then
        # useradd and userdel leave their backup copies (passwd- ...) changed.
        for f in "${etc_files[@]}"; do
            [ -e "$work/etc/$(basename "$f")-" ] && cp -p "$work/etc/$(basename "$f")-" "$f-"
        done
        if ! (cd / && sha256sum --quiet -c "$work/etc.sha256") >&2; then
            echo "check-package: the user files in /etc differ from before the run" >&2
            status=1
        fi
    fi
    rm -rf "$work"
    [ "$status" = 0 ] && echo "check-package: passed in $(($(date +%s) - started)) s"
    exit "$status"
}
trap cleanup EXIT
trap 'echo "check-package: interrupted" >&2; exit 130' INT TERM HUP

# --- 1. Installation into a staging folder --------------------------------
dest=$work/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
expected=(
    usr/bin/zentraq usr/bin/zentraq-cli "usr/$(cached CMAKE_INSTALL_LIBDIR)/zentraq/libzentraq-cli.so"
    "usr/$(cached CMAKE_INSTALL_LIBDIR)/zentraq/libzentraq-cli-quick.so"
    "usr/$(cached CMAKE_INSTALL_LIBDIR)/zentraq/libzentraq-webview.so"
    usr/libexec/zentraq/zentraq-webengine usr/libexec/zentraq/zentraq-metafile
    usr/share/applications/$id.desktop
    usr/share/metainfo/$id.metainfo.xml
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/$id.png
    usr/share/icons/hicolor/scalable/apps/$id.svg
    usr/share/man/man1/zentraq.1.gz usr/share/man/man1/zentraq-cli.1.gz
    usr/share/doc/zentraq/copyright usr/share/doc/zentraq/README.md
    usr/share/cmake/Zentraq/Zentraq{Config,ConfigVersion,Functions,Targets}.cmake
    "usr/share/cmake/Zentraq/ZentraqTargets-$(cached CMAKE_BUILD_TYPE | tr '[:upper:]' '[:lower:]').cmake"
    usr/share/zentraq/lvgl/zt_flash_{font,image}.{c,h}
)
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$dest" && find . -type f | sed 's|^\./||' | sort) \
    || fail "the installed files differ from the list above (< expected, > installed)"
ok "cmake --install puts ${#expected[@]} files in place"

out=$(desktop-file-validate "$dest/usr/share/applications/$id.desktop" 2>&1) && [ -z "$out" ] \
    || fail "desktop-file-validate: $out"
grep -qx 'Categories=Development;Electronics;' "$dest/usr/share/applications/$id.desktop" \
    || fail "desktop entry: categories"
grep -qx "Icon=$id" "$dest/usr/share/applications/$id.desktop" || fail "desktop entry: icon name"
ok "desktop entry validates"

appstreamcli validate --no-net "$dest/usr/share/metainfo/$id.metainfo.xml" >"$work/as.log" 2>&1 \
    || { cat "$work/as.log"; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\" date=\"[0-9-]*\"/>" "$dest/usr/share/metainfo/$id.metainfo.xml" \
    || fail "metainfo: no release $version"
ok "metainfo validates and names release $version"

for size in 16 32 48 64 128 256; do
    got=$(identify -format '%m %wx%h' "$dest/usr/share/icons/hicolor/${size}x$size/apps/$id.png")
    [ "$got" = "PNG ${size}x$size" ] || fail "icon ${size}x$size is $got"
done
python3 -c 'import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); sys.exit(r.tag != "{http://www.w3.org/2000/svg}svg")' \
    "$dest/usr/share/icons/hicolor/scalable/apps/$id.svg" || fail "the scalable icon is not SVG"
ok "icons at 16 to 256 px and as SVG"

for page in zentraq zentraq-cli; do
    file=$dest/usr/share/man/man1/$page.1.gz
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" >"$work/$page.txt" 2>"$work/$page.err" \
        || fail "man -l $page"
    [ ! -s "$work/$page.err" ] || { cat "$work/$page.err"; fail "man -l $page: warnings"; }
    lexgrog "$file" | grep -q "\"$page - " || fail "$page.1: NAME not readable by whatis"
    grep -q "Zentraq V$version" "$work/$page.txt" || fail "$page.1: no version V$version"
    # Read in a terminal of 80 columns, by a user of the installed program.
    width=$(LC_ALL=C.UTF-8 wc -L <"$work/$page.txt")
    [ "$width" -le 80 ] || fail "$page.1: lines of $width columns in a terminal of 80"
    ! grep -n 'build/' "$work/$page.txt" || fail "$page.1 names a path of the build tree"
done
grep -q -- '--byte-order' "$work/zentraq-cli.txt" || fail "zentraq-cli.1 lacks the options"
python3 "$root/tests/packaging/check-man-page.py" "$dest/usr/share/man/man1/zentraq-cli.1.gz" \
    "$dest/usr/share/man/man1/zentraq.1.gz" || fail "the installed man pages"
ok "man pages render without warnings, within 80 columns"

[ "$("$dest/usr/bin/zentraq-cli" --version)" = "zentraq-cli V$version" ] || fail "zentraq-cli --version"
ok "zentraq-cli --version says V$version"

# A plain PNG goes the installed quick path, which loads no Qt, and makes the
# bytes of the conversions on Qt (which an option it leaves to them picks).
png=$root/fuzz/corpus/png_quick/rgba.png
LD_DEBUG=libs "$dest/usr/bin/zentraq-cli" picture "$png" -q -o "$work/quick.txt" 2>"$work/quick.libs" \
    || fail "the installed zentraq-cli cannot convert $png"
grep -q 'libzentraq-cli-quick.so' "$work/quick.libs" && ! grep -q 'libQt6' "$work/quick.libs" \
    || fail "the installed zentraq-cli did not take the quick path without Qt for $png"
"$dest/usr/bin/zentraq-cli" picture "$png" -q --format hex -o "$work/qt.txt" \
    || fail "the installed zentraq-cli cannot convert $png through Qt"
cmp -s "$work/quick.txt" "$work/qt.txt" || fail "the quick path and the conversions on Qt differ"
ok "a plain PNG takes the installed quick path, without Qt, to the same bytes"

# The installed tool finds the installed metafile converter beside it.
for seed in scene-emf.emf scene-placeable-1440-per-inch.wmf; do
    "$build/src/cli/zentraq-cli" picture "$root/fuzz/corpus/metafile/$seed" -q -o "$work/built.txt" \
        || fail "zentraq-cli of the build tree cannot read $seed"
    "$dest/usr/bin/zentraq-cli" picture "$root/fuzz/corpus/metafile/$seed" -q -o "$work/installed.txt" \
        || fail "the installed zentraq-cli cannot read $seed"
    cmp -s "$work/built.txt" "$work/installed.txt" || fail "$seed: installed and built tool differ"
done
ok "the installed zentraq-cli draws WMF and EMF with the installed converter"

# The CMake package: found by version, the imported tool in the staging folder.
mkdir "$work/find"
cat >"$work/find/CMakeLists.txt" <<'EOF_CMAKE'
cmake_minimum_required(VERSION 3.20)
project(find_zentraq NONE)
find_package(Zentraq ${WANT} QUIET)
if(Zentraq_FOUND)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/tool.txt CONTENT "$<TARGET_FILE:Zentraq::cli>")
  file(WRITE ${CMAKE_BINARY_DIR}/commands.txt "${Zentraq_COMMANDS}")
  get_target_property(flash Zentraq::lvgl_flash_font INTERFACE_SOURCES)
  file(WRITE ${CMAKE_BINARY_DIR}/flash.txt "${flash}")
endif()
EOF_CMAKE
found() {
    rm -rf "$work/find/b"
    cmake -S "$work/find" -B "$work/find/b" -DWANT="$1" -DCMAKE_PREFIX_PATH="$dest/usr" >/dev/null \
        || fail "configuring a project that looks for Zentraq $1"
    [ -f "$work/find/b/tool.txt" ]
}
found "$version" || fail "find_package(Zentraq $version) does not find the staged package"
[ "$(cat "$work/find/b/tool.txt")" = "$dest/usr/bin/zentraq-cli" ] \
    || fail "Zentraq::cli is $(cat "$work/find/b/tool.txt"), not the staged zentraq-cli"
grep -q '^glyph;picture;preview;library' "$work/find/b/commands.txt" \
    || fail "Zentraq_COMMANDS is '$(cat "$work/find/b/commands.txt")'"
lvgl=$dest/usr/share/zentraq/lvgl
[ "$(cat "$work/find/b/flash.txt")" = "$lvgl/zt_flash_font.c;$lvgl/zt_flash_image.c" ] \
    || fail "Zentraq::lvgl_flash_font carries $(cat "$work/find/b/flash.txt")"
# The image reader needs no LVGL: it compiles alone as strict C99.
cc -std=c99 -pedantic -Wall -Wextra -Werror -c "$lvgl/zt_flash_image.c" -o "$work/zt_flash_image.o" \
    || fail "the installed zt_flash_image.c does not compile as C99"
ok "Zentraq::lvgl_flash_font carries the flash font runtime installed in share/zentraq/lvgl"
found "${version%%.*}.0" || fail "find_package(Zentraq ${version%%.*}.0) refuses version $version"
! found "$((${version%%.*} + 1)).0" || fail "find_package(Zentraq $((${version%%.*} + 1)).0) accepts $version"
ok "find_package(Zentraq $version) finds Zentraq::cli in the staging folder"

# The README's CMake snippets, as written, against the staging folder.
bash "$root/tests/cmake/test_readme_cmake.sh" "$build" "$root/README.md" "$dest/usr" >"$work/readme-cmake.log" 2>&1 \
    || { cat "$work/readme-cmake.log"; fail "the README's CMake snippets"; }
ok "the README's CMake snippets build against the staging folder"

# --- 2. The .deb -----------------------------------------------------------
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail cpack; }
deb=$work/deb/zentraq_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"
chmod 644 "$deb"
dpkg-deb -I "$deb" >"$work/control.txt"
dpkg-deb -c "$deb" >"$work/contents.txt"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zentraq ] && [ "$(field Version)" = "$version" ] || fail "package name or version"
depends=$(field Depends)
for need in fonts-arphic-uming qt6-qpa-plugins qt6-translations-l10n libqt6widgets6 libc6 \
    libwmflite-0.2-7 libemf2svg1 libqt6svg6; do
    grep -qE "(^|, )$need( |,|$)" <<<"$depends" || fail "Depends lacks $need: $depends"
done
diff <(printf './%s\n' "${expected[@]}" | sort) \
    <(awk '$1 !~ /^d/ {print $6}' "$work/contents.txt" | sort) || fail "package contents"
ok "$(basename "$deb"): $(stat -c %s "$deb") bytes, Depends: $depends"
# What apt installs beside the package by default: its recommendations, and
# theirs in turn. Only what the program uses, and the list never grows
# without this check being changed too.
recommends_allowed=()
recommends=$(field Recommends || true)
echo "Recommends: ${recommends:-(none)}; Suggests: $(field Suggests || true)"
for r in $(tr ',|' '\n\n' <<<"$recommends" | sed 's/(.*//; s/ //g' | grep .); do
    printf '%s\n' "${recommends_allowed[@]}" | grep -qx -- "$r" \
        || fail "the package recommends $r, which is not on the list in check-package.sh"
done
# No configuration files: removing the package takes every file it brought.
dpkg-deb -e "$deb" "$work/control"
[ ! -s "$work/control/conffiles" ] || fail "the package has configuration files: $(cat "$work/control/conffiles")"
ok "the package recommends ${recommends:-nothing} and has no configuration files"
[ "$system" = 1 ] || exit 0

# --- 3. Installed with apt, used by a normal user --------------------------
[ "$(id -u)" = 0 ] || fail "installing the package needs root (use --no-system for steps 1 and 2)"
# One run at a time on a machine: the package and its files are shared.
exec 9>/run/lock/zentraq-check-package.lock
flock -w 900 9 || fail "another check-package run holds /run/lock/zentraq-check-package.lock"
if dpkg-query -W -f='${Status}' zentraq 2>/dev/null | grep -qv not-installed; then
    fail "a package named zentraq is on this machine already; not touching it" \
        "(if an interrupted check left it behind: apt-get purge zentraq)"
fi
for f in "${expected[@]}"; do
    [ ! -e "/$f" ] || fail "/$f exists already; not overwriting it"
done
# Only the package itself may be added: its dependencies must be installed.
DEBIAN_FRONTEND=noninteractive apt-get install -s -q --no-install-recommends "$deb" >"$work/sim.log" 2>&1 \
    || { cat "$work/sim.log"; fail "apt-get cannot install the package"; }
[ "$(grep '^Inst ' "$work/sim.log" | cut -d' ' -f2 | tr '\n' ' ')" = "zentraq " ] \
    || { grep '^Inst ' "$work/sim.log"; fail "installing would add other packages (run scripts/install-deps.sh)"; }
# As a user installs it, recommendations included.
DEBIAN_FRONTEND=noninteractive apt-get install -s -q "$deb" >"$work/sim-rec.log" 2>&1 \
    || { cat "$work/sim-rec.log"; fail "apt-get cannot install the package with its recommendations"; }
added=$(grep '^Inst ' "$work/sim-rec.log" | cut -d' ' -f2 | tr '\n' ' ')
echo "apt-get install with recommendations adds here: $added"
[ "$added" = "zentraq " ] || fail "installing with recommendations would add $added"

mkdir "$work/etc"
for f in "${etc_files[@]}"; do
    [ -e "$f" ] && (cd / && sha256sum "${f#/}") >>"$work/etc.sha256"
    [ -e "$f-" ] && cp -p "$f-" "$work/etc/$(basename "$f")-" && (cd / && sha256sum "${f#/}-") >>"$work/etc.sha256"
done
etc_saved=1

installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt-get install"; }
ok "apt-get installed the package"

# An outside CMake project finds the installed package by itself and makes
# its data with the installed tool.
cp -r "$root/examples/cmake" "$work/example"
cmake -S "$work/example" -B "$work/example/build" -G Ninja >"$work/example.log" 2>&1 \
    && cmake --build "$work/example/build" >>"$work/example.log" 2>&1 \
    || { cat "$work/example.log"; fail "building examples/cmake against the installed package"; }
grep -q "/usr/bin/zentraq-cli picture" "$work/example/build/build.ninja" \
    || fail "examples/cmake did not use /usr/bin/zentraq-cli"
[ "$("$work/example/build/asset_sums" | wc -l)" = 5 ] || fail "examples/cmake's program"
ok "examples/cmake builds against the installed package"

name=zentraq-ci-$$
! getent passwd "$name" >/dev/null && ! getent group "$name" >/dev/null || fail "user $name exists already"
home=$work/home
useradd --system --user-group --no-create-home --home-dir "$home" --shell /usr/sbin/nologin "$name"
user=$name
install -d -o "$user" -g "$user" -m 700 "$home" "$home/run"
ok "user $user made for the run"

# The desktop's "open file" is a stand-in that records what it was asked to
# open and then complains on both its streams, as xdg-open does without an
# application for the file: none of it may reach the window's output.
install -d -m 755 "$work/bin"
touch "$work/opened" && chown "$user" "$work/opened"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>%s\necho "xdg-open: no method available for opening $1"\necho "  (a stand-in)" >&2\nexit 3\n' \
    "$work/opened" >"$work/bin/xdg-open"
chmod 755 "$work/bin/xdg-open"

# The picture: 13 x 7 pixels, so the last data line is short, with a
# half-transparent patch that both programs put on white.
convert -size 13x7 gradient:'#ff0000-#0000ff' -fill '#00ff0080' -draw 'rectangle 2,2 6,4' \
    "PNG32:$work/picture.png"
chmod 644 "$work/picture.png"
"$build/src/cli/zentraq-cli" picture "$work/picture.png" -q -o "$work/expected.txt"

# The update site, when the build points at this machine and nobody serves it yet.
port=$(sed -n 's|^http://127\.0\.0\.1:\([0-9]*\)/$|\1|p' <<<"$base_url")
if [ -n "$port" ] && ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    setsid python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/site" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
fi

# -noreset: the test's own clients (xdotool, import) come and go, and a server
# that resets each time its last client leaves refuses connections meanwhile.
setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display")

# The installed program as the user starts it from a desktop session: a clean
# environment, no language set, the user's own runtime folder.
setsid runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" \
    PATH="$work/bin:/usr/bin:/bin" DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$home/run" \
    /usr/bin/zentraq >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
t0=$(date +%s)

title="Zentraq-懒人版 V$version"
win=
for _ in $(seq 600); do
    # Matched loosely: without a locale the window's legacy name is not UTF-8.
    win=$(xdotool search --onlyvisible --name "^Zentraq-.* V$version\$" 2>/dev/null | head -1) || true
    [ -n "$win" ] && break
    kill -0 "$app" 2>/dev/null || { cat "$work/app.log"; fail "the installed program ended"; }
    sleep 0.1
done
[ -n "$win" ] || { cat "$work/app.log"; fail "no window titled $title"; }
[ "$(xdotool getwindowname "$win")" = "$title" ] || fail "the window's title is $(xdotool getwindowname "$win")"
# The desktop matches the window to its menu entry by the window's class.
class=$(sed -n 's/^StartupWMClass=//p' "$dest/usr/share/applications/$id.desktop")
xprop -id "$win" WM_CLASS | grep -q ", \"$class\"\$" || fail "window class $(xprop -id "$win" WM_CLASS), entry says $class"
eval "$(xdotool getwindowgeometry --shell "$win")"
wx=$X wy=$Y
ok "the installed window is up as $user after $(($(date +%s) - t0)) s"

data=$home/.local/share/Zentraq
box() { xdotool search --onlyvisible --name '^Zentraq$' 2>/dev/null | head -1; }
# Presses Enter in the message box that the step named in $1 brings up.
confirm() {
    local b=
    for _ in $(seq 100); do b=$(box) && [ -n "$b" ] && break; sleep 0.1; done
    [ -n "$b" ] || fail "no message box after $1"
    xdotool windowfocus --sync "$b" key Return
    for _ in $(seq 50); do [ -z "$(box)" ] && return; sleep 0.1; done
    fail "the message box after $1 stays open"
}
click() { xdotool mousemove $((wx + $1)) $((wy + $2)) click 1; sleep 0.3; }

# The version check runs a second after the start.
for _ in $(seq 100); do [ -s "$data/v.txt" ] && break; sleep 0.1; done
sleep 1
if [ -n "$port" ]; then
    [ -z "$(box)" ] || fail "the version check showed a message"
    python3 -c 'import sys, urllib.request; sys.stdout.buffer.write(urllib.request.urlopen(sys.argv[1]).read())' \
        "${base_url}v.txt" >"$work/served.txt"
    cmp -s "$data/v.txt" "$work/served.txt" || fail "v.txt in $data is not the server's file"
    ok "the version check wrote v.txt into $data"
fi

# Page 2 ("TFT字符/图片取模"), tab "图片取模", "导入图片"; positions as the
# layout gives them inside the page's one-pixel border at (8, 96).
click $((10 + 136 + 64)) $((10 + 44))
click $((9 + 240 + 120)) $((97 + 10))
click $((9 + 328 + 52)) $((97 + 264 + 16))
# Qt's file dialog, in Simplified Chinese for a user without a language set.
dialog=
for _ in $(seq 100); do
    dialog=$(xdotool search --onlyvisible --name '.' 2>/dev/null | grep -vx "$win" | head -1) || true
    [ -n "$dialog" ] && break
    sleep 0.1
done
[ -n "$dialog" ] || fail "no file dialog"
[ "$(xdotool getwindowname "$dialog")" = "打开" ] \
    || fail "the file dialog is titled $(xdotool getwindowname "$dialog"), not 打开"
sleep 0.5
xdotool windowfocus --sync "$dialog" type --delay 20 "$work/picture.png"
xdotool key Return
confirm "loading the picture"
click $((9 + 440 + 52)) $((97 + 264 + 16)) # "生成取模数据"
confirm "the conversion"
for _ in $(seq 50); do [ -s "$work/opened" ] && break; sleep 0.1; done

cmp "$data/temp.txt" "$work/expected.txt" || fail "temp.txt differs from zentraq-cli's data"
ok "temp.txt in $data holds zentraq-cli's bytes ($(stat -c %s "$data/temp.txt") bytes)"
[ "$(stat -c %U "$data/temp.txt")" = "$user" ] || fail "temp.txt does not belong to $user"
grep -q "temp.txt" "$work/opened" || fail "temp.txt was not handed to the desktop"
for f in /usr/bin/temp.txt /usr/bin/v.txt; do [ ! -e "$f" ] || fail "$f was written"; done
ok "temp.txt handed to the desktop; nothing written beside the program"

# A quiet start: not a line, from the window or from the web engine's
# sandboxed processes.
if [ -s "$work/app.log" ]; then
    cat "$work/app.log"
    fail "the program printed messages"
fi
ok "the program printed nothing, nor did the opener through it"

# Removed, the package takes every file it brought; it stays known to dpkg
# (its ldconfig call after removal) until it is purged.
kill -TERM "$app" 2>/dev/null
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q -o DPkg::Lock::Timeout=300 zentraq \
    >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
for f in "${expected[@]}"; do [ ! -e "/$f" ] || fail "/$f is left after apt-get remove"; done
ok "apt-get remove leaves none of the package's files; dpkg state $(dpkg-query -W -f='${db:Status-Abbrev}' zentraq 2>/dev/null || echo gone)"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=300 zentraq \
    >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "apt-get purge"; }
installed=0
case "$(dpkg-query -W -f='${db:Status-Abbrev}' zentraq 2>/dev/null)" in
    i* | r* | h*) fail "dpkg still has zentraq after apt-get purge" ;;
esac
ok "apt-get purge removes the package wholly"
