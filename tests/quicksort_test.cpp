#include "quicksort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

TEST(Quicksort, LeavesShortArraysInOrder) {
  float fA[] = {3.0f, 1.0f};
  quicksort(fA, 0);
  quicksort(fA, 1);
  EXPECT_EQ(3.0f, fA[0]);  // n = 0 and n = 1 touch nothing
  quicksort(fA, 2);
  EXPECT_EQ(1.0f, fA[0]);
  EXPECT_EQ(3.0f, fA[1]);
}

TEST(Quicksort, SortsAscendingAndKeepsTheValues) {
  // Ordered, reversed, all equal, mixed with duplicates, and the
  // bootstrap's shape: 10000 values with long runs of 999999 sentinels.
  std::vector<std::vector<float>> cases(5);
  unsigned int nState = 12345;
  for (int i = 0; i < 10000; ++i) {
    nState = 1103515245u * nState + 12345u;
    const bool bOut = nState % 3 == 0 || (i > 4000 && i < 6000);
    cases[4].push_back(bOut ? 999999.0f : static_cast<float>(nState >> 20));
    if (i >= 1000) continue;
    cases[0].push_back(static_cast<float>(i));
    cases[1].push_back(static_cast<float>(-i));
    cases[2].push_back(2.5f);
    cases[3].push_back(static_cast<float>(nState % 101) - 50.0f);
  }
  for (const std::vector<float>& input : cases) {
    std::vector<float> fSorted = input, fExpected = input;
    quicksort(fSorted.data(), static_cast<int>(fSorted.size()));
    std::sort(fExpected.begin(), fExpected.end());
    EXPECT_EQ(fExpected, fSorted);
  }
}

// The radix sort must leave the order quicksort leaves: negative, zero of
// both signs, tiny and huge values, and runs of sentinels.
TEST(RadixSort, GivesQuicksortsOrder) {
  std::mt19937 gen(3);
  std::vector<float> fScratch;
  for (int n : {0, 1, 2, 17, 10000}) {
    std::vector<float> a(static_cast<size_t>(n));
    for (float& f : a) {
      const unsigned k = static_cast<unsigned>(gen() % 6);
      f = k == 0   ? 999999.0f
          : k == 1 ? -0.0f
          : k == 2 ? 0.0f
          : k == 3 ? std::normal_distribution<float>(0, 1e-30f)(gen)
                   : std::normal_distribution<float>(0, 1e6f)(gen);
    }
    std::vector<float> b = a;
    quicksort(a.data(), n);
    fScratch.resize(static_cast<size_t>(n));
    radixSort(b.data(), n, fScratch.data());
    for (int i = 0; i < n; ++i) EXPECT_TRUE(a[i] == b[i]) << n << " " << i;
  }
}
