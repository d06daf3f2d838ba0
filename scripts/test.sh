#!/usr/bin/env bash
# Builds and runs every test: once in the release build and once under
# AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release
ctest --preset release
scripts/build.sh asan
ctest --preset asan
