#!/usr/bin/env bash
# Plots through the real program: one file for every analysed case and for
# no other, each SVG well-formed XML; the dialogue's standard output the
# same with --plot as without; a directory that cannot be written.
# Usage: plot_program.sh PROGRAM SOURCE_DIR
set -uo pipefail
program="$1"
source_dir="$2"
study="$source_dir/examples/study.csv"
worked="$source_dir/examples/worked.txt"
failures=0
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

check() {  # check NAME CONDITION...
  local name="$1"
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

# A build that cannot draw says so in its help, and --plot says why in one
# line, before it reads or makes anything.
if "$program" --help | grep -q 'cannot draw here'; then
  "$program" --plot "$tmp/plots" "$study" > "$tmp/out" 2> "$tmp/err"
  status=$?
  check "cannot draw: --plot fails with status 2" test "$status" = 2
  check "cannot draw: --plot says why" grep -qx \
    'kalmir: this build of kalmir cannot draw plots (.*); see kalmir --help' \
    "$tmp/err"
  check "cannot draw: nothing written or made" \
    test ! -s "$tmp/out" -a ! -e "$tmp/plots"
  echo "$failures failed"
  [ "$failures" -eq 0 ]
  exit
fi

# Data files: a plot per case analysed (status ok), none for a failed case.
"$program" --plot "$tmp/plots" "$study" > "$tmp/table.csv" 2> /dev/null
status=$?
check "data file: status as without plots" test "$status" = 1
ok_cases="$(awk -F, 'NR > 1 && $2 == "ok" { print $1 }' "$tmp/table.csv" | sort)"
plots="$(cd "$tmp/plots" && ls | sed 's/\.svg$//' | sort)"
check "a plot for every analysed case, none for others" \
  test -n "$ok_cases" -a "$ok_cases" = "$plots"
for f in "$tmp"/plots/*.svg; do
  check "$(basename "$f") is well-formed XML" xmllint --noout "$f"
done

# The dialogue: the same bytes on standard output, a plot per analysis,
# each named on standard error.
cat "$worked" "$worked" > "$tmp/twice.txt"
"$program" < "$tmp/twice.txt" > "$tmp/plain.out"
"$program" --plot "$tmp/dialogue" --plot-format png < "$tmp/twice.txt" \
  > "$tmp/plotted.out" 2> "$tmp/plotted.err"
status=$?
check "dialogue: status 0" test "$status" = 0
check "dialogue: standard output unchanged" cmp -s "$tmp/plain.out" "$tmp/plotted.out"
check "dialogue: analysis-1.png and analysis-2.png" \
  test "$(cd "$tmp/dialogue" && ls | tr '\n' ' ')" = "analysis-1.png analysis-2.png "
check "dialogue: each path named on standard error" \
  test "$(grep -c 'plot written to .*/analysis-[12].png' "$tmp/plotted.err")" = 2

# A directory that cannot be made: one line, status 2; with data files the
# table is still written.
touch "$tmp/a-file"
"$program" --plot "$tmp/a-file/sub" "$study" > "$tmp/table2.csv" 2> "$tmp/err"
status=$?
check "unwritable directory, data file: status 2" test "$status" = 2
check "unwritable directory, data file: the table still written" \
  cmp -s "$tmp/table.csv" "$tmp/table2.csv"
check "unwritable directory: one clear line" \
  grep -q '^kalmir: cannot make the plot directory' "$tmp/err"
"$program" --plot "$tmp/a-file" < "$worked" > /dev/null 2> "$tmp/err"
status=$?
check "unwritable directory, dialogue: status 2" test "$status" = 2
check "not a directory: said so" grep -q 'not a directory' "$tmp/err"
"$program" --plot-format gif --plot "$tmp/x" "$study" > /dev/null 2> "$tmp/err"
check "unknown plot format: status 2" test "$?" = 2

# The drawing module is loaded only for plots: a program without it still
# analyses, and --plot says in one line why it cannot draw.
mkdir "$tmp/alone"
cp "$program" "$tmp/alone/kalmir"
"$tmp/alone/kalmir" < "$tmp/twice.txt" > "$tmp/alone.out" 2> /dev/null
check "without its module: the same report" cmp -s "$tmp/alone.out" "$tmp/plain.out"
"$tmp/alone/kalmir" --plot "$tmp/alone-plots" "$study" > /dev/null 2> "$tmp/err"
status=$?
check "without its module, --plot: status 2" test "$status" = 2
check "without its module, --plot: says which file is missing" \
  grep -q '^kalmir: this build of kalmir cannot draw plots (its drawing module .*kalmir-drawing.so is missing); see kalmir --help$' "$tmp/err"
check "without its module, --plot: nothing drawn" test ! -e "$tmp/alone-plots"
"$tmp/alone/kalmir" --help | grep -q 'cannot draw here'
check "without its module: the help says so" test "$?" = 0

echo "$failures failed"
[ "$failures" -eq 0 ]
