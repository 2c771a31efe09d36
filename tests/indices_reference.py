#!/usr/bin/env python3
"""Reference values for tests/indices_test.cpp, computed apart from the C++.

Every index of the example series is computed here from its published
definition by other routes than src/core/indices.cpp takes: exact fractions
for the pair scores, medians, Theil-Sen lines and overlap counts; 60-digit
decimals for square roots; NAP's variance through the mean squares of the
two-way layout of the pair scores; Newcombe's interval by bisection on his
equation as he writes it (not multiplied out); PAND by a threshold search.
Values a float holds only rounded (0.1) enter as the float's exact value,
as the analysis holds them.

    python3 tests/indices_reference.py

prints, for each series, every index to 17 significant digits.
"""

import struct
from decimal import Decimal, getcontext
from fractions import Fraction as F

getcontext().prec = 60
Z = Decimal("1.959964")


def held(x):
    """The exact value of the float nearest to x."""
    return F(struct.unpack("f", struct.pack("f", x))[0])


def dec(q):
    return Decimal(q.numerator) / Decimal(q.denominator)


def median(values):
    s = sorted(values)
    k = len(s) // 2
    return s[k] if len(s) % 2 else (s[k - 1] + s[k]) / 2


def score(a, b):
    return F(1) if b > a else F(1, 2) if b == a else F(0)


def nap_variance(a, b):
    """Sen's estimator as the single-case literature writes it, reached
    through the mean squares of the m x n table of pair scores:
    (m-1)(n-1) V = (MS_rows + MS_cols - MS_res)(m-1)(n-1)/(mn)
                   + NAP~(1 - NAP~) - Q3."""
    m, n = len(a), len(b)
    q = [[score(x, y) for y in b] for x in a]
    grand = sum(map(sum, q)) / (m * n)
    rows = [sum(r) / n for r in q]
    cols = [sum(q[i][j] for i in range(m)) / m for j in range(n)]
    ss_rows = n * sum((r - grand) ** 2 for r in rows)
    ss_cols = m * sum((c - grand) ** 2 for c in cols)
    ss_tot = sum((q[i][j] - grand) ** 2 for i in range(m) for j in range(n))
    ss_res = ss_tot - ss_rows - ss_cols
    ms_rows = ss_rows / (m - 1)
    ms_cols = ss_cols / (n - 1)
    ms_res = ss_res / ((m - 1) * (n - 1))
    unbiased = (ms_rows + ms_cols - ms_res) / (m * n)
    t = F(1, 2 * m * n)
    napt = min(max(grand, t), 1 - t)
    q3 = ss_tot / (m * n)
    return grand, unbiased + (napt * (1 - napt) - q3) / ((m - 1) * (n - 1))


def newcombe(nap, m, n):
    """Method 5 of Newcombe (2006): the theta with
    (NAP - theta)^2 = z^2 h theta(1-theta)/(mn)
                      * [1/h + (1-theta)/(2-theta) + theta/(1+theta)]."""
    p = dec(nap)
    h = Decimal(m + n) / 2 - 1

    def g(t):
        rhs = Z * Z * h * t * (1 - t) / (m * n) * (
            1 / h + (1 - t) / (2 - t) + t / (1 + t))
        return (p - t) ** 2 - rhs

    def bisect(lo, hi):
        glo = g(lo)
        for _ in range(200):
            mid = (lo + hi) / 2
            if (g(mid) > 0) == (glo > 0):
                lo = mid
            else:
                hi = mid
        return (lo + hi) / 2

    low = Decimal(0) if nap == 0 else bisect(Decimal("1e-30"), p)
    high = Decimal(1) if nap == 1 else bisect(p, 1 - Decimal("1e-30"))
    return low, high


def theil_sen(a):
    m = len(a)
    slope = median([(a[j] - a[i]) / (j - i)
                    for i in range(m) for j in range(i + 1, m)])
    intercept = median([a[t - 1] - slope * t for t in range(1, m + 1)])
    return intercept, slope


