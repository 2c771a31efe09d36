#ifndef KALMIR_MERSENNE_H_
#define KALMIR_MERSENNE_H_

#include <cstddef>
#include <cstdint>

#include "simd.h"

// The program's only source of randomness: an MT19937 generator of 32-bit
// words, seeded by the 1998 procedure (a 69069 congruential generator fills
// the 624 state words). The state is the caller's: every call names the
// one it draws from, and nothing else is kept. Each analysis owns one and
// reseeds it, so the same data give the same report whoever runs them;
// work shared among threads draws from it one thread at a time, in the
// order of the draws.

// A generator's whole state; a new one is unseeded.
struct GenrandState {
  uint32_t mt[624];
  int mti = 625;  // 625: never seeded; 624: the next draw regenerates
};

// Replaces the state from a 32-bit seed; the next draw regenerates it.
void sgenrand(GenrandState& state, uint32_t seed);
// Replaces the state by the 624 words given, unchanged.
void lsgenrand(GenrandState& state, const uint32_t* seed_array);
// Returns the next word, 0 ... 4294967295. Seeds the state with 4357 when
// it is drawn from before any seeding.
uint32_t genrand(GenrandState& state);

// Writes the next n words of the state's stream to pnOut, exactly as n
// calls of genrand() would, and leaves the generator where those calls
// would have left it. At SimdLevel::kAvx2 and above (a level the CPU has)
// eight words are twisted and tempered at once, with the same words.
void genrandBlock(GenrandState& state, uint32_t* pnOut, size_t n,
                  SimdLevel simd);

#endif  // KALMIR_MERSENNE_H_
