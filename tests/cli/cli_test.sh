#!/usr/bin/env bash
# Black-box checks of quavix-cli: conversions, statistics and failure reports.
set -u
cli="$1"
work="$(mktemp -d)"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
passes=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then echo "ok   $name"; passes=$((passes + 1)); else echo "FAIL $name"; failures=$((failures + 1)); fi
}

"$cli" generate "$work/a.q5s" --systems 3 --staves 2 --measures 4 --notes 4 >/dev/null 2>&1
check "generate writes a score" test -s "$work/a.q5s"

info="$("$cli" info "$work/a.q5s")"
check "info counts systems" grep -q "总谱行数: 3" <<<"$info"
check "info counts measures" grep -q "小 节 数: 12" <<<"$info"
check "info gives the resolution" grep -q "解 析 度: 240" <<<"$info"
check "info gives the play length" grep -q "谱面时间: 11520" <<<"$info"

"$cli" convert "$work/a.q5s" "$work/b.q5s"
check "convert writes a score" test -s "$work/b.q5s"
"$cli" convert "$work/b.q5s" "$work/c.q5s"
check "a converted score converts to the same bytes" cmp -s "$work/b.q5s" "$work/c.q5s"

# The performance rendered by the software synthesizer (the render itself is tested in sound_tests).
if "$cli" convert "$work/a.q5s" "$work/a.wav" 2>/dev/null; then
  check "convert renders a WAV file" test "$(head -c 4 "$work/a.wav")" = "RIFF"
  check "a render leaves no temporary file" test ! -e "$work/a.wav.part"
else
  check "convert renders a WAV file (needs a General MIDI SoundFont)" false
fi
err="$("$cli" convert "$work/a.q5s" "$work/nowhere/a.wav" 2>&1)"; status=$?
check "an unwritable WAV fails" test "$status" -ne 0
check "an unwritable WAV says so" grep -q "cannot write" <<<"$err"

# Failures: one line on stderr, non-zero status, no output left behind.
err="$("$cli" info "$work/missing.q5s" 2>&1 >/dev/null)"; status=$?
check "missing file fails" test "$status" -ne 0
check "missing file says so" grep -q "cannot open" <<<"$err"

head -c 300 "$work/a.q5s" >"$work/cut.q5s"
err="$("$cli" convert "$work/cut.q5s" "$work/out.q5s" 2>&1)"; status=$?
check "truncated file fails" test "$status" -ne 0
check "truncated file names the byte" grep -q "at byte" <<<"$err"
check "failed conversion leaves no output" test ! -e "$work/out.q5s"

printf 'SCOR\x00\x00\x07\x03' >"$work/old.q5s"
err="$("$cli" info "$work/old.q5s" 2>&1)"; status=$?
check "older version refused" test "$status" -ne 0
check "older version named" grep -q "3.7.0.0" <<<"$err"

cp "$work/b.q5s" "$work/keep.q5s"
mkdir "$work/ro" && cp "$work/b.q5s" "$work/ro/keep.q5s" && chmod a-w "$work/ro"
"$cli" convert "$work/cut.q5s" "$work/ro/keep.q5s" >/dev/null 2>&1
check "a failed conversion keeps the old target" cmp -s "$work/ro/keep.q5s" "$work/keep.q5s"

"$cli" new "$work/new.q5s"
check "new writes a document" test -s "$work/new.q5s"
info="$("$cli" info "$work/new.q5s")"
check "new document has one system" grep -q "总谱行数: 1" <<<"$info"
check "new document has three measures" grep -q "小 节 数: 3" <<<"$info"
check "new document has no notes" grep -q "音 符 数: 0" <<<"$info"
check "new document holds system, staves, measures, brace, clefs and time signatures" grep -q "对象总数: 11" <<<"$info"
check "new document lasts three 4/4 measures" grep -q "谱面时间: 2880" <<<"$info"
"$cli" new "$work/new.txt" >/dev/null 2>&1; status=$?
check "new refuses a non-score name" test "$status" -ne 0
check "new leaves nothing for a refused name" test ! -e "$work/new.txt"
"$cli" --help | grep -q "new OUT.q5s"
check "help lists new" test $? -eq 0