def indices(a, b, decrease=False):
    a = [held(x) for x in a]
    b = [held(x) for x in b]
    if decrease:
        a = [-x for x in a]
        b = [-x for x in b]
    m, n = len(a), len(b)
    r = {}
    nap, v = nap_variance(a, b)
    low, high = newcombe(nap, m, n)
    r["nap"], r["nap_se"] = dec(nap), dec(v).sqrt()
    r["nap_ci_low"], r["nap_ci_high"] = low, high
    r["tau"], r["tau_se"] = 2 * dec(nap) - 1, 2 * r["nap_se"]
    r["tau_ci_low"], r["tau_ci_high"] = 2 * low - 1, 2 * high - 1
    s_ab = sum((y > x) - (y < x) for x in a for y in b)
    s_aa = sum((a[j] > a[i]) - (a[j] < a[i])
               for i in range(m) for j in range(i + 1, m))
    r["tau_u"] = dec(F(s_ab - s_aa, m * n))
    c, s = theil_sen(a)
    res_a = [a[t - 1] - (c + s * t) for t in range(1, m + 1)]
    res_b = [b[k - 1] - (c + s * (m + k)) for k in range(1, n + 1)]
    nap_bc, v_bc = nap_variance(res_a, res_b)
    low_bc, high_bc = newcombe(nap_bc, m, n)
    r["tau_bc"], r["tau_bc_se"] = 2 * dec(nap_bc) - 1, 2 * dec(v_bc).sqrt()
    r["tau_bc_ci_low"], r["tau_bc_ci_high"] = 2 * low_bc - 1, 2 * high_bc - 1
    r["baseline_intercept"] = dec(-c if decrease else c)
    r["baseline_slope"] = dec(-s if decrease else s)
    r["pnd"] = dec(F(sum(y > max(a) for y in b), n))
    med = median(a)
    r["pem"] = dec(sum(score(med, y) for y in b) / n)
    kept = max(sum(x <= t for x in a) + sum(y > t for y in b)
               for t in [min(a + b) - 1] + a)
    pand = F(kept, m + n)
    r["pand"] = dec(pand)
    r["ird"] = dec(((m + n) ** 2 * pand - m * m - n * n) / (2 * m * n))
    mean_a, mean_b = sum(a) / m, sum(b) / n
    var_a = sum((x - mean_a) ** 2 for x in a) / (m - 1)
    var_b = sum((y - mean_b) ** 2 for y in b) / (n - 1)
    diff = dec(mean_b - mean_a)
    if var_a != 0 and m > 2:
        j = 1 - Decimal(3) / (4 * (m - 1) - 1)
        g = j * diff / dec(var_a).sqrt()
        se = j * (Decimal(1) / m + dec(var_b / (n * var_a)) +
                  g * g / (2 * (m - 1))).sqrt()
        r["smd_baseline"], r["smd_baseline_se"] = g, se
        r["smd_baseline_ci_low"] = g - Z * se
        r["smd_baseline_ci_high"] = g + Z * se
    var_p = ((m - 1) * var_a + (n - 1) * var_b) / (m + n - 2)
    if var_p != 0:
        j = 1 - Decimal(3) / (4 * (m + n - 2) - 1)
        g = j * diff / dec(var_p).sqrt()
        se = j * (Decimal(1) / m + Decimal(1) / n +
                  g * g / (2 * (m + n - 2))).sqrt()
        r["smd_pooled"], r["smd_pooled_se"] = g, se
        r["smd_pooled_ci_low"] = g - Z * se
        r["smd_pooled_ci_high"] = g + Z * se
    return r


SERIES = [
    ("Parker, Vannest & Davis (2011)", [20, 20, 26, 25, 22, 23],
     [28, 25, 24, 27, 30, 30, 29], False),
    ("Tau-U example", [3, 3, 4, 5], [4, 5, 6, 7, 7], False),
    ("Tarlow (2017), a baseline trend carried on", [1, 2, 3, 4, 5],
     [6, 7, 8, 9, 10], False),
    ("2 + 2 points", [1, 3], [2, 5], False),
    ("ties", [2, 2, 3, 3, 3], [3, 3, 4, 4], False),
    ("decimals a float holds rounded", [0.1, 0.7, 0.3, 0.2],
     [0.5, 0.9, 0.4, 1.3, 0.8], False),
    ("falling, improvement decrease", [5, 4, 4, 3, 2, 3],
     [3, 2, 1, 2, 1, 1, 0.5], True),
    ("residuals that tie only exactly (slope 1/3)", [0, 2, 0, 2],
     [5, 0, 3, 6, 2], True),
]

if __name__ == "__main__":
    for title, a, b, decrease in SERIES:
        print(f"# {title}: A = {a}, B = {b}" +
              (", decrease" if decrease else ""))
        for key, value in indices(a, b, decrease).items():
            print(f"{key:22s} {float(value)!r:>24s}  {value:.20f}")
        print()
