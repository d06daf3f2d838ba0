#!/bin/sh
# Regenerates tests/glyph/golden/default-face.txt, the pixel pictures of a
# handful of glyphs in the canvas face (AR PL UMing CN), and shows what
# changed. Run it on purpose (after a renderer change or a font update),
# review the diff, and commit the file only if the change is intended.
#
#   scripts/regen-glyph-golden.sh [build-dir]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/golden"}
golden="$root/tests/glyph/golden/default-face.txt"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZENTRAQ_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target glyph_golden_dump -j2 >/dev/null

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
QT_QPA_PLATFORM=offscreen "$build/tests/glyph/glyph_golden_dump" >"$tmp"

case "$(head -n 1 "$tmp")" in
    *"AR PL UMing CN"*) ;;
    *) echo "the canvas face here is not AR PL UMing CN; golden file left alone:" >&2
       head -n 1 "$tmp" >&2
       exit 1 ;;
esac

mkdir -p "$(dirname "$golden")"
cp "$tmp" "$golden"
if git -C "$root" ls-files --error-unmatch "$golden" >/dev/null 2>&1; then
    git -C "$root" --no-pager diff --stat -- "$golden"
    git -C "$root" --no-pager diff -- "$golden"
else
    echo "new golden file: $golden ($(wc -l <"$golden") lines)"
fi
