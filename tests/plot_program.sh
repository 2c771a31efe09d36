#!/usr/bin/env bash
# Plots through the real program: one file for every analysed case and for
# no other, each SVG well-formed XML with its text as text, an index of the
# folder and a plot column in the table; the same bytes whatever --jobs
# says; a link planted in the folder left pointing where it pointed; the
# dialogue's standard output the same with --plot as without; the plot
# options and their mistakes; a directory that cannot be written; SVG
# without the drawing module.
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
draws=0
[ -e "$(dirname "$program")/kalmir-drawing.so" ] && draws=1

# Every full analysis takes its time, a long one under the sanitizers: the
# checks share runs, and take one or two cases of the study where that is
# enough.
head -1 "$study" > "$tmp/header.csv"
{ cat "$tmp/header.csv"; grep '^Ann,' "$study"; } > "$tmp/ann.csv"
{ cat "$tmp/header.csv"; grep -e '^Ann,' -e '^Cleo,' "$study"; } > "$tmp/two.csv"

# Data files: a plot per case analysed (status ok), none for a failed case.
"$program" -j 1 --plot "$tmp/plots" "$study" > "$tmp/table.csv" 2> /dev/null
status=$?
check "data file: status as without plots" test "$status" = 1
ok_cases="$(awk -F, 'NR > 1 && $5 == "ok" { print $1 }' "$tmp/table.csv" | sort)"
plots="$(cd "$tmp/plots" && ls | grep -v '^index.html$' | sed 's/\.svg$//' | sort)"
check "a plot for every analysed case, none for others" \
  test -n "$ok_cases" -a "$ok_cases" = "$plots"
for f in "$tmp"/plots/*.svg; do
  check "$(basename "$f") is well-formed XML" xmllint --noout "$f"
  check "$(basename "$f") keeps its text as text" \
    test "$(grep -c '<text' "$f")" -gt 30
done
check "the table names each plot in its plot column, before the notes" \
  test "$(head -1 "$tmp/table.csv" | grep -o ',plot,notes$')" = ",plot,notes" \
  -a "$(grep -c '^Ann,,contrast,A1-B1,ok,.*,Ann\.svg,$' "$tmp/table.csv")" = 1 \
  -a "$(grep -c '^Dev,,case,,error,.*,,[^,]*study.csv:5: ' "$tmp/table.csv")" = 1
index="$tmp/plots/index.html"
check "the index lists every case, in order" \
  test "$(grep -o '<tr><td>[A-Za-z]*</td>' "$index" | tr -d '<>/tdr' | tr '\n' ' ')" = \
  "Ann Ben Cleo Dev "
check "the index links each plot, relative to the folder" \
  test "$(grep -c 'href="./[A-Za-z]*\.svg"' "$index")" = 3
check "the index says why a case has no plot" \
  grep -q 'Not analysed: .*no B phase' "$index"
check "the index is well-formed" xmllint --html --noout "$index"
without="$("$program" "$tmp/header.csv" 2> /dev/null | head -1)"
check "without --plot the table has no plot column" \
  test "${without%,plot,notes}" = "$without" -a "${without%,notes}" != "$without"

# The same plots whatever --jobs says, also as PNG.
"$program" -j 2 --plot "$tmp/j2" "$study" > /dev/null 2>&1
same=1
for f in "$tmp"/plots/*; do cmp -s "$f" "$tmp/j2/$(basename "$f")" || same=0; done
check "--jobs 1 and 2: the same SVG files and index" test "$same" = 1
if [ "$draws" = 1 ]; then
  for jobs in 1 2; do
    "$program" -j "$jobs" --plot "$tmp/png-j$jobs" --plot-format png \
      "$tmp/two.csv" > /dev/null 2>&1
  done
  same=1
  for f in "$tmp"/png-j1/*; do
    cmp -s "$f" "$tmp/png-j2/$(basename "$f")" || same=0
  done
  check "--jobs 1 and 2: the same PNG files" \
    test "$same" = 1 -a -s "$tmp/png-j1/Cleo.png"
fi

# A link planted at a plot's name is replaced; its target is untouched.
# The same run shows the plot's labels and panels.
mkdir "$tmp/planted"
echo "precious" > "$tmp/victim.txt"
ln -s "$tmp/victim.txt" "$tmp/planted/Ann.svg"
"$program" --plot "$tmp/planted" --phase-a a --phase-b b \
  --x-label "Session" --y-label "Words per minute" --y-range 0:20 \
  --plot-panels series "$tmp/ann.csv" > /dev/null 2>&1
check "a planted link: its target untouched" \
  test "$(cat "$tmp/victim.txt")" = "precious"
check "a planted link: replaced by the plot" \
  test ! -L "$tmp/planted/Ann.svg" -a -s "$tmp/planted/Ann.svg"
touch "$tmp/planted/touched"
check "a plot has the mode a new file gets" \
  test "$(stat -c %a "$tmp/planted/Ann.svg")" = "$(stat -c %a "$tmp/planted/touched")"
check "no temporary file left in the folder" \
  test -z "$(ls -A "$tmp/planted" | grep '^\.')"

ann="$tmp/planted/Ann.svg"
check "labels: phase names, axis titles" \
  test "$(grep -c -e '>a</text>' -e '>b phase</text>' -e '>Session</text>' \
          -e '>Words per minute</text>' "$ann")" = 4
check "--plot-panels series: no simulation panel" \
  test "$(grep -c 'Simulated' "$ann")" = 0
check "default y label: the values column's name" \
  grep -q '>values</text>' "$tmp/plots/Ann.svg"

# The dialogue: the same bytes on standard output, a plot per analysis,
# each named on standard error.
cat "$worked" "$worked" > "$tmp/twice.txt"
"$program" < "$tmp/twice.txt" > "$tmp/plain.out"
"$program" --plot "$tmp/dialogue" --title "Ann, spring term" \
  < "$tmp/twice.txt" > "$tmp/plotted.out" 2> "$tmp/plotted.err"
status=$?
check "dialogue: status 0" test "$status" = 0
check "dialogue: standard output unchanged" cmp -s "$tmp/plain.out" "$tmp/plotted.out"
check "dialogue: analysis-1.svg and analysis-2.svg" \
  test "$(cd "$tmp/dialogue" && ls | tr '\n' ' ')" = "analysis-1.svg analysis-2.svg "
check "dialogue: each path named on standard error" \
  test "$(grep -c 'plot written to .*/analysis-[12].svg' "$tmp/plotted.err")" = 2
