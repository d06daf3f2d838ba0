#!/usr/bin/env bash
# The CMake package as an outside project uses it: installs this build into a
# staging folder (DESTDIR), builds a copy of examples/cmake against it with
# Ninja and with Unix Makefiles, and checks
#  - the program's checksums and the generated headers against zentraq-cli
#    run by hand;
#  - that a second build does nothing;
#  - that touching the picture runs only the picture's command (and, with
#    Ninja, rebuilds nothing else: the header keeps its bytes and its time);
#  - that editing the charset file, and replacing the glyph set's font file,
#    re-make the glyph set and nothing else;
#  - that replacing the status font's font file re-makes that font and
#    nothing else;
# and that the functions stop the configuration when OUTPUT is missing, and
# put INPUT where each command takes it; and that Zentraq::lvgl_flash_font
# builds into a program with LVGL (when LVGL_ROOT, the folder holding lvgl/,
# LVGL_CONF, the folder of its lv_conf.h, and LVGL_LIB, the library, are
# given) that reads a font image made in the same build.
#
#   test_cmake_package.sh BUILD_DIR EXAMPLE_DIR [LVGL_ROOT LVGL_CONF LVGL_LIB]
#
# CMAKE and NINJA name the programs when they are not on the PATH.
set -euo pipefail
cmake=${CMAKE:-cmake}
ninja=${NINJA:-ninja}
build=$(cd "$1" && pwd)
example=$(cd "$2" && pwd)
lvgl_root=${3:-} lvgl_conf=${4:-} lvgl_lib=${5:-}

work=$(mktemp -d /tmp/zentraq-cmake-package.XXXXXX)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }

dest=$work/dest
DESTDIR=$dest "$cmake" --install "$build" --prefix /usr >/dev/null
prefix=$dest/usr
tool=$prefix/bin/zentraq-cli
[ -x "$tool" ] || fail "no $tool after the installation"

# Faces from the packages the project depends on.
face_a=/usr/share/fonts/truetype/arphic/uming.ttc
face_b=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
face_c=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
for f in "$face_a" "$face_b" "$face_c"; do [ -f "$f" ] || fail "$f is missing (scripts/install-deps.sh)"; done

# "name bytes crc32" of a file, as the example prints it for an array.
sum() { python3 -c 'import sys, zlib; d = open(sys.argv[2], "rb").read(); print(sys.argv[1], len(d), "%08x" % zlib.crc32(d))' "$1" "$2"; }

# What the example's program must print, from the tool run by hand in `src`.
expected_sums() {
    local src=$1 out=$2
    "$tool" picture "$src/assets/logo.png" --byte-order high-first --binary -q -o "$out/logo.bin"
    "$tool" library --charset "$src/assets/menu.txt" --size 16x16 --scan page \
        --font-file "$src/assets/face.ttc" --binary -q -o "$out/menu.bin"
    python3 -c 'import struct, sys, unicodedata
text = open(sys.argv[1], encoding="utf-8").read()
codes = sorted({ord(c) for c in text if unicodedata.category(c) != "Cc"})
open(sys.argv[2], "wb").write(struct.pack("<%dI" % len(codes), *codes))' "$src/assets/menu.txt" "$out/codes.bin"
    "$tool" glyph --size 8x16 --binary -q -o "$out/greeting.bin" -- Hello
    # The C array holds the bytes of the .vlw file.
    "$tool" font --font-file "$src/assets/status.ttf" --size 14 --range 0x20-0x7E --format vlw \
        -q -o "$out/status.vlw"
    sum logo "$out/logo.bin"
    sum menu_font "$out/menu.bin"
    sum menu_font_codes "$out/codes.bin"
    sum greeting "$out/greeting.bin"
    sum status_font "$out/status.vlw"
}

maker() { if [ "$1" = Ninja ]; then command -v "$ninja"; else command -v make; fi; }

