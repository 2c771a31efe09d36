#include "quicksort.h"

#include <cstdint>
#include <cstring>
#include <utility>

void quicksort(float* a, int n) {
  // Recurse into the shorter side and loop on the longer one, so the stack
  // stays logarithmic whatever the input; the partitions are the same.
  while (n > 1) {
    const float p = a[n / 2];
    int i = 0;
    int j = n - 1;
    for (;;) {
      while (a[i] < p) ++i;
      while (p < a[j]) --j;
      if (i >= j) break;
      const float t = a[i];
      a[i] = a[j];
      a[j] = t;
      ++i;
      --j;
    }
    if (i < n - i) {
      quicksort(a, i);
      a += i;
      n -= i;
    } else {
      quicksort(a + i, n - i);
      n = i;
    }
  }
}

namespace {

// Maps a float to an unsigned key of the same order: negative values have
// all bits flipped, others only the sign bit.
inline uint32_t sortKey(float f) {
  uint32_t nBits;
  std::memcpy(&nBits, &f, sizeof nBits);
  return nBits ^ ((nBits >> 31) != 0 ? 0xffffffffu : 0x80000000u);
}

}  // namespace

void radixSort(float* a, int n, float* pfScratch) {
  // Three stable passes of 11, 11 and 10 bits, least significant first.
  if (n <= 1) return;
  const size_t nN = static_cast<size_t>(n);
  float* pfFrom = a;
  float* pfTo = pfScratch;
  const int nShift[3] = {0, 11, 22};
  for (int pass = 0; pass < 3; ++pass) {
    size_t nCount[2048] = {};
    for (size_t i = 0; i < nN; ++i) {
      ++nCount[(sortKey(pfFrom[i]) >> nShift[pass]) & 2047u];
    }
    size_t nSum = 0;
    for (size_t& c : nCount) {
      const size_t nHere = c;
      c = nSum;
      nSum += nHere;
    }
    for (size_t i = 0; i < nN; ++i) {
      pfTo[nCount[(sortKey(pfFrom[i]) >> nShift[pass]) & 2047u]++] = pfFrom[i];
    }
    std::swap(pfFrom, pfTo);
  }
  // Three passes leave the result in the scratch array.
  std::memcpy(a, pfFrom, nN * sizeof(float));
}
