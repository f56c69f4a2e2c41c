#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh [release|asan|tsan|fuzz]   (default: release)
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-release}"
jobs="$(nproc)"
case "$flavour" in
  release) dir=build; args=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan) dir=build-asan; args=(-DCMAKE_BUILD_TYPE=Debug -DQUAVIX_SANITIZE=ON -DQUAVIX_BENCH=OFF) ;;
  tsan) dir=build-tsan; args=(-DCMAKE_BUILD_TYPE=Debug -DQUAVIX_TSAN=ON -DQUAVIX_BENCH=OFF) ;;
  fuzz) dir=build-fuzz; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUAVIX_FUZZ=ON -DQUAVIX_TESTS=OFF -DQUAVIX_GUI=OFF
                              -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
  *) echo "build.sh: unknown flavour $flavour" >&2; exit 2 ;;
esac
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${args[@]}" >&2
fi
ninja -C "$dir" -j "$jobs" >&2
echo "$dir"
