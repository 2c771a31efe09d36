#include "rnorm.h"

#include <cmath>

#include <cstring>

#include "mersenne.h"
#include "parallel.h"

namespace {
int use_last = 0;
float y2 = 0.0f;
}  // namespace

float rnorm(float m, float s) {
  float y1;
  if (use_last) {
    y1 = y2;
    use_last = 0;
  } else {
    float x1, x2, w;
    do {
      x1 = rnormUniform(genrand());
      x2 = rnormUniform(genrand());
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

RnormCache rnormCache() { return RnormCache{use_last, y2}; }

void setRnormCache(RnormCache cache) {
  use_last = cache.use_last;
  y2 = cache.y2;
}

namespace {

// log(w) for a normal float w in (0, 1), in double, within a few units of
// the last place: w = m * 2^e with m in [sqrt(1/2), sqrt(2)), and
// log(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| <= 0.1716, from the series
// up to s^23 (the next term is below 2^-56 of the sum).
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
  double p = 1.0 / 23;
  p = p * s2 + 1.0 / 21;
  p = p * s2 + 1.0 / 19;
  p = p * s2 + 1.0 / 17;
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

#if defined(__x86_64__) && defined(__GNUC__)
#define KALMIR_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KALMIR_VECTOR_CLONES
#endif

// One pass the compiler vectorizes (plain IEEE double arithmetic: the AVX2
// and the baseline builds give the same bits). Marks the results that need
// the library's log.
KALMIR_VECTOR_CLONES
void factorsFast(const float* pfW, float* pfFactor, unsigned char* pbRedo,
                 size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const double v =
        std::sqrt((-2.0 * logUnitInterval(pfW[i])) / pfW[i]);
    pfFactor[i] = static_cast<float>(v);
    pbRedo[i] = nearFloatMidpoint(v) ? 1 : 0;
  }
}

// The uniforms and squared radii of n attempts, from 2n words, exactly as
// rnorm forms them; a loop the compiler vectorizes.
KALMIR_VECTOR_CLONES
void uniformPairs(const uint32_t* pnWords, float* pfX1, float* pfX2,
                  float* pfW, size_t n) {
  for (size_t t = 0; t < n; ++t) {
    const float x1 = rnormUniform(pnWords[2 * t]);
    const float x2 = rnormUniform(pnWords[2 * t + 1]);
    pfX1[t] = x1;
    pfX2[t] = x2;
    pfW[t] = static_cast<float>(static_cast<double>(x1) * x1 +
                                static_cast<double>(x2) * x2);
  }
}

}  // namespace

void rnormFactors(const float* pfW, float* pfFactor, size_t n) {
  // The C library's log is within one unit of the last place and the
  // polynomial within a few, so the two square roots differ by a few units
  // of the double's last place at most; both round to the same float unless
  // the value is near a midpoint, and those are recomputed exactly.
  // The squared radii of a run are copied first, so pfFactor may be pfW.
  float fW[256];
  unsigned char bRedo[256];
  while (n > 0) {
    const size_t nRun = n < sizeof bRedo ? n : sizeof bRedo;
    std::memcpy(fW, pfW, nRun * sizeof(float));
    factorsFast(fW, pfFactor, bRedo, nRun);
    for (size_t i = 0; i < nRun; ++i) {
      if (bRedo[i]) pfFactor[i] = rnormFactor(fW[i]);
    }
    pfW += nRun;
    pfFactor += nRun;
    n -= nRun;
  }
}

void NormalBlock::draw(float* pfOut, size_t n) {
  RnormCache cache = rnormCache();
  if (n > 0 && cache.use_last) {
    *pfOut++ = cache.y2;
    --n;
    cache.use_last = 0;
  }
  ThreadTeam& team = analysisTeam();
  std::vector<size_t>& nAccepted = nAccepted_;
  nAccepted.assign(static_cast<size_t>(team.size()), 0);
  size_t nPairsLeft = (n + 1) / 2;
  while (nPairsLeft > 0) {
    // Every attempt takes two words and yields at most one pair, so drawing
    // two words per pair still wanted never draws a word rnorm would not.
    const size_t nTries = nPairsLeft;
    nWords_.resize(2 * nTries);
    fX1_.resize(nTries);
    fX2_.resize(nTries);
    fW_.resize(nTries);
    fY_.resize(2 * nTries);
    genrandBlock(nWords_.data(), 2 * nTries);
    // Each thread keeps the pairs its range accepts at the front of the
    // range, in order, and scales them there.
    auto accept = [&](size_t nBegin, size_t nEnd, int nMember) {
      uniformPairs(&nWords_[2 * nBegin], &fX1_[nBegin], &fX2_[nBegin],
                   &fW_[nBegin], nEnd - nBegin);
      size_t nKept = nBegin;
      for (size_t t = nBegin; t < nEnd; ++t) {
        const float x1 = fX1_[t];
        const float x2 = fX2_[t];
        const float w = fW_[t];
        fX1_[nKept] = x1;
        fX2_[nKept] = x2;
        fW_[nKept] = w;
        nKept += w < 1.0f ? 1 : 0;
      }
      const size_t nCount = nKept - nBegin;
      rnormFactors(&fW_[nBegin], &fW_[nBegin], nCount);
      for (size_t i = nBegin; i < nKept; ++i) {
        fY_[2 * i] = fX1_[i] * fW_[i];
        fY_[2 * i + 1] = fX2_[i] * fW_[i];
      }
      nAccepted[static_cast<size_t>(nMember)] = nCount;
    };
    if (nTries < 4096) {
      nAccepted.assign(nAccepted.size(), 0);
      accept(0, nTries, 0);
    } else {
      team.run(nTries, accept);
    }
    // Gather the ranges' pairs in stream order. The ranges are those
    // ThreadTeam::run hands out; members without work report none.
    const size_t nMembers = nTries < 4096 ? 1 : nAccepted.size();
    const size_t nPer = nTries / nMembers;
    const size_t nExtra = nTries % nMembers;
    for (size_t m = 0; m < nMembers; ++m) {
      const size_t nBegin = m * nPer + (m < nExtra ? m : nExtra);
      size_t nPairs = nAccepted[m];
      if (nPairs > nPairsLeft) nPairs = nPairsLeft;
      const float* pfY = &fY_[2 * nBegin];
      for (size_t i = 0; i < nPairs; ++i) {
        const bool bLast = nPairsLeft == 1;
        *pfOut++ = pfY[2 * i];
        if (bLast && n % 2 == 1) {
          cache.use_last = 1;
          cache.y2 = pfY[2 * i + 1];
        } else {
          *pfOut++ = pfY[2 * i + 1];
        }
        --nPairsLeft;
      }
      nAccepted[m] = 0;
    }
  }
  setRnormCache(cache);
}
