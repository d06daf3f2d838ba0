#!/usr/bin/env bash
# Fails when a C++ source differs from the layout .clang-format gives it, and
# names the places. Without arguments: every tracked .cpp and .h file.
#
#   scripts/check-format.sh [file...]
#
# To fix a file: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
fi
[ ${#files[@]} -gt 0 ] || { echo "check-format: no C++ sources found" >&2; exit 1; }
clang-format --dry-run -Werror "${files[@]}"
echo "check-format: ${#files[@]} files as .clang-format lays them out"
