#include "indices.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Sign of b - a: -1, 0 or 1.
int signOf(double a, double b) { return (b > a) - (b < a); }

// Median of values held in double; sorts a private copy. The mean of the
// two middle values for an even count.
double medianOf(std::vector<double> x) {
  std::sort(x.begin(), x.end());
  const size_t nMid = x.size() / 2;
  return x.size() % 2 == 1 ? x[nMid] : (x[nMid - 1] + x[nMid]) / 2;
}

// The root of a function in (lo, hi) that is positive next to lo when
// bPositiveAtLo (negative otherwise) and changes sign once: bisection
// until lo and hi are neighbouring doubles, so every compiler and
// optimization level stops at the same double.
template <typename Function>
double rootBetween(const Function& f, double lo, double hi,
                   bool bPositiveAtLo) {
  for (;;) {
    const double mid = lo + (hi - lo) / 2;
    if (mid <= lo || mid >= hi) return mid;
    if ((f(mid) > 0) == bPositiveAtLo) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
}

// NAP and its SE and interval, and the Tau that goes with them, from m A
// values and n B values (improvement upwards).
struct NapEstimate {
  double nap = 0, se = 0, low = 0, high = 0;
  double tau = 0, tauSE = 0, tauLow = 0, tauHigh = 0;
};

// pairSign(i, j) is the sign of B value j less A value i: -1, 0 or 1.
template <typename PairSign>
NapEstimate napEstimate(long long m, long long n, const PairSign& pairSign) {
  const long long mn = m * n;
  // Each pair scores q = 1 for B above A, 1/2 for a tie, 0 below; counted
  // in halves (2q), every sum below is a whole number and exact.
  std::vector<long long> rowHalves(static_cast<size_t>(m), 0);
  std::vector<long long> colHalves(static_cast<size_t>(n), 0);
  long long nHalves = 0, nHalfSquares = 0;
  for (long long i = 0; i < m; ++i) {
    for (long long j = 0; j < n; ++j) {
      const long long q2 = 1 + pairSign(i, j);
      rowHalves[i] += q2;
      colHalves[j] += q2;
      nHalves += q2;
      nHalfSquares += q2 * q2;
    }
  }
  NapEstimate e;
  e.nap = static_cast<double>(nHalves) / static_cast<double>(2 * mn);

  // The variance estimator of Sen (1967; cf. Mee 1990) for the Mann-Whitney
  // AUC from its structural components, in the form the single-case
  // literature uses:
  //   V = (NAP~(1 - NAP~) + n Q1 + m Q2 - 2 Q3) / ((m - 1)(n - 1)),
  //   Q1 = sum_i (sum_j (q_ij - NAP))^2 / (m n^2),
  //   Q2 = sum_j (sum_i (q_ij - NAP))^2 / (m^2 n),
  //   Q3 = sum_ij (q_ij - NAP)^2 / (m n),
  // where NAP~ is NAP held within [1/(2mn), 1 - 1/(2mn)], so that complete
  // non-overlap (NAP 0 or 1) does not claim an SE of 0. Without ties it is
  // exactly unbiased. Over a common denominator each sum is a whole
  // number: sum_j (q_ij - NAP) = (m 2R_i - 2S) / (2m) with 2R_i the row's
  // halves and 2S all of them.
  long long nRowSquares = 0, nColSquares = 0;
  for (long long r : rowHalves) nRowSquares += (m * r - nHalves) * (m * r - nHalves);
  for (long long c : colHalves) nColSquares += (n * c - nHalves) * (n * c - nHalves);
  const double q1 = static_cast<double>(nRowSquares) /
                    (4.0 * static_cast<double>(m * m * m) *
                     static_cast<double>(n * n));
  const double q2 = static_cast<double>(nColSquares) /
                    (4.0 * static_cast<double>(n * n * n) *
                     static_cast<double>(m * m));
  const double q3 =
      static_cast<double>(mn * nHalfSquares - nHalves * nHalves) /
      (4.0 * static_cast<double>(mn) * static_cast<double>(mn));
  const double fTrunc = 1.0 / static_cast<double>(2 * mn);
  const double napT = std::min(std::max(e.nap, fTrunc), 1.0 - fTrunc);
  const double v = (napT * (1.0 - napT) + static_cast<double>(n) * q1 +
                    static_cast<double>(m) * q2 - 2.0 * q3) /
                   static_cast<double>((m - 1) * (n - 1));
  e.se = std::sqrt(v);

  // Newcombe (2006, Part 2), method 5: the score interval whose ends theta
  // solve (NAP - theta)^2 = z^2 Var(theta), with the variance of Hanley and
  // McNeil under exponential placements and m - 1 and n - 1 both replaced
  // by h = (m + n)/2 - 1:
  //   Var(theta) = theta (1 - theta) / (mn)
  //                * (1 + h (1 - theta)/(2 - theta) + h theta/(1 + theta)).
  // Multiplied out by (2 - theta)(1 + theta) > 0 this is f(theta) = 0 below:
  // positive at 0 and 1, negative at NAP, one root on each side.
  const double h = static_cast<double>(m + n) / 2.0 - 1.0;
  const double fMN = static_cast<double>(mn);
  const double nap = e.nap;
  const auto f = [&](double t) {
    const double d = nap - t;
    return fMN * d * d * (2.0 - t) * (1.0 + t) -
           kZ95 * kZ95 * t * (1.0 - t) * (2.0 + h + (1.0 + 2.0 * h) * t * (1.0 - t));
  };
  e.low = nap > 0 ? rootBetween(f, 0.0, nap, true) : 0.0;
  e.high = nap < 1 ? rootBetween(f, nap, 1.0, false) : 1.0;

  // Tau = 2 NAP - 1, from the pairs' sign sum so that it is rounded once;
  // its SE doubled and its interval's ends mapped alike.
  e.tau = static_cast<double>(nHalves - mn) / fMN;
  e.tauSE = 2.0 * e.se;
  e.tauLow = 2.0 * e.low - 1.0;
  e.tauHigh = 2.0 * e.high - 1.0;
  return e;
}

// A pair's slope (a_l - a_k) / (l - k), kept as its parts too so that the
// median line can be used exactly.
struct PairSlope {
  double value;
  double rise;  // a_l - a_k, exact for floats of like magnitude
  int run;      // l - k
};

// The sample variance (divisor n - 1) around the mean.
double sampleVariance(const std::vector<double>& x, double mean) {
  double sum = 0;
  for (double v : x) sum += (v - mean) * (v - mean);
  return sum / static_cast<double>(x.size() - 1);
}

double meanOf(const std::vector<double>& x) {
  double sum = 0;
  for (double v : x) sum += v;
  return sum / static_cast<double>(x.size());
}

SmdEstimate smdWith(double g, double se) {
  SmdEstimate s;
  s.g = g;
  s.se = se;
  s.ciLow = g - kZ95 * se;
  s.ciHigh = g + kZ95 * se;
  return s;
}

}  // namespace

