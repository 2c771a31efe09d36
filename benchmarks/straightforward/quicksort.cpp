#include "quicksort.h"

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
