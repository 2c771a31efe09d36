#include "autocorrelation.h"

#include <gtest/gtest.h>

TEST(Autocorr, HandWorkedSeries) {
  const float fAlt4[] = {1, -1, 1, -1};
  const float fRamp[] = {1, 2, 3, 4};
  const float fAlt8[] = {1, -1, 1, -1, 1, -1, 1, -1};
  EXPECT_EQ(0.25f, autocorr(fAlt4, 4, 4));    // -3/4 + 4/4
  EXPECT_EQ(1.25f, autocorr(fRamp, 4, 4));    // 1.25/5 + 1, not clamped
  EXPECT_EQ(-0.375f, autocorr(fAlt8, 8, 4));  // -7/8 + 4/8
  // No spread: 0 without the correction.
  const float fZeros[] = {0, 0, 0, 0};
  const float fTwos[] = {2, 2, 2};
  EXPECT_EQ(0.0f, autocorr(fZeros, 4, 4));
  EXPECT_EQ(0.0f, autocorr(fTwos, 3, 4));
  EXPECT_EQ(0.0f, autocorr(fTwos, 1, 4));
  // NIST StRD NumAcc1: certified lag-1 autocorrelation -0.5.
  const float fNumAcc1[] = {10000001, 10000003, 10000002};
  EXPECT_EQ(-0.5f, autocorr(fNumAcc1, 3, 0));
}

TEST(AutocorrStdErr, DependsOnTheLengthAlone) {
  // (n - 2) / (n sqrt(n - 1)), hand computation to seven decimals.
  EXPECT_EQ(0.0f, autocorrStdErr(0.5f, 2));
  EXPECT_NEAR(0.2357023f, autocorrStdErr(0.5f, 3), 5e-8f);
  EXPECT_NEAR(0.2886751f, autocorrStdErr(0.5f, 4), 5e-8f);
  EXPECT_NEAR(0.2981424f, autocorrStdErr(0.5f, 6), 5e-8f);
  EXPECT_NEAR(0.2666667f, autocorrStdErr(0.5f, 10), 5e-8f);
  EXPECT_NEAR(0.2064742f, autocorrStdErr(0.5f, 20), 5e-8f);
  EXPECT_EQ(autocorrStdErr(0.5f, 20), autocorrStdErr(-0.9f, 20));
}
