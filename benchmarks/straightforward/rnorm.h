#ifndef KALMIR_RNORM_H_
#define KALMIR_RNORM_H_

// Normal deviates by the Marsaglia polar method on the words of genrand().
// Each accepted pair of uniforms yields two deviates: the first is returned,
// the second is kept in a one-deviate cache (a process-wide static) and
// returned by the next call. Reseeding the generator does not clear it.

// Returns m + s * (a standard normal deviate). A cached deviate is scaled by
// the m and s of the call that returns it.
float rnorm(float m, float s);

// The cache, for callers that draw deviates in bulk and must hand the
// stream back exactly as rnorm() would have left it.
struct RnormCache {
  int use_last;  // nonzero: y2 holds a deviate not yet returned
  float y2;
};
RnormCache rnormCache();
void setRnormCache(RnormCache cache);

// The uniform in -1 ... 1 that rnorm forms from one generator word.
inline float rnormUniform(unsigned int nWord) {
  // The word is rounded to float first (24 significant bits), then scaled
  // in double and rounded once more when stored.
  return static_cast<float>(
      2.0 * (static_cast<double>(static_cast<float>(nWord)) / 4294967295.0) -
      1.0);
}

#endif  // KALMIR_RNORM_H_
