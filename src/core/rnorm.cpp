#include "rnorm.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#ifdef KALMIR_HAVE_AVX2
#include <immintrin.h>
#endif

#include "mersenne.h"
#include "simd.h"

float rnorm(RandomStream& stream, float m, float s) {
  int& use_last = stream.cache.use_last;
  float& y2 = stream.cache.y2;
  float y1;
  if (use_last) {
    y1 = y2;
    use_last = 0;
  } else {
    float x1, x2, w;
    do {
      x1 = rnormUniform(genrand(stream.words));
      x2 = rnormUniform(genrand(stream.words));
      // Both squares are exact in double; only their sum is rounded.
      w = static_cast<float>(static_cast<double>(x1) * x1 +
                             static_cast<double>(x2) * x2);
    } while (w >= 1.0f);
    w = rnormFactor(w);
    y1 = x1 * w;
    y2 = x2 * w;
    use_last = 1;
  }
  return static_cast<float>(static_cast<double>(m) +
                            static_cast<double>(y1) * s);
}

namespace {

// log(w) for a normal float w in (0, 1), in double, within a few units of
// the last place: w = m * 2^e with m in [sqrt(1/2), sqrt(2)), and
// log(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| <= 0.1716, from the series
// up to s^17 (the rest is below 2^-50 of the sum, far inside the margin
// that nearFloatMidpoint leaves).
inline double logUnitInterval(float w) {
  uint32_t nBits;
  std::memcpy(&nBits, &w, sizeof nBits);
  int nExp = static_cast<int>(nBits >> 23) - 127;
  uint32_t nMant = (nBits & 0x007fffffu) | 0x3f800000u;
  // Mantissas above sqrt(2) (0x3fb504f3 is the float just below it) are
  // halved, exactly, by lowering the exponent field.
  const bool bHalve = nMant > 0x3fb504f3u;
  nMant -= bHalve ? 0x00800000u : 0u;
  nExp += bHalve ? 1 : 0;
  float fM;
  std::memcpy(&fM, &nMant, sizeof fM);
  const double m = fM;
  const double s = (m - 1.0) / (m + 1.0);
  const double s2 = s * s;
  double p = 1.0 / 17;
  p = p * s2 + 1.0 / 15;
  p = p * s2 + 1.0 / 13;
  p = p * s2 + 1.0 / 11;
  p = p * s2 + 1.0 / 9;
  p = p * s2 + 1.0 / 7;
  p = p * s2 + 1.0 / 5;
  p = p * s2 + 1.0 / 3;
  const double fLogM = 2.0 * s + 2.0 * s * (s2 * p);
  // ln 2 split so that nExp * kLn2Hi is exact.
  const double kLn2Hi = 6.93147180369123816490e-01;
  const double kLn2Lo = 1.90821492927058770002e-10;
  const double dExp = nExp;
  return dExp * kLn2Hi + (fLogM + dExp * kLn2Lo);
}

// True when v lies so near a midpoint between two floats that a tiny error
// in it could change its rounding to float: the 29 low bits of the double's
// mantissa, which the rounding drops, are within 2^10 of one half.
inline bool nearFloatMidpoint(double v) {
  uint64_t nBits;
  std::memcpy(&nBits, &v, sizeof nBits);
  const uint64_t nLow = nBits & ((uint64_t{1} << 29) - 1);
  const uint64_t nHalf = uint64_t{1} << 28;
  const uint64_t nDist = nLow > nHalf ? nLow - nHalf : nHalf - nLow;
  return nDist <= (uint64_t{1} << 10);
}

// One pass the compiler vectorizes (plain IEEE double arithmetic: every
// build gives the same bits). Marks the results that need
// the library's log, and returns nonzero when there is any.
KALMIR_KERNEL_BODY int factorsFastBody(const float* pfW, float* pfFactor,
                                       unsigned char* pbRedo, size_t n) {
  int nAnyRedo = 0;
  for (size_t i = 0; i < n; ++i) {
    const double v = std::sqrt((-2.0 * logUnitInterval(pfW[i])) / pfW[i]);
    pfFactor[i] = static_cast<float>(v);
    // The exponent split above needs a normal float; the polar method never
    // accepts a w that small, but the scalar path serves it all the same.
    const int nRedo = static_cast<int>(nearFloatMidpoint(v)) |
                      static_cast<int>(pfW[i] < 0x1p-126f);
    pbRedo[i] = static_cast<unsigned char>(nRedo);
    nAnyRedo |= nRedo;
  }
  return nAnyRedo;
}

// The uniform of one word without the division: the quotient by
// 4294967295.0 becomes a product with its reciprocal. The two doubles
// differ by less than 2^-50, and for every float a word converts to they
// round to the same float (tests/rnorm_test.cpp checks them all).
inline float uniformOf(uint32_t nWord) {
  const double kInvWordMax = 1.0 / 4294967295.0;
  const double d = static_cast<float>(nWord);
  return static_cast<float>(2.0 * (d * kInvWordMax) - 1.0);
}

KALMIR_KERNEL_BODY void uniformPairsBody(const uint32_t* pnWords, float* pfX1,
                                         float* pfX2, float* pfW, size_t n) {
  for (size_t t = 0; t < n; ++t) {
    const float x1 = uniformOf(pnWords[2 * t]);
    const float x2 = uniformOf(pnWords[2 * t + 1]);
    pfX1[t] = x1;
    pfX2[t] = x2;
    pfW[t] = static_cast<float>(static_cast<double>(x1) * x1 +
                                static_cast<double>(x2) * x2);
  }
}

#ifdef KALMIR_HAVE_AVX512
KALMIR_TARGET_AVX512 int factorsFastAvx512(const float* pfW, float* pfFactor,
                                           unsigned char* pbRedo, size_t n) {
  return factorsFastBody(pfW, pfFactor, pbRedo, n);
}
KALMIR_TARGET_AVX512 void uniformPairsAvx512(const uint32_t* pnWords,
                                             float* pfX1, float* pfX2,
                                             float* pfW, size_t n) {
  uniformPairsBody(pnWords, pfX1, pfX2, pfW, n);
}
#endif
#ifdef KALMIR_HAVE_AVX2
KALMIR_TARGET_AVX2 int factorsFastAvx2(const float* pfW, float* pfFactor,
                                       unsigned char* pbRedo, size_t n) {
  return factorsFastBody(pfW, pfFactor, pbRedo, n);
}
KALMIR_TARGET_AVX2 void uniformPairsAvx2(const uint32_t* pnWords, float* pfX1,
                                         float* pfX2, float* pfW, size_t n) {
  uniformPairsBody(pnWords, pfX1, pfX2, pfW, n);
}
#endif
int factorsFastScalar(const float* pfW, float* pfFactor, unsigned char* pbRedo,
                      size_t n) {
  return factorsFastBody(pfW, pfFactor, pbRedo, n);
}
void uniformPairsScalar(const uint32_t* pnWords, float* pfX1, float* pfX2,
                        float* pfW, size_t n) {
  uniformPairsBody(pnWords, pfX1, pfX2, pfW, n);
}

int factorsFast(const float* pfW, float* pfFactor, unsigned char* pbRedo,
                size_t n, SimdLevel simd) {
#ifdef KALMIR_HAVE_AVX512
  if (simd == SimdLevel::kAvx512) {
    return factorsFastAvx512(pfW, pfFactor, pbRedo, n);
  }
#endif
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) return factorsFastAvx2(pfW, pfFactor, pbRedo, n);
#endif
  (void)simd;
  return factorsFastScalar(pfW, pfFactor, pbRedo, n);
}

}  // namespace

