#include "residuals.h"

#include <gtest/gtest.h>

TEST(RegressionResiduals, FollowsBothPhaseLines) {
  // Hand computation: A line 0 + 1t, B line 8 + 2t on the B axis, so b2 =
  // (8 + 2) - (4 * 1 + 0) = 6, b3 = 1 and the fitted values are 1, 2, 3,
  // 10, 12, 14.
  const float fTA[] = {1, 2, 3};
  const float fYA[] = {1, 2, 3};
  const float fTB[] = {4, 5, 6};
  const float fYB[] = {11, 12, 13};
  float fEA[3], fEB[3];
  regressionResiduals(fTA, fYA, fTB, fYB, 3, 3, 0.0f, 1.0f, 8.0f, 2.0f, fEA,
                      fEB);
  EXPECT_EQ(0.0f, fEA[0]);
  EXPECT_EQ(0.0f, fEA[1]);
  EXPECT_EQ(0.0f, fEA[2]);
  EXPECT_EQ(1.0f, fEB[0]);
  EXPECT_EQ(0.0f, fEB[1]);
  EXPECT_EQ(-1.0f, fEB[2]);
}