EffectIndices effectIndices(const float* pfA, int nNA, const float* pfB,
                            int nNB, bool bDecrease) {
  const double fSign = bDecrease ? -1.0 : 1.0;
  std::vector<double> a(static_cast<size_t>(nNA)), b(static_cast<size_t>(nNB));
  for (int i = 0; i < nNA; ++i) a[i] = fSign * static_cast<double>(pfA[i]);
  for (int j = 0; j < nNB; ++j) b[j] = fSign * static_cast<double>(pfB[j]);
  const long long m = nNA, n = nNB, mn = m * n;
  const double fM = static_cast<double>(m), fN = static_cast<double>(n);
  EffectIndices x;

  // NAP and Tau: Parker & Vannest (2009); Parker, Vannest, Davis & Sauber
  // (2011).
  const NapEstimate napE = napEstimate(
      m, n, [&](long long i, long long j) { return signOf(a[i], b[j]); });
  x.nap = napE.nap;
  x.napSE = napE.se;
  x.napLow = napE.low;
  x.napHigh = napE.high;
  x.tau = napE.tau;
  x.tauSE = napE.tauSE;
  x.tauLow = napE.tauLow;
  x.tauHigh = napE.tauHigh;

  // Tau-U as Parker et al. (2011) compute it: the A-B pairs' S less the A
  // phase's own Kendall S over time, over m n. It can exceed 1.
  long long nSAA = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = i + 1; j < a.size(); ++j) nSAA += signOf(a[i], a[j]);
  }
  long long nSAB = 0;
  for (double ai : a) {
    for (double bj : b) nSAB += signOf(ai, bj);
  }
  x.tauU = static_cast<double>(nSAB - nSAA) / static_cast<double>(mn);

  // Baseline-corrected Tau (Tarlow 2017), always corrected (no pretest of
  // the trend): the A phase's Theil-Sen line on occasions 1 ... m (slope the
  // median of the pairs' slopes, intercept the median of a_t - slope t) is
  // taken from A and from B on occasions m + 1 ... m + n, and Tau, its SE
  // and interval come from the residuals as above.
  std::vector<PairSlope> slopes;
  slopes.reserve(static_cast<size_t>(m * (m - 1) / 2));
  for (long long k = 0; k < m; ++k) {
    for (long long l = k + 1; l < m; ++l) {
      const double rise = a[l] - a[k];
      const int run = static_cast<int>(l - k);
      slopes.push_back({rise / run, rise, run});
    }
  }
  std::sort(slopes.begin(), slopes.end(),
            [](const PairSlope& p, const PairSlope& q) {
              if (p.value != q.value) return p.value < q.value;
              return p.run != q.run ? p.run < q.run : p.rise < q.rise;
            });
  // The median slope as rise / run: one pair's, or the mean of the middle
  // two, (r1 u2 + r2 u1) / (2 u1 u2).
  const size_t nMid = slopes.size() / 2;
  double slope, rise, run;
  if (slopes.size() % 2 == 1) {
    slope = slopes[nMid].value;
    rise = slopes[nMid].rise;
    run = slopes[nMid].run;
  } else {
    const PairSlope& lo = slopes[nMid - 1];
    const PairSlope& hi = slopes[nMid];
    slope = (lo.value + hi.value) / 2;
    rise = lo.rise * hi.run + hi.rise * lo.run;
    run = 2.0 * lo.run * hi.run;
  }
  std::vector<double> offsets(a.size());
  for (long long t = 1; t <= m; ++t) {
    offsets[t - 1] = a[t - 1] - slope * static_cast<double>(t);
  }
  const double intercept = medianOf(offsets);
  x.baselineSlope = fSign * slope;
  x.baselineIntercept = fSign * intercept;
  // Tau compares residuals in pairs, so the intercept drops out: B value j
  // (occasion m + 1 + j) lies above A value i (occasion 1 + i) by
  // (b_j - a_i) - slope (m + j - i). Scaled by run it is formed from whole
  // multiples of the values' last bits, exactly for values of like
  // magnitude, so that residuals that tie tie exactly: residuals formed one
  // by one in double would part ties by rounding (A = 0 2 0 2, slope 1/3).
  const NapEstimate bcE = napEstimate(m, n, [&](long long i, long long j) {
    const double above =
        run * (b[j] - a[i]) - rise * static_cast<double>(m + j - i);
    return (above > 0) - (above < 0);
  });
  x.tauBC = bcE.tau;
  x.tauBCSE = bcE.tauSE;
  x.tauBCLow = bcE.tauLow;
  x.tauBCHigh = bcE.tauHigh;

  // PND (Scruggs, Mastropieri & Casto 1987): B above the A maximum, ties
  // not counted. PEM (Ma 2006): B above the A median, ties one half.
  const double aMax = *std::max_element(a.begin(), a.end());
  const double aMedian = medianOf(a);
  long long nAboveMax = 0, nMedianHalves = 0;
  for (double y : b) {
    nAboveMax += y > aMax;
    nMedianHalves += 1 + signOf(aMedian, y);
  }
  x.pnd = static_cast<double>(nAboveMax) / fN;
  x.pem = static_cast<double>(nMedianHalves) / (2.0 * fN);

  // PAND (Parker, Hagan-Burke & Vannest 2007; Parker, Vannest & Davis
  // 2011): the most points kept when the i lowest A points and the j
  // highest B points are kept and every kept A point lies below every kept
  // B point. Robust IRD from it: ((m + n)^2 PAND - m^2 - n^2) / (2mn), here
  // from the count kept, so each is rounded once.
  std::vector<double> aSorted = a, bSorted = b;
  std::sort(aSorted.begin(), aSorted.end());
  std::sort(bSorted.begin(), bSorted.end());
  long long nKept = 0;
  for (long long i = 0; i <= m; ++i) {
    for (long long j = 0; j <= n; ++j) {
      if (i > 0 && j > 0 && !(aSorted[i - 1] < bSorted[n - j])) continue;
      nKept = std::max(nKept, i + j);
    }
  }
  x.pand = static_cast<double>(nKept) / static_cast<double>(m + n);
  x.ird = static_cast<double>((m + n) * nKept - m * m - n * n) /
          static_cast<double>(2 * mn);

  // Within-case SMDs with Hedges' small-sample correction J: with the
  // baseline SD (Gingerich 1984; Busk & Serlin 1992) and with the pooled
  // SD; SEs from the large-sample variance of g.
  const double meanA = meanOf(a), meanB = meanOf(b);
  const double varA = sampleVariance(a, meanA), varB = sampleVariance(b, meanB);
  if (varA == 0) {
    x.baselineGap = SmdGap::flatSD;
  } else if (m == 2) {
    x.baselineGap = SmdGap::shortBaseline;
  } else {
    const double j = 1.0 - 3.0 / (4.0 * (fM - 1.0) - 1.0);
    const double g = j * (meanB - meanA) / std::sqrt(varA);
    const double se =
        j * std::sqrt(1.0 / fM + varB / (fN * varA) + g * g / (2.0 * (fM - 1.0)));
    x.smdBaseline = smdWith(g, se);
  }
  const double df = fM + fN - 2.0;
  const double varPooled = ((fM - 1.0) * varA + (fN - 1.0) * varB) / df;
  if (varPooled == 0) {
    x.pooledGap = SmdGap::flatSD;
  } else {
    const double j = 1.0 - 3.0 / (4.0 * df - 1.0);
    const double g = j * (meanB - meanA) / std::sqrt(varPooled);
    const double se = j * std::sqrt(1.0 / fM + 1.0 / fN + g * g / (2.0 * df));
    x.smdPooled = smdWith(g, se);
  }
  return x;
}
