#!/usr/bin/env bash
# The dialogue's messages on what it did not read, through the real
# program: standard output must stay the documented dialogue byte for byte
# (cmp against the transcripts), while standard error names what was not
# read and why, and a data file piped in stops the dialogue with one
# message instead of a refusal per line.
# Usage: dialogue_program.sh PROGRAM SOURCE_DIR
set -uo pipefail
program="$1"
source_dir="$2"
transcripts="$source_dir/tests/transcripts"
failures=0
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
check() {  # check NAME CONDITION...
  local name="$1"
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}
run() {  # run INPUT_FILE: standard output, error and status into $tmp
  "$program" < "$1" > "$tmp/out" 2> "$tmp/err"
  echo $? > "$tmp/status"
}
status() { cat "$tmp/status"; }

# Valid input: the dialogue as documented, nothing on standard error.
run "$transcripts/worked_example.in"
check "worked example: stdout as documented" cmp -s "$tmp/out" \
  "$transcripts/worked_example.out"
check "worked example: status 0, nothing on stderr" \
  test "$(status)" = 0 -a ! -s "$tmp/err"

# Typed ahead at "Press ENTER": the same bytes as ever on stdout, and a note
# naming the byte that was not read.
run "$transcripts/typed_ahead.in"
check "typed ahead: stdout unchanged" cmp -s "$tmp/out" \
  "$transcripts/typed_ahead.out"
check "typed ahead: the note names what was not read" grep -qF \
  'Note: the "1" typed at "Press ENTER to input data..." was not read as data' \
  "$tmp/err"

# Refused tokens are named with the reason, the magnitude limit included;
# stdout stays as the transcripts have it.
run "$transcripts/values_not_finite.in"
check "refused values: stdout unchanged" cmp -s "$tmp/out" \
  "$transcripts/values_not_finite.out"
check "refused values: named, with the limit" grep -qF \
  '"1e40" lies beyond 1e9 in magnitude, the largest the analysis takes.' \
  "$tmp/err"
run "$transcripts/counts_out_of_range.in"
check "refused counts: stdout unchanged" cmp -s "$tmp/out" \
  "$transcripts/counts_out_of_range.out"
check "refused counts: named, with the reason" grep -qF \
  '"501" is more points than a phase may have. Please enter a whole number from 2 to 500.' \
  "$tmp/err"

# kalmir < study.csv: the header note, one refusal, one line on what to do,
# status 2; stdout ends at the second count prompt.
run "$source_dir/examples/study.csv"
check "data file on stdin: stdout as its transcript" cmp -s "$tmp/out" \
  "$transcripts/data_file_on_input.out"
check "data file on stdin: status 2" test "$(status)" = 2
check "data file on stdin: three lines on stderr" \
  test "$(wc -l < "$tmp/err")" = 3
check "data file on stdin: one refusal" \
  test "$(grep -c 'Please enter' "$tmp/err")" = 1
check "data file on stdin: says what to do" grep -q \
  '^kalmir: standard input holds a data file.*run: kalmir FILE' "$tmp/err"

# A header row typed by mistake, then the data: analysed as usual.
run "$transcripts/header_typed_then_data.in"
check "header then data: stdout as its transcript" cmp -s "$tmp/out" \
  "$transcripts/header_typed_then_data.out"
check "header then data: status 0, the header note" \
  test "$(status)" = 0 -a "$(grep -c 'header row of a data file' "$tmp/err")" = 1

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
