#include "median.h"

#include <vector>

#include "quicksort.h"

float medianOfSorted(const float* pfSorted, int nN) {
  if (nN % 2 == 1) return pfSorted[(nN - 1) / 2];
  return static_cast<float>(
      (static_cast<double>(pfSorted[nN / 2 - 1]) + pfSorted[nN / 2]) / 2.0);
}

float median(const float* pfX, int nN) {
  std::vector<float> arr(pfX, pfX + nN);
  quicksort(arr.data(), nN);
  return medianOfSorted(arr.data(), nN);
}
