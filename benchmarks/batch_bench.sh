#!/usr/bin/env bash
# Throughput and memory of the command line on many cases; not a test.
#
#   benchmarks/batch_bench.sh [PROGRAM] [ROUNDS]
#     1000 cases of the worked example's size (10 + 8 points) in one file,
#     analysed with --jobs 1 and --jobs 2 in turn, ROUNDS times each
#     (default 3), interleaved so that a change in the machine's load
#     touches both alike. Prints analyses per second, analyses per CPU
#     second (user + system; what other processes on the cores cannot
#     take away) and peak memory per run, then the medians with their
#     ranges and the ratio of the medians.
#
#   benchmarks/batch_bench.sh [PROGRAM] memory CASES [SECONDS]
#     CASES short cases (3 + 3 points) in one file, analysed with --jobs 2;
#     prints the program's peak memory (VmHWM) every SECONDS (default 30)
#     until it ends. Stop it (Ctrl-C; the program stops with it) once the
#     figure stays put.
set -euo pipefail
program="${1:-build/kalmir}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Cases of nA + nB points: a level, a trend and noise from a fixed seed,
# the B phase raised by a case's own effect.
make_cases() {  # make_cases COUNT NA NB > FILE
  awk -v n="$1" -v na="$2" -v nb="$3" 'BEGIN {
    srand(7487); print "case,phase,values"
    for (c = 1; c <= n; c++) {
      level = int(rand() * 20); effect = int(rand() * 8) - 2
      for (i = 1; i <= na + nb; i++) {
        v = level + 0.5 * i + int(rand() * 4) + (i > na ? effect : 0)
        printf "case%d,%s,%d\n", c, (i <= na ? "A" : "B"), v
      }
    }
  }'
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

if [ "${2:-}" = memory ]; then
  cases="${3:?number of cases}"
  every="${4:-30}"
  make_cases "$cases" 3 3 > "$tmp/short.csv"
  echo "$cases cases of 3 + 3 points, $(wc -c < "$tmp/short.csv") bytes;" \
       "load before: $(load)"
  "$program" -j 2 "$tmp/short.csv" > /dev/null &
  pid=$!
  trap 'kill "$pid" 2> /dev/null; rm -rf "$tmp"' EXIT INT TERM
  start=$SECONDS
  while kill -0 "$pid" 2> /dev/null; do
    sleep "$every"
    peak="$(awk '/VmHWM/ { print $2, $3 }' "/proc/$pid/status" 2> /dev/null)" ||
      break
    echo "$((SECONDS - start)) s: peak memory $peak; load $(load)"
  done
  wait "$pid" || true
  exit 0
fi

rounds="${2:-3}"
make_cases 1000 10 8 > "$tmp/cases.csv"
echo "1000 cases of 10 + 8 points; $(nproc) cores; load before: $(load)"
declare -A rates cpus
for round in $(seq "$rounds"); do
  for jobs in 1 2; do
    /usr/bin/time -f "%e %U %S %M" -o "$tmp/time" \
      "$program" --jobs "$jobs" -o "$tmp/out.csv" "$tmp/cases.csv"
    read -r seconds user system kb < "$tmp/time"
    rate="$(awk -v s="$seconds" 'BEGIN { printf "%.1f", 1000 / s }')"
    cpu="$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.1f", 1000 / (u + s) }')"
    rates[$jobs]+="$rate "
    cpus[$jobs]+="$cpu "
    echo "round $round, --jobs $jobs: $seconds s, $rate analyses/s," \
         "$cpu per CPU second, peak $((kb / 1024)) MB; load $(load)"
  done
done
summary() {  # the median and the range of the rates given
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.1f (%.1f to %.1f)", m, v[1], v[NR] }'
}
one="$(summary ${rates[1]})"
two="$(summary ${rates[2]})"
echo "--jobs 1: median $one analyses/s, $(summary ${cpus[1]}) per CPU second"
echo "--jobs 2: median $two analyses/s, $(summary ${cpus[2]}) per CPU second"
awk -v a="${one%% *}" -v b="${two%% *}" \
  'BEGIN { printf "ratio of the medians: %.2f\n", b / a }'
echo "load after: $(load)"
