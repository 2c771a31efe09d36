#!/usr/bin/env bash
# One core against two for the simulation and the line bootstraps of the
# worked example: build/kalmir_bench runs the 1-thread and the 2-thread
# benchmark of a stage alternately, ROUNDS times (default 15), each run the
# median of 5 repetitions; prints every pair, then the median ratio with its
# range. Not a test.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-15}"
uptime
for stage in BM_Simulation/0 BM_LineBootstraps/0; do
  ratios=()
  for ((r = 0; r < rounds; ++r)); do
    t=()
    for threads in 1 2; do
      t+=("$(build/kalmir_bench --benchmark_filter="^$stage/$threads\$" \
        --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_format=csv 2>/dev/null | grep '_median"' |
        cut -d, -f3)")
    done
    ratios+=("$(python3 -c "print(${t[0]} / ${t[1]})")")
    echo "$stage round $r: 1 thread ${t[0]} ms, 2 threads ${t[1]} ms"
  done
  printf '%s\n' "${ratios[@]}" | python3 -c "
import statistics, sys
r = [float(x) for x in sys.stdin]
print('$stage: 1 thread / 2 threads median %.2fx (range %.2f ... %.2f)'
      % (statistics.median(r), min(r), max(r)))"
done
uptime
