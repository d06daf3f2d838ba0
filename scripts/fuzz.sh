#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for a
# while. Usage:
#
#   scripts/fuzz.sh [TARGET...]          every target (default), or the ones named
#   FUZZ_SECONDS=3600 scripts/fuzz.sh    longer runs (default 20 s per target)
#
# The seeds committed in fuzz/corpus/NAME/ are read, never written; inputs
# that reach new code are kept in build/fuzz/corpus/NAME/ and used again by
# the next run. A crash, leak or failed check stops that target, leaves the
# input in build/fuzz/findings/NAME/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# ASan holds freed memory back (256 MB by default) to catch late uses. The
# picture targets free megabytes an input, so that quarantine alone would fill
# half of the 512 MB a run may use and stand in for a leak; 64 MB still holds
# the last inputs' frees.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=64}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=()
# build/fuzz/fuzz/fuzzers.txt: one line per target (name, program, seeds),
# written by fuzz/CMakeLists.txt.
while read -r name program seeds; do
    if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then
        continue
    fi
    corpus=build/fuzz/corpus/$name
    findings=build/fuzz/findings/$name
    mkdir -p "$corpus" "$findings"
    echo "fuzz: $name for ${seconds} s"
    if ! "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=512 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds" \
        >"build/fuzz/$name.log" 2>&1; then
        tail -n 40 "build/fuzz/$name.log" >&2
        failed+=("$name")
    else
        grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "build/fuzz/$name.log" |
            sed "s/^/fuzz: $name: /"
    fi
done <build/fuzz/fuzz/fuzzers.txt

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in ${failed[*]} (see build/fuzz/findings/)" >&2
    exit 1
fi
