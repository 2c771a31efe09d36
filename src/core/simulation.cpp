#include "simulation.h"

#include <cmath>

#ifdef KALMIR_HAVE_AVX2
#include <immintrin.h>
#endif

#include "rnorm.h"
#include "simd.h"
#include "variance.h"

namespace {

// Deviates straight from the random stream.
struct StreamDeviates {
  RandomStream& stream;
  float operator()() { return rnorm(stream, 0.0f, 1.0f); }
};

// Deviates drawn earlier, consumed in order. rnorm(0, 1) returns
// 0 + z * 1 rounded to float, which is z itself, so the stored deviates are
// exactly what the stream would deliver.
struct StoredDeviates {
  const float* pfZ;
  float operator()() { return *pfZ++; }
};

// One phase's own parameters, drawn from its model with z1 ... z4.
struct DrawnPhase {
  float simInt, simSlope, simSD, simR1;
};

inline DrawnPhase drawPhase(int n, float intercept, float intSE, float slope,
                            float slopeSE, float SD, float SDSE, float r1,
                            float r1SE, float z1, float z2, float z3,
                            float z4) {
  DrawnPhase d;
  d.simInt = static_cast<float>(
      static_cast<double>(intercept) + static_cast<double>(intSE) * z1 +
      std::sqrt(static_cast<double>(n)) * slopeSE * z2);
  // The same z1 moves the slope the opposite way.
  d.simSlope = static_cast<float>(static_cast<double>(slope) -
                                  static_cast<double>(slopeSE) * z1);
  d.simSD = static_cast<float>(static_cast<double>(SD) +
                               static_cast<double>(SDSE) * z3);
  d.simR1 = static_cast<float>(static_cast<double>(r1) +
                               static_cast<double>(r1SE) * z4);
  if (d.simR1 > 1.0f) d.simR1 = 1.0f;
  if (d.simR1 < -1.0f) d.simR1 = -1.0f;
  return d;
}

// The element formulas, shared by the one-phase and the many-phase code so
// that both give the same bits.
inline float standardized(float e, float mean, float sd) {
  return static_cast<float>((static_cast<double>(e) - mean) / sd);
}
inline float phaseValue(float t, float simSlope, float simInt, float noise,
                        float simSD) {
  return static_cast<float>(static_cast<double>(t) * simSlope + simInt +
                            static_cast<double>(noise) * simSD);
}

template <class Deviates>
void autocorrNoise(Deviates& next, float r1, int n, float* y, float* e) {
  e[0] = next();
  for (int i = 1; i < n + kSimBurnIn; ++i) {
    // Product and sum in single precision, as the recursion is defined.
    const float fCarry = r1 * e[i - 1];
    e[i] = fCarry + next();
  }
  float* eKept = e + kSimBurnIn;
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum = sum + eKept[i];
  const float mean = static_cast<float>(static_cast<double>(sum) / n);
  const float sd =
      static_cast<float>(std::sqrt(static_cast<double>(variance(eKept, n))));
  for (int i = 0; i < n; ++i) {
    eKept[i] = standardized(eKept[i], mean, sd);
    y[i] = eKept[i];
  }
}

template <class Deviates>
float phaseMean(Deviates& next, int n, const float* t, float intercept,
                float intSE, float slope, float slopeSE, float SD, float SDSE,
                float r1, float r1SE, SimScratch& scratch) {
  float sum = 0.0f;
  const float z1 = next();
  const float z2 = next();
  const float z3 = next();
  const float z4 = next();
  const DrawnPhase drawn = drawPhase(n, intercept, intSE, slope, slopeSE, SD,
                                     SDSE, r1, r1SE, z1, z2, z3, z4);
  const float simInt = drawn.simInt;
  const float simSlope = drawn.simSlope;
  const float simSD = drawn.simSD;
  const float simR1 = drawn.simR1;
  float* y = scratch.temp.data();
  autocorrNoise(next, simR1, n, y, scratch.e.data());
  for (int i = 0; i < n; ++i) {
    y[i] = phaseValue(t[i], simSlope, simInt, y[i], simSD);
    sum = sum + y[i];
  }
  return static_cast<float>(static_cast<double>(sum) / n);
}

}  // namespace

SimScratch::SimScratch(int n)
    : e(static_cast<size_t>(n + kSimBurnIn)), temp(static_cast<size_t>(n)) {}

void simAutocorr(RandomStream& stream, float r1, int n, float* y) {
  std::vector<float> e(static_cast<size_t>(n + kSimBurnIn));
  StreamDeviates next{stream};
  autocorrNoise(next, r1, n, y, e.data());
}

