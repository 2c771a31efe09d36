#include "simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "mersenne.h"
#include "rnorm.h"

namespace {
const float fTB[] = {11, 12, 13, 14, 15, 16, 17, 18};  // B after 10 A points
const float fTB2[] = {1, 2, 3, 4, 5, 6, 7, 8};
// The widest vector code this CPU has, and the scalar code.
const SimdLevel kLevels[] = {cpuSimdLevel(), SimdLevel::kScalar};
}  // namespace

TEST(Simulation, ACaseDrawsExactly2TimesNPlus54Deviates) {
  // One case of the worked example's size: a null and an experimental
  // phase of 8 points each.
  RandomStream s;
  sgenrand(s.words, 7487);
  const float fNull = simTimeSeriesMean(s, 8, fTB, 3.25f, 0.6f, 0.5f, 0.069f,
                                        0.791f, 0.068f, -0.625f, 0.216f);
  const float fExp = simTimeSeriesMean(s, 8, fTB2, 8.625f, 1.142f, 0.75f,
                                       0.216f, 0.973f, 0.133f, -0.625f, 0.216f);
  EXPECT_EQ(0, s.cache.use_last);
  const uint32_t nNext = genrand(s.words);
  // Replay: the same number of deviates from the reseeded stream.
  RandomStream replay;
  sgenrand(replay.words, 7487);
  std::vector<float> fZ(2 * (8 + 54));
  for (float& z : fZ) z = rnorm(replay, 0.0f, 1.0f);
  EXPECT_EQ(nNext, genrand(replay.words));
  // Those deviates, handed over as an array, give the same bits.
  SimScratch scratch(8);
  EXPECT_EQ(fNull,
            simTimeSeriesMeanFrom(fZ.data(), 8, fTB, 3.25f, 0.6f, 0.5f, 0.069f,
                                  0.791f, 0.068f, -0.625f, 0.216f, scratch));
  EXPECT_EQ(fExp, simTimeSeriesMeanFrom(fZ.data() + 62, 8, fTB2, 8.625f, 1.142f,
                                        0.75f, 0.216f, 0.973f, 0.133f, -0.625f,
                                        0.216f, scratch));
}

TEST(Simulation, ClampsTheDrawnAutocorrelationToPlusMinusOne) {
  // z4 = 0.5 moves r1 = 0.9 by 0.5 * 0.5 to 1.15, clamped to 1; likewise
  // -0.9 and z4 = -0.5 to -1. Intercept and slope 0 and a large SD leave
  // only the rounding residue of the noise in the mean, which differs for
  // the autocorrelation: 0.99 and 1 already differ.
  std::vector<float> fZ(8 + 54);
  for (size_t i = 0; i < fZ.size(); ++i) {
    fZ[i] = static_cast<float>(static_cast<int>(i * 37 % 19) - 9) / 5.0f;
  }
  SimScratch scratch(8);
  auto mean = [&](float fZ4, float r1, float r1SE) {
    fZ[3] = fZ4;
    return simTimeSeriesMeanFrom(fZ.data(), 8, fTB2, 0, 0, 0, 0, 1e6f, 0, r1,
                                 r1SE, scratch);
  };
  EXPECT_EQ(mean(0.5f, 1.0f, 0.0f), mean(0.5f, 0.9f, 0.5f));
  EXPECT_NE(mean(0.5f, 0.99f, 0.0f), mean(0.5f, 1.0f, 0.0f));
  EXPECT_EQ(mean(-0.5f, -1.0f, 0.0f), mean(-0.5f, -0.9f, 0.5f));
  EXPECT_NE(mean(-0.5f, -0.99f, 0.0f), mean(-0.5f, -1.0f, 0.0f));
}

TEST(Simulation, ZeroErrorNullModelGivesTheExactMeanTime) {
  // Intercept 0, slope 1 and no error: every simulated mean is the mean B
  // time on the common axis, 10 + (8 + 1) / 2, whatever the deviates.
  RandomStream s;
  sgenrand(s.words, 7487);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(14.5f,
              simTimeSeriesMean(s, 8, fTB, 0, 0, 1, 0, 0, 0, -0.625f, 0.216f));
  }
  EXPECT_EQ(0, s.cache.use_last);
}

