#include "rnorm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mersenne.h"

// The deviate cache is process-wide: each test empties it first and leaves
// it empty.
namespace {
void emptyCache() { setRnormCache(RnormCache{0, 0.0f}); }
}  // namespace

TEST(Rnorm, GivesTheKnownFirstPairAfterSeed7487) {
  // The polar method worked in Python from the words 2311896605 and
  // 599825301, published to five decimals.
  emptyCache();
  sgenrand(7487);
  EXPECT_NEAR(0.11988f, rnorm(0.0f, 1.0f), 5e-6f);
  EXPECT_NEAR(-1.12845f, rnorm(0.0f, 1.0f), 5e-6f);
  // The cached deviate takes the m and s of the call that returns it.
  sgenrand(7487);
  rnorm(0.0f, 1.0f);
  EXPECT_NEAR(7.74310f, rnorm(10.0f, 2.0f), 5e-6f);  // 10 + 2 * -1.12845
}

TEST(Rnorm, DrawsWordsOnlyWhenTheCacheIsEmptyAndKeepsItOverAReseed) {
  // Words of seed 7487 checked with Python's MT19937.
  emptyCache();
  sgenrand(7487);
  rnorm(0.0f, 1.0f);  // the first pair is accepted: two words
  EXPECT_EQ(3195951949u, genrand());
  rnorm(0.0f, 1.0f);  // from the cache: none
  EXPECT_EQ(2994787744u, genrand());
  // A reseed leaves the cached deviate; s = 0 returns m but fills the cache.
  sgenrand(7487);
  EXPECT_EQ(3.0f, rnorm(3.0f, 0.0f));
  sgenrand(99);
  EXPECT_NEAR(-1.12845f, rnorm(0.0f, 1.0f), 5e-6f);
  EXPECT_EQ(0, rnormCache().use_last);
}

// The vectorized factor must give the library formula's float for every
// squared radius: here every 997th float of (0, 1), all the floats just
// below 1, and subnormals. (Once, every one of the 1065353215 floats in
// (0, 1) was checked the same way.)
TEST(RnormFactors, AgreeWithTheLibraryLogEverywhereInTheUnitInterval) {
  std::vector<float> fW;
  for (uint32_t nBits = 1; nBits < 0x3f800000u; nBits += 997) {
    float w;
    std::memcpy(&w, &nBits, sizeof w);
    fW.push_back(w);
  }
  for (uint32_t nBits = 0x3f800000u - 5000; nBits < 0x3f800000u; ++nBits) {
    float w;
    std::memcpy(&w, &nBits, sizeof w);
    fW.push_back(w);
  }
  std::vector<float> fFactor(fW.size());
  rnormFactors(fW.data(), fFactor.data(), fW.size());
  size_t nDiffer = 0;
  for (size_t i = 0; i < fW.size(); ++i) {
    nDiffer +=
        std::memcmp(&fFactor[i], &static_cast<const float&>(rnormFactor(fW[i])),
                    sizeof(float)) != 0;
  }
  EXPECT_EQ(0u, nDiffer);
}

// Deviates in bulk, in stream order or laid out in lanes, with the next
// call's words drawn ahead: the same values as rnorm one at a time, and the
// generator and the cache left exactly where rnorm leaves them.
TEST(NormalBlock, DrawsWhatRnormDrawsAndLeavesTheStreamAsRnormDoes) {
  const size_t nPerCase = 6, nLanes = 4;
  for (size_t n : {size_t{7}, size_t{42}, size_t{4098}, size_t{30000}}) {
    const size_t nCalls[] = {n, n, n, 3};
    std::vector<float> fOne, fBulk(n), fLanes;
    emptyCache();
    sgenrand(7487);
    for (size_t c = 0; c < 4; ++c) {
      for (size_t i = 0; i < nCalls[c]; ++i) fOne.push_back(rnorm(0, 1));
    }
    const uint32_t nWordAfter = genrand();
    const RnormCache cacheAfter = rnormCache();
    for (bool bLanes : {false, true}) {
      emptyCache();
      sgenrand(7487);
      size_t nDone = 0;
      {
        NormalBlock normals;
        for (size_t c = 0; c < 4; ++c) {
          const size_t nNext = c < 3 ? nCalls[c + 1] : 0;
          // In lanes only whole blocks of cases, so the first call alone.
          if (bLanes && c == 0 && n % nPerCase == 0) {
            fLanes.assign(n + nPerCase * nLanes, 0.0f);
            normals.drawLanes(fLanes.data(), nPerCase, nLanes, n, nNext);
            for (size_t k = 0; k < n; ++k) {
              const size_t nCase = k / nPerCase, nAt = k % nPerCase;
              ASSERT_EQ(fOne[k],
                        fLanes[(nCase / nLanes * nPerCase + nAt) * nLanes +
                               nCase % nLanes]);
            }
          } else {
            normals.draw(fBulk.data(), nCalls[c], nNext);
            for (size_t k = 0; k < nCalls[c]; ++k) {
              ASSERT_EQ(fOne[nDone + k], fBulk[k]) << n << " " << c;
            }
          }
          nDone += nCalls[c];
        }
      }
      EXPECT_EQ(nWordAfter, genrand()) << n;
      EXPECT_EQ(cacheAfter.use_last, rnormCache().use_last) << n;
      if (cacheAfter.use_last) {
        EXPECT_EQ(cacheAfter.y2, rnormCache().y2);
      }
    }
  }
  emptyCache();
}

// The uniforms formed without division must be rnorm's: here every 4099th
// word and the words at both ends and around the middle. (Once, all 2^32
// words were checked the same way.)
TEST(RnormAttempts, FormTheUniformsAndRadiiRnormForms) {
  std::vector<uint32_t> nWords;
  for (uint64_t w = 0; w < (uint64_t{1} << 32); w += 4099) {
    nWords.push_back(static_cast<uint32_t>(w));
  }
  for (uint32_t w = 0; w < 300; ++w) {
    nWords.push_back(w);
    nWords.push_back(0xffffffffu - w);
    nWords.push_back(0x80000000u - 150 + w);
  }
  if (nWords.size() % 2 == 1) nWords.push_back(12345);
  const size_t n = nWords.size() / 2;
  std::vector<float> fX1(n), fX2(n), fW(n);
  rnormAttempts(nWords.data(), fX1.data(), fX2.data(), fW.data(), n);
  size_t nDiffer = 0;
  for (size_t t = 0; t < n; ++t) {
    const float x1 = rnormUniform(nWords[2 * t]);
    const float x2 = rnormUniform(nWords[2 * t + 1]);
    const float w = static_cast<float>(static_cast<double>(x1) * x1 +
                                       static_cast<double>(x2) * x2);
    nDiffer += std::memcmp(&x1, &fX1[t], sizeof x1) != 0 ||
               std::memcmp(&x2, &fX2[t], sizeof x2) != 0 ||
               std::memcmp(&w, &fW[t], sizeof w) != 0;
  }
  EXPECT_EQ(0u, nDiffer);
}
