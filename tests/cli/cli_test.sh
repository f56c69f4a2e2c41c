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

"$cli" frobnicate >/dev/null 2>&1; status=$?
check "unknown command fails" test "$status" -ne 0
"$cli" --help | grep -q "convert"
check "help lists convert" test $? -eq 0

echo "$passes passed, $failures failed"
test "$failures" -eq 0