# The zentraq commands a build ran, by their comments, sorted.
ran() { grep -o 'zentraq-cli [a-z]*: [a-z_]*\.h' "$1" | sed 's/.*: //' | sort | tr '\n' ' '; }
compiled() { grep -qE 'Building C object|Linking C executable' "$1"; }

check_generator() {
    local generator=$1 tag=$2
    # A space in the folder's name, so that every depfile must escape one.
    local src="$work/$tag/example src" bin="$work/$tag/build" log="$work/$tag/log" hand="$work/$tag/hand"
    mkdir -p "$work/$tag" "$hand"
    cp -r "$example" "$src"
    cp "$face_a" "$src/assets/face.ttc"
    cp "$face_b" "$src/assets/status.ttf"
    "$cmake" -S "$src" -B "$bin" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_MAKE_PROGRAM="$(maker "$generator")" \
        -DEXAMPLE_FONT_FILE="$src/assets/face.ttc" -DEXAMPLE_STATUS_FONT_FILE="$src/assets/status.ttf" >"$log" 2>&1 || { cat "$log"; fail "$tag: configure"; }
    build_it() { "$cmake" --build "$bin" >"$log" 2>&1 || { cat "$log"; fail "$tag: build ($1)"; }; }

    build_it "first"
    [ "$(ran "$log")" = "greeting.h logo.h menu_font.h status_font.h " ] || { cat "$log"; fail "$tag: the first build ran $(ran "$log")"; }
    diff <(expected_sums "$src" "$hand") <("$bin/asset_sums") || fail "$tag: checksums differ from zentraq-cli by hand"
    "$tool" picture "$src/assets/logo.png" -o "$hand/logo.h" --format c --name logo -q --byte-order high-first
    cmp "$hand/logo.h" "$bin/logo.h" || fail "$tag: logo.h differs from zentraq-cli by hand"
    "$tool" font --font-file "$src/assets/status.ttf" --size 14 --range 0x20-0x7E --format vlw-c \
        -q -o "$hand/status_font.h"
    cmp "$hand/status_font.h" "$bin/status_font.h" || fail "$tag: status_font.h differs from zentraq-cli by hand"
    ok "$tag: the example prints the checksums of zentraq-cli run by hand"

    build_it "second"
    if [ "$tag" = ninja ]; then
        [ "$(cd "$bin" && "$ninja" -n)" = "ninja: no work to do." ] || fail "$tag: ninja -n has work after a build"
    fi
    [ -z "$(ran "$log")" ] && ! compiled "$log" || { cat "$log"; fail "$tag: a second build did something"; }
    ok "$tag: a second build does nothing"

    local before
    before=$(stat -c %Y.%y "$bin/logo.h")
    touch "$src/assets/logo.png"
    build_it "touched picture"
    [ "$(ran "$log")" = "logo.h " ] || { cat "$log"; fail "$tag: touching the picture ran $(ran "$log")"; }
    if [ "$tag" = ninja ]; then
        [ "$(stat -c %Y.%y "$bin/logo.h")" = "$before" ] || fail "$tag: logo.h was rewritten with the same bytes"
        ! compiled "$log" || { cat "$log"; fail "$tag: an unchanged header was compiled again"; }
    fi
    build_it "after the touched picture"
    [ -z "$(ran "$log")" ] && ! compiled "$log" || { cat "$log"; fail "$tag: the build after that did something"; }
    ok "$tag: touching the picture runs its command only, once"

    printf '新\n' >>"$src/assets/menu.txt"
    build_it "edited charset"
    [ "$(ran "$log")" = "menu_font.h " ] || { cat "$log"; fail "$tag: editing the charset ran $(ran "$log")"; }
    grep -q "U+65B0 '新'" "$bin/menu_font.h" || fail "$tag: menu_font.h lacks the new character"
    diff <(expected_sums "$src" "$hand") <("$bin/asset_sums") || fail "$tag: checksums after the edit"
    ok "$tag: editing the charset file re-makes the glyph set only"

    cp "$face_b" "$src/assets/face.ttc"
    build_it "replaced font"
    [ "$(ran "$log")" = "menu_font.h " ] || { cat "$log"; fail "$tag: replacing the font ran $(ran "$log")"; }
    diff <(expected_sums "$src" "$hand") <("$bin/asset_sums") || fail "$tag: checksums after the new font"
    ok "$tag: replacing the glyph set's font file re-makes the glyph set only"

    local old_sum
    old_sum=$(sum status_font "$bin/status_font.h")
    cp "$face_c" "$src/assets/status.ttf"
    build_it "replaced status font"
    [ "$(ran "$log")" = "status_font.h " ] || { cat "$log"; fail "$tag: replacing the status font ran $(ran "$log")"; }
    [ "$(sum status_font "$bin/status_font.h")" != "$old_sum" ] || fail "$tag: status_font.h kept the old face"
    diff <(expected_sums "$src" "$hand") <("$bin/asset_sums") || fail "$tag: checksums after the new status font"
    build_it "after the replaced status font"
    [ -z "$(ran "$log")" ] && ! compiled "$log" || { cat "$log"; fail "$tag: the build after that did something"; }
    ok "$tag: replacing the status font's font file re-makes that font only"
}

