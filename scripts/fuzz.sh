#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a while, one at a time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60; a campaign: 600)
#   scripts/fuzz.sh --budget SECONDS       the whole run shares SECONDS out evenly (CI)
# Inputs that crash a target are copied into fuzz/regressions/NAME as
# new-*; rename each after what it caught and commit it: the sanitizer
# build replays those folders as tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
budget=""
if [ "${1:-}" = "--budget" ]; then budget="${2:?--budget needs seconds}"; fi
seconds="${1:-60}"
dir="$(scripts/build.sh fuzz | tail -n 1)"
release="$(scripts/build.sh release | tail -n 1)"
targets=()
for target in "$dir"/runtime/fuzz_*; do [ -x "$target" ] && targets+=("$target"); done
if [ -n "$budget" ]; then seconds=$(( budget / ${#targets[@]} )); [ "$seconds" -ge 5 ] || seconds=5; fi
status=0
for target in "${targets[@]}"; do
  name="$(basename "$target")"
  corpus="fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/${name#fuzz_}"
  regressions="fuzz/regressions/${name#fuzz_}"
  # Seed the binary formats with files the programs make; text seeds live in fuzz/seeds.
  case "$name" in
    fuzz_score_bytes|fuzz_score_file|fuzz_score_draw|fuzz_score_midi|fuzz_score_text_export|fuzz_image_export)
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
  # The generated seeds and the kept inputs join the corpus as well.
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  [ -d "$regressions" ] && dirs+=("$regressions")
  # The toolkit's font libraries keep their caches to the end: no leak check there.
  leaks=1
  case "$name" in fuzz_image_*) leaks=0 ;; esac
  echo "fuzz: $name for ${seconds}s"
  # Undefined behaviour stops the run like a crash does.
  if ! UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" "$target" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=4096 -print_final_stats=1 -detect_leaks="$leaks" \
       -artifact_prefix="$corpus/" "${dirs[@]}" >"$corpus.log" 2>&1; then
    echo "fuzz: $name FAILED; see $corpus.log"; tail -n 40 "$corpus.log"; status=1
    mkdir -p "$regressions"
    for artifact in "$corpus"/crash-* "$corpus"/timeout-* "$corpus"/oom-* "$corpus"/leak-*; do
      [ -f "$artifact" ] && cp "$artifact" "$regressions/new-$(basename "$artifact")"
    done
  fi
  # Runs, speed and coverage, for the campaign's report.
  runs="$(grep -oE "stat::number_of_executed_units: +[0-9]+" "$corpus.log" | grep -oE "[0-9]+$" || true)"
  speed="$(grep -oE "stat::average_exec_per_sec: +[0-9]+" "$corpus.log" | grep -oE "[0-9]+$" || true)"
  cov="$(grep -oE "cov: [0-9]+ ft: [0-9]+" "$corpus.log" | tail -n 1 || true)"
  echo "fuzz: $name runs=${runs:-?} exec/s=${speed:-?} ${cov:-cov: ?}"
done
exit $status