# MIDI import: a 3/4 piece in G with a melody on channel 0 (one note held
# across a bar line) and a bass note on channel 1.
printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\xf0MTrk\x00\x00\x00\x3f' >"$work/piece.mid"
printf '\x00\xff\x58\x04\x03\x02\x18\x08\x00\xff\x59\x02\x01\x00' >>"$work/piece.mid"
printf '\x00\x90\x43\x64\x00\x91\x2b\x64\x83\x60\x80\x43\x00\x00\x90\x47\x64' >>"$work/piece.mid"
printf '\x81\x70\x80\x47\x00\x00\x81\x2b\x00\x00\x90\x4a\x64\x81\x70\x80\x4a\x00' >>"$work/piece.mid"
printf '\x81\x70\x90\x4e\x64\x83\x60\x80\x4e\x00\x00\xff\x2f\x00' >>"$work/piece.mid"
"$cli" convert "$work/piece.mid" "$work/piece.q5s" --measures-per-line 2
check "a MIDI file imports" test $? -eq 0 -a -s "$work/piece.q5s"
info="$("$cli" info "$work/piece.q5s")"
check "import makes systems of the asked measures" grep -q "总谱行数: 2" <<<"$info"
# The music fills three measures: no empty one after it.
check "import counts three 3/4 measures" grep -q "小 节 数: 3" <<<"$info"
check "import lasts three 3/4 measures" grep -q "谱面时间: 2160" <<<"$info"
# The last note is split at the bar line; the bass's whole measure is one dotted half.
check "import splits held notes at bar lines" grep -q "音 符 数: 6" <<<"$info"
check "import keeps the file's resolution" grep -q "解 析 度: 240" <<<"$info"
"$cli" convert "$work/piece.q5s" "$work/again.q5s"
check "an imported score opens and saves" test $? -eq 0 -a -s "$work/again.q5s"
"$cli" convert "$work/piece.q5s" "$work/back.mid"
info="$("$cli" info "$work/back.mid")"
check "an imported score exports its notes back to MIDI" grep -q "notes: 5" <<<"$info"
check "an imported score keeps its time signature" grep -q "time-signature: 3/4" <<<"$info"
# Only a CLI built with the drawing layer renders; probe with a known score.
if "$cli" convert "$work/a.q5s" "$work/probe.png" >/dev/null 2>&1; then
  "$cli" convert "$work/piece.q5s" "$work/piece.png"
  check "an imported score renders" test $? -eq 0 -a -s "$work/piece.png"
  "$cli" convert "$work/piece.q5s" "$work/piece.pdf"
  check "a score prints to PDF" test $? -eq 0 -a -s "$work/piece.pdf"
  check "the PDF is a PDF with one page" test "$(head -c 5 "$work/piece.pdf")" = "%PDF-" -a \
    "$(grep -a -c "/Type /Page$" "$work/piece.pdf")" = 1
  check "the PDF embeds its fonts" grep -a -q "/FontFile2" "$work/piece.pdf"
fi
"$cli" convert "$work/piece.mid" "$work/split.q5s" --split-key 60 --voices 4 --quantise 6
check "import by split key" test $? -eq 0 -a -s "$work/split.q5s"
"$cli" convert "$work/piece.mid" "$work/bad.q5s" --quantise 7 >/dev/null 2>&1; status=$?
check "import refuses a quantise setting past 6" test "$status" -ne 0 -a ! -e "$work/bad.q5s"
"$cli" convert "$work/piece.mid" "$work/bad.q5s" --frobnicate 1 >/dev/null 2>&1; status=$?
check "import refuses unknown options" test "$status" -ne 0 -a ! -e "$work/bad.q5s"
"$cli" convert "$work/piece.mid" "$work/bad.txt" >/dev/null 2>&1; status=$?
check "import refuses a non-score output" test "$status" -ne 0 -a ! -e "$work/bad.txt"
"$cli" convert "$work/a.q5s" "$work/bad.q5s" --voices 2 >/dev/null 2>&1; status=$?
check "import options are refused for scores" test "$status" -ne 0 -a ! -e "$work/bad.q5s"
cp "$work/a.q5s" "$work/fake.mid"
err="$("$cli" convert "$work/fake.mid" "$work/bad.q5s" 2>&1)"; status=$?
check "import refuses a file that is no MIDI file" test "$status" -ne 0 -a ! -e "$work/bad.q5s"
check "import says why" grep -q "not a Standard MIDI File" <<<"$err"
head -c 40 "$work/piece.mid" >"$work/cut.mid"
err="$("$cli" convert "$work/cut.mid" "$work/cut.q5s" 2>&1)"; status=$?
check "a truncated MIDI file imports what was read" test "$status" -eq 0 -a -s "$work/cut.q5s"
check "a truncated MIDI file is reported" grep -q "truncated" <<<"$err"
"$cli" --help | grep -q "convert IN.mid OUT.q5s"
check "help lists the MIDI import" test $? -eq 0

