#include "mersenne.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <vector>

namespace {

// The 1998 seeding, done here on its own: two steps of the 69069
// congruential generator per state word, their upper halves making the word.
std::vector<uint32_t> seededState(uint32_t seed) {
  std::vector<uint32_t> mt(624);
  for (uint32_t& w : mt) {
    w = seed & 0xffff0000u;
    seed = 69069u * seed + 1u;
    w |= seed >> 16;
    seed = 69069u * seed + 1u;
  }
  return mt;
}

// The standard library's MT19937 (a twist and tempering written apart from
// ours) started from these state words, the next draw regenerating them.
std::mt19937 stdEngineFrom(const std::vector<uint32_t>& state) {
  std::stringstream s;
  for (uint32_t w : state) s << w << ' ';
  s << 624;
  std::mt19937 engine;
  s >> engine;
  return engine;
}

}  // namespace

TEST(Mersenne, StartsUnseededAsIfSeededWith4357) {
  // The 1000th word is GSL's reference value (its mt19937_1999); the first
  // three were checked with Python's MT19937 loaded with the 69069 state.
  GenrandState fresh;
  EXPECT_EQ(2867219139u, genrand(fresh));
  EXPECT_EQ(1585203162u, genrand(fresh));
  EXPECT_EQ(3113124129u, genrand(fresh));
  GenrandState s;
  sgenrand(s, 4357);
  EXPECT_EQ(2867219139u, genrand(s));
  for (int i = 1; i < 999; ++i) genrand(s);
  EXPECT_EQ(1030650439u, genrand(s));
  // A block drawn first seeds the same way.
  GenrandState freshBlock;
  uint32_t nFirst[3];
  genrandBlock(freshBlock, nFirst, 3, SimdLevel::kScalar);
  EXPECT_EQ(2867219139u, nFirst[0]);
  EXPECT_EQ(3113124129u, nFirst[2]);
}

TEST(Mersenne, Seed7487GivesTheAnalysisStream) {
  // Checked with Python's MT19937 loaded with the 69069 state.
  GenrandState s;
  sgenrand(s, 7487);
  EXPECT_EQ(2311896605u, genrand(s));
  EXPECT_EQ(599825301u, genrand(s));
  EXPECT_EQ(3195951949u, genrand(s));
  for (int i = 3; i < 623; ++i) genrand(s);
  EXPECT_EQ(3336185152u, genrand(s));  // 624th, the last of the first twist
  EXPECT_EQ(2413681995u, genrand(s));  // 625th, the first of the second
  sgenrand(s, 7487);  // reseeding mid-stream restarts the stream
  EXPECT_EQ(2311896605u, genrand(s));
  sgenrand(s, 0);  // seed 0 still gives a usable state
  EXPECT_EQ(477480905u, genrand(s));
}

TEST(Mersenne, StatesAreIndependent) {
  // Drawing from one state leaves another where it was.
  GenrandState a, b;
  sgenrand(a, 7487);
  sgenrand(b, 7487);
  for (int i = 0; i < 1000; ++i) genrand(a);
  EXPECT_EQ(2311896605u, genrand(b));
}

TEST(Mersenne, AgreesWithStdMt19937FromTheSameState) {
  std::mt19937 engine = stdEngineFrom(seededState(7487));
  GenrandState s;
  sgenrand(s, 7487);
  for (int i = 0; i < 1300; ++i) ASSERT_EQ(engine(), genrand(s)) << i;
  // lsgenrand takes the words as they are, with no seeding applied.
  std::vector<uint32_t> state(624);
  for (uint32_t i = 0; i < 624; ++i) state[i] = i * 2654435761u + 12345u;
  engine = stdEngineFrom(state);
  lsgenrand(s, state.data());
  for (int i = 0; i < 700; ++i) ASSERT_EQ(engine(), genrand(s)) << i;
}

// Blocks against genrand, which regenerates one word at a time, with the
// scalar code and with the widest this CPU has: the same words, and the
// stream left where single draws leave it.
TEST(Mersenne, BlockDrawsMatchSingleDrawsAcrossRegenerations) {
  for (SimdLevel simd : {SimdLevel::kScalar, cpuSimdLevel()}) {
    GenrandState s;
    sgenrand(s, 4357);
    std::vector<uint32_t> single(2002), block(2002);
    for (uint32_t& w : single) w = genrand(s);
    sgenrand(s, 4357);
    genrandBlock(s, block.data(), 700, simd);  // from a seed, past a twist
    block[700] = genrand(s);
    genrandBlock(s, block.data() + 701, 0, simd);
    genrandBlock(s, block.data() + 701, 1300, simd);  // over two more twists
    block[2001] = genrand(s);
    EXPECT_EQ(single, block) << static_cast<int>(simd);
  }
}

// The 8-lane twist and tempering against genrand: over 12.5 million words
// from five seeds, each drawn in runs of varied length that start anywhere
// in a block of 624.
TEST(Mersenne, VectorWordsMatchGenrandFromSeveralSeeds) {
  if (!useAvx2(cpuSimdLevel())) GTEST_SKIP() << "no AVX2 on this CPU";
  const size_t nWords = 2500000;
  std::vector<uint32_t> nBlock(nWords), nSingle(nWords);
  for (uint32_t seed : {7487u, 4357u, 0u, 1u, 0xffffffffu}) {
    GenrandState s;
    sgenrand(s, seed);
    for (uint32_t& w : nSingle) w = genrand(s);
    sgenrand(s, seed);
    size_t nAt = 0;
    for (size_t nRun = 1; nAt < nWords; nRun = nRun * 7 % 1999 + 1) {
      const size_t nNow = std::min(nRun, nWords - nAt);
      genrandBlock(s, nBlock.data() + nAt, nNow, SimdLevel::kAvx2);
      nAt += nNow;
    }
    size_t nDiffer = 0;
    for (size_t i = 0; i < nWords; ++i) nDiffer += nBlock[i] != nSingle[i];
    EXPECT_EQ(0u, nDiffer) << "seed " << seed;
  }
}
