#include "prob.h"

#include <cmath>

float erfcc(double xIn) {
  const float x = static_cast<float>(xIn);
  const float z = std::fabs(x);
  const float t = static_cast<float>(1.0 / (1.0 + 0.5 * z));
  const double dT = t;
  const double e =
      -static_cast<double>(z) * z - 1.26551223 +
      dT * (1.00002368 +
            dT * (0.37409196 +
                  dT * (0.09678418 +
                        dT * (-0.18628806 +
                              dT * (0.27886807 +
                                    dT * (-1.13520398 +
                                          dT * (1.48851587 +
                                                dT * (-0.82215223 +
                                                      dT * 0.17087277))))))));
  const float ans = static_cast<float>(dT * std::exp(e));
  return x >= 0.0f ? ans : static_cast<float>(2.0 - ans);
}
