#include "mersenne.h"

namespace {

const int N = 624;
const int M = 397;
const uint32_t UPPER_MASK = 0x80000000u;
const uint32_t LOWER_MASK = 0x7fffffffu;
const uint32_t mag01[2] = {0x0u, 0x9908b0dfu};

uint32_t mt[N];
// 625 means never seeded; 624 means the next draw regenerates the state.
int mti = N + 1;

void seedState(uint32_t seed) {
  for (int i = 0; i < N; ++i) {
    mt[i] = seed & 0xffff0000u;
    seed = 69069u * seed + 1u;
    mt[i] |= (seed & 0xffff0000u) >> 16;
    seed = 69069u * seed + 1u;
  }
  mti = N;
}

// Regenerates all 624 words in place, in increasing index order.
void regenerate() {
  if (mti == N + 1) seedState(4357u);
  int kk = 0;
  uint32_t y;
  for (; kk < N - M; ++kk) {
    y = (mt[kk] & UPPER_MASK) | (mt[kk + 1] & LOWER_MASK);
    mt[kk] = mt[kk + M] ^ (y >> 1) ^ mag01[y & 0x1u];
  }
  for (; kk < N - 1; ++kk) {
    y = (mt[kk] & UPPER_MASK) | (mt[kk + 1] & LOWER_MASK);
    mt[kk] = mt[kk + (M - N)] ^ (y >> 1) ^ mag01[y & 0x1u];
  }
  y = (mt[N - 1] & UPPER_MASK) | (mt[0] & LOWER_MASK);
  mt[N - 1] = mt[M - 1] ^ (y >> 1) ^ mag01[y & 0x1u];
  mti = 0;
}

inline uint32_t temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace

void sgenrand(uint32_t seed) { seedState(seed); }

void lsgenrand(const uint32_t* seed_array) {
  for (int i = 0; i < N; ++i) mt[i] = seed_array[i];
  mti = N;
}

uint32_t genrand() {
  if (mti >= N) regenerate();
  return temper(mt[mti++]);
}

void genrandBlock(uint32_t* pnOut, size_t n) {
  // The same words as n calls of genrand(), with the tempering of a whole
  // run of state words in one loop the compiler can vectorize.
  while (n > 0) {
    if (mti >= N) regenerate();
    size_t nRun = static_cast<size_t>(N - mti);
    if (nRun > n) nRun = n;
    const uint32_t* pnState = mt + mti;
    for (size_t i = 0; i < nRun; ++i) pnOut[i] = temper(pnState[i]);
    mti += static_cast<int>(nRun);
    pnOut += nRun;
    n -= nRun;
  }
}
