#!/usr/bin/env bash
# Builds everything and starts the editor on the given ".q5s" files, or on
# the demo score (runtime/demo/minuet.q5s, built from res/demo/minuet.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir="$(scripts/build.sh release | tail -n 1)"
if [ "$#" -eq 0 ]; then
  set -- "$dir/runtime/demo/minuet.q5s"
fi
exec "$dir/runtime/quavix" "$@"
