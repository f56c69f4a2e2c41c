#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a while.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
seconds="${1:-60}"
dir="$(scripts/build.sh fuzz | tail -n 1)"
release="$(scripts/build.sh release | tail -n 1)"
status=0
for target in "$dir"/runtime/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/${name#fuzz_}"
  # Seed the binary formats with files the programs make; text seeds live in fuzz/seeds.
  case "$name" in
    fuzz_score_bytes|fuzz_score_file)
      for n in 1 2 3; do
        "$release/runtime/quavix-cli" generate "$corpus/seed-$n.q5s" --systems 1 --staves "$n" --measures 2 --notes "$n" --seed "$n"
      done ;;
    fuzz_charlist)
      cp "$release/runtime/res/charlist.dat" "$corpus/seed.dat" ;;
    fuzz_read_clipboard)
      # Clipboard data of a whole generated score, of its notes, and of its structure alone.
      "$release/runtime/quavix-cli" generate "$corpus/seed.q5s" --systems 1 --staves 2 --measures 2 --notes 3
      "$release/runtime/quavix-cli" copy "$corpus/seed.q5s" "$corpus/seed-all.clip" select-all >/dev/null
      "$release/runtime/quavix-cli" copy "$corpus/seed.q5s" "$corpus/seed-notes.clip" select-all keep-notes >/dev/null
      "$release/runtime/quavix-cli" copy "$corpus/seed.q5s" "$corpus/seed-structure.clip" select-all invert-selection >/dev/null
      rm -f "$corpus/seed.q5s" ;;
    fuzz_score_commands)
      # Generated scores behind the eight bytes that pick the selection and the commands.
      for n in 1 2; do
        "$release/runtime/quavix-cli" generate "$corpus/seed.q5s" --systems 1 --staves 2 --measures 2 --notes 3 --seed "$n"
        { printf '\x00\x2c\x05\x30\x41\x01\x40\x14'; cat "$corpus/seed.q5s"; } >"$corpus/seed-$n"
      done
      rm -f "$corpus/seed.q5s" ;;
    fuzz_midi_import)
      # The export of a generated score, behind the three bytes that choose the import settings.
      "$release/runtime/quavix-cli" generate "$corpus/seed.q5s" --systems 1 --staves 2 --measures 3 --notes 3
      "$release/runtime/quavix-cli" convert "$corpus/seed.q5s" "$corpus/seed.mid"
      { printf '\x01\x02\x83'; cat "$corpus/seed.mid"; } >"$corpus/seed-import"
      rm -f "$corpus/seed.q5s" "$corpus/seed.mid" ;;
  esac
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
       -artifact_prefix="$corpus/" "${dirs[@]}" >"$corpus.log" 2>&1; then
    echo "fuzz: $name FAILED; see $corpus.log"; tail -n 40 "$corpus.log"; status=1
  else
    grep -E "stat::number_of_executed_units" "$corpus.log" || true
  fi
done
exit $status
