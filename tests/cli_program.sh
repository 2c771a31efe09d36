#!/usr/bin/env bash
# The command line through the real program: help, version and a bad
# option; exit statuses; writes that fail; an interrupted -o run; a file
# split by case and analysed in halves; the install rule.
# Usage: cli_program.sh PROGRAM SOURCE_DIR BUILD_DIR
set -uo pipefail
program="$1"
source_dir="$2"
build_dir="$3"
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

# --help: one screen on standard output, one line per option, an example
# at the end.
"$program" --help > "$tmp/out" 2> "$tmp/err"
status=$?
check "help exits 0, nothing on stderr" test "$status" = 0 -a ! -s "$tmp/err"
check "help fits a screen" test "$(wc -l < "$tmp/out")" -le 24 \
  -a "$(awk '{ if (length > m) m = length } END { print m }' "$tmp/out")" -le 80
check "help ends with an example" \
  grep -q '^Example: kalmir .*study.csv$' <(tail -n 1 "$tmp/out")
for option in --format --output --jobs --phase-a --phase-b --separator \
              --decimal --sheet --columns --na --improvement --indices \
              --help --version; do
  check "help explains $option" test "$(grep -c -- "$option" "$tmp/out")" = 1
done

"$program" -V > "$tmp/out" 2> "$tmp/err"
check "version: one line" test "$?" = 0 -a "$(cat "$tmp/out")" = "kalmir 1.0"

# Help and the version start as quickly as the program can: the drawing
# module (and Cairo behind it) is loaded only for a PNG or PDF plot. The
# loader's own log says what it maps.
draws=0
[ -e "$(dirname "$program")/kalmir-drawing.so" ] && draws=1
for args in --help --version "--plot $tmp/never --help" \
            "--plot $tmp/never --plot-format png --help"; do
  # shellcheck disable=SC2086
  LD_DEBUG=files "$program" $args > /dev/null 2> "$tmp/loaded"
  check "$args loads no drawing module" \
    test "$(grep -c 'kalmir-drawing' "$tmp/loaded")" = 0
done
check "--help makes no plot directory" test ! -e "$tmp/never"
LD_DEBUG=files "$program" --plot "$tmp/plots-svg" < /dev/null \
  > /dev/null 2> "$tmp/loaded"
check "--plot for SVG loads no drawing module" \
  test "$(grep -c 'kalmir-drawing' "$tmp/loaded")" = 0
if [ "$draws" = 1 ]; then
  LD_DEBUG=files "$program" --plot "$tmp/plots-unused" --plot-format png \
    < /dev/null > /dev/null 2> "$tmp/loaded"
  check "--plot for PNG loads the drawing module (the checks above can see it)" \
    grep -q 'kalmir-drawing' "$tmp/loaded"
fi

# A bad option or an unreadable file: one line on stderr that names it and
# points to --help, nothing on stdout, status 2.
usage_error() {  # usage_error NAME PATTERN ARGS...
  local name="$1" pattern="$2"
  shift 2
  "$program" "$@" > "$tmp/out" 2> "$tmp/err" < /dev/null
  local status=$?
  if [ "$status" = 2 ] && [ ! -s "$tmp/out" ] &&
     [ "$(wc -l < "$tmp/err")" = 1 ] &&
     grep -q "^kalmir: .*$pattern.*; see kalmir --help$" "$tmp/err"; then
    pass "$name"
  else
    fail "$name: status $status, stderr: $(cat "$tmp/err")"
  fi
}
usage_error "bad option" "unknown option --colour" --colour "$study"
usage_error "bad format" "unknown format" -f xml "$study"
usage_error "missing file" "cannot read $tmp/none.csv: No such file" \
  "$tmp/none.csv"
usage_error "no file" "no data file given" -j 2

# Exit statuses: 0 when every case was analysed, 1 when some were not.
printf 'case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\n' > "$tmp/good.csv"
"$program" "$tmp/good.csv" > "$tmp/out" 2> "$tmp/err"
check "all analysed: status 0" test "$?" = 0 -a ! -s "$tmp/err"
"$program" "$study" > "$tmp/out" 2> "$tmp/err"
check "a failed case: status 1" test "$?" = 1
check "a failed case: its line on stderr" grep -qx \
  "kalmir: $study:5: case \"Dev\": no B phase (the phase column holds only A)" \
  "$tmp/err"
check "a failed case: a row for every case" \
  test "$(cut -d, -f1,3,5 "$tmp/out" | tr '\n' ' ')" = \
  "case,row,status Ann,contrast,ok Ben,contrast,ok Cleo,contrast,ok Dev,case,error "

# A write that fails is a failure.
"$program" "$tmp/good.csv" > /dev/full 2> "$tmp/err"
check "full disk: status 2" test "$?" = 2
check "full disk: said" grep -q "cannot write standard output: No space" \
  "$tmp/err"
