#include "simulation.h"

#include <cmath>

#include "rnorm.h"
#include "variance.h"

namespace {

// Deviates straight from the random stream.
struct StreamDeviates {
  float operator()() { return rnorm(0.0f, 1.0f); }
};

// Deviates drawn earlier, consumed in order. rnorm(0, 1) returns
// 0 + z * 1 rounded to float, which is z itself, so the stored deviates are
// exactly what the stream would deliver.
struct StoredDeviates {
  const float* pfZ;
  float operator()() { return *pfZ++; }
};

template <class Deviates>
void autocorrNoise(Deviates& next, float r1, int n, float* y, float* e) {
  e[0] = next();
  for (int i = 1; i < n + kSimBurnIn; ++i) {
    // Product and sum in single precision, as the recursion is defined.
    const float fCarry = r1 * e[i - 1];
    e[i] = fCarry + next();
  }
  float* eKept = e + kSimBurnIn;
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum = sum + eKept[i];
  const float mean = static_cast<float>(static_cast<double>(sum) / n);
  const float sd =
      static_cast<float>(std::sqrt(static_cast<double>(variance(eKept, n))));
  for (int i = 0; i < n; ++i) {
    eKept[i] = static_cast<float>((static_cast<double>(eKept[i]) - mean) / sd);
    y[i] = eKept[i];
  }
}

template <class Deviates>
float phaseMean(Deviates& next, int n, const float* t, float intercept,
                float intSE, float slope, float slopeSE, float SD, float SDSE,
                float r1, float r1SE, SimScratch& scratch) {
  float sum = 0.0f;
  const float z1 = next();
  const float z2 = next();
  const float z3 = next();
  const float z4 = next();
  const float simInt = static_cast<float>(
      static_cast<double>(intercept) + static_cast<double>(intSE) * z1 +
      std::sqrt(static_cast<double>(n)) * slopeSE * z2);
  // The same z1 moves the slope the opposite way.
  const float simSlope =
      static_cast<float>(static_cast<double>(slope) -
                         static_cast<double>(slopeSE) * z1);
  const float simSD = static_cast<float>(static_cast<double>(SD) +
                                         static_cast<double>(SDSE) * z3);
  float simR1 = static_cast<float>(static_cast<double>(r1) +
                                   static_cast<double>(r1SE) * z4);
  if (simR1 > 1.0f) simR1 = 1.0f;
  if (simR1 < -1.0f) simR1 = -1.0f;
  float* y = scratch.temp.data();
  autocorrNoise(next, simR1, n, y, scratch.e.data());
  for (int i = 0; i < n; ++i) {
    y[i] = static_cast<float>(static_cast<double>(t[i]) * simSlope + simInt +
                              static_cast<double>(y[i]) * simSD);
    sum = sum + y[i];
  }
  return static_cast<float>(static_cast<double>(sum) / n);
}

}  // namespace

SimScratch::SimScratch(int n)
    : e(static_cast<size_t>(n + kSimBurnIn)), temp(static_cast<size_t>(n)) {}

void simAutocorr(float r1, int n, float* y) {
  std::vector<float> e(static_cast<size_t>(n + kSimBurnIn));
  StreamDeviates next;
  autocorrNoise(next, r1, n, y, e.data());
}

float simTimeSeriesMean(int n, const float* t, float intercept, float intSE,
                        float slope, float slopeSE, float SD, float SDSE,
                        float r1, float r1SE, SimScratch& scratch) {
  StreamDeviates next;
  return phaseMean(next, n, t, intercept, intSE, slope, slopeSE, SD, SDSE, r1,
                   r1SE, scratch);
}

float simTimeSeriesMean(int n, const float* t, float intercept, float intSE,
                        float slope, float slopeSE, float SD, float SDSE,
                        float r1, float r1SE) {
  SimScratch scratch(n);
  return simTimeSeriesMean(n, t, intercept, intSE, slope, slopeSE, SD, SDSE,
                           r1, r1SE, scratch);
}

float simTimeSeriesMeanFrom(const float* pfZ, int n, const float* t,
                            float intercept, float intSE, float slope,
                            float slopeSE, float SD, float SDSE, float r1,
                            float r1SE, SimScratch& scratch) {
  StoredDeviates next{pfZ};
  return phaseMean(next, n, t, intercept, intSE, slope, slopeSE, SD, SDSE, r1,
                   r1SE, scratch);
}