void rnormAttempts(const uint32_t* pnWords, float* pfX1, float* pfX2,
                   float* pfW, size_t n, SimdLevel simd) {
#ifdef KALMIR_HAVE_AVX512
  if (simd == SimdLevel::kAvx512) {
    uniformPairsAvx512(pnWords, pfX1, pfX2, pfW, n);
    return;
  }
#endif
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) {
    uniformPairsAvx2(pnWords, pfX1, pfX2, pfW, n);
    return;
  }
#endif
  (void)simd;
  uniformPairsScalar(pnWords, pfX1, pfX2, pfW, n);
}

void rnormFactors(const float* pfW, float* pfFactor, size_t n, SimdLevel simd) {
  // The C library's log is within one unit of the last place and the
  // polynomial within a few, so the two square roots differ by a few units
  // of the double's last place at most; both round to the same float unless
  // the value is near a midpoint, and those are recomputed exactly.
  // When pfFactor is pfW, the squared radii of a run are copied first.
  float fCopy[256];
  unsigned char bRedo[256];
  while (n > 0) {
    const size_t nRun = n < sizeof bRedo ? n : sizeof bRedo;
    const float* pfRunW = pfW;
    if (pfW == pfFactor) {
      std::memcpy(fCopy, pfW, nRun * sizeof(float));
      pfRunW = fCopy;
    }
    if (factorsFast(pfRunW, pfFactor, bRedo, nRun, simd) != 0) {
      for (size_t i = 0; i < nRun; ++i) {
        if (bRedo[i]) pfFactor[i] = rnormFactor(pfRunW[i]);
      }
    }
    pfW += nRun;
    pfFactor += nRun;
    n -= nRun;
  }
}

