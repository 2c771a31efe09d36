#include "scsim.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "rnorm.h"
#include "workbench.h"

namespace {

const float fWorked[] = {3, 5,  4, 6,  5,  7,  6,  8,  7,
                         9, 10, 9, 12, 11, 13, 12, 15, 14};  // A, then B

struct Records {
  PhaseModel nullModel, expModel;
  AutocorrModel autocorrModel;
  SimResults sim;
  ESResults es;
};

// Every slot starts as NaN, so a slot left unwritten shows. On a new bench
// unless one is given.
Records analyse(int nNA, int nNB, const float* pfY, int nSimN,
                Workbench* pBench = nullptr) {
  const float fNaN = std::numeric_limits<float>::quiet_NaN();
  Records r;
  r.nullModel.fill(fNaN);
  r.expModel.fill(fNaN);
  r.autocorrModel.fill(fNaN);
  r.sim.fill(fNaN);
  r.es.fill(fNaN);
  Workbench ownBench;
  scsim(pBench != nullptr ? *pBench : ownBench, nNA, nNB, pfY, &r.nullModel,
        &r.expModel, &r.autocorrModel, &r.sim, &r.es, nSimN);
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
  // Twice on one bench, then on a new one.
  const std::vector<float> fBefore(fWorked, fWorked + 18);
  Workbench bench;
  const Records a = analyse(10, 8, fWorked, 500, &bench);
  const Records b = analyse(10, 8, fWorked, 500, &bench);
  const Records c = analyse(10, 8, fWorked, 500);
  EXPECT_EQ(fBefore, std::vector<float>(fWorked, fWorked + 18));
  EXPECT_EQ(a.nullModel, b.nullModel);  // a NaN slot would compare unequal
  EXPECT_EQ(a.expModel, b.expModel);
  EXPECT_EQ(a.autocorrModel, b.autocorrModel);
  EXPECT_EQ(a.sim, b.sim);
  EXPECT_EQ(a.es, b.es);
  EXPECT_EQ(a.es, c.es);
  // An analysis draws an even number of deviates: the cache ends empty.
  EXPECT_EQ(0, bench.stream.cache.use_last);
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

namespace {

// The worked example's A and B phases, each value times k plus c, rounded
// once to float.
std::vector<float> transformed(const std::vector<double>& fA,
                               const std::vector<double>& fB, double c,
                               double k) {
  std::vector<float> fY;
  for (double v : fA) fY.push_back(static_cast<float>(v * k + c));
  for (double v : fB) fY.push_back(static_cast<float>(v * k + c));
  return fY;
}

const std::vector<double> fWorkedA = {3, 5, 4, 6, 5, 7, 6, 8, 7, 9};
const std::vector<double> fWorkedB = {10, 9, 12, 11, 13, 12, 15, 14};

bool anyNote(const AnalysisNotes& n) {
  return n.lineA.nLeftOut > 0 || n.lineA.bRuleWaived || n.lineB.nLeftOut > 0 ||
         n.lineB.bRuleWaived || n.bLevelSwampsSpread || n.bSpreadUnderflows;
}

// p as the report prints it.
std::string printedP(float p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "% .3f", static_cast<double>(p));
  return buf;
}

bool precisionNote(const AnalysisNotes& n) {
  return n.bLevelSwampsSpread || n.bSpreadUnderflows;
}

}  // namespace

TEST(Analyse, ShiftedAndRescaledWorkedExamplesGiveItsFigures) {
  Workbench bench;
  // Known answers to three decimals, from the analysis after its bootstrap
  // rules were mended (before: d 0.894 p 0.500; d 3.574 p 0.000 with zero
  // errors; d 4.412 p 0.000).
  struct Row {
    double c, k;
    float fInt, fIntSE, fSlope, fSlopeSE, d;
  } const rows[] = {
      {999, 1, 1002.250f, 0.601f, 0.500f, 0.069f, 2.773f},
      {0, 10000, 32500.000f, 6002.489f, 5000.000f, 694.584f, 2.772f},
      {500000000, 2000000, 506500000.0f, 1200571.0f, 1000000.0f, 138921.188f,
       2.771f},
  };
  for (const Row& row : rows) {
    const std::vector<float> fY = transformed(fWorkedA, fWorkedB, row.c, row.k);
    Analysis a;
    analyse(bench, 10, 8, fY.data(), AnalysisSize(), false, &a);
    const float fTol = 5e-4f * std::max(1.0f, std::fabs(row.fInt) / 1000.0f);
    EXPECT_NEAR(row.fInt, a.nullModel[kPhaseInt], fTol) << row.c;
    EXPECT_NEAR(row.fIntSE, a.nullModel[kPhaseIntSE],
                5e-4f * std::max(1.0f, row.fIntSE / 1000.0f))
        << row.c;
    EXPECT_NEAR(row.fSlope, a.nullModel[kPhaseSlope], fTol) << row.c;
    EXPECT_NEAR(row.fSlopeSE, a.nullModel[kPhaseSlopeSE],
                5e-4f * std::max(1.0f, row.fSlopeSE / 1000.0f))
        << row.c;
    EXPECT_NEAR(row.d, a.esResults[kESd], 5e-4f) << row.c;
    EXPECT_NEAR(0.001f, a.esResults[kESpEmp], 5e-4f) << row.c;
    EXPECT_TRUE(a.notes.lineA.bRuleWaived && a.notes.lineB.bRuleWaived);
    EXPECT_TRUE(a.fNullMeans.empty());
  }
}

TEST(Analyse, KeepsTheSimulatedMeansOnlyWhenAsked) {
  Workbench bench;
  Analysis a;
  AnalysisSize size;
  size.nBootSamples = 200;
  size.nSimN = 1000;
  analyse(bench, 10, 8, fWorked, size, true, &a);
  EXPECT_EQ(1000u, a.fNullMeans.size());
  EXPECT_EQ(1000u, a.fExpMeans.size());
  const double sum =
      std::accumulate(a.fNullMeans.begin(), a.fNullMeans.end(), 0.0);
  EXPECT_NEAR(a.simResults[kSimNullMean], sum / 1000.0, 1e-3);
}

// Every analysis is the same bit for bit on one, two and three threads,
// notes and simulated means included, for short and long, even and uneven
// phases.
TEST(Analyse, IsTheSameOnOneTwoAndThreeThreadsWhateverThePhases) {
  Workbench bench;
  std::vector<float> fY(140);
  for (size_t i = 0; i < fY.size(); ++i) {
    fY[i] = static_cast<float>((i * 37 % 23) + (i >= 70 ? 6 : 0));
  }
  const int shapes[][2] = {{10, 8}, {2, 2},   {3, 20},
                           {20, 3}, {30, 30}, {70, 70}};
  AnalysisSize size;
  size.nBootSamples = 300;
  size.nSimN = 700;
  for (const auto& shape : shapes) {
    const int nNA = shape[0], nNB = shape[1];
    const float* pfY = nNA == 10 ? fWorked : fY.data();
    Analysis one, other;
    bench.setThreads(1);
    analyse(bench, nNA, nNB, pfY, size, true, &one);
    for (int nThreads : {2, 3}) {
      bench.setThreads(nThreads);
      analyse(bench, nNA, nNB, pfY, size, true, &other);
      const std::string where = std::to_string(nNA) + " + " +
                                std::to_string(nNB) + " on " +
                                std::to_string(nThreads) + " threads";
      EXPECT_EQ(0, std::memcmp(one.nullModel.data(), other.nullModel.data(),
                               sizeof one.nullModel))
          << where;
      EXPECT_EQ(0, std::memcmp(one.expModel.data(), other.expModel.data(),
                               sizeof one.expModel))
          << where;
      EXPECT_EQ(
          0, std::memcmp(one.autocorrModel.data(), other.autocorrModel.data(),
                         sizeof one.autocorrModel))
          << where;
      EXPECT_EQ(0, std::memcmp(one.esResults.data(), other.esResults.data(),
                               sizeof one.esResults))
          << where;
      EXPECT_EQ(one.notes.lineA.nLeftOut, other.notes.lineA.nLeftOut) << where;
      EXPECT_EQ(one.notes.lineB.nLeftOut, other.notes.lineB.nLeftOut) << where;
      EXPECT_TRUE(one.fNullMeans == other.fNullMeans) << where;
      EXPECT_TRUE(one.fExpMeans == other.fExpMeans) << where;
    }
  }
}

// An analysis starts from the seed and an empty deviate cache whatever an
// earlier one left on the bench, and a stop asked for in the middle of the
// simulation ends the simulation there: the stream stands short of where a
// finished analysis leaves it. On one thread, so that the thread that
// reports runs every group of cases; with a team, the other members may
// simulate all of them while it waits for a core, and the stop then comes
// after the simulation.
TEST(Analyse, StartsAfreshAndStopsWithinTheSimulation) {
  AnalysisSize size;
  size.nBootSamples = 500;
  size.nSimN = 20000;
  Workbench fresh;
  Analysis reference;
  analyse(fresh, 10, 8, fWorked, size, true, &reference);
  const uint32_t nWordAfterFinished = genrand(fresh.stream.words);

  Workbench bench;
  bench.setThreads(1);
  bool bAsked = false;
  bench.progress().setListener([&bAsked](double fDone) {
    bAsked = bAsked || fDone >= 0.5;
    return !bAsked;
  });
  Analysis stopped;
  EXPECT_THROW(analyse(bench, 10, 8, fWorked, size, true, &stopped),
               AnalysisStopped);
  EXPECT_NE(nWordAfterFinished, genrand(bench.stream.words));
  bench.progress().setListener(nullptr);
  bench.setThreads(0);
  bench.stream.cache = RnormCache{1, 0.5f};  // as a stop might leave it
  Analysis again;
  analyse(bench, 10, 8, fWorked, size, true, &again);
  EXPECT_EQ(reference.esResults, again.esResults);
  EXPECT_EQ(reference.simResults, again.simResults);
  EXPECT_TRUE(reference.fNullMeans == again.fNullMeans);
}

// The same data shifted or rescaled either give the same p and a d and r
// within 0.01, or carry a note that says why not; the worked example and its
// mild shifts and scalings carry none.
TEST(Analyse, ShiftsAndScalingsKeepTheFiguresOrSayWhyNot) {
  Workbench bench;
  struct Set {
    std::vector<double> fA, fB;
  };
  std::vector<Set> sets = {
      {fWorkedA, fWorkedB},
      {{12, 15, 11, 14, 13, 16, 12}, {9, 8, 10, 7, 9, 6, 8, 7, 8}},
      {{1.2, 0.8, 1.5, 1.1, 0.9, 1.4}, {2.9, 3.4, 3.1, 3.8, 3.3, 3.6, 4.0}},
      {{50, 52, 49, 55, 51, 53, 50, 54, 52, 56, 51, 55},
       {60, 58, 63, 61, 64, 59, 62, 65, 63, 61}},
  };
  Set longer;
  for (int i = 0; i < 40; ++i) {
    longer.fA.push_back(20 + ((i * 7) % 5) * 0.4);
    longer.fB.push_back(20.1 + ((i * 3) % 7) * 0.3);
  }
  sets.push_back(longer);
#if defined(__SANITIZE_ADDRESS__)
  // Slow there; the Release builds run the grid, the sanitizers the checks
  // of named cases below.
  sets.clear();
#endif
  const double fShifts[] = {-1e6, -1000, 999, 1000, 1e5, 1e6, 1e7, 1e8};
  const double fScales[] = {1e-30, 1e-20, 1e-6, 1e-3, 1e3, 1e4, 1e7};
  for (size_t s = 0; s < sets.size(); ++s) {
    const Set& set = sets[s];
    const int nNA = static_cast<int>(set.fA.size());
    const int nNB = static_cast<int>(set.fB.size());
    Analysis base;
    const std::vector<float> fY = transformed(set.fA, set.fB, 0, 1);
    analyse(bench, nNA, nNB, fY.data(), AnalysisSize(), false, &base);
    EXPECT_FALSE(anyNote(base.notes)) << "set " << s;
    std::vector<std::pair<double, double>> changes;
    for (double c : fShifts) changes.push_back({c, 1});
    for (double k : fScales) changes.push_back({0, k});
    for (const auto& ck : changes) {
      const std::vector<float> fZ =
          transformed(set.fA, set.fB, ck.first, ck.second);
      Analysis a;
      analyse(bench, nNA, nNB, fZ.data(), AnalysisSize(), false, &a);
      const bool bSame =
          printedP(a.esResults[kESpEmp]) == printedP(base.esResults[kESpEmp]) &&
          std::fabs(a.esResults[kESd] - base.esResults[kESd]) <= 0.01f &&
          std::fabs(a.esResults[kESr] - base.esResults[kESr]) <= 0.01f;
      EXPECT_TRUE(bSame || anyNote(a.notes))
          << "set " << s << " shifted by " << ck.first << " scaled by "
          << ck.second << ": d " << a.esResults[kESd] << " against "
          << base.esResults[kESd] << ", p " << a.esResults[kESpEmp]
          << " against " << base.esResults[kESpEmp];
    }
  }
  // Mild shifts and scalings of the worked example print no note.
  for (const auto& ck : std::vector<std::pair<double, double>>{
           {-100, 1}, {300, 1}, {900, 1}, {0, 1e-3}, {0, 10}}) {
    const std::vector<float> fZ =
        transformed(fWorkedA, fWorkedB, ck.first, ck.second);
    Analysis a;
    analyse(bench, 10, 8, fZ.data(), AnalysisSize(), false, &a);
    EXPECT_FALSE(anyNote(a.notes)) << ck.first << " " << ck.second;
  }
  // The two failures the notes were made for.
  for (const auto& ck :
       std::vector<std::pair<double, double>>{{1e7, 1}, {0, 1e-25}}) {
    const std::vector<float> fZ =
        transformed(fWorkedA, fWorkedB, ck.first, ck.second);
    Analysis a;
    analyse(bench, 10, 8, fZ.data(), AnalysisSize(), false, &a);
    EXPECT_TRUE(precisionNote(a.notes)) << ck.first << " " << ck.second;
  }
}
