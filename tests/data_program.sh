#!/usr/bin/env bash
# Data files as researchers hold them, through the real program: workbooks
# against the same data as CSV, encodings, columns by other names, missing
# codes, dates, and the messages for files that cannot be read as they are.
# Usage: data_program.sh PROGRAM SOURCE_DIR
set -uo pipefail
program="$1"
source_dir="$2"
data="$source_dir/tests/data"
study="$source_dir/examples/study.csv"
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
# run ARGS...: stdout in $tmp/out, stderr in $tmp/err, status in $status.
run() {
  "$program" -j 2 "$@" > "$tmp/out" 2> "$tmp/err" < /dev/null
  status=$?
}
# The row of case $1 in $tmp/out (its notes are the last field).
row_of() { grep "^$1," "$tmp/out"; }

# Workbooks give the table of the same data saved as CSV, byte for byte.
run "$study"
cp "$tmp/out" "$tmp/study.csv.out"
# The zip and XML libraries are the workbook module's, loaded only for a
# zip archive: the program starts without them, and without its module
# says why it cannot read a workbook.
check "the program maps no zip library at its start" \
  test -z "$(ldd "$program" | grep -e libzip -e libexpat)"
mkdir "$tmp/alone"
cp "$program" "$tmp/alone/kalmir"
"$tmp/alone/kalmir" "$data/study.xlsx" > /dev/null 2> "$tmp/err"
status=$?
check "without its workbook module: status 2" test "$status" = 2
check "without its workbook module: says so" grep -q \
  "cannot read workbooks (\(its workbook module .*kalmir-workbook.so is missing\|it was built without libzip and expat\)); save the sheet as CSV" \
  "$tmp/err"
if "$program" -j 1 "$data/study.xlsx" > /dev/null 2> "$tmp/err" ||
   ! grep -q "built without libzip" "$tmp/err"; then
  for book in study.xlsx study.ods; do
    run "$data/$book"
    # The failed case's note names its file.
    sed "s#$data/$book#$study#" "$tmp/out" > "$tmp/book.out"
    check "$book: the table of study.csv" cmp -s "$tmp/book.out" \
      "$tmp/study.csv.out"
    check "$book: status 1 for its failed case" test "$status" = 1
  done
  run "$data/researcher.csv"
  cp "$tmp/out" "$tmp/researcher.csv.out"
  run --sheet Scores "$data/researcher.xlsx"
  check "a sheet by name: the table of its CSV" \
    cmp -s "$tmp/out" "$tmp/researcher.csv.out"
  check "a sheet by name: the columns read are told" grep -qx \
    "kalmir: note: $data/researcher.xlsx: columns read as case=id, phase=condition, values=score, mt=date" \
    "$tmp/err"
  run "$data/researcher.xlsx"
  check "the first sheet holds no table: its sheets named" grep -q \
    'on the first sheet, "Notes"; --sheet picks another of "Notes", "Scores"' \
    "$tmp/err"
  run --sheet 3 "$data/researcher.xlsx"
  check "no third sheet: status 2" test "$status" = 2
  run "$data/notes.zip"
  check "a zip archive that is no workbook" grep -q \
    "notes.zip: a zip archive that holds no .xlsx or .ods workbook" "$tmp/err"
else
  check "a build without workbooks says so" grep -q \
    "this build of kalmir cannot read workbooks" "$tmp/err"
fi

# Encodings: the same names and table whatever the file's encoding.
printf 'case,phase,values\nJ\xc3\xbcrgen,A,1\nJ\xc3\xbcrgen,A,3\nJ\xc3\xbcrgen,A,2\nJ\xc3\xbcrgen,B,4\nJ\xc3\xbcrgen,B,7\nJ\xc3\xbcrgen,B,6\n' \
  > "$tmp/utf8.csv"
run "$tmp/utf8.csv"
cp "$tmp/out" "$tmp/utf8.out"
check "UTF-8: no note" test ! -s "$tmp/err"
iconv -f UTF-8 -t WINDOWS-1252 "$tmp/utf8.csv" > "$tmp/cp1252.csv"
run "$tmp/cp1252.csv"
check "Windows-1252: the same table" cmp -s "$tmp/out" "$tmp/utf8.out"
check "Windows-1252: one note on stderr" test "$(cat "$tmp/err")" = \
  "kalmir: note: $tmp/cp1252.csv: read as Windows-1252, as it is not UTF-8 (byte 0xFC on line 2)"
for enc in UTF-16 UTF-32; do
  iconv -f UTF-8 -t "$enc" "$tmp/utf8.csv" > "$tmp/wide.csv"
  run "$tmp/wide.csv"
  check "$enc: the same table" cmp -s "$tmp/out" "$tmp/utf8.out"
done

# Columns by other names, missing codes and dates; two participants in a
# file without a case column are named.
cat > "$tmp/own.csv" <<'CSV'
participant;session;condition;score
Ann;1;A;3
Ann;2;A;.
Ann;3;A;4
Ann;4;A;3,5
Ann;5;B;7
Ann;6;B;-99
Ann;8;B;8
Ann;9;B;9
CSV
run "$tmp/own.csv"
check "an unknown missing code fails its case" grep -q \
  'case "Ann": value "." is not a number' "$tmp/err"
