#!/usr/bin/env bash
# Builds everything and starts the editor on a demo score.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir="$(scripts/build.sh release | tail -n 1)"
demo="$dir/demo.q5s"
[ -f "$demo" ] || "$dir/runtime/quavix-cli" generate "$demo" --systems 8 --staves 2 --measures 4 --notes 4
exec "$dir/runtime/quavix" "$demo" "$@"
