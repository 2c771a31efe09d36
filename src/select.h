#ifndef KALMIR_SELECT_H_
#define KALMIR_SELECT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// Order statistics of a weighted multiset of floats (value v[i] counted
// w[i] times) without sorting it. The values found are exactly those a full
// ascending sort would hold at the ranks asked for, so medians computed
// from them carry the same bits as medians of the sorted array. The values
// must be ordered (no NaN). Scratch storage is kept between calls so that a
// bootstrap's fits allocate nothing once it has grown.

class WeightedSelect {
 public:
  // Reserves room for n entries.
  explicit WeightedSelect(size_t n = 0);

  // The values at 0-based ranks nRank and nRank + 1 of the multiset (the
  // second only when pfNext is given; nRank + 1 must then exist). v and w
  // are reordered, not changed.
  void ranks(float* v, uint32_t* w, size_t n, uint64_t nRank, float* pfAt,
             float* pfNext);

  // The median of the multiset, averaged from the two middle values in
  // double and rounded once when the total weight is even.
  float median(float* v, uint32_t* w, size_t n, uint64_t nTotal);

 private:
  // Two pairs of scratch arrays: each narrowing round copies the entries it
  // keeps from one pair into the other, so a round that misses the ranks
  // leaves its input whole.
  std::vector<float> fCandV_, fCandV2_;
  std::vector<uint32_t> nCandW_, nCandW2_;
  std::vector<float> fSample_;
};

#endif  // KALMIR_SELECT_H_