check_generator Ninja ninja
check_generator "Unix Makefiles" make

# A call without OUTPUT stops the configuration with a message.
mkdir -p "$work/bad"
cat >"$work/bad/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.20)
project(bad NONE)
find_package(Zentraq 1.3 REQUIRED)
add_custom_target(firmware)
zentraq_add_picture(TARGET firmware INPUT logo.png)
EOF
if "$cmake" -S "$work/bad" -B "$work/bad/build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/bad.log" 2>&1; then
    fail "a call without OUTPUT configured"
fi
grep -q "zentraq_add_picture: OUTPUT is missing" "$work/bad.log" || { cat "$work/bad.log"; fail "no message about OUTPUT"; }
ok "zentraq_add_picture without OUTPUT stops the configuration with a message"

# Where zentraq_add_data puts INPUT for each command, with a stand-in for the
# tool that records its arguments and writes the output and the depfile.
mkdir -p "$work/data"
cat >"$work/data/record.sh" <<'EOF'
#!/bin/sh
log=$(dirname "$0")/args.txt
printf '%s\n' "$*" >>"$log"
while [ $# -gt 0 ]; do
    case $1 in
        -o) out=$2; shift ;;
        --depfile) dep=$2; shift ;;
    esac
    shift
done
: >"$out"
printf '%s:\n' "$out" >"$dep"
EOF
chmod +x "$work/data/record.sh"
cat >"$work/data/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(data NONE)
add_executable(Zentraq::cli IMPORTED)
set_target_properties(Zentraq::cli PROPERTIES IMPORTED_LOCATION "$work/data/record.sh")
include("$prefix/share/cmake/Zentraq/ZentraqFunctions.cmake")
add_custom_target(firmware ALL)
zentraq_add_data(TARGET firmware COMMAND font INPUT fonts/a.ttf OUTPUT a.c ARGS --size 16 --format lvgl)
zentraq_add_data(TARGET firmware COMMAND picture INPUT b.png OUTPUT b.h NAME b_logo)
zentraq_add_data(TARGET firmware COMMAND later INPUT c.dat INPUT_OPTION --from OUTPUT c.bin)
EOF
mkdir -p "$work/data/fonts" && touch "$work/data/fonts/a.ttf" "$work/data/b.png" "$work/data/c.dat"
"$cmake" -S "$work/data" -B "$work/data/build" -G Ninja >"$work/data.log" 2>&1 || { cat "$work/data.log"; fail "configure the stand-in project"; }
"$cmake" --build "$work/data/build" >>"$work/data.log" 2>&1 || { cat "$work/data.log"; fail "build the stand-in project"; }
sort "$work/data/args.txt" | sed -E 's|--depfile [^ ]*|--depfile D|' >"$work/data/got.txt"
cat >"$work/data/want.txt" <<EOF
font --font-file $work/data/fonts/a.ttf -o a.c --depfile D --keep-unchanged --size 16 --format lvgl
later --from $work/data/c.dat -o c.bin --depfile D --keep-unchanged
picture $work/data/b.png -o b.h --depfile D --keep-unchanged --name b_logo
EOF
diff "$work/data/want.txt" "$work/data/got.txt" || fail "zentraq_add_data command lines"
ok "zentraq_add_data: INPUT as font --font-file, picture's first argument or after INPUT_OPTION"

