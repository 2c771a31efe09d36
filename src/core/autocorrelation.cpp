#include "autocorrelation.h"

#include <cmath>
#include <cstddef>
#include <vector>

float autocorr(const float* x, int n, int p) {
  float sum1 = 0.0f;
  float sum2 = 0.0f;
  for (int i = 0; i < n; ++i) sum1 = x[i] + sum1;
  const float m = static_cast<float>(static_cast<double>(sum1) / n);
  const size_t nLag = n > 1 ? static_cast<size_t>(n - 1) : 0;
  std::vector<float> x1(nLag), x2(nLag);
  for (size_t i = 0; i < nLag; ++i) {
    x1[i] = x[i];
    x2[i] = x[i + 1];
  }
  sum1 = 0.0f;
  for (size_t i = 0; i < nLag; ++i) {
    sum1 = static_cast<float>(static_cast<double>(sum1) +
                              (static_cast<double>(x1[i]) - m) *
                                  (static_cast<double>(x2[i]) - m));
  }
  for (int i = 0; i < n; ++i) {
    sum2 = static_cast<float>(static_cast<double>(sum2) +
                              (static_cast<double>(x[i]) - m) *
                                  (static_cast<double>(x[i]) - m));
  }
  if (sum2 == 0.0f) return 0.0f;
  return static_cast<float>(static_cast<double>(sum1) / sum2 +
                            static_cast<double>(p) / n);
}

float autocorrStdErr(float /*r1*/, int nN) {
  const float n = static_cast<float>(nN);
  const double dN = n;
  return static_cast<float>(
      std::sqrt(((dN - 2.0) * (dN - 2.0)) / ((dN - 1.0) * dN * dN)));
}
