#!/usr/bin/env python3
"""Dialogue input for one data set of two phases of random points.

    benchmarks/random_phases.py N [SEED] > input.txt

Writes the answers the dialogue asks for: ENTER, N, N A-phase values, N,
N B-phase values. The values are normal with SD 3 around 10 (A) and 14
(B), rounded to two decimals; the same N and SEED (default 11) give the
same file. For benchmarks/compare.py -i. Not a test.
"""
import random
import sys


def main():
    n = int(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 11)
    a = [round(rng.gauss(10, 3), 2) for _ in range(n)]
    b = [round(rng.gauss(14, 3), 2) for _ in range(n)]
    sys.stdout.write("\n%d\n%s\n%d\n%s\n" % (n, " ".join(map(str, a)), n,
                                             " ".join(map(str, b))))


if __name__ == "__main__":
    main()