check "dialogue: --title titles its plots" \
  grep -q '>Ann, spring term</text>' "$tmp/dialogue/analysis-1.svg"

# Mistakes with the plot options: one line, status 2, nothing written.
for args in "--y-range 5:1" "--y-range 0-100" "--y-range nan:1" \
            "--plot-panels lower" "--title x FILE" "--y-label  " \
            "--plot-format gif"; do
  set -- $args
  [ "${!#}" = FILE ] && set -- "${@:1:$#-1}" "$study"
  "$program" --plot "$tmp/mistake" "$@" < /dev/null > /dev/null 2> "$tmp/err"
  status=$?
  check "mistake $args: status 2, one line" \
    test "$status" = 2 -a "$(wc -l < "$tmp/err")" = 1
done
"$program" --y-range 0:1 "$study" > /dev/null 2> "$tmp/err"
check "a plot option without --plot: status 2" test "$?" = 2
check "a plot option without --plot: says so" \
  grep -q '^kalmir: --y-range shapes plots; add --plot DIR; see kalmir --help$' "$tmp/err"
check "mistakes: nothing drawn" test ! -e "$tmp/mistake"

# A directory that cannot be made: one line, status 2; with data files the
# table is still written, its plot column empty.
touch "$tmp/a-file"
"$program" --plot "$tmp/a-file/sub" "$study" > "$tmp/table2.csv" 2> "$tmp/err"
status=$?
check "unwritable directory, data file: status 2" test "$status" = 2
check "unwritable directory, data file: the table still written" \
  cmp -s <(sed -E 's/,[A-Za-z]+\.svg,/,,/' "$tmp/table.csv") "$tmp/table2.csv"
check "unwritable directory: one clear line" \
  grep -q '^kalmir: cannot make the plot directory' "$tmp/err"
"$program" --plot "$tmp/a-file" < "$worked" > /dev/null 2> "$tmp/err"
status=$?
check "unwritable directory, dialogue: status 2" test "$status" = 2
check "not a directory: said so" grep -q 'not a directory' "$tmp/err"

# Designs: a reversal series is one figure with a panel per contrast; a
# study is one more figure, listed in the index after its cases.
"$program" --plot "$tmp/designs" "$source_dir/examples/reversal.csv" \
  "$source_dir/examples/multiple-baseline.csv" > "$tmp/designs.csv" 2> /dev/null
check "designs: a plot per case and one for the study" test \
  "$(cd "$tmp/designs" && ls | tr '\n' ' ')" = \
  "Ana.svg Ben.svg Cleo.svg Dana.svg index.html study-reading.svg "
check "designs: the series figure has its contrasts' panels" \
  grep -q 'B1-A2: d = ' "$tmp/designs/Dana.svg"
check "designs: the study figure names its cases" \
  grep -q '>Cleo<' "$tmp/designs/study-reading.svg"
check "designs: the index links the study's figure" \
  grep -q 'href="./study-reading.svg"' "$tmp/designs/index.html"
check "designs: the study row names its figure" \
  grep -q '^,reading,study,.*,study-reading.svg,' "$tmp/designs.csv"

# The drawing module is loaded only for PNG and PDF: a program without it
# still analyses and writes SVG plots, and --plot-format png says in one
# line why it cannot draw.
mkdir "$tmp/alone"
cp "$program" "$tmp/alone/kalmir"
"$tmp/alone/kalmir" < "$tmp/twice.txt" > "$tmp/alone.out" 2> /dev/null
check "without its module: the same report" cmp -s "$tmp/alone.out" "$tmp/plain.out"
"$tmp/alone/kalmir" --plot "$tmp/alone-svg" "$tmp/ann.csv" > /dev/null 2>&1
check "without its module: the same SVG plots" \
  cmp -s "$tmp/alone-svg/Ann.svg" "$tmp/plots/Ann.svg"
"$tmp/alone/kalmir" --plot "$tmp/alone-plots" --plot-format png "$study" \
  > /dev/null 2> "$tmp/err"
status=$?
check "without its module, PNG: status 2" test "$status" = 2
check "without its module, PNG: says which file is missing" \
  grep -Eq '^kalmir: this build of kalmir cannot draw PNG plots \((its drawing module .*kalmir-drawing.so is missing|it was built without Cairo)\); SVG it can; see kalmir --help$' "$tmp/err"
check "without its module, PNG: nothing drawn" test ! -e "$tmp/alone-plots"

echo "$failures failed"
[ "$failures" -eq 0 ]
