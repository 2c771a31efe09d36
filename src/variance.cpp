#include "variance.h"

#include <cmath>
#include <vector>

#include "mersenne.h"
#include "parallel.h"

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

std::vector<uint32_t> bootstrapIndices(int n, int nBootSamples) {
  std::vector<uint32_t> nIndex(static_cast<size_t>(n) *
                               static_cast<size_t>(nBootSamples));
  genrandBlock(nIndex.data(), nIndex.size());
  // w % n favours small indices slightly when n is not a power of two; the
  // resample order decides every later number, so it stays as it is.
  const uint32_t nMod = static_cast<uint32_t>(n);
  for (uint32_t& k : nIndex) k %= nMod;
  return nIndex;
}

float stdDevStdErr(const float* x, int n, int nBootSamples) {
  const size_t nPoints = static_cast<size_t>(n);
  const std::vector<uint32_t> nIndex = bootstrapIndices(n, nBootSamples);
  std::vector<float> fBootSD(static_cast<size_t>(nBootSamples));
  analysisTeam().run(fBootSD.size(), [&](size_t nBegin, size_t nEnd, int) {
    std::vector<float> fBootX(nPoints);
    for (size_t b = nBegin; b < nEnd; ++b) {
      const uint32_t* pnIndex = &nIndex[b * nPoints];
      for (size_t j = 0; j < nPoints; ++j) fBootX[j] = x[pnIndex[j]];
      fBootSD[b] = static_cast<float>(
          std::sqrt(static_cast<double>(variance(fBootX.data(), n))));
    }
  });
  return static_cast<float>(
      std::sqrt(static_cast<double>(variance(fBootSD.data(), nBootSamples))));
}
