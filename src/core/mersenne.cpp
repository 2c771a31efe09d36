#include "mersenne.h"

#ifdef KALMIR_HAVE_AVX2
#include <immintrin.h>
#endif

namespace {

const int N = 624;
const int M = 397;
const uint32_t UPPER_MASK = 0x80000000u;
const uint32_t LOWER_MASK = 0x7fffffffu;
const uint32_t MATRIX_A = 0x9908b0dfu;
const uint32_t mag01[2] = {0x0u, MATRIX_A};

void seedState(GenrandState& s, uint32_t seed) {
  for (int i = 0; i < N; ++i) {
    s.mt[i] = seed & 0xffff0000u;
    seed = 69069u * seed + 1u;
    s.mt[i] |= (seed & 0xffff0000u) >> 16;
    seed = 69069u * seed + 1u;
  }
  s.mti = N;
}

inline uint32_t twist(uint32_t nUpper, uint32_t nLower, uint32_t nFar) {
  const uint32_t y = (nUpper & UPPER_MASK) | (nLower & LOWER_MASK);
  return nFar ^ (y >> 1) ^ mag01[y & 0x1u];
}

// Regenerates all 624 words in place, in increasing index order: the
// words from 227 on combine with words already regenerated in this pass.
void regenerateScalar(uint32_t* mt) {
  int kk = 0;
  for (; kk < N - M; ++kk) mt[kk] = twist(mt[kk], mt[kk + 1], mt[kk + M]);
  for (; kk < N - 1; ++kk) {
    mt[kk] = twist(mt[kk], mt[kk + 1], mt[kk + (M - N)]);
  }
  mt[N - 1] = twist(mt[N - 1], mt[0], mt[M - 1]);
}

inline uint32_t temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

void temperScalar(const uint32_t* pnState, uint32_t* pnOut, size_t n) {
  for (size_t i = 0; i < n; ++i) pnOut[i] = temper(pnState[i]);
}

#ifdef KALMIR_HAVE_AVX2

// Eight words of the twist at once. Each vector reads only words that the
// scalar order has not yet changed (kk + 1, and kk + 397 below 227) or has
// already changed (kk - 227 from 227 on, at least 227 places back), so
// eight consecutive words may be formed together wherever they all lie on
// one side of 227; the words around that boundary and the last word are
// formed one at a time.
KALMIR_TARGET_AVX2 inline __m256i twist8(__m256i vUpper, __m256i vLower,
                                         __m256i vFar) {
  const __m256i y = _mm256_or_si256(
      _mm256_and_si256(vUpper, _mm256_set1_epi32(static_cast<int>(UPPER_MASK))),
      _mm256_and_si256(vLower,
                       _mm256_set1_epi32(static_cast<int>(LOWER_MASK))));
  // All ones where the low bit is set: the twist matrix's term, branch-free.
  const __m256i vOdd = _mm256_sub_epi32(
      _mm256_setzero_si256(), _mm256_and_si256(y, _mm256_set1_epi32(1)));
  const __m256i vMag =
      _mm256_and_si256(vOdd, _mm256_set1_epi32(static_cast<int>(MATRIX_A)));
  return _mm256_xor_si256(_mm256_xor_si256(vFar, _mm256_srli_epi32(y, 1)),
                          vMag);
}

KALMIR_TARGET_AVX2 inline __m256i load8(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

KALMIR_TARGET_AVX2 void regenerateAvx2(uint32_t* mt) {
  int kk = 0;
  for (; kk + 8 <= N - M; kk += 8) {
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(mt + kk),
        twist8(load8(mt + kk), load8(mt + kk + 1), load8(mt + kk + M)));
  }
  for (; kk < N - M; ++kk) mt[kk] = twist(mt[kk], mt[kk + 1], mt[kk + M]);
  for (; kk + 8 <= N - 1; kk += 8) {
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(mt + kk),
        twist8(load8(mt + kk), load8(mt + kk + 1), load8(mt + kk + (M - N))));
  }
  for (; kk < N - 1; ++kk) {
    mt[kk] = twist(mt[kk], mt[kk + 1], mt[kk + (M - N)]);
  }
  mt[N - 1] = twist(mt[N - 1], mt[0], mt[M - 1]);
}

KALMIR_TARGET_AVX2 void temperAvx2(const uint32_t* pnState, uint32_t* pnOut,
                                   size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256i y = load8(pnState + i);
    y = _mm256_xor_si256(y, _mm256_srli_epi32(y, 11));
    y = _mm256_xor_si256(
        y, _mm256_and_si256(_mm256_slli_epi32(y, 7),
                            _mm256_set1_epi32(static_cast<int>(0x9d2c5680u))));
    y = _mm256_xor_si256(
        y, _mm256_and_si256(_mm256_slli_epi32(y, 15),
                            _mm256_set1_epi32(static_cast<int>(0xefc60000u))));
    y = _mm256_xor_si256(y, _mm256_srli_epi32(y, 18));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pnOut + i), y);
  }
  temperScalar(pnState + i, pnOut + i, n - i);
}

#endif

void regenerate(GenrandState& s, SimdLevel simd) {
  if (s.mti == N + 1) seedState(s, 4357u);
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) {
    regenerateAvx2(s.mt);
    s.mti = 0;
    return;
  }
#endif
  (void)simd;
  regenerateScalar(s.mt);
  s.mti = 0;
}

void temperRun(const uint32_t* pnState, uint32_t* pnOut, size_t n,
               SimdLevel simd) {
#ifdef KALMIR_HAVE_AVX2
  if (useAvx2(simd)) {
    temperAvx2(pnState, pnOut, n);
    return;
  }
#endif
  (void)simd;
  temperScalar(pnState, pnOut, n);
}

}  // namespace

void sgenrand(GenrandState& s, uint32_t seed) { seedState(s, seed); }

void lsgenrand(GenrandState& s, const uint32_t* seed_array) {
  for (int i = 0; i < N; ++i) s.mt[i] = seed_array[i];
  s.mti = N;
}

uint32_t genrand(GenrandState& s) {
  // One word at a time takes the scalar regeneration: genrand is the
  // reference the vector code is checked against.
  if (s.mti >= N) {
    if (s.mti == N + 1) seedState(s, 4357u);
    regenerateScalar(s.mt);
    s.mti = 0;
  }
  return temper(s.mt[s.mti++]);
}

namespace {

// Draws the words left in the current block of 624, at most nMax,
// regenerating the block first when none are left.
size_t genrandRun(GenrandState& s, uint32_t* pnOut, size_t nMax,
                  SimdLevel simd) {
  if (nMax == 0) return 0;
  if (s.mti >= N) regenerate(s, simd);
  size_t nRun = static_cast<size_t>(N - s.mti);
  if (nRun > nMax) nRun = nMax;
  temperRun(s.mt + s.mti, pnOut, nRun, simd);
  s.mti += static_cast<int>(nRun);
  return nRun;
}

}  // namespace

void genrandBlock(GenrandState& s, uint32_t* pnOut, size_t n, SimdLevel simd) {
  while (n > 0) {
    const size_t nRun = genrandRun(s, pnOut, n, simd);
    pnOut += nRun;
    n -= nRun;
  }
}
