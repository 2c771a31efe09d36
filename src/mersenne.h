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
// Writes the next n words to pnOut, exactly as n calls of genrand() would,
// and leaves the generator where those calls would have left it.
void genrandBlock(uint32_t* pnOut, size_t n);

// The whole state, for drawing words ahead of need and giving back what was
// not used.
struct GenrandState {
  uint32_t mt[624];
  int mti;
};
GenrandState genrandState();
void setGenrandState(const GenrandState& state);

// After genrandBlock(pnWords, nDrawn) was called from the state start,
// puts the generator where it would stand had only the first nKeep <= nDrawn
// of those words been drawn. The tempering is invertible, so the state
// words of any block of 624 drawn in full are rebuilt from the words.
void genrandGiveBack(const GenrandState& start, const uint32_t* pnWords,
                     size_t nDrawn, size_t nKeep);

#endif  // KALMIR_MERSENNE_H_