namespace {

// Moves the attempts with w < 1 to the front, in order, and returns how
// many there are; pure data movement, so the two versions agree exactly.
// Goes on from attempt t with nKept already kept.
inline size_t compactFrom(float* pfX1, float* pfX2, float* pfW, size_t t,
                          size_t nKept, size_t n) {
  for (; t < n; ++t) {
    const float x1 = pfX1[t];
    const float x2 = pfX2[t];
    const float w = pfW[t];
    pfX1[nKept] = x1;
    pfX2[nKept] = x2;
    pfW[nKept] = w;
    nKept += w < 1.0f ? 1 : 0;
  }
  return nKept;
}

#ifdef KALMIR_HAVE_AVX2

// For each 8-bit mask of accepted lanes, the lanes to gather to the front.
// Built by the compiler, so that it is read-only data.
struct PackTable {
  constexpr PackTable() {
    for (int m = 0; m < 256; ++m) {
      int k = 0;
      for (int l = 0; l < 8; ++l) {
        if (m & (1 << l)) nLane[m][k++] = l;
      }
      for (; k < 8; ++k) nLane[m][k] = 0;
    }
  }
  alignas(32) int32_t nLane[256][8] = {};
};
constexpr PackTable packTable;

// Eight attempts at a time: the accepted lanes are permuted to the front
// and stored at the write position, which never passes the read position,
// so nothing is overwritten before it is read.
KALMIR_TARGET_AVX2 size_t compactAcceptedAvx2(float* pfX1, float* pfX2,
                                              float* pfW, size_t n) {
  const __m256 vOne = _mm256_set1_ps(1.0f);
  size_t nKept = 0;
  size_t t = 0;
  for (; t + 8 <= n; t += 8) {
    const __m256 vW = _mm256_loadu_ps(pfW + t);
    const __m256 vX1 = _mm256_loadu_ps(pfX1 + t);
    const __m256 vX2 = _mm256_loadu_ps(pfX2 + t);
    const int nMask = _mm256_movemask_ps(_mm256_cmp_ps(vW, vOne, _CMP_LT_OQ));
    const __m256i vPerm = _mm256_load_si256(
        reinterpret_cast<const __m256i*>(packTable.nLane[nMask]));
    _mm256_storeu_ps(pfW + nKept, _mm256_permutevar8x32_ps(vW, vPerm));
    _mm256_storeu_ps(pfX1 + nKept, _mm256_permutevar8x32_ps(vX1, vPerm));
    _mm256_storeu_ps(pfX2 + nKept, _mm256_permutevar8x32_ps(vX2, vPerm));
    nKept +=
        static_cast<size_t>(__builtin_popcount(static_cast<unsigned>(nMask)));
  }
  return compactFrom(pfX1, pfX2, pfW, t, nKept, n);
}
#endif

size_t compactAccepted(float* pfX1, float* pfX2, float* pfW, size_t n,
                       SimdLevel simd) {
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) return compactAcceptedAvx2(pfX1, pfX2, pfW, n);
#endif
  (void)simd;
  return compactFrom(pfX1, pfX2, pfW, 0, 0, n);
}

}  // namespace

