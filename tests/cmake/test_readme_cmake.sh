#!/usr/bin/env bash
# The README's CMake snippets as a reader copies them: every code block of
# the section "Data made by the build" that starts a CMakeLists.txt is built
# with Ninja against a staging installation of this build, in a project that
# has the assets and the main.c the snippet names, and its data checked
# against zentraq-cli run by hand. Then the configure-time checks of the
# functions: a missing INPUT, and a relative file in ARGS that is nowhere,
# each stop the configuration with a message that says where they were
# looked for; a file that the build makes is accepted.
#
#   test_readme_cmake.sh BUILD_DIR README [PREFIX]
#
# With PREFIX (an installed package's, e.g. /usr), that installation is used
# instead of a staging one. CMAKE and NINJA name the programs when they are
# not on the PATH.
set -euo pipefail
cmake=${CMAKE:-cmake}
ninja=${NINJA:-ninja}
build=$(cd "$1" && pwd)
readme=$2
root=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d /tmp/zentraq-readme-cmake.XXXXXX)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }

if [ -n "${3:-}" ]; then
    prefix=$3
else
    DESTDIR=$work/dest "$cmake" --install "$build" --prefix /usr >/dev/null
    prefix=$work/dest/usr
fi
tool=$prefix/bin/zentraq-cli
[ -x "$tool" ] || fail "no $tool"
face=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
[ -f "$face" ] || fail "$face is missing (scripts/install-deps.sh)"

# The snippets: indented blocks of the section whose first line is
# cmake_minimum_required, unindented.
python3 - "$readme" "$work/snippet" <<'EOF_PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
start = text.index("\n## Data made by the build")
end = text.find("\n## ", start + 1)
section = text[start:end if end > 0 else len(text)].splitlines()
blocks, block = [], []
for line in section + [""]:
    if line.startswith("    ") or (block and not line.strip()):
        block.append(line[4:])
    elif block:
        blocks.append(block)
        block = []
n = 0
for b in blocks:
    while b and not b[-1].strip():
        b.pop()
    if b and b[0].startswith("cmake_minimum_required"):
        n += 1
        open("%s%d.cmake" % (sys.argv[2], n), "w", encoding="utf-8").write("\n".join(b) + "\n")
EOF_PY
snippets=("$work"/snippet*.cmake)
[ -f "${snippets[0]}" ] || fail "no CMake snippet in the README's section 'Data made by the build'"

# What a snippet's project holds besides its CMakeLists.txt.
make_project() {
    local dir=$1
    mkdir -p "$dir/assets"
    cp "$root/examples/cmake/assets/logo.png" "$root/examples/cmake/assets/menu.txt" "$dir/assets/"
    cp "$face" "$dir/assets/DejaVuSans.ttf"
    printf '0123456789.-°C%%\n' >"$dir/assets/status.txt"
    cat >"$dir/main.c" <<'EOF_C'
#include "hello.h"
#include "logo.h"
#include "menu_font.h"

/* Exits with 0 when every array has the size the README gives it. */
int main(void)
{
    return !(sizeof logo == 115200 && sizeof hello == 5 * 16 && sizeof menu_font > 0 &&
             sizeof menu_font_codes > 0);
}
EOF_C
}

i=0
for snippet in "${snippets[@]}"; do
    i=$((i + 1))
    dir=$work/project$i
    make_project "$dir"
    cp "$snippet" "$dir/CMakeLists.txt"
    log=$dir/log
    "$cmake" -S "$dir" -B "$dir/build" -G Ninja -DCMAKE_MAKE_PROGRAM="$(command -v "$ninja")" \
        -DCMAKE_PREFIX_PATH="$prefix" >"$log" 2>&1 || { cat "$log"; fail "snippet $i: configure"; }
    "$cmake" --build "$dir/build" >"$log" 2>&1 || { cat "$log"; fail "snippet $i: build"; }
    "$dir/build/firmware" || fail "snippet $i: the arrays do not have the README's sizes"
    "$tool" font --font-file "$dir/assets/DejaVuSans.ttf" -q --format lvgl-bin --size 14 \
        --charset "$dir/assets/status.txt" -o "$work/font.bin"
    cmp "$work/font.bin" "$dir/build/font_status_14.bin" \
        || fail "snippet $i: font_status_14.bin differs from zentraq-cli run by hand"
    "$tool" picture "$dir/assets/logo.png" --resize 240x240 --fit cover --byte-order high-first \
        -q --format c --name logo -o "$work/logo.h"
    cmp "$work/logo.h" "$dir/build/logo.h" || fail "snippet $i: logo.h differs from zentraq-cli run by hand"
    ok "README snippet $i builds as written; its data is zentraq-cli's"
done

# Configure-time checks. Each case: the lines after the package is found, and
# what the configuration must say (empty: it must succeed).
check_case() {
    local name=$1 body=$2 want=$3
    local dir=$work/case-$name
    make_project "$dir"
    printf 'cmake_minimum_required(VERSION 3.20)\nproject(c C)\nfind_package(Zentraq 1.3 REQUIRED)\nadd_executable(firmware main.c)\n%s\n' \
        "$body" >"$dir/CMakeLists.txt"
    if "$cmake" -S "$dir" -B "$dir/build" -G Ninja -DCMAKE_MAKE_PROGRAM="$(command -v "$ninja")" \
        -DCMAKE_PREFIX_PATH="$prefix" >"$dir/log" 2>&1; then
        [ -z "$want" ] || { cat "$dir/log"; fail "$name: configured"; }
    else
        [ -n "$want" ] || { cat "$dir/log"; fail "$name: did not configure"; }
        # CMake breaks long messages over lines; read them as one.
        tr -s ' \n' ' ' <"$dir/log" | grep -qF -- "$(sed "s|DIR|$dir|g" <<<"$want")" \
            || { cat "$dir/log"; fail "$name: the message does not say: $want"; }
    fi
    ok "$name"
}
check_case "a missing INPUT stops the configuration" \
    'zentraq_add_picture(TARGET firmware INPUT assets/missing.png OUTPUT logo.h)' \
    "zentraq_add_picture: INPUT assets/missing.png: no such file in DIR (looked for DIR/assets/missing.png)"
check_case "a relative file in ARGS that is nowhere stops the configuration" \
    'zentraq_add_library(TARGET firmware OUTPUT menu_font.h ARGS --size 16x16 --charset=assets/nowhere.txt)' \
    "zentraq_add_library: ARGS --charset assets/nowhere.txt: no such file in DIR nor in DIR/build (looked for DIR/build/assets/nowhere.txt)"
check_case "an INPUT made by a later command of the folder is accepted" \
    'zentraq_add_library(TARGET firmware INPUT ${CMAKE_CURRENT_BINARY_DIR}/made.txt OUTPUT menu_font.h ARGS --size 16x16)
add_custom_command(OUTPUT made.txt COMMAND ${CMAKE_COMMAND} -E echo AB > made.txt)' ""
check_case "charset names and the text after -- are not taken for files" \
    'zentraq_add_library(TARGET firmware OUTPUT menu_font.h ARGS --size 16x16 --charset gb2312)
zentraq_add_glyphs(TARGET firmware OUTPUT hello.h ARGS --size 8x16 -- --input nowhere.txt)' ""