# The editor's score commands on a file.
out="$("$cli" edit "$work/new.q5s" "$work/edited.q5s" select-all keep-notes invert-selection 33049 insert-measure=100,80 2>&1)"
check "edit runs commands and saves" test $? -eq 0 -a -s "$work/edited.q5s"
check "edit reports each command" grep -q "^insert-measure: done" <<<"$out"
info="$("$cli" info "$work/edited.q5s")"
check "an edited score has the inserted measure" grep -q "小 节 数: 4" <<<"$info"
out="$("$cli" edit "$work/new.q5s" "$work/edited2.q5s" select-channel=99 2>&1)"
check "edit gives a refusal's reason" grep -q "select-channel: 通道编号" <<<"$out"
"$cli" edit "$work/new.q5s" "$work/bad.q5s" select-all no-such-command >/dev/null 2>&1; status=$?
check "edit refuses unknown commands before running any" test "$status" -ne 0 -a ! -e "$work/bad.q5s"
"$cli" edit "$work/new.q5s" "$work/bad.q5s" select-voice >/dev/null 2>&1; status=$?
check "edit asks for a missing number" test "$status" -ne 0 -a ! -e "$work/bad.q5s"
"$cli" commands | grep -q "33013  octave-up"
check "commands lists the table" test $? -eq 0

# Clipboard data through files: copy the notes of one score, paste them into a new document.
"$cli" copy "$work/a.q5s" "$work/notes.clip" select-all keep-notes >/dev/null
check "copy writes clipboard data" test $? -eq 0 -a -s "$work/notes.clip"
out="$("$cli" paste "$work/new.q5s" "$work/notes.clip" "$work/pasted.q5s" --notes --at 120,80 2>&1)"
check "paste pastes notes" test $? -eq 0 -a -s "$work/pasted.q5s"
check "paste counts what it pasted" grep -Eq "^pasted: [1-9]" <<<"$out"
head -c 7 "$work/notes.clip" >"$work/cut.clip"
err="$("$cli" paste "$work/new.q5s" "$work/cut.clip" "$work/bad.q5s" --notes 2>&1)"; status=$?
check "paste refuses damaged clipboard data" test "$status" -ne 0 -a ! -e "$work/bad.q5s"
check "paste says why" grep -q "cannot paste" <<<"$err"

# Special files and links: refused at once with a reason, never read without end.
mkfifo "$work/pipe.q5s" "$work/pipe.mid" "$work/pipe.q5t"
for input in pipe.q5s pipe.mid pipe.q5t; do
  case "$input" in *.q5s) cmd=(info "$work/$input") ;; *) cmd=(convert "$work/$input" "$work/fifo-out.q5s") ;; esac
  err="$(timeout 20 "$cli" "${cmd[@]}" 2>&1)"; status=$?
  check "a FIFO as $input is refused, not waited on" test "$status" -ne 0 -a "$status" -ne 124
  check "a FIFO as $input is named no regular file" grep -q "不是普通文件" <<<"$err"
done
ln -s /dev/zero "$work/zero.q5s"
err="$(timeout 20 "$cli" info "$work/zero.q5s" 2>&1)"; status=$?
check "/dev/zero is refused at once" test "$status" -ne 0 -a "$status" -ne 124 -a "$status" -ne 134
check "/dev/zero is named no regular file" grep -q "不是普通文件" <<<"$err"
check "nothing was written for special files" test ! -e "$work/fifo-out.q5s"
ln -s "sub/target.q5s" "$work/dangling.q5s"
mkdir "$work/sub"
"$cli" convert "$work/a.q5s" "$work/dangling.q5s"
check "saving through a dangling link keeps the link" test $? -eq 0 -a -L "$work/dangling.q5s"
check "saving through a dangling link writes the file it names" cmp -s "$work/sub/target.q5s" "$work/b.q5s"