float simTimeSeriesMean(RandomStream& stream, int n, const float* t,
                        float intercept, float intSE, float slope,
                        float slopeSE, float SD, float SDSE, float r1,
                        float r1SE, SimScratch& scratch) {
  StreamDeviates next{stream};
  return phaseMean(next, n, t, intercept, intSE, slope, slopeSE, SD, SDSE, r1,
                   r1SE, scratch);
}

float simTimeSeriesMean(RandomStream& stream, int n, const float* t,
                        float intercept, float intSE, float slope,
                        float slopeSE, float SD, float SDSE, float r1,
                        float r1SE) {
  SimScratch scratch(n);
  return simTimeSeriesMean(stream, n, t, intercept, intSE, slope, slopeSE, SD,
                           SDSE, r1, r1SE, scratch);
}

float simTimeSeriesMeanFrom(const float* pfZ, int n, const float* t,
                            float intercept, float intSE, float slope,
                            float slopeSE, float SD, float SDSE, float r1,
                            float r1SE, SimScratch& scratch) {
  StoredDeviates next{pfZ};
  return phaseMean(next, n, t, intercept, intSE, slope, slopeSE, SD, SDSE, r1,
                   r1SE, scratch);
}

namespace {

// Phases laid out lane by lane (kSimLanes of them, lane l carrying one),
// with what they are simulated from and where their means go. Every lane
// runs the operations of the one-phase code in the same order, so each mean
// has that code's bits. Lanes from nLanes on are computed but not stored.
struct LaneBlock {
  float* pfLanes;
  const float* t;
  const float* pfModel;
  float* pfMeans;
};

// The parameters each lane's phase draws with its first four deviates.
struct DrawnLanes {
  float simInt[kSimLanes], simSlope[kSimLanes], simSD[kSimLanes],
      simR1[kSimLanes];
};

inline DrawnLanes drawLanes(const LaneBlock& block, int n, float r1,
                            float r1SE) {
  const int K = kSimLanes;
  const float* pfModel = block.pfModel;
  const float* pfLanes = block.pfLanes;
  DrawnLanes drawn;
  for (int l = 0; l < K; ++l) {
    const DrawnPhase d =
        drawPhase(n, pfModel[0], pfModel[1], pfModel[2], pfModel[3], pfModel[4],
                  pfModel[5], r1, r1SE, pfLanes[0 * K + l], pfLanes[1 * K + l],
                  pfLanes[2 * K + l], pfLanes[3 * K + l]);
    drawn.simInt[l] = d.simInt;
    drawn.simSlope[l] = d.simSlope;
    drawn.simSD[l] = d.simSD;
    drawn.simR1[l] = d.simR1;
  }
  return drawn;
}

// The noise series of a block, formed in place of its deviates, which
// start after the four drawn ones.
inline float* noiseOf(const LaneBlock& block) {
  return block.pfLanes + 4 * kSimLanes;
}

inline void noiseLanes(float* e, const float* simR1, int nSeries) {
  const int K = kSimLanes;
  for (int i = 1; i < nSeries; ++i) {
    for (int l = 0; l < K; ++l) {
      const float fCarry = simR1[l] * e[(i - 1) * K + l];
      e[i * K + l] = fCarry + e[i * K + l];
    }
  }
}

// The summaries of a block's noise and its phases' means.
inline void meansOfLanes(const LaneBlock& block, const DrawnLanes& drawn,
                         int nLanes, int n) {
  const int K = kSimLanes;
  const float* eKept = noiseOf(block) + kSimBurnIn * K;
  float sum[kSimLanes] = {};
  for (int i = 0; i < n; ++i) {
    for (int l = 0; l < K; ++l) sum[l] = sum[l] + eKept[i * K + l];
  }
  float mean[kSimLanes], sd[kSimLanes];
  float ss[kSimLanes] = {};
  double dSum[kSimLanes] = {}, dSS[kSimLanes] = {};
  for (int l = 0; l < K; ++l) {
    mean[l] = static_cast<float>(static_cast<double>(sum[l]) / n);
  }
  // The two variances of varianceSingle and varianceDouble, per lane. The
  // single-precision running sum is the one just formed, so its mean is
  // mean[l].
  for (int i = 0; i < n; ++i) {
    for (int l = 0; l < K; ++l) {
      const float z = eKept[i * K + l] - mean[l];
      ss[l] = static_cast<float>(static_cast<double>(ss[l]) +
                                 static_cast<double>(z) * z);
      dSum[l] += eKept[i * K + l];
    }
  }
  double dMean[kSimLanes];
  for (int l = 0; l < K; ++l) dMean[l] = dSum[l] / n;
  for (int i = 0; i < n; ++i) {
    for (int l = 0; l < K; ++l) {
      const double z = eKept[i * K + l] - dMean[l];
      dSS[l] += z * z;
    }
  }
  for (int l = 0; l < K; ++l) {
    const float fSingle =
        static_cast<float>(static_cast<double>(ss[l]) / (n - 1));
    const float fDouble = static_cast<float>(dSS[l] / (n - 1));
    sd[l] = static_cast<float>(
        std::sqrt(static_cast<double>(varianceGuarded(fSingle, fDouble))));
  }
  const float* t = block.t;
  float total[kSimLanes] = {};
  for (int i = 0; i < n; ++i) {
    for (int l = 0; l < K; ++l) {
      const float y = phaseValue(t[i], drawn.simSlope[l], drawn.simInt[l],
                                 standardized(eKept[i * K + l], mean[l], sd[l]),
                                 drawn.simSD[l]);
      total[l] = total[l] + y;
    }
  }
  for (int l = 0; l < nLanes; ++l) {
    block.pfMeans[l] = static_cast<float>(static_cast<double>(total[l]) / n);
  }
}

KALMIR_KERNEL_BODY void phaseMeansLanesBody(const LaneBlock& block, int nLanes,
                                            int n, float r1, float r1SE) {
  const DrawnLanes drawn = drawLanes(block, n, r1, r1SE);
  noiseLanes(noiseOf(block), drawn.simR1, n + kSimBurnIn);
  meansOfLanes(block, drawn, nLanes, n);
}

#ifdef KALMIR_HAVE_AVX2

// The noise recursions of two blocks at once, each step a product and a
// sum in single precision per lane as in noiseLanes. One block's step waits
// on its previous one; two blocks in turn keep the CPU busy meanwhile.
KALMIR_TARGET_AVX2 void noiseLanePairAvx2(float* e0, const float* pfR0,
                                          float* e1, const float* pfR1,
                                          int nSeries) {
  const int K = kSimLanes;
  const __m256 r0 = _mm256_loadu_ps(pfR0);
  const __m256 r1 = _mm256_loadu_ps(pfR1);
  __m256 a = _mm256_loadu_ps(e0);
  __m256 b = _mm256_loadu_ps(e1);
  for (int i = 1; i < nSeries; ++i) {
    a = _mm256_add_ps(_mm256_mul_ps(r0, a), _mm256_loadu_ps(e0 + i * K));
    b = _mm256_add_ps(_mm256_mul_ps(r1, b), _mm256_loadu_ps(e1 + i * K));
    _mm256_storeu_ps(e0 + i * K, a);
    _mm256_storeu_ps(e1 + i * K, b);
  }
}
#endif

#ifdef KALMIR_HAVE_AVX2
KALMIR_TARGET_AVX2 void phaseMeansLanesAvx2(const LaneBlock& block, int nLanes,
                                            int n, float r1, float r1SE) {
  phaseMeansLanesBody(block, nLanes, n, r1, r1SE);
}
KALMIR_TARGET_AVX2 void phaseMeansLanePairAvx2(const LaneBlock& first,
                                               const LaneBlock& second,
                                               int nLanes, int n, float r1,
                                               float r1SE) {
  const DrawnLanes drawnFirst = drawLanes(first, n, r1, r1SE);
  const DrawnLanes drawnSecond = drawLanes(second, n, r1, r1SE);
  noiseLanePairAvx2(noiseOf(first), drawnFirst.simR1, noiseOf(second),
                    drawnSecond.simR1, n + kSimBurnIn);
  meansOfLanes(first, drawnFirst, nLanes, n);
  meansOfLanes(second, drawnSecond, nLanes, n);
}
#endif
void phaseMeansLanesScalar(const LaneBlock& block, int nLanes, int n, float r1,
                           float r1SE) {
  phaseMeansLanesBody(block, nLanes, n, r1, r1SE);
}

}  // namespace

