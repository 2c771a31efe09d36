#include "select.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

// The value at each rank must be the one the sorted, expanded multiset holds
// there, for sizes on both sides of the narrowing rounds, with ties, long
// runs of one value and a sentinel-like value of large weight.
TEST(WeightedSelect, FindsTheValuesASortWouldHoldAtEachRank) {
  std::mt19937 gen(99);
  WeightedSelect select;
  for (size_t n : {1, 2, 7, 31, 33, 200, 900, 5000, 20000}) {
    for (int nKind = 0; nKind < 3; ++nKind) {
      std::vector<float> v(n);
      std::vector<uint32_t> w(n);
      for (size_t i = 0; i < n; ++i) {
        v[i] = nKind == 0   ? std::normal_distribution<float>(0, 1)(gen)
               : nKind == 1 ? static_cast<float>(gen() % 5)
                            : (i % 3 == 0 ? 999999.0f : static_cast<float>(i));
        w[i] = 1 + gen() % 4;
      }
      std::vector<float> fSorted;
      for (size_t i = 0; i < n; ++i) fSorted.insert(fSorted.end(), w[i], v[i]);
      std::sort(fSorted.begin(), fSorted.end());
      if (fSorted.size() < 2) continue;
      for (size_t r : {size_t{0}, fSorted.size() / 3, fSorted.size() / 2,
                       fSorted.size() - 2}) {
        if (r + 1 >= fSorted.size()) continue;
        std::vector<float> vc = v;
        std::vector<uint32_t> wc = w;
        float fAt = 0, fNext = 0;
        select.ranks(vc.data(), wc.data(), n, r, &fAt, &fNext);
        EXPECT_EQ(fSorted[r], fAt) << n << " " << nKind << " " << r;
        EXPECT_EQ(fSorted[r + 1], fNext) << n << " " << nKind << " " << r;
      }
    }
  }
}
