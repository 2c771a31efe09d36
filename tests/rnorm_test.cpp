#include "rnorm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mersenne.h"

namespace {
// Every level of vector code this CPU has, the scalar code first.
std::vector<SimdLevel> cpuLevels() {
  std::vector<SimdLevel> levels = {SimdLevel::kScalar};
  for (SimdLevel simd : {SimdLevel::kAvx2, SimdLevel::kAvx512}) {
    if (simd <= cpuSimdLevel()) levels.push_back(simd);
  }
  return levels;
}
const std::vector<SimdLevel> kLevels = cpuLevels();
}  // namespace

TEST(Rnorm, GivesTheKnownFirstPairAfterSeed7487) {
  // The polar method worked in Python from the words 2311896605 and
  // 599825301, published to five decimals.
  RandomStream s;
  sgenrand(s.words, 7487);
  EXPECT_NEAR(0.11988f, rnorm(s, 0.0f, 1.0f), 5e-6f);
  EXPECT_NEAR(-1.12845f, rnorm(s, 0.0f, 1.0f), 5e-6f);
  // The cached deviate takes the m and s of the call that returns it.
  sgenrand(s.words, 7487);
  rnorm(s, 0.0f, 1.0f);
  EXPECT_NEAR(7.74310f, rnorm(s, 10.0f, 2.0f), 5e-6f);  // 10 + 2 * -1.12845
}

TEST(Rnorm, DrawsWordsOnlyWhenTheCacheIsEmptyAndKeepsItOverAReseed) {
  // Words of seed 7487 checked with Python's MT19937.
  RandomStream s;
  sgenrand(s.words, 7487);
  rnorm(s, 0.0f, 1.0f);  // the first pair is accepted: two words
  EXPECT_EQ(3195951949u, genrand(s.words));
  rnorm(s, 0.0f, 1.0f);  // from the cache: none
  EXPECT_EQ(2994787744u, genrand(s.words));
  // A reseed leaves the cached deviate; s = 0 returns m but fills the cache.
  sgenrand(s.words, 7487);
  EXPECT_EQ(3.0f, rnorm(s, 3.0f, 0.0f));
  sgenrand(s.words, 99);
  EXPECT_NEAR(-1.12845f, rnorm(s, 0.0f, 1.0f), 5e-6f);
  EXPECT_EQ(0, s.cache.use_last);
}

// The vectorized factor must give the library formula's float for every
// squared radius: here every 997th float of (0, 1), all the floats just
// below 1, and subnormals; with KALMIR_EXHAUSTIVE=1 in the environment every
// one of the 1065353215 floats in (0, 1) (about a minute), which was done
// for each build the CPU here runs (AVX-512, AVX2 and the scalar code).
TEST(RnormFactors, AgreeWithTheLibraryLogEverywhereInTheUnitInterval) {
  const char* pszAll = std::getenv("KALMIR_EXHAUSTIVE");
  const bool bAll = pszAll != nullptr && std::strcmp(pszAll, "1") == 0;
  const uint32_t nStep = bAll ? 1 : 997;
  std::vector<float> fW, fFactor;
  size_t nDiffer = 0;
  size_t nChecked = 0;
  auto check = [&] {
    fFactor.resize(fW.size());
    for (SimdLevel simd : kLevels) {
      rnormFactors(fW.data(), fFactor.data(), fW.size(), simd);
      for (size_t i = 0; i < fW.size(); ++i) {
        const float fLibrary = rnormFactor(fW[i]);
        nDiffer += std::memcmp(&fFactor[i], &fLibrary, sizeof(float)) != 0;
      }
    }
    nChecked += fW.size();
    fW.clear();
  };
  auto add = [&](uint32_t nBits) {
    float w;
    std::memcpy(&w, &nBits, sizeof w);
    fW.push_back(w);
    if (fW.size() == (1u << 20)) check();
  };
  for (uint32_t nBits = 1; nBits < 0x3f800000u; nBits += nStep) add(nBits);
  for (uint32_t nBits = 0x3f800000u - 5000; nBits < 0x3f800000u; ++nBits) {
    add(nBits);
  }
  check();
  EXPECT_GT(nChecked, bAll ? size_t{1065353215} : size_t{1000000});
  EXPECT_EQ(0u, nDiffer);
}

// Stretches of deviates, taken in turn and formed afterwards, of lengths
// odd and even so that the cache is full at some starts and ends: the same
// values as rnorm one at a time, and the generator and the cache left
// exactly where rnorm leaves them, with the vector code and without. The
// lengths run from none to more than a block of words, and the runs start
// anywhere in a block.
TEST(DeviateStretch, FormsWhatRnormDrawsAndLeavesTheStreamAsRnormDoes) {
  const size_t nLengths[] = {1, 2, 7, 0, 124, 4099, 30000, 3, 1248};
  for (SimdLevel simd : kLevels) {
    for (bool bCachedFirst : {false, true}) {
      SCOPED_TRACE(static_cast<int>(simd));
      std::vector<float> fOne;
      RandomStream one;
      sgenrand(one.words, 7487);
      if (bCachedFirst) rnorm(one, 0, 1);
      for (size_t n : nLengths) {
        for (size_t i = 0; i < n; ++i) fOne.push_back(rnorm(one, 0, 1));
      }
      RandomStream s;
      sgenrand(s.words, 7487);
      if (bCachedFirst) rnorm(s, 0, 1);
      // Two stretches, as two threads would hold them: the second is taken
      // before the first is formed.
      DeviateStretch stretch[2];
      std::vector<float> fFormed(30000);
      size_t nDone = 0;
      for (size_t k = 0; k < sizeof nLengths / sizeof nLengths[0]; ++k) {
        stretch[k % 2].take(s, nLengths[k], simd);
        if (k > 0) {
          const size_t n = nLengths[k - 1];
          stretch[(k - 1) % 2].form(fFormed.data(), simd);
          for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(fOne[nDone + i], fFormed[i]) << k << " " << i;
          }
          nDone += n;
        }
      }
      stretch[0].form(fFormed.data(), simd);
      EXPECT_EQ(0, std::memcmp(fOne.data() + nDone, fFormed.data(),
                               nLengths[8] * sizeof(float)));
      EXPECT_EQ(genrand(one.words), genrand(s.words));
      EXPECT_EQ(one.cache.use_last, s.cache.use_last);
      if (one.cache.use_last) {
        EXPECT_EQ(one.cache.y2, s.cache.y2);
      }
    }
  }
}