# Score texts: a text cut short is refused unless --partial; a setting no score can hold is named.
"$cli" convert "$work/a.q5s" "$work/a.q5t"
size=$(stat -c %s "$work/a.q5t")
head -c $((size / 2)) "$work/a.q5t" >"$work/half.q5t"
err="$("$cli" convert "$work/half.q5t" "$work/half.q5s" 2>&1)"; status=$?
check "half a score text is refused" test "$status" -ne 0 -a ! -e "$work/half.q5s"
check "half a score text is reported as cut short" grep -q "ends inside" <<<"$err"
err="$("$cli" convert "$work/half.q5t" "$work/half.q5s" --partial 2>&1)"; status=$?
check "--partial imports half a text with a warning" test "$status" -eq 0 -a -s "$work/half.q5s"
check "the warning names what is missing" grep -q "may be missing" <<<"$err"
sed 's/^TimeBase=.*/TimeBase=0/' "$work/a.q5t" >"$work/tb0.q5t"
err="$("$cli" convert "$work/tb0.q5t" "$work/tb0.q5s" 2>&1)"; status=$?
check "TimeBase 0 is refused by its key" test "$status" -ne 0 -a ! -e "$work/tb0.q5s"
check "the refusal names TimeBase" grep -q "TimeBase=0" <<<"$err"
mkdir "$work/locked" && chmod a-w "$work/locked"
err="$("$cli" convert "$work/a.q5s" "$work/locked/a.q5t" 2>&1)"; status=$?
if [ "$(id -u)" -ne 0 ]; then
  check "a failed text save says why" grep -q "Permission denied" <<<"$err"
fi
err="$("$cli" convert "$work/a.q5s" "$work/no-such-dir/a.q5t" 2>&1)"; status=$?
check "a failed text save fails" test "$status" -ne 0
check "a failed text save gives the errno text" grep -q "No such file or directory" <<<"$err"

# A MIDI file that breaks off is told from one that is malformed.
printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\xf0MTrk\x00\x00\x00\x08\x00\x3c\x40\x00\x00\xff\x2f\x00' >"$work/nostatus.mid"
err="$("$cli" info "$work/nostatus.mid" 2>&1)"
check "a data byte without a status is named" grep -q "no running status" <<<"$err"

# The image export refuses a picture beyond its limits with a reason, and writes nothing.
if "$cli" convert "$work/a.q5s" "$work/probe.png" >/dev/null 2>&1; then
  { cat "$work/a.q5t"; printf '[Object99999]\nKind=79\nKindName=CXObject\nNumber=99999\nValue=0\nStyle=0\nLeft=100\nTop=100\nRight=16777216\nBottom=200\nLayer=0\nSelected=0\n'; } >"$work/wide.q5t"
  "$cli" convert "$work/wide.q5t" "$work/wide.q5s" 2>/dev/null
  for ext in png bmp; do
    err="$(timeout 60 "$cli" convert "$work/wide.q5s" "$work/wide.$ext" 2>&1)"; status=$?
    check "a picture too wide for $ext is refused" test "$status" -eq 1 -a ! -e "$work/wide.$ext"
    check "the $ext refusal says why in both languages" grep -q "图像太大.*image too large" <<<"$err"
  done
  # Pages far down the paper: the print refuses rather than writing millions of pages.
  { cat "$work/a.q5t"; printf '[Object99998]\nKind=79\nKindName=CXObject\nNumber=99998\nValue=0\nStyle=0\nLeft=100\nTop=16000000\nRight=200\nBottom=16000100\nLayer=0\nSelected=0\n'; } >"$work/deep.q5t"
  "$cli" convert "$work/deep.q5t" "$work/deep.q5s" 2>/dev/null
  err="$(timeout 60 "$cli" convert "$work/deep.q5s" "$work/deep.pdf" 2>&1)"; status=$?
  check "a score of 20,000 pages does not print" test "$status" -eq 1 -a ! -e "$work/deep.pdf"
  check "the page refusal says why" grep -q "不能打印" <<<"$err"
fi

"$cli" frobnicate >/dev/null 2>&1; status=$?
check "unknown command fails" test "$status" -ne 0
"$cli" --help | grep -q "convert"
check "help lists convert" test $? -eq 0

echo "$passes passed, $failures failed"
test "$failures" -eq 0
