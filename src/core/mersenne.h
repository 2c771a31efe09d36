#ifndef KALMIR_MERSENNE_H_
#define KALMIR_MERSENNE_H_

#include <cstddef>
#include <cstdint>

// The program's only source of randomness: an MT19937 generator of 32-bit
// words, seeded by the 1998 procedure (a 69069 congruential generator fills
// the 624 state words). Each thread has its own state, which lives as long
// as the thread; every analysis reseeds it, so the same data give the same
// report on whichever thread they run.

// Replaces the state from a 32-bit seed; the next draw regenerates it.
void sgenrand(uint32_t seed);
// Replaces the state by the 624 words given, unchanged.
void lsgenrand(const uint32_t* seed_array);
// Returns the next word, 0 ... 4294967295. Seeds itself with 4357 when it is
// called before any seeding.
uint32_t genrand();

// A generator's whole state.
struct GenrandState {
  uint32_t mt[624];
  int mti;  // 625: never seeded; 624: the next draw regenerates
};
// The calling thread's state, the one genrand() draws from. Work shared
// among threads draws from the analysis thread's state through this
// reference, one thread at a time and in the order of the draws.
GenrandState& genrandStream();

// Writes the next n words of the calling thread's stream to pnOut, exactly
// as n calls of genrand() would, and leaves the generator where those calls
// would have left it.
void genrandBlock(uint32_t* pnOut, size_t n);
// The same for the given state.
void genrandBlock(GenrandState& state, uint32_t* pnOut, size_t n);
// Whether genrandBlock uses the 8-lane AVX2 code; it gives the scalar
// code's words, and tests can turn it off to compare the two.
bool genrandVectorized();
void setGenrandVectorized(bool bOn);

#endif  // KALMIR_MERSENNE_H_
