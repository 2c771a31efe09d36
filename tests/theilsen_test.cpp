#include "theilsen.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "mersenne.h"
#include "workbench.h"

namespace {
const float fT[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const float fYA[] = {3, 5, 4, 6, 5, 7, 6, 8, 7, 9};  // worked example
const float fYB[] = {10, 9, 12, 11, 13, 12, 15, 14};
}  // namespace

TEST(TheilSen, FitsTheHandWorkedLines) {
  float fInt = 0, fSlope = 0;
  const float fX[] = {1, 2, 3}, fY[] = {1, 2, 4};
  theilSen(fX, fY, 3, &fInt, &fSlope);  // slopes 1, 1.5, 2
  EXPECT_EQ(1.5f, fSlope);
  EXPECT_EQ(-1.0f, fInt);  // 2 - 1.5 * 2
  const float fX2[] = {2, 5}, fY2[] = {1, 7};
  theilSen(fX2, fY2, 2, &fInt, &fSlope);
  EXPECT_EQ(2.0f, fSlope);
  EXPECT_EQ(-3.0f, fInt);  // 4 - 2 * 3.5
  const std::vector<float> fBefore(fYA, fYA + 10);
  theilSen(fT, fYA, 10, &fInt, &fSlope);
  EXPECT_EQ(0.5f, fSlope);
  EXPECT_EQ(3.25f, fInt);  // 6 - 0.5 * 5.5
  EXPECT_EQ(fBefore, std::vector<float>(fYA, fYA + 10));
  theilSen(fT, fYB, 8, &fInt, &fSlope);
  EXPECT_EQ(0.75f, fSlope);
  EXPECT_EQ(8.625f, fInt);  // 12 - 0.75 * 4.5
}

TEST(TheilSen, LeavesPairsWithEqualXOut) {
  // Hand computation: a tied pair has no slope and is left out.
  float fInt = 0, fSlope = 0;
  const float fX[] = {1, 1, 2}, fY[] = {0, 2, 4};
  theilSen(fX, fY, 3, &fInt, &fSlope);  // the median of 2 and 4
  EXPECT_EQ(3.0f, fSlope);
  EXPECT_EQ(-1.0f, fInt);
  // A genuine slope above the sentinel's 999999 still counts: both genuine
  // slopes are 2000000, and no sentinel takes the place of one.
  const float fYWild[] = {0, 0, 2000000};
  theilSen(fX, fYWild, 3, &fInt, &fSlope);
  EXPECT_EQ(2000000.0f, fSlope);
  EXPECT_EQ(-2000000.0f, fInt);
  // No pair of distinct x: the sentinel stands for both coefficients.
  const float fSame[] = {2, 2, 2};
  theilSen(fSame, fY, 3, &fInt, &fSlope);
  EXPECT_EQ(999999.0f, fSlope);
  EXPECT_EQ(999999.0f, fInt);
}

TEST(TheilSenStdErr, GivesTheWorkedExampleErrorsAlsoWhenRaisedBy5000) {
  // Published to three decimals; the B phase continues the A phase's
  // stream. Raised by 5000, every intercept lies beyond 1000 and 10000 of
  // them near 5003 drift when summed in float, yet no error may change.
  Workbench bench;
  for (float fRaise : {0.0f, 5000.0f}) {
    std::vector<float> fA(fYA, fYA + 10), fB(fYB, fYB + 8);
    for (float& f : fA) f += fRaise;
    for (float& f : fB) f += fRaise;
    float fSE[4];
    sgenrand(bench.stream.words, 7487);
    theilSenStdErr(bench, fT, fA.data(), 10, &fSE[0], &fSE[1]);
    theilSenStdErr(bench, fT, fB.data(), 8, &fSE[2], &fSE[3]);
    EXPECT_NEAR(0.600f, fSE[0], 5e-4f) << fRaise;
    EXPECT_NEAR(0.069f, fSE[1], 5e-4f) << fRaise;
    EXPECT_NEAR(1.142f, fSE[2], 5e-4f) << fRaise;
    EXPECT_NEAR(0.216f, fSE[3], 5e-4f) << fRaise;
  }
  // One word per resampled point: 10000 * (10 + 8) words in all.
  const uint32_t nNext = genrand(bench.stream.words);
  GenrandState s;
  sgenrand(s, 7487);
  for (int i = 0; i < 180000; ++i) genrand(s);
  EXPECT_EQ(genrand(s), nNext);
}

TEST(TheilSenStdErr, LeavesOutInterceptsBeyond1000) {
  // 3686 resamples are left out and the 149 intercepts of exactly 1000 kept
  // (leaving those out too gives 2.279 and 0.373). Published to three
  // decimals.
  const float fY[] = {995, 1003, 998, 1006, 1001, 1004, 999, 1007, 1002, 1005};
  float fIntSE = 0, fSlopeSE = 0;
  Workbench bench;
  sgenrand(bench.stream.words, 7487);
  theilSenStdErr(bench, fT, fY, 10, &fIntSE, &fSlopeSE);
  EXPECT_NEAR(2.313f, fIntSE, 5e-4f);
  EXPECT_NEAR(0.376f, fSlopeSE, 5e-4f);
}

// A resample fitted from the indices of its points, with weights and the
// phase's slopes ordered once, must carry the bits of theilSen on the
// resampled arrays: also when the phase itself has equal x values and tied
// y values. One fitter is bound to phase after phase, larger and smaller,
// with x that repeat (every seventh point shares its neighbour's) or fall
// (so that some slopes are formed the other way round).
TEST(ResampleFit, GivesTheBitsOfTheFitOfTheResampledArrays) {
  std::mt19937 gen(7);
  std::unique_ptr<ResampleFit> fitter;
  for (int nN : {37, 2, 3, 5, 10, 120, 12}) {
    std::vector<float> fX(nN), fY(nN), fBootX(nN), fBootY(nN);
    for (int i = 0; i < nN; ++i) {
      fX[i] = static_cast<float>(i % 7 == 6 ? i : i + 1);
      if (nN == 12) fX[i] = static_cast<float>(20 - i % 6 * 3);
      fY[i] = static_cast<float>(gen() % 9) * 0.5f +
              std::normal_distribution<float>(0, 2)(gen);
    }
    if (!fitter) {
      fitter.reset(new ResampleFit(fX.data(), fY.data(), nN));
    } else {
      fitter->rebind(fX.data(), fY.data(), nN);
    }
    std::vector<uint32_t> nIndex(nN);
    for (int b = 0; b < 300; ++b) {
      for (int j = 0; j < nN; ++j) {
        nIndex[j] = static_cast<uint32_t>(gen() % static_cast<unsigned>(nN));
        fBootX[j] = fX[nIndex[j]];
        fBootY[j] = fY[nIndex[j]];
      }
      float fInt = 0, fSlope = 0, fFastInt = 0, fFastSlope = 0;
      theilSen(fBootX.data(), fBootY.data(), nN, &fInt, &fSlope);
      fitter->fit(nIndex.data(), &fFastInt, &fFastSlope);
      ASSERT_EQ(fSlope, fFastSlope) << nN << " " << b;
      ASSERT_EQ(fInt, fFastInt) << nN << " " << b;
    }
  }
}

TEST(TheilSenStdErr, SaysWhatTheOutlierRuleLeftOutAndStandsAsideForMost) {
  // The 995 ... 1005 phase: the rule keeps 6314 resamples, so it stands.
  const float fNear[] = {995,  1003, 998,  1006, 1001,
                         1004, 999,  1007, 1002, 1005};
  BootstrapExclusions out;
  float fIntSE = 0, fSlopeSE = 0;
  Workbench bench;
  sgenrand(bench.stream.words, 7487);
  theilSenStdErr(bench, fT, fNear, 10, &fIntSE, &fSlopeSE, kBootSamples, &out);
  EXPECT_EQ(3686, out.nLeftOut);
  EXPECT_FALSE(out.bRuleWaived);
  // The worked example's A phase raised by 999: nearly every intercept lies
  // beyond 1000, so the rule would drop the data; it stands aside and the
  // errors are those of the unraised phase (published to three decimals).
  std::vector<float> fA(fYA, fYA + 10);
  for (float& f : fA) f += 999.0f;
  sgenrand(bench.stream.words, 7487);
  theilSenStdErr(bench, fT, fA.data(), 10, &fIntSE, &fSlopeSE, kBootSamples,
                 &out);
  EXPECT_EQ(0, out.nLeftOut);
  EXPECT_TRUE(out.bRuleWaived);
  EXPECT_NEAR(0.601f, fIntSE, 5e-4f);
  EXPECT_NEAR(0.069f, fSlopeSE, 5e-4f);
}

TEST(TheilSenStdErr, KeepsEstimatesAboveTheSentinelValue) {
  // Slopes of 1e6 and more per occasion: the errors scale with the data
  // (times 2e6 here) instead of losing the kept slopes above 999999 to the
  // sentinels' places.
  std::vector<float> fA(fYA, fYA + 10), fBig(10);
  for (int i = 0; i < 10; ++i) fBig[i] = fA[i] * 2000000.0f;
  float fIntSE = 0, fSlopeSE = 0, fBigIntSE = 0, fBigSlopeSE = 0;
  Workbench bench;
  sgenrand(bench.stream.words, 7487);
  theilSenStdErr(bench, fT, fA.data(), 10, &fIntSE, &fSlopeSE);
  sgenrand(bench.stream.words, 7487);
  theilSenStdErr(bench, fT, fBig.data(), 10, &fBigIntSE, &fBigSlopeSE);
  EXPECT_NEAR(fIntSE * 2e6, fBigIntSE, fBigIntSE * 1e-4);
  EXPECT_NEAR(fSlopeSE * 2e6, fBigSlopeSE, fBigSlopeSE * 1e-4);
}
