#!/usr/bin/env bash
# The R package: its tarball built from this tree, R CMD check on it (no
# ERROR, no WARNING), and its figures and reports against the command
# line's for the worked example and examples/study.csv, on 1 and 2 threads.
# Usage: r_package.sh PROGRAM SOURCE_DIR OUT_DIR
set -uo pipefail
program="$1"
source_dir="$2"
out="$3"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
failures=0

tarball="$("$source_dir/scripts/r-package" "$out")" || exit 1
rm -rf "$out/kalmir.Rcheck"
# R builds the library's sources one at a time unless make is told.
(cd "$out" && MAKEFLAGS="-j$(nproc)" _R_CHECK_FORCE_SUGGESTS_=false \
  R CMD check --no-manual "$tarball" > "$out/check.log" 2>&1)
status_line="$(grep '^Status:' "$out/check.log")"
echo "R CMD check: ${status_line:-no status}"
grep -B1 -A8 -E '\.\.\. (NOTE|WARNING|ERROR)$' "$out/check.log"
if grep -qE '\.\.\. (WARNING|ERROR)$' "$out/check.log" ||
   [ -z "$status_line" ]; then
  echo "FAIL R CMD check; see $out/check.log and $out/kalmir.Rcheck"
  tail -n 30 "$out/check.log"
  exit 1
fi

# The check installed the package; its figures against the program's.
worked="$out/worked.csv"
{
  echo "case,phase,values"
  for v in 3 5 4 6 5 7 6 8 7 9; do echo "Worked example,A,$v"; done
  for v in 10 9 12 11 13 12 15 14; do echo "Worked example,B,$v"; done
} > "$worked"
for data in "$worked" "$source_dir/examples/study.csv"; do
  name="$(basename "$data" .csv)"
  "$program" -f csv -j 1 -o "$out/$name.cli.csv" "$data" 2>/dev/null
  "$program" -f report -j 1 -o "$out/$name.cli.txt" "$data" 2>/dev/null
  for threads in 1 2; do
    Rscript "$source_dir/tests/r_same_figures.R" "$out/kalmir.Rcheck" \
      "$data" "$out/$name.cli.csv" "$out/$name.cli.txt" "$threads" ||
      failures=$((failures + 1))
  done
done
[ "$failures" = 0 ]
