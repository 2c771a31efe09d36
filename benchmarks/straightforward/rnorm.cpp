#include "rnorm.h"

#include <cmath>

#include "mersenne.h"

namespace {
int use_last = 0;
float y2 = 0.0f;
}  // namespace

float rnorm(float m, float s) {
  float y1;
  if (use_last) {
    y1 = y2;
    use_last = 0;
  } else {
    float x1, x2, w;
    do {
      x1 = rnormUniform(genrand());
      x2 = rnormUniform(genrand());
      // Both squares are exact in double; only their sum is rounded.
      w = static_cast<float>(static_cast<double>(x1) * x1 +
                             static_cast<double>(x2) * x2);
    } while (w >= 1.0f);
    w = static_cast<float>(
        std::sqrt((-2.0 * std::log(static_cast<double>(w))) / w));
    y1 = x1 * w;
    y2 = x2 * w;
    use_last = 1;
  }
  return static_cast<float>(static_cast<double>(m) +
                            static_cast<double>(y1) * s);
}

RnormCache rnormCache() { return RnormCache{use_last, y2}; }

void setRnormCache(RnormCache cache) {
  use_last = cache.use_last;
  y2 = cache.y2;
}