( trap '' PIPE; "$program" -j 1 -f report "$tmp/good.csv" "$tmp/good.csv" \
  "$tmp/good.csv" 2> "$tmp/err" |
  head -c 1 > /dev/null; exit "${PIPESTATUS[0]}" )
check "broken pipe, SIGPIPE ignored: status 2" test "$?" = 2
check "broken pipe: said" grep -q "Broken pipe" "$tmp/err"

# An interrupted -o run leaves the old table and no temporary file. The
# input comes through a pipe that stays open, so the run is surely still
# reading when it is stopped.
echo old > "$tmp/table.csv"
mkfifo "$tmp/fifo"
"$program" -o "$tmp/table.csv" "$tmp/fifo" 2> "$tmp/err" &
pid=$!
exec 3> "$tmp/fifo"
printf 'case,phase,values\nX,A,1\n' >&3
for _ in $(seq 200); do
  ls -a "$tmp" | grep -q '^\.table\.csv\.' && break
  sleep 0.05
done
kill -TERM "$pid"
wait "$pid"
status=$?
exec 3>&-
check "interrupted: ended by the signal" test "$status" = 143
check "interrupted: old table kept" test "$(cat "$tmp/table.csv")" = old
check "interrupted: no temporary file left" \
  test -z "$(ls -a "$tmp" | grep '^\.table\.csv\.')"

# The README's recipe for several machines: cases split over two files,
# analysed apart, the tables joined under one header, equal the whole.
# (Without the failed case, whose note names the file and line it is in.)
grep -v '^Dev,' "$study" > "$tmp/whole_input.csv"
awk -F, -v one="$tmp/half1.csv" -v two="$tmp/half2.csv" '
  NR == FNR { if (FNR > 1 && !($1 in order)) order[$1] = n++; next }
  FNR == 1 { print > one; print > two; next }
  { print > (order[$1] < n / 2 ? one : two) }' \
  "$tmp/whole_input.csv" "$tmp/whole_input.csv"
"$program" "$tmp/whole_input.csv" > "$tmp/whole.csv"
{ "$program" "$tmp/half1.csv"; "$program" "$tmp/half2.csv" | tail -n +2; } \
  > "$tmp/joined.csv"
check "halves joined equal the whole" cmp -s "$tmp/whole.csv" "$tmp/joined.csv"
check "each half holds some cases" \
  test "$(wc -l < "$tmp/half1.csv")" -gt 1 -a "$(wc -l < "$tmp/half2.csv")" -gt 1

# A reversal series gives the same contrast rows, bit for bit, as its phase
# pairs analysed one by one as AB files (the earlier phase as the A phase);
# only the contrast's name differs.
{
  echo "case,phase,values"
  for v in 3 5 4 6 5; do echo "Kim,A,$v"; done
  for v in 9 11 10 12 11; do echo "Kim,B,$v"; done
  for v in 4 6 5 4; do echo "Kim,A,$v"; done
  for v in 10 12 11 13 12; do echo "Kim,B,$v"; done
} > "$tmp/series.csv"
"$program" "$tmp/series.csv" > "$tmp/series_out.csv"
check "a series: three contrasts and the average of its A-B contrasts" \
  test "$(cut -d, -f1-4 "$tmp/series_out.csv" | tail -n +2 | tr '\n' ' ')" = \
  "Kim,,contrast,A1-B1 Kim,,contrast,B1-A2 Kim,,contrast,A2-B2 Kim,,case, "
pairs="A1-B1 B1-A2 A2-B2"
for k in 1 2 3; do
  pair="$(echo $pairs | cut -d' ' -f$k)"
  # Rows k and k+1 of the series' phases: 5, 5, 4 and 5 values.
  awk -F, -v k="$k" '
    NR == 1 { print; next }
    { if (NR > 2 && $2 != last) phase++; last = $2 }
    phase == k - 1 { print $1 ",A," $3 }
    phase == k { print $1 ",B," $3 }' "$tmp/series.csv" > "$tmp/pair$k.csv"
  "$program" "$tmp/pair$k.csv" | tail -n 1 | sed "s/,A1-B1,/,$pair,/" \
    > "$tmp/pair$k.row"
  check "a series: contrast $pair is its AB analysis" \
    test "$(grep ",$pair," "$tmp/series_out.csv")" = "$(cat "$tmp/pair$k.row")"
done

# The install rule puts the program and its man page under the prefix, and
# the drawing module where the installed program finds it.
cmake --install "$build_dir" --prefix "$tmp/prefix" > /dev/null
check "install: program and man page" \
  test -x "$tmp/prefix/bin/kalmir" -a -s "$tmp/prefix/share/man/man1/kalmir.1"
if [ "$draws" = 1 ]; then
  "$tmp/prefix/bin/kalmir" --plot "$tmp/installed-plots" --plot-format png \
    < "$source_dir/examples/worked.txt" > /dev/null 2>&1
  check "install: the installed program finds its module and draws" \
    test -s "$tmp/installed-plots/analysis-1.png"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
