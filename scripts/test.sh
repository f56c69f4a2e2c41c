#!/usr/bin/env bash
# Builds everything and runs every test.
#   scripts/test.sh            release build, all tests
#   scripts/test.sh asan|tsan  the same tests in a sanitizer build
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
flavour="${1:-release}"
dir="$(scripts/build.sh "$flavour" | tail -n 1)"
# GUI tests run the real widgets without a display.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
