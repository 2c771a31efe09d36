#include "prob.h"

#include <gtest/gtest.h>

TEST(Erfcc, MatchesTheTable) {
  EXPECT_EQ(1.0f, erfcc(0.0));
  // erfc tables, published to seven decimals.
  EXPECT_NEAR(0.4795001f, erfcc(0.5), 5e-8f);
  EXPECT_NEAR(0.1572992f, erfcc(1.0), 5e-8f);
  EXPECT_NEAR(0.0046777f, erfcc(2.0), 5e-8f);
  EXPECT_NEAR(0.0000221f, erfcc(3.0), 5e-8f);
  // 2 - erfc(1); floats near 1.84 lie 1.2e-7 apart.
  EXPECT_NEAR(1.8427007f, erfcc(-1.0), 1.2e-7f);
  // The two-sided 5% point of the normal, 1.959964 (tables).
  EXPECT_NEAR(0.05f, erfcc(1.959964 / 1.4142136), 1e-6f);
}
