#ifndef KALMIR_MERSENNE_H_
#define KALMIR_MERSENNE_H_

#include <cstddef>
#include <cstdint>

// The program's only source of randomness: one process-wide MT19937 generator
// of 32-bit words, seeded by the 1998 procedure (a 69069 congruential
// generator fills the 624 state words). The state lives as long as the
// process; every analysis reseeds it, so the same data give the same report.

// Replaces the state from a 32-bit seed; the next draw regenerates it.
void sgenrand(uint32_t seed);
// Replaces the state by the 624 words given, unchanged.
void lsgenrand(const uint32_t* seed_array);
// Returns the next word, 0 ... 4294967295. Seeds itself with 4357 when it is
// called before any seeding.
uint32_t genrand();
// Writes the next n words to pfOut, exactly as n calls of genrand() would,
// and leaves the generator where those calls would have left it.
void genrandBlock(uint32_t* pnOut, size_t n);

#endif  // KALMIR_MERSENNE_H_