void simPhaseMeansLanes(float* pfLanes, int nLanes, int n, const float* t,
                        const float* pfModel, float r1, float r1SE,
                        float* pfMeans, SimdLevel simd) {
  const LaneBlock block{pfLanes, t, pfModel, pfMeans};
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) {
    phaseMeansLanesAvx2(block, nLanes, n, r1, r1SE);
    return;
  }
#endif
  (void)simd;
  phaseMeansLanesScalar(block, nLanes, n, r1, r1SE);
}

void simPhaseMeansLanePair(float* pfLanes, int nLanes, int n,
                           const float* tNull, const float* pfNullModel,
                           float* pfNullMeans, const float* tExp,
                           const float* pfExpModel, float* pfExpMeans, float r1,
                           float r1SE, SimdLevel simd) {
  const size_t nPerPhase = static_cast<size_t>(simDeviatesPerPhase(n));
  const LaneBlock first{pfLanes, tNull, pfNullModel, pfNullMeans};
  const LaneBlock second{pfLanes + nPerPhase * kSimLanes, tExp, pfExpModel,
                         pfExpMeans};
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) {
    phaseMeansLanePairAvx2(first, second, nLanes, n, r1, r1SE);
    return;
  }
#endif
  // Without AVX2 the pair gains nothing from running side by side, and
  // gcc 12's -O3 build of the two blocks in one function for the baseline
  // CPU changed the last bit of some means (its basic-block vectorizer;
  // the tests' "alternating" model shows it): one block after the other,
  // each as simPhaseMeansLanes gives it.
  (void)simd;
  phaseMeansLanesScalar(first, nLanes, n, r1, r1SE);
  phaseMeansLanesScalar(second, nLanes, n, r1, r1SE);
}