// The count of accepted attempts, mostly from a single-precision radius,
// against rnorm's verdict one attempt at a time: on words of the stream,
// and on pairs whose radius lies within a few units of the last place of
// the circle, where only the exact verdict can tell.
TEST(RnormCountAccepted, CountsAndStopsAsTheExactVerdictsDo) {
  std::vector<uint32_t> nWords;
  GenrandState stream;
  sgenrand(stream, 4357);
  for (int i = 0; i < 200000; ++i) nWords.push_back(genrand(stream));
  for (uint32_t u1 = 1u << 20; u1 < 0xfff00000u; u1 += 0x00fff1u) {
    // The word whose uniform completes u1's to the unit circle, and its
    // neighbours.
    const double x1 = rnormUniform(u1);
    const double x2 = std::sqrt(1.0 - x1 * x1);
    const uint32_t u2 = static_cast<uint32_t>((x2 + 1.0) / 2.0 * 4294967295.0);
    for (uint32_t d = 0; d < 600; d += 37) {
      nWords.push_back(u1);
      nWords.push_back(u2 - 300 + d);
    }
  }
  const size_t n = nWords.size() / 2;
  std::vector<size_t> nExact(n + 1, 0);  // accepted among the first t
  for (size_t t = 0; t < n; ++t) {
    nExact[t + 1] = nExact[t] + rnormAccepts(nWords[2 * t], nWords[2 * t + 1]);
  }
  for (SimdLevel simd : kLevels) {
    SCOPED_TRACE(static_cast<int>(simd));
    size_t nLooked = 0;
    EXPECT_EQ(nExact[n],
              rnormCountAccepted(nWords.data(), n, n + 1, &nLooked, simd));
    EXPECT_EQ(n, nLooked);
    for (size_t nWanted : {size_t{1}, size_t{5}, nExact[n] / 3, nExact[n]}) {
      EXPECT_EQ(nWanted,
                rnormCountAccepted(nWords.data(), n, nWanted, &nLooked, simd));
      // It stops at the attempt that makes nWanted, which is accepted.
      EXPECT_EQ(nWanted, nExact[nLooked]);
      EXPECT_EQ(nWanted - 1, nExact[nLooked - 1]);
    }
  }
}

// The uniforms formed without division must be rnorm's for every word, in
// the vector code and in the scalar code. A word counts only through the
// float it converts to, so every float that some word converts to is
// checked (0 ... 2^24 one by one, then every float up to 2^32), from a word
// that converts to it. The sanitizer build, which looks for memory faults,
// not for rounding, takes every 16th.
TEST(RnormAttempts, FormTheUniformsAndRadiiRnormFormsForEveryWord) {
#if defined(__SANITIZE_ADDRESS__)
  const int nEvery = 16;
#else
  const int nEvery = 1;
#endif
  int nSkip = 0;
  const size_t nBatch = 1 << 16;
  std::vector<uint32_t> nWords;
  std::vector<float> fX1(nBatch), fX2(nBatch), fW(nBatch);
  size_t nDiffer = 0;
  size_t nChecked = 0;
  auto check = [&] {
    if (nWords.size() % 2 == 1) nWords.push_back(0);
    const size_t n = nWords.size() / 2;
    for (SimdLevel simd : kLevels) {
      rnormAttempts(nWords.data(), fX1.data(), fX2.data(), fW.data(), n, simd);
      for (size_t t = 0; t < n; ++t) {
        const float x1 = rnormUniform(nWords[2 * t]);
        const float x2 = rnormUniform(nWords[2 * t + 1]);
        const float w = static_cast<float>(static_cast<double>(x1) * x1 +
                                           static_cast<double>(x2) * x2);
        nDiffer += std::memcmp(&x1, &fX1[t], sizeof x1) != 0 ||
                   std::memcmp(&x2, &fX2[t], sizeof x2) != 0 ||
                   std::memcmp(&w, &fW[t], sizeof w) != 0;
      }
    }
    nChecked += nWords.size();
    nWords.clear();
  };
  for (uint64_t w = 0; w <= 0xffffffffu;) {
    if (++nSkip == nEvery) {
      nSkip = 0;
      nWords.push_back(static_cast<uint32_t>(w));
      if (nWords.size() == 2 * nBatch) check();
    }
    // The next word that converts to another float: below 2^24 the next
    // integer, above it the next float's lowest word.
    const float f = static_cast<float>(w);
    if (w < (1u << 24)) {
      ++w;
    } else {
      const double next = std::nextafter(f, 1e30f);
      w = static_cast<uint64_t>((static_cast<double>(f) + next) / 2.0) + 1;
    }
  }
  check();
  EXPECT_GT(nChecked, size_t{80000000} / nEvery);
  EXPECT_EQ(0u, nDiffer);
}
