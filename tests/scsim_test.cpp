#include "scsim.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "rnorm.h"

namespace {

const float fWorked[] = {3, 5,  4, 6,  5,  7,  6,  8,  7,
                         9, 10, 9, 12, 11, 13, 12, 15, 14};  // A, then B

struct Records {
  PhaseModel nullModel, expModel;
  AutocorrModel autocorrModel;
  SimResults sim;
  ESResults es;
};

// Every slot starts as NaN, so a slot left unwritten shows.
Records analyse(int nNA, int nNB, const float* pfY, int nSimN) {
  const float fNaN = std::numeric_limits<float>::quiet_NaN();
  Records r;
  r.nullModel.fill(fNaN);
  r.expModel.fill(fNaN);
  r.autocorrModel.fill(fNaN);
  r.sim.fill(fNaN);
  r.es.fill(fNaN);
  scsim(nNA, nNB, pfY, &r.nullModel, &r.expModel, &r.autocorrModel, &r.sim,
        &r.es, nSimN);
  return r;
}

template <size_t N>
void expectNear(const std::array<float, N>& fExpected,
                const std::array<float, N>& fActual, float fTol) {
  for (size_t i = 0; i < N; ++i) {
    EXPECT_NEAR(fExpected[i], fActual[i], fTol) << "slot " << i;
  }
}

}  // namespace

TEST(Scsim, BuildsTheTimeAxesAndFitsEachPhaseOnItsOwn) {
  const float fY[] = {1, 2, 3, 4, 5, 6, 7};
  const Phases p(3, 4, fY);
  EXPECT_EQ(std::vector<float>({1, 2, 3}), p.fTA);
  EXPECT_EQ(std::vector<float>({4, 5, 6, 7}), p.fTB);
  EXPECT_EQ(std::vector<float>({1, 2, 3, 4}), p.fTB2);
  EXPECT_EQ(std::vector<float>({1, 2, 3}), p.fYA);
  EXPECT_EQ(std::vector<float>({4, 5, 6, 7}), p.fYB);
  // One straight line through both phases; the B axis restarts at 1.
  const Records r = analyse(3, 4, fY, 20);
  EXPECT_EQ(0.0f, r.nullModel[kPhaseInt]);
  EXPECT_EQ(1.0f, r.nullModel[kPhaseSlope]);
  EXPECT_EQ(3.0f, r.expModel[kPhaseInt]);
  EXPECT_EQ(1.0f, r.expModel[kPhaseSlope]);
}

TEST(Scsim, RepeatsItselfBitForBitAndLeavesTheSeriesAlone) {
  const std::vector<float> fBefore(fWorked, fWorked + 18);
  const Records a = analyse(10, 8, fWorked, 500);
  const Records b = analyse(10, 8, fWorked, 500);
  EXPECT_EQ(fBefore, std::vector<float>(fWorked, fWorked + 18));
  EXPECT_EQ(a.nullModel, b.nullModel);  // a NaN slot would compare unequal
  EXPECT_EQ(a.expModel, b.expModel);
  EXPECT_EQ(a.autocorrModel, b.autocorrModel);
  EXPECT_EQ(a.sim, b.sim);
  EXPECT_EQ(a.es, b.es);
  EXPECT_EQ(0, rnormCache().use_last);
}

TEST(Scsim, GivesTheWorkedExampleReportAlsoWhenRaisedBy5000) {
  // Published to three decimals, the normal p to five; raising the data
  // raises only the intercepts and the effect means. At 100000 cases the
  // search stops at index 99948, so pEmp = 2 * 52 / 100000.
  for (float fRaise : {0.0f, 5000.0f}) {
    SCOPED_TRACE(fRaise);
    std::vector<float> fY(fWorked, fWorked + 18);
    for (float& f : fY) f += fRaise;
    const Records r = analyse(10, 8, fY.data(), 100000);
    expectNear({3.25f + fRaise, 0.600f, 0.5f, 0.069f, 0.791f, 0.068f},
               r.nullModel, 5e-4f);
    expectNear({8.625f + fRaise, 1.142f, 0.75f, 0.216f, 0.973f, 0.133f},
               r.expModel, 5e-4f);
    expectNear({-0.625f, 0.216f}, r.autocorrModel, 5e-4f);
    expectNear({10.5f + fRaise, 0.454f, 11.995f + fRaise, 0.633f}, r.sim,
               5e-4f);
    expectNear({1.495f, 2.771f, 0.662f, 0.809f, 0.655f, 0.00003f, 0.00104f},
               r.es, 5e-4f);
    EXPECT_NEAR(0.00003f, r.es[kESpNormal], 5e-6f);
    EXPECT_EQ(0.00104f, r.es[kESpEmp]);
  }
}

