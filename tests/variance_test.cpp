#include "variance.h"

#include <gtest/gtest.h>

#include <vector>

#include "mersenne.h"
#include "workbench.h"

TEST(Variance, KnownAnswers) {
  // Hand computation.
  const float fX[] = {1, 2, 3, 4};
  EXPECT_EQ(5.0f / 3.0f, variance(fX, 4));
  const float fEqual[] = {2.5f, 2.5f, 2.5f};
  EXPECT_EQ(0.0f, variance(fEqual, 3));
  // Ten copies of 0.1 do not sum to ten times 0.1 in float; equal values
  // still have a variance of exactly 0.
  const std::vector<float> fTenths(10, 0.1f);
  EXPECT_EQ(0.0f, variance(fTenths.data(), 10));
  // 5002.5, 5003.5, ...: a float running sum drifts far from the mean 5003
  // (0.358 instead of 0.250); every deviation is 0.5, so 2500 / 9999.
  std::vector<float> fLevel(10000);
  for (size_t i = 0; i < fLevel.size(); ++i)
    fLevel[i] = 5002.5f + static_cast<float>(i % 2);
  EXPECT_EQ(static_cast<float>(2500.0 / 9999.0),
            variance(fLevel.data(), 10000));
}

TEST(StdDevStdErr, KnownAnswers) {
  const float fX[] = {1, 2, 3, 4, 5};
  Workbench bench;
  sgenrand(bench.stream.words, 7487);
  // Published, 3 decimals.
  EXPECT_NEAR(0.372f, stdDevStdErr(bench, fX, 5), 5e-4f);
  // 10000 resamples of 5: 50000 words.
  const uint32_t nNext = genrand(bench.stream.words);
  GenrandState s;
  sgenrand(s, 7487);
  for (int i = 0; i < 50000; ++i) genrand(s);
  EXPECT_EQ(genrand(s), nNext);
  const float fEqual[] = {4, 4, 4};  // every resample has SD 0
  EXPECT_EQ(0.0f, stdDevStdErr(bench, fEqual, 3));
}
