#include "variance.h"

#include <cmath>
#include <vector>

#include "mersenne.h"

namespace {
// Resamples of the standard-deviation bootstrap.
const int nBootSamples = 10000;
}  // namespace

float varianceSingle(const float* x, int n) {
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum = sum + x[i];
  const float mean = static_cast<float>(static_cast<double>(sum) / n);
  sum = 0.0f;
  for (int i = 0; i < n; ++i) {
    const float z = x[i] - mean;
    // z * z is exact in double; the sum is rounded after every addition.
    sum = static_cast<float>(static_cast<double>(sum) +
                             static_cast<double>(z) * z);
  }
  return static_cast<float>(static_cast<double>(sum) / (n - 1));
}

float varianceDouble(const float* x, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += x[i];
  const double mean = sum / n;
  double ss = 0.0;
  for (int i = 0; i < n; ++i) {
    const double z = x[i] - mean;
    ss += z * z;
  }
  return static_cast<float>(ss / (n - 1));
}

float varianceGuarded(float fSingle, float fDouble) {
  if (fDouble == 0.0f) return fSingle == 0.0f ? fSingle : fDouble;
  const double sdSingle = std::sqrt(static_cast<double>(fSingle));
  const double sdDouble = std::sqrt(static_cast<double>(fDouble));
  if (std::fabs(sdSingle - sdDouble) > 0.01 * sdDouble) return fDouble;
  return fSingle;
}

float variance(const float* x, int n) {
  return varianceGuarded(varianceSingle(x, n), varianceDouble(x, n));
}

float stdDevStdErr(const float* x, int n) {
  std::vector<float> fBootX(static_cast<size_t>(n));
  std::vector<float> fBootSD(nBootSamples);
  const uint32_t nMod = static_cast<uint32_t>(n);
  for (int b = 0; b < nBootSamples; ++b) {
    for (int j = 0; j < n; ++j) fBootX[j] = x[genrand() % nMod];
    fBootSD[b] = static_cast<float>(
        std::sqrt(static_cast<double>(variance(fBootX.data(), n))));
  }
  return static_cast<float>(
      std::sqrt(static_cast<double>(variance(fBootSD.data(), nBootSamples))));
}