namespace {

// The verdicts of n attempts one at a time; stops as rnormCountAccepted
// does.
size_t countAcceptedFrom(const uint32_t* pnWords, size_t t, size_t n,
                         size_t nKept, size_t nWanted, size_t* pnLooked) {
  for (; t < n && nKept < nWanted; ++t) {
    nKept += rnormAccepts(pnWords[2 * t], pnWords[2 * t + 1]) ? 1 : 0;
  }
  *pnLooked = t;
  return nKept;
}

#ifdef KALMIR_HAVE_AVX2
// Eight attempts at a time by a radius in single precision: the word less
// 2^31 as a signed integer, converted to float, is 2^31 times rnorm's
// uniform to within 2^-22 of it, so the float sum of the squares lies
// within 2^-19 of the exact squared radius (scaled by 2^62). Outside
// 1 +- 2^-16 of the circle the verdict is therefore certain; the rare
// eight attempts with one inside that band, and the eight in which the
// count reaches nWanted, are decided one at a time.
KALMIR_TARGET_AVX2 size_t countAcceptedAvx2(const uint32_t* pnWords, size_t n,
                                            size_t nWanted, size_t* pnLooked) {
  const __m256i vFlip = _mm256_set1_epi32(static_cast<int>(0x80000000u));
  const __m256 vSureIn = _mm256_set1_ps(0x1p62f * (1.0f - 0x1p-16f));
  const __m256 vSureOut = _mm256_set1_ps(0x1p62f * (1.0f + 0x1p-16f));
  size_t nKept = 0;
  size_t t = 0;
  for (; t + 8 <= n; t += 8) {
    const __m256 vA = _mm256_cvtepi32_ps(_mm256_xor_si256(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pnWords + 2 * t)),
        vFlip));
    const __m256 vB = _mm256_cvtepi32_ps(_mm256_xor_si256(
        _mm256_loadu_si256(
            reinterpret_cast<const __m256i*>(pnWords + 2 * t + 8)),
        vFlip));
    // Sums of neighbouring squares: the eight radii, in another order,
    // which a count does not need.
    const __m256 vR =
        _mm256_hadd_ps(_mm256_mul_ps(vA, vA), _mm256_mul_ps(vB, vB));
    const int nIn = _mm256_movemask_ps(_mm256_cmp_ps(vR, vSureIn, _CMP_LT_OQ));
    const int nOut =
        _mm256_movemask_ps(_mm256_cmp_ps(vR, vSureOut, _CMP_GT_OQ));
    const size_t nCount =
        static_cast<size_t>(__builtin_popcount(static_cast<unsigned>(nIn)));
    if ((nIn | nOut) != 0xff || nKept + nCount >= nWanted) {
      nKept = countAcceptedFrom(pnWords, t, t + 8, nKept, nWanted, pnLooked);
      if (nKept >= nWanted) return nKept;
      continue;
    }
    nKept += nCount;
  }
  return countAcceptedFrom(pnWords, t, n, nKept, nWanted, pnLooked);
}
#endif

}  // namespace

size_t rnormCountAccepted(const uint32_t* pnWords, size_t n, size_t nWanted,
                          size_t* pnLooked, SimdLevel simd) {
  if (nWanted == 0) {
    *pnLooked = 0;
    return 0;
  }
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) return countAcceptedAvx2(pnWords, n, nWanted, pnLooked);
#endif
  (void)simd;
  return countAcceptedFrom(pnWords, 0, n, 0, nWanted, pnLooked);
}