namespace {

void lanesFromCasesScalar(const float* const* ppfRow, int nFrom, int nTo,
                          float* pfLanes) {
  const int K = kSimLanes;
  for (int j = nFrom; j < nTo; ++j) {
    for (int l = 0; l < K; ++l) pfLanes[j * K + l] = ppfRow[l][j];
  }
}

#ifdef KALMIR_HAVE_AVX2

// An 8 x 8 block per step: deviates j ... j + 7 of the eight cases are
// loaded as eight rows and stored as eight columns.
KALMIR_TARGET_AVX2 int lanesFromCasesAvx2(const float* const* ppfRow,
                                          int nPerCase, float* pfLanes) {
  int j = 0;
  for (; j + 8 <= nPerCase; j += 8) {
    const __m256 r0 = _mm256_loadu_ps(ppfRow[0] + j);
    const __m256 r1 = _mm256_loadu_ps(ppfRow[1] + j);
    const __m256 r2 = _mm256_loadu_ps(ppfRow[2] + j);
    const __m256 r3 = _mm256_loadu_ps(ppfRow[3] + j);
    const __m256 r4 = _mm256_loadu_ps(ppfRow[4] + j);
    const __m256 r5 = _mm256_loadu_ps(ppfRow[5] + j);
    const __m256 r6 = _mm256_loadu_ps(ppfRow[6] + j);
    const __m256 r7 = _mm256_loadu_ps(ppfRow[7] + j);
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1);
    const __m256 t1 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t2 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t3 = _mm256_unpackhi_ps(r2, r3);
    const __m256 t4 = _mm256_unpacklo_ps(r4, r5);
    const __m256 t5 = _mm256_unpackhi_ps(r4, r5);
    const __m256 t6 = _mm256_unpacklo_ps(r6, r7);
    const __m256 t7 = _mm256_unpackhi_ps(r6, r7);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44);
    const __m256 u1 = _mm256_shuffle_ps(t0, t2, 0xee);
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44);
    const __m256 u3 = _mm256_shuffle_ps(t1, t3, 0xee);
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44);
    const __m256 u5 = _mm256_shuffle_ps(t4, t6, 0xee);
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44);
    const __m256 u7 = _mm256_shuffle_ps(t5, t7, 0xee);
    float* pfTo = pfLanes + j * kSimLanes;
    _mm256_storeu_ps(pfTo + 0 * 8, _mm256_permute2f128_ps(u0, u4, 0x20));
    _mm256_storeu_ps(pfTo + 1 * 8, _mm256_permute2f128_ps(u1, u5, 0x20));
    _mm256_storeu_ps(pfTo + 2 * 8, _mm256_permute2f128_ps(u2, u6, 0x20));
    _mm256_storeu_ps(pfTo + 3 * 8, _mm256_permute2f128_ps(u3, u7, 0x20));
    _mm256_storeu_ps(pfTo + 4 * 8, _mm256_permute2f128_ps(u0, u4, 0x31));
    _mm256_storeu_ps(pfTo + 5 * 8, _mm256_permute2f128_ps(u1, u5, 0x31));
    _mm256_storeu_ps(pfTo + 6 * 8, _mm256_permute2f128_ps(u2, u6, 0x31));
    _mm256_storeu_ps(pfTo + 7 * 8, _mm256_permute2f128_ps(u3, u7, 0x31));
  }
  return j;
}

#endif

}  // namespace

void simLanesFromCases(const float* pfCases, int nCases, int nPerCase,
                       float* pfLanes, SimdLevel simd) {
  static_assert(kSimLanes == 8, "the transposes move 8 x 8 blocks");
  const float* ppfRow[kSimLanes];
  for (int l = 0; l < kSimLanes; ++l) {
    ppfRow[l] = pfCases + static_cast<size_t>(l < nCases ? l : 0) * nPerCase;
  }
  int nDone = 0;
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) nDone = lanesFromCasesAvx2(ppfRow, nPerCase, pfLanes);
#endif
  (void)simd;
  lanesFromCasesScalar(ppfRow, nDone, nPerCase, pfLanes);
}
