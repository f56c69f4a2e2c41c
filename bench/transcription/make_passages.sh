#!/usr/bin/env bash
# Regenerates the transcription benchmark's ground truth from the LilyPond
# sources in passages/: each NAME.ly gives NAME.mid (what the import reads)
# and NAME-upper.notes / NAME-lower.notes (the written notes, rests and ties
# of each stave, from LilyPond's event listener). Needs lilypond installed
# (apt-get install -y lilypond); it is not part of the build.
#   make_passages.sh [--png DIR]   also writes LilyPond's engraving of each passage to DIR
set -euo pipefail
cd "$(dirname "$0")/passages"
png=""
if [ "${1:-}" = "--png" ]; then png="$2"; mkdir -p "$png"; fi
for ly in *.ly; do
  name="${ly%.ly}"
  rm -f "$name"-*.notes "$name.midi" "$name.mid"
  if [ -n "$png" ]; then
    lilypond --png -dresolution=90 -dcrop -o "$png/$name" "$ly" >/dev/null 2>&1
    rm -f "$png/$name.midi" "$png/$name"-*.notes
  fi
  lilypond --loglevel=ERROR -dno-print-pages -o "$name" "$ly"
  mv "$name.midi" "$name.mid"
  # Drum staves are unnamed: their notes are no written pitches.
  rm -f "$name"-unnamed-staff.notes
done
