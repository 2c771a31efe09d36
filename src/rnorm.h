#ifndef KALMIR_RNORM_H_
#define KALMIR_RNORM_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mersenne.h"

// Normal deviates by the Marsaglia polar method on the words of genrand().
// Each accepted pair of uniforms yields two deviates: the first is returned,
// the second is kept in a one-deviate cache (per thread, like the generator) and
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

// The uniforms x1, x2 and the squared radius w of n attempts of the polar
// method, from 2n words: the floats rnorm forms, without its division by
// 4294967295.0 except where a product with the reciprocal could round
// differently.
void rnormAttempts(const uint32_t* pnWords, float* pfX1, float* pfX2,
                   float* pfW, size_t n);

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
void rnormFactors(const float* pfW, float* pfFactor, size_t n);

// Draws standard normal deviates in bulk: exactly the values, generator
// words and cache state that the same number of rnorm(0, 1) calls would
// give, with the work shared among the analysis threads. Keeps its scratch
// between calls.
class NormalBlock {
 public:
  NormalBlock() = default;
  ~NormalBlock();
  NormalBlock(const NormalBlock&) = delete;
  NormalBlock& operator=(const NormalBlock&) = delete;

  // Writes the next n deviates of the stream to pfOut. When nNext > 0 the
  // next call will ask for nNext deviates, and its words are drawn ahead
  // while this call's work runs; a call of another size, or the
  // destructor, gives them back.
  void draw(float* pfOut, size_t n, size_t nNext = 0);
  // The same deviates, laid out for simulating cases side by side: the
  // deviates come in cases of nPerCase, case c goes to lane c % nLanes of
  // block c / nLanes, and deviate o of a case to
  // pfOut[(block * nPerCase + o) * nLanes + lane].
  void drawLanes(float* pfOut, size_t nPerCase, size_t nLanes, size_t n,
                 size_t nNext = 0);

 private:
  void drawTo(float* pfOut, size_t nPerCase, size_t nLanes, size_t n,
              size_t nNext);

  struct Piece {
    size_t nAt;         // where the piece's attempts lie in the arrays
    size_t nFirstPair;  // the piece's first pair in the call's stream
    size_t nCount;
  };
  std::vector<uint32_t> nWords_, nWordsNext_;
  std::vector<float> fX1_, fX2_, fW_;
  std::vector<uint32_t> nTry_;
  std::vector<size_t> nAccepted_;
  std::vector<Piece> pieces_;
  std::vector<std::vector<float>> fPieceOut_;  // per thread: a piece's deviates
  GenrandState prefetchStart_{};
  size_t nPrefetchTries_ = 0;
  bool bPrefetched_ = false;
};

#endif  // KALMIR_RNORM_H_
