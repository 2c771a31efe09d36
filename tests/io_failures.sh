#!/usr/bin/env bash
# Write and read failures through the real program: each must end with a
# line on standard error and a non-zero exit status, never a silent 0.
# Usage: io_failures.sh PROGRAM EXAMPLES_DIR [SANITIZED]
set -uo pipefail
program="$1"
worked="$2/worked.txt"
sanitized="${3:-0}"
failures=0

expect() {  # expect NAME WANTED_STATUS ACTUAL_STATUS ERR_FILE PATTERN
  local name="$1" want="$2" got="$3" err="$4" pattern="$5"
  if [ "$got" != "$want" ]; then
    echo "FAIL $name: exit status $got, expected $want"; failures=$((failures + 1))
  elif ! grep -q "$pattern" "$err"; then
    echo "FAIL $name: standard error lacks '$pattern':"; cat "$err"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

err="$(mktemp)"
trap 'rm -f "$err"' EXIT

"$program" < "$worked" > /dev/full 2> "$err"
expect "full disk" 2 $? "$err" "cannot write standard output: No space left"

"$program" < "$worked" >&- 2> "$err"
expect "closed standard output" 2 $? "$err" "cannot write standard output"

( trap '' PIPE; "$program" < "$worked" 2> "$err" | head -c 1 > /dev/null;
  exit "${PIPESTATUS[0]}" )
expect "broken pipe, SIGPIPE ignored" 2 $? "$err" "Broken pipe"

"$program" < / > /dev/null 2> "$err"
expect "a directory as input" 2 $? "$err" "cannot read standard input"

# Too little address space for 500-point phases: one clear line, no abort.
# The limit is lowered step by step until the analysis no longer fits; below
# what the shared libraries need the program cannot even start (127).
# (Sanitizer builds reserve vast address space and cannot run under it.)
if [ "$sanitized" != 1 ]; then
  {
    printf '\n500\n'; for i in $(seq 500); do printf '%d ' "$((i % 17))"; done
    printf '\n500\n'; for i in $(seq 500); do printf '%d ' "$((i % 13))"; done
    printf '\n'
  } > "$err.in"
  status=0
  for limit in 60000 40000 30000 25000 20000 16000 14000 12000 10000 8000 6000; do
    ( ulimit -v "$limit"; "$program" < "$err.in" > /dev/null 2> "$err" )
    status=$?
    [ "$status" = 0 ] || break
  done
  if [ "$status" = 127 ]; then
    echo "ok   out of memory (skipped: the program cannot start that small)"
  else
    expect "out of memory" 2 "$status" "$err" "out of memory"
  fi
  rm -f "$err.in"

  # Room for the analysis but not for a second thread's 2 GB stack: the
  # analysis runs on one thread and prints the same report.
  "$program" < "$worked" > "$err.want"
  ( ulimit -s 2000000; ulimit -v 500000
    "$program" < "$worked" > "$err.got" 2> "$err" )
  status=$?
  if [ "$status" = 0 ] && cmp -s "$err.want" "$err.got"; then
    echo "ok   no second thread"
  else
    echo "FAIL no second thread: status $status"; failures=$((failures + 1))
  fi
  rm -f "$err.want" "$err.got"
fi

# Endless input without a line end ends at once with a message.
timeout 20 "$program" /dev/zero > /dev/null 2> "$err"
expect "an endless line" 2 $? "$err" "/dev/zero:1: the line is longer than 8 MB"

# A file-size limit that -o runs into (SIGXFSZ), and SIGUSR1 and SIGALRM
# during a run: the temporary file beside the output is gone afterwards.
study="$(dirname "$worked")/study.csv"
outdir="$(mktemp -d)"
( ulimit -f 1; "$program" -o "$outdir/t.csv" "$study" 2> /dev/null )
leftover="$(ls -A "$outdir")"
if [ -z "$leftover" ]; then echo "ok   file-size limit leaves no file"
else echo "FAIL file-size limit left: $leftover"; failures=$((failures + 1)); fi
for sig in USR1 ALRM; do
  rows="$(mktemp)"
  for i in $(seq 1 40); do tail -n +2 "$study" | sed "s/^/r$i/"; done > "$rows"
  { head -n 1 "$study"; cat "$rows"; } > "$outdir/big.csv"
  "$program" -j 1 -o "$outdir/t.csv" "$outdir/big.csv" 2> /dev/null &
  pid=$!
  sleep 0.3
  kill -s "$sig" "$pid" 2> /dev/null
  wait "$pid" 2> /dev/null
  leftover="$(ls -A "$outdir" | grep -v '^big.csv$')"
  if [ -z "$leftover" ]; then echo "ok   SIG$sig leaves no temporary file"
  else echo "FAIL SIG$sig left: $leftover"; failures=$((failures + 1)); fi
  rm -f "$rows" "$outdir/big.csv"
done
rm -rf "$outdir"

echo "$failures failed"
[ "$failures" -eq 0 ]
