#include "median.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Median, TakesTheMiddleValueOrTheMeanOfTheTwo) {
  // Hand computation; the caller's order survives.
  const std::vector<float> fOdd = {3, 1, 2}, fEven = {4, 1, 3, 2};
  std::vector<float> fOddCopy = fOdd, fEvenCopy = fEven;
  EXPECT_EQ(2.0f, median(fOddCopy.data(), 3));
  EXPECT_EQ(2.5f, median(fEvenCopy.data(), 4));
  EXPECT_EQ(fOdd, fOddCopy);
  EXPECT_EQ(fEven, fEvenCopy);
  const float fOne = 7.25f;
  EXPECT_EQ(7.25f, median(&fOne, 1));
  // The middle two are added in double: in float 2.5 * 2^127 overflows.
  const float fHuge[] = {0x1.8p127f, 0x1p127f};
  EXPECT_EQ(0x1.4p127f, median(fHuge, 2));
}