// Eight phases side by side, from deviates given per phase or already in
// lanes, and a block that is only partly filled: each mean has the bits of
// the one-phase code, with the vector code and without.
TEST(Simulation, LanesGiveTheBitsOfOnePhaseAtATime) {
  // The worked example's null model over 8 points; a model of data at the
  // magnitude limit over 4 points (6 ... 9 after 5 A points), whose sums of
  // products near 1e9 show any change in rounding: a build of the lane
  // kernel for AVX-512 did change them; and the null model of the golden
  // set "alternating" (a flat line through 0) over 6 points, whose phases
  // gcc's SSE2 build of a pair of blocks changed in the last bit (about 3
  // in 100).
  struct Config {
    int n;
    const float* t;
    float fModel[6];
    float r1, r1SE;
  };
  const float fT[] = {6, 7, 8, 9};
  const float fT6[] = {9, 10, 11, 12, 13, 14};
  const Config configs[] = {
      {8, fTB, {3.25f, 0.6f, 0.5f, 0.069f, 0.791f, 0.068f}, -0.625f, 0.216f},
      {4,
       fT,
       {0x1.a13b86p+29f, 0x1.222eb8p+30f, -0x1.dcd65p+26f, 0x1.61117ep+28f,
        0x1.9f192ap+29f, 0x1.016e3cp+28f},
       0x1.105bacp-3f,
       0x1.1995ecp-2f},
      {6,
       fT6,
       {0.0f, 0x1.43712ep+0f, 0.0f, 0x1.977a4ap-3f, 0x1.11aceep+0f,
        0x1.0ee00cp-3f},
       -0x1.49424ep-1f,
       0x1.e6de48p-3f}};
  const int nConfigs = 3;
  RandomStream s;
  sgenrand(s.words, 7487);
  for (int nCase = 0; nCase < 480; ++nCase) {
    const Config& c = configs[nCase % nConfigs];
    const SimdLevel simd = kLevels[nCase / nConfigs % 2];
    const int nLanes = nCase / (2 * nConfigs) % 2 == 0 ? kSimLanes : 3;
    const float* t = c.t;
    const int nPer = c.n + 54;
    std::vector<float> fZ(kSimLanes * nPer);
    for (float& z : fZ) z = rnorm(s, 0, 1);
    std::vector<const float*> ppfZ(kSimLanes);
    std::vector<float> fLanes(kSimLanes * nPer);
    for (int l = 0; l < kSimLanes; ++l) {
      ppfZ[l] = &fZ[l * nPer];
      for (int j = 0; j < nPer; ++j) fLanes[j * kSimLanes + l] = ppfZ[l][j];
    }
    // The same block as the first of a pair; the second has the other
    // configuration's model, its own times and the deviates reversed.
    const Config& o = configs[(nCase + 1) % nConfigs];
    const float fTOwn[] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<float> fPair(2 * kSimLanes * nPer);
    std::copy(fLanes.begin(), fLanes.end(), fPair.begin());
    std::copy(fLanes.rbegin(), fLanes.rend(), fPair.begin() + kSimLanes * nPer);
    std::vector<float> fSecond(fPair.begin() + kSimLanes * nPer, fPair.end());
    float fLaned[kSimLanes] = {};
    simPhaseMeansLanes(fLanes.data(), nLanes, c.n, t, c.fModel, c.r1, c.r1SE,
                       fLaned, simd);
    float fSecondLaned[kSimLanes] = {};
    simPhaseMeansLanes(fSecond.data(), nLanes, c.n, fTOwn, o.fModel, c.r1,
                       c.r1SE, fSecondLaned, simd);
    float fPairNull[kSimLanes] = {}, fPairExp[kSimLanes] = {};
    simPhaseMeansLanePair(fPair.data(), nLanes, c.n, t, c.fModel, fPairNull,
                          fTOwn, o.fModel, fPairExp, c.r1, c.r1SE, simd);
    SimScratch scratch(c.n);
    for (int l = 0; l < nLanes; ++l) {
      const float fOne = simTimeSeriesMeanFrom(
          ppfZ[l], c.n, t, c.fModel[0], c.fModel[1], c.fModel[2], c.fModel[3],
          c.fModel[4], c.fModel[5], c.r1, c.r1SE, scratch);
      ASSERT_EQ(fOne, fLaned[l]) << nCase << " " << l;
      ASSERT_EQ(fOne, fPairNull[l]) << nCase << " pair, " << l;
      ASSERT_EQ(fSecondLaned[l], fPairExp[l]) << nCase << " pair, " << l;
    }
  }
}

// Cases laid out in lanes by the 8 x 8 transposes and by the scalar code,
// for case lengths with and without a remainder past the last whole eight
// and blocks only partly filled: every deviate at its place, and the empty
// lanes given case 0's.
TEST(Simulation, LanesFromCasesPutEveryDeviateInItsPlace) {
  for (SimdLevel simd : kLevels) {
    for (int nPerCase : {4, 8, 124, 131}) {
      for (int nCases : {8, 5, 1}) {
        std::vector<float> fCases(static_cast<size_t>(nCases * nPerCase));
        for (size_t i = 0; i < fCases.size(); ++i) {
          fCases[i] = static_cast<float>(i) + 0.5f;
        }
        std::vector<float> fLanes(static_cast<size_t>(nPerCase * kSimLanes));
        simLanesFromCases(fCases.data(), nCases, nPerCase, fLanes.data(), simd);
        for (int j = 0; j < nPerCase; ++j) {
          for (int l = 0; l < kSimLanes; ++l) {
            const int nCase = l < nCases ? l : 0;
            ASSERT_EQ(fCases[nCase * nPerCase + j], fLanes[j * kSimLanes + l])
                << nPerCase << " " << nCases << " " << j << " " << l << " "
                << static_cast<int>(simd);
          }
        }
      }
    }
  }
}
