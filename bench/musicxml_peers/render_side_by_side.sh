#!/usr/bin/env bash
# Our drawing of MuseScore's MusicXML of each transcription passage beside
# LilyPond's engraving of the passage, for a person to compare:
#   OUT/NAME-quavix.png    tests/data/musicxml/musescore-NAME.musicxml imported
#                          by quavix-cli and drawn by the bitmap export
#   OUT/NAME-lilypond.png  bench/transcription/passages/NAME.ly engraved
# Needs lilypond (installed by hand; not part of the build).
#   render_side_by_side.sh [BUILD_DIR] [OUT_DIR] [NAME ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="${2:-/tmp/quavix-musicxml-render}"
shift $(( $# > 2 ? 2 : $# ))
mkdir -p "$out"
out="$(cd "$out" && pwd)"
cli="$build/runtime/quavix-cli"
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in "$root"/tests/data/musicxml/musescore-*.musicxml; do
    n="$(basename "$f" .musicxml)"
    names+=("${n#musescore-}")
  done
fi
for name in "${names[@]}"; do
  "$cli" convert "$root/tests/data/musicxml/musescore-$name.musicxml" "$out/$name.q5s" >/dev/null
  "$cli" convert "$out/$name.q5s" "$out/$name-quavix.png" 2>/dev/null
  # LilyPond writes the passage's event files beside it: work in a scratch folder.
  scratch="$(mktemp -d)"
  (cd "$scratch" && lilypond --png -dresolution=90 -dcrop -o "$name" "$root/bench/transcription/passages/$name.ly" >/dev/null 2>&1)
  mv "$scratch/$name.cropped.png" "$out/$name-lilypond.png" 2>/dev/null || mv "$scratch/$name.png" "$out/$name-lilypond.png"
  rm -rf "$scratch"
  echo "$out/$name-quavix.png $out/$name-lilypond.png"
done
