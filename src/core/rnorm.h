#ifndef KALMIR_RNORM_H_
#define KALMIR_RNORM_H_

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "mersenne.h"
#include "workspace.h"

// Normal deviates by the Marsaglia polar method on the words of genrand().
// Each accepted pair of uniforms yields two deviates: the first is returned,
// the second is kept in a one-deviate cache and returned by the next call.
// The generator and the cache together are the caller's random stream;
// reseeding the generator does not clear the cache.

// The polar method's cache.
struct RnormCache {
  int use_last = 0;  // nonzero: y2 holds a deviate not yet returned
  float y2 = 0.0f;
};

// The random stream of an analysis: the words and the cache, which
// together decide every later deviate.
struct RandomStream {
  GenrandState words;
  RnormCache cache;
};

// Returns m + s * (a standard normal deviate) from the stream. A cached
// deviate is scaled by the m and s of the call that returns it.
float rnorm(RandomStream& stream, float m, float s);

// The uniform in -1 ... 1 that rnorm forms from one generator word.
inline float rnormUniform(unsigned int nWord) {
  // The word is rounded to float first (24 significant bits), then scaled
  // in double and rounded once more when stored.
  return static_cast<float>(
      2.0 * (static_cast<double>(static_cast<float>(nWord)) / 4294967295.0) -
      1.0);
}

// The uniforms x1, x2 and the squared radius w of n attempts of the polar
// method, from 2n words: the floats rnorm forms, with a product by the
// reciprocal of 4294967295.0 in place of the division (a check of every
// word showed that both round to the same float). The kernels below with a
// SimdLevel give the same bits at every level the CPU has.
void rnormAttempts(const uint32_t* pnWords, float* pfX1, float* pfX2,
                   float* pfW, size_t n, SimdLevel simd);

// Whether the polar method accepts the attempt of the words nWord1, nWord2:
// the squared radius rnorm forms from them, rounded to float, is below 1.
inline bool rnormAccepts(uint32_t nWord1, uint32_t nWord2) {
  const float x1 = rnormUniform(nWord1);
  const float x2 = rnormUniform(nWord2);
  return static_cast<float>(static_cast<double>(x1) * x1 +
                            static_cast<double>(x2) * x2) < 1.0f;
}

// Counts the accepted attempts among the n attempts of 2n words, stopping
// at the attempt that makes nWanted; writes the attempts looked at to
// *pnLooked. The exact verdicts of rnormAccepts, found mostly from a cheap
// single-precision radius that is far from 1.
size_t rnormCountAccepted(const uint32_t* pnWords, size_t n, size_t nWanted,
                          size_t* pnLooked, SimdLevel simd);

// The polar method's scaling factor sqrt(-2 log w / w), rounded to float,
// for an accepted squared radius 0 < w < 1: the value rnorm stores.
inline float rnormFactor(float w) {
  return static_cast<float>(
      std::sqrt((-2.0 * std::log(static_cast<double>(w))) / w));
}

// The same factors for n values at once, with the bits of rnormFactor. The
// logarithm is a polynomial the compiler can vectorize; wherever its result
// could round to a different float than the C library's would (within a
// wide margin of a rounding boundary), rnormFactor itself is called.
void rnormFactors(const float* pfW, float* pfFactor, size_t n, SimdLevel simd);

// Standard normal deviates drawn in two steps, so that threads can form the
// deviates of consecutive stretches of one stream side by side: take()
// finds, in stream order, the words that the next n calls of rnorm(0, 1)
// would use, and leaves the stream (generator and cache) where those calls
// would; form() then turns those words into the same n deviates, on
// whichever thread runs it. Keeps its buffers between stretches.
class DeviateStretch {
 public:
  void take(RandomStream& stream, size_t n, SimdLevel simd);
  // Writes the n deviates of the last take() to pfOut.
  void form(float* pfOut, SimdLevel simd);

 private:
  Workspace<uint32_t> nWords_;
  size_t nWordsHeld_ = 0;
  size_t n_ = 0;
  bool bFromCache_ = false;  // the first deviate is the cached one
  float fFromCache_ = 0.0f;
};

#endif  // KALMIR_RNORM_H_
