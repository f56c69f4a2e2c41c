#!/usr/bin/env bash
# Builds everything and starts the main program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir="$(scripts/build.sh release | tail -n 1)"
# Until the editor window exists, the main program is quavix-cli on a demo score.
demo="$dir/demo.q5s"
"$dir/tools/quavix-cli" generate "$demo" --systems 4 --staves 2 --measures 4 --notes 8
"$dir/tools/quavix-cli" info "$demo"