void DeviateStretch::take(RandomStream& stream, size_t n, SimdLevel simd) {
  RnormCache& cache = stream.cache;
  n_ = n;
  bFromCache_ = n > 0 && cache.use_last != 0;
  if (bFromCache_) {
    fFromCache_ = cache.y2;
    cache.use_last = 0;
    --n;
  }
  // Pairs wanted; when n is odd the last one gives its second deviate to
  // the cache.
  const size_t nPairs = (n + 1) / 2;
  size_t nKept = 0;
  size_t nLooked = 0;  // attempts drawn and decided
  // Room for the attempts that all but certainly hold the pairs (six
  // standard deviations above the expected number).
  const double fPairs = static_cast<double>(nPairs);
  nWords_.get(2 * static_cast<size_t>(fPairs / 0.785398 +
                                      6.0 * std::sqrt(fPairs) + 64.0));
  while (nKept < nPairs) {
    // Each attempt gives at most one pair, so the next nNeed attempts are
    // all used whatever their verdicts: drawing exactly their words never
    // draws one too many, and the rounds shrink by the rejection rate.
    const size_t nNeed = nPairs - nKept;
    const size_t nRoom = 2 * (nLooked + nNeed);
    if (nWords_.size() < nRoom) {
      // Grows rarely: keep what was drawn.
      Workspace<uint32_t> grown;
      uint32_t* pnNew = grown.get(nRoom + nRoom / 2);
      for (size_t i = 0; i < 2 * nLooked; ++i) pnNew[i] = nWords_.data()[i];
      nWords_ = std::move(grown);
    }
    uint32_t* pnRound = nWords_.data() + 2 * nLooked;
    genrandBlock(stream.words, pnRound, 2 * nNeed, simd);
    size_t nRoundLooked = 0;
    nKept += rnormCountAccepted(pnRound, nNeed, nNeed, &nRoundLooked, simd);
    nLooked += nNeed;
  }
  nWordsHeld_ = 2 * nLooked;
  if (n % 2 == 1) {
    // The last attempt is the accepted one; its second deviate is cached,
    // formed as rnorm forms it.
    const uint32_t* pnLast = nWords_.data() + nWordsHeld_ - 2;
    const float x2 = rnormUniform(pnLast[1]);
    const float x1 = rnormUniform(pnLast[0]);
    const float w = rnormFactor(static_cast<float>(
        static_cast<double>(x1) * x1 + static_cast<double>(x2) * x2));
    cache.use_last = 1;
    cache.y2 = x2 * w;
  }
}

void DeviateStretch::form(float* pfOut, SimdLevel simd) {
  size_t nLeft = n_;
  if (bFromCache_) {
    *pfOut++ = fFromCache_;
    --nLeft;
  }
  const uint32_t* pnWords = nWords_.data();
  size_t nAttempts = nWordsHeld_ / 2;
  const size_t nRun = 256;
  float fX1[nRun], fX2[nRun], fW[nRun], fFactor[nRun];
  while (nAttempts > 0) {
    const size_t nNow = nAttempts < nRun ? nAttempts : nRun;
    rnormAttempts(pnWords, fX1, fX2, fW, nNow, simd);
    const size_t nKept = compactAccepted(fX1, fX2, fW, nNow, simd);
    rnormFactors(fW, fFactor, nKept, simd);
    const size_t nFull = std::min(nKept, nLeft / 2);
    for (size_t i = 0; i < nFull; ++i) {
      pfOut[2 * i] = fX1[i] * fFactor[i];
      pfOut[2 * i + 1] = fX2[i] * fFactor[i];
    }
    pfOut += 2 * nFull;
    nLeft -= 2 * nFull;
    // The last pair of an odd stretch gives its first deviate only.
    if (nFull < nKept && nLeft == 1) {
      *pfOut++ = fX1[nFull] * fFactor[nFull];
      nLeft = 0;
    }
    pnWords += 2 * nNow;
    nAttempts -= nNow;
  }
}