run --na .,-99 "$tmp/own.csv"
check "--na: analysed" test "$status" = 0
check "--na: the mapping told" grep -qx \
  "kalmir: note: $tmp/own.csv: columns read as case=participant, phase=condition, values=score, mt=session" \
  "$tmp/err"
check "--na: how many, which and where" grep -q \
  '2 missing values (. or -99) left out, at mt 2 and 6' <(row_of Ann)
check "uneven mt: noted" grep -q \
  '"mt is not evenly spaced (steps of 1 to 3); the analysis takes the measurements as equally spaced occasions' \
  <(row_of Ann)
run --na . --columns case=condition,phase=participant "$tmp/own.csv"
check "--columns: a mapping that reads no phases fails the cases" test "$status" = 1

{ echo "group,phase,values"
  for g in Ann Ben; do for v in A,1 A,2 A,3 B,5 B,6 B,7; do echo "$g,$v"; done; done
} > "$tmp/mixed.csv"
run "$tmp/mixed.csv"
check "no case column: one case, and the column that names cases" grep -qx \
  "kalmir: note: $tmp/mixed.csv: no case column, so every row is one case; \"group\" looks like case names (--columns case=group reads a case per name)" \
  "$tmp/err"
run --columns case=group "$tmp/mixed.csv"
check "--columns case=group: two cases" test "$status" = 0 -a \
  "$(cut -d, -f1 "$tmp/out" | tr '\n' ' ')" = "case Ann Ben "

printf 'case,phase,values,mt\nX,A,1,2024-03-01\nX,A,3,2024-03-02\nX,A,2,2024-03-04\nX,B,4,2024-03-05\nX,B,7,2024-03-06\nX,B,6,2024-03-07\n' \
  > "$tmp/dates.csv"
run "$tmp/dates.csv"
check "dates: analysed, uneven days noted" grep -q \
  'steps of 1 to 2 days' <(row_of X)

# Honest messages.
printf 'case,phase,values\n' > "$tmp/header.csv"
run "$tmp/header.csv"
check "a header without rows: status 1" test "$status" = 1
check "a header without rows: said" grep -qx \
  "kalmir: $tmp/header.csv: no data rows after the header" "$tmp/err"
printf 'case;phase;values\nX;A;1.000\nX;A;2\nX;B;1,500\nX;B;3\n' > "$tmp/marks.csv"
run "$tmp/marks.csv"
check "both decimal marks: status 2" test "$status" = 2
check "both decimal marks: both lines named" grep -q \
  'decimal point on line 2 ("1.000") and a decimal comma on line 4 ("1,500")' \
  "$tmp/err"
run -d , "$tmp/marks.csv"
check "--decimal , settles it: 1.000 is no number then" grep -q \
  '"1.000" is not a number (the decimal mark is a comma)' "$tmp/err"
printf 'case,phase,values\nX,A,1e-400\nX,A,3\nX,A,2\nX,B,4\nX,B,7\nX,B,6\n' > "$tmp/tiny.csv"
run "$tmp/tiny.csv"
check "a value below float's range: held as 0, noted" grep -q \
  'line 2: 1e-400 is held as 0' <(row_of X)
printf 'case,phase,values\nX,A,"1\nX,A,2\n' > "$tmp/quote.csv"
run "$tmp/quote.csv"
check "an unclosed quote is named" grep -q \
  'quote.csv:2: a quoted field opened here is not closed' "$tmp/err"

# Endless input that is no text ends at once.
timeout 20 "$program" /dev/urandom > /dev/null 2> "$tmp/err"
check "/dev/urandom: status 2 at once" test "$?" = 2
check "/dev/urandom: no text" grep -q "is not valid UTF-8" "$tmp/err"

usage() {  # usage NAME PATTERN ARGS...: status 2, one line on stderr
  local name="$1" pattern="$2"
  shift 2
  run "$@"
  if [ "$status" = 2 ] && [ ! -s "$tmp/out" ] &&
     [ "$(wc -l < "$tmp/err")" = 1 ] && grep -q -- "$pattern" "$tmp/err"; then
    pass "$name"
  else
    fail "$name: status $status, stderr: $(cat "$tmp/err")"
  fi
}
usage "- twice" "- (standard input) is given 2 times; it can be read once" - -
usage "an ambiguous option" \
  "option --i is ambiguous: it begins --improvement, --indices" --i x "$study"
usage "a misspelt option" "unknown option --colums (did you mean --columns?)" \
  --colums case=id "$study"
usage "--sheet on text" "no workbook but text" --sheet 1 "$study"
usage "--columns: an unknown key" '--columns has no key "cases"' \
  --columns cases=id "$study"
usage "--columns: a column the header lacks" \
  '--columns names "id" for case, but the header has no such column (its columns: "case", "mt", "phase", "values")' \
  --columns case=id "$study"

if [ "$failures" -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