# The flash font runtime: a program built with Zentraq::lvgl_flash_font and
# LVGL finds 'A' in a font image zentraq_add_data makes in the same build.
if [ -z "$lvgl_lib" ]; then
    echo "ok: the flash font runtime with LVGL skipped: this build has no host LVGL (the LVGL checks make it)"
    exit 0
fi
mkdir -p "$work/flash"
cat >"$work/flash/CMakeLists.txt" <<EOF_CMAKE
cmake_minimum_required(VERSION 3.20)
project(flash C)
find_package(Zentraq 1.3 REQUIRED)
add_library(lvgl STATIC IMPORTED)
set_target_properties(lvgl PROPERTIES IMPORTED_LOCATION "$lvgl_lib"
    INTERFACE_INCLUDE_DIRECTORIES "$lvgl_conf;$lvgl_root;$lvgl_root/lvgl"
    INTERFACE_COMPILE_DEFINITIONS "LV_CONF_INCLUDE_SIMPLE;LV_LVGL_H_INCLUDE_SIMPLE"
    INTERFACE_LINK_LIBRARIES m)
add_executable(flash_demo main.c)
target_link_libraries(flash_demo PRIVATE Zentraq::lvgl_flash_font lvgl)
add_custom_target(fonts ALL)
zentraq_add_data(TARGET fonts COMMAND font INPUT $face_b OUTPUT font.bin
                 ARGS -q --size 16 --range 0x20-0x7E --format lvgl-flash)
EOF_CMAKE
cat >"$work/flash/main.c" <<'EOF_C'
#include "lvgl.h"
#include "zt_flash_font.h"
#include <stdio.h>

static FILE* image;

static bool read_image(void* user, uint32_t offset, void* buf, uint32_t len) {
    (void)user;
    return fseek(image, (long)offset, SEEK_SET) == 0 && fread(buf, 1, len, image) == len;
}

int main(int argc, char** argv) {
    lv_init();
    image = argc > 1 ? fopen(argv[1], "rb") : NULL;
    lv_font_t* font = image ? zt_flash_font_create(read_image, NULL, 0, 0) : NULL;
    lv_font_glyph_dsc_t g;
    if (!font || !lv_font_get_glyph_dsc(font, &g, 'A', 0) || g.box_w == 0)
        return 1;
    printf("A %dx%d\n", (int)g.box_w, (int)g.box_h);
    zt_flash_font_destroy(font);
    return 0;
}
EOF_C
"$cmake" -S "$work/flash" -B "$work/flash/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_MAKE_PROGRAM="$(command -v "$ninja")" >"$work/flash.log" 2>&1 \
    && "$cmake" --build "$work/flash/build" >>"$work/flash.log" 2>&1 \
    || { cat "$work/flash.log"; fail "a program with Zentraq::lvgl_flash_font and LVGL does not build"; }
grep -q "$prefix/share/zentraq/lvgl/zt_flash_font.c" "$work/flash/build/build.ninja" \
    || fail "the program did not compile the installed runtime"
"$work/flash/build/flash_demo" "$work/flash/build/font.bin" | grep -qE '^A [1-9][0-9]*x[1-9][0-9]*$' \
    || fail "the program does not find 'A' in the font image"
ok "Zentraq::lvgl_flash_font builds with LVGL and reads a font image made in the same build"
