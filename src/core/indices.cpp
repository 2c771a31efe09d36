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

// NAP and its SE and interval, from the A phase's m values and the B
// phase's n values (improvement upwards).
struct NapEstimate {
  double nap = 0, se = 0, low = 0, high = 0;
};

NapEstimate napEstimate(const std::vector<double>& a,
                        const std::vector<double>& b) {
  const long long m = static_cast<long long>(a.size());
  const long long n = static_cast<long long>(b.size());
  const long long mn = m * n;
  // Each pair scores q = 1 for B above A, 1/2 for a tie, 0 below; counted
  // in halves (2q), every sum below is a whole number and exact.
  std::vector<long long> rowHalves(a.size(), 0), colHalves(b.size(), 0);
  long long nHalves = 0, nHalfSquares = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = 0; j < b.size(); ++j) {
      const long long q2 = 1 + signOf(a[i], b[j]);
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
  return e;
}

// The Tau that goes with a NAP estimate: 2 NAP - 1, the SE doubled, the
// interval's ends mapped alike. tau itself is the exact pair count.
void tauFromNap(const NapEstimate& e, long long nSignSum, long long mn,
                double* pTau, double* pSE, double* pLow, double* pHigh) {
  *pTau = static_cast<double>(nSignSum) / static_cast<double>(mn);
  *pSE = 2.0 * e.se;
  *pLow = 2.0 * e.low - 1.0;
  *pHigh = 2.0 * e.high - 1.0;
}

// Sum of sign(b_j - a_i) over all pairs (Kendall's S between the phases).
long long pairSignSum(const std::vector<double>& a,
                      const std::vector<double>& b) {
  long long nSum = 0;
  for (double x : a) {
    for (double y : b) nSum += signOf(x, y);
  }
  return nSum;
}

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
  const NapEstimate napE = napEstimate(a, b);
  x.nap = napE.nap;
  x.napSE = napE.se;
  x.napLow = napE.low;
  x.napHigh = napE.high;
  const long long nSAB = pairSignSum(a, b);
  tauFromNap(napE, nSAB, mn, &x.tau, &x.tauSE, &x.tauLow, &x.tauHigh);

  // Tau-U as Parker et al. (2011) compute it: the A-B pairs' S less the A
  // phase's own Kendall S over time, over m n. It can exceed 1.
  long long nSAA = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = i + 1; j < a.size(); ++j) nSAA += signOf(a[i], a[j]);
  }
  x.tauU = static_cast<double>(nSAB - nSAA) / static_cast<double>(mn);

  // Baseline-corrected Tau (Tarlow 2017), always corrected (no pretest of
  // the trend): the A phase's Theil-Sen line on occasions 1 ... m (slope the
  // median of the pairs' slopes, intercept the median of a_t - slope t) is
  // taken from A and from B on occasions m + 1 ... m + n, and Tau, its SE
  // and interval come from the residuals as above.
  std::vector<double> slopes;
  slopes.reserve(static_cast<size_t>(m * (m - 1) / 2));
  for (long long i = 0; i < m; ++i) {
    for (long long j = i + 1; j < m; ++j) {
      slopes.push_back((a[j] - a[i]) / static_cast<double>(j - i));
    }
  }
  const double slope = medianOf(slopes);
  std::vector<double> offsets(a.size());
  for (long long t = 1; t <= m; ++t) {
    offsets[t - 1] = a[t - 1] - slope * static_cast<double>(t);
  }
  const double intercept = medianOf(offsets);
  x.baselineSlope = fSign * slope;
  x.baselineIntercept = fSign * intercept;
  std::vector<double> resA(a.size()), resB(b.size());
  for (long long t = 1; t <= m; ++t) {
    resA[t - 1] = a[t - 1] - (intercept + slope * static_cast<double>(t));
  }
  for (long long k = 1; k <= n; ++k) {
    resB[k - 1] = b[k - 1] - (intercept + slope * static_cast<double>(m + k));
  }
  const NapEstimate bcE = napEstimate(resA, resB);
  tauFromNap(bcE, pairSignSum(resA, resB), mn, &x.tauBC, &x.tauBCSE,
             &x.tauBCLow, &x.tauBCHigh);

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