TEST(EmpiricalP, PlacesTheObservedMeanAmongTheSortedNullMeans) {
  // Hand computation.
  std::vector<float> fSorted(100000);
  std::iota(fSorted.begin(), fSorted.end(), 0.0f);
  EXPECT_EQ(0.0f, empiricalP(-1.0f, fSorted.data(), 100000));     // below all
  EXPECT_EQ(0.00002f, empiricalP(1e6f, fSorted.data(), 100000));  // above
  EXPECT_EQ(1.0f, empiricalP(50000.0f, fSorted.data(), 100000));  // i = n/2
  EXPECT_EQ(0.99998f, empiricalP(49999.0f, fSorted.data(), 100000));
  // The halving of an odd count truncates: i = 2 of 5 gives 2 * 3/5.
  EXPECT_EQ(1.2f, empiricalP(2.0f, fSorted.data(), 5));
  // A tie stops at the first of its run: i = 2, p = 2 * 2/10.
  const float fTies[] = {0, 1, 2, 2, 2, 2, 6, 7, 8, 9};
  EXPECT_EQ(0.4f, empiricalP(2.0f, fTies, 10));
}

TEST(EffectSizes, HandWorkedExample) {
  // nNA = nNB = 5, null mean 10, experimental mean 12, both SDs 1: pooled
  // SD 1, d = 2, SE(d) = sqrt(0.6), a = 4, r = 2 / sqrt(8) = sqrt(0.5), each
  // rounded to float; hand computation, the normal p to seven decimals.
  const float fYB[] = {12, 12, 12, 12, 12};
  const float fNullMeans[] = {11, 9, 10};
  SimResults sim;
  ESResults es;
  effectSizes(5, 5, fYB, 3, fNullMeans, 10.0f, 1.0f, 12.0f, 1.0f, &sim, &es);
  EXPECT_EQ(SimResults({10.0f, 1.0f, 12.0f, 1.0f}), sim);
  EXPECT_EQ(2.0f, es[kESD]);
  EXPECT_EQ(2.0f, es[kESd]);
  EXPECT_EQ(static_cast<float>(std::sqrt(0.6)), es[kESdSE]);
  EXPECT_EQ(static_cast<float>(std::sqrt(0.5)), es[kESr]);
  EXPECT_EQ(0.49999997f, es[kESRsq]);  // the float square of the float r
  EXPECT_NEAR(0.0098233f, es[kESpNormal], 5e-8f);
  // 12 lies above all three null means: i stops at the last, 2 * 1/3.
  EXPECT_EQ(static_cast<float>(2.0 / 3.0), es[kESpEmp]);
}

TEST(EffectSizes, GuardsAZeroNullSD) {
  // A null SD of exactly 0 is stored as 1e-6; an experimental SD of 0
  // stays. Equal means give d = 0, so r = 0, R-squared 0 and p = erfc(0).
  const float fYB[] = {10, 10};
  const float fNullMeans[] = {10, 10};
  SimResults sim;
  ESResults es;
  effectSizes(4, 2, fYB, 2, fNullMeans, 10.0f, 0.0f, 10.0f, 0.0f, &sim, &es);
  EXPECT_EQ(1e-6f, sim[kSimNullSD]);
  EXPECT_EQ(0.0f, sim[kSimExpSD]);
  EXPECT_EQ(0.0f, es[kESd]);
  EXPECT_EQ(0.0f, es[kESr]);
  EXPECT_EQ(0.0f, es[kESRsq]);
  EXPECT_EQ(1.0f, es[kESpNormal]);
}

TEST(MeanOfMeans, TakesTheDoubleMeanOnlyWhenTheFloatOneDrifted) {
  // Means 1, 2, 3, 4: mean 2.5, SD 1.29, so 1% of the SD is 0.0129.
  const float fMeans[] = {1, 2, 3, 4};
  EXPECT_EQ(2.505f, meanOfMeans(2.505f, fMeans, 4));
  EXPECT_EQ(2.5f, meanOfMeans(2.52f, fMeans, 4));
  const float fEqual[] = {7, 7, 7};  // with SD 0 any drift counts
  EXPECT_EQ(7.0f, meanOfMeans(7.0001f, fEqual, 3));
}
