#include "residuals.h"

#include <cstddef>
#include <vector>

void regressionResiduals(const float* pfTA, const float* pfYA,
                         const float* pfTB, const float* pfYB, int nNA, int nNB,
                         float intA, float slopeA, float intB, float slopeB,
                         float* pfEA, float* pfEB) {
  const size_t nN = static_cast<size_t>(nNA) + static_cast<size_t>(nNB);
  std::vector<float> t(nN), y(nN), d(nN), sc(nN), yhat(nN);
  for (int i = 0; i < nNA; ++i) {
    t[i] = pfTA[i];
    y[i] = pfYA[i];
    d[i] = 0.0f;
    sc[i] = 0.0f;
  }
  for (int i = 0; i < nNB; ++i) {
    const size_t k = static_cast<size_t>(nNA) + i;
    t[k] = pfTB[i];
    y[k] = pfYB[i];
    d[k] = 1.0f;
    // The origin of the slope change is formed from the count, not read
    // from pfTB.
    sc[k] = static_cast<float>(
        (static_cast<double>(t[k]) - static_cast<double>(nNA + 1)) * d[k]);
  }
  const float b0 = intA;
  const float b1 = slopeA;
  const float b2 =
      static_cast<float>((static_cast<double>(intB) + slopeB) -
                         (static_cast<double>(pfTB[0]) * slopeA + intA));
  const float b3 = static_cast<float>(static_cast<double>(slopeB) - slopeA);
  for (size_t k = 0; k < nN; ++k) {
    // Left to right in double, rounded once: the float results are those of
    // the four-coefficient form, not of its algebraic simplification.
    yhat[k] = static_cast<float>(static_cast<double>(t[k]) * b1 + b0 +
                                 static_cast<double>(d[k]) * b2 +
                                 static_cast<double>(sc[k]) * b3);
  }
  for (int i = 0; i < nNA; ++i) pfEA[i] = y[i] - yhat[i];
  for (int i = 0; i < nNB; ++i) {
    const size_t k = static_cast<size_t>(nNA) + i;
    pfEB[i] = y[k] - yhat[k];
  }
}
