#include "indices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kalmir/kalmir.h"

namespace {

EffectIndices of(const std::vector<float>& a, const std::vector<float>& b,
                 bool bDecrease = false) {
  return effectIndices(a.data(), static_cast<int>(a.size()), b.data(),
                       static_cast<int>(b.size()), bDecrease);
}

std::vector<float> negated(std::vector<float> x) {
  for (float& v : x) v = -v;
  return x;
}

// Every index, in the order tests/indices_reference.py prints them; NaN
// stands for an SMD that is left empty.
std::vector<double> allOf(const EffectIndices& x) {
  const double kEmpty = std::nan("");
  const bool bB = x.baselineGap == SmdGap::none;
  const bool bP = x.pooledGap == SmdGap::none;
  return {x.nap, x.napSE, x.napLow, x.napHigh, x.tau, x.tauSE, x.tauLow,
          x.tauHigh, x.tauU, x.tauBC, x.tauBCSE, x.tauBCLow, x.tauBCHigh,
          x.baselineIntercept, x.baselineSlope, x.pnd, x.pem, x.pand, x.ird,
          bB ? x.smdBaseline.g : kEmpty, bB ? x.smdBaseline.se : kEmpty,
          bB ? x.smdBaseline.ciLow : kEmpty, bB ? x.smdBaseline.ciHigh : kEmpty,
          bP ? x.smdPooled.g : kEmpty, bP ? x.smdPooled.se : kEmpty,
          bP ? x.smdPooled.ciLow : kEmpty, bP ? x.smdPooled.ciHigh : kEmpty};
}

const char* const kNames[] = {
    "nap",         "nap_se",       "nap_ci_low",   "nap_ci_high",
    "tau",         "tau_se",       "tau_ci_low",   "tau_ci_high",
    "tau_u",       "tau_bc",       "tau_bc_se",    "tau_bc_ci_low",
    "tau_bc_ci_high", "baseline_intercept", "baseline_slope", "pnd",
    "pem",         "pand",         "ird",          "smd_baseline",
    "smd_baseline_se", "smd_baseline_ci_low", "smd_baseline_ci_high",
    "smd_pooled",  "smd_pooled_se", "smd_pooled_ci_low",
    "smd_pooled_ci_high"};

struct Reference {
  const char* title;
  std::vector<float> a, b;
  bool bDecrease;
  std::vector<double> expected;
};

}  // namespace

TEST(Indices, GiveThePublishedAnswers) {
  // Parker, Vannest & Davis (2011), their worked series.
  const EffectIndices p =
      of({20, 20, 26, 25, 22, 23}, {28, 25, 24, 27, 30, 30, 29});
  EXPECT_NEAR(5.0 / 7, p.pnd, 1e-9);
  EXPECT_NEAR(1.0 - 2.0 / 13, p.pand, 1e-9);
  EXPECT_NEAR(1.0, p.pem, 1e-9);
  EXPECT_NEAR(6.0 / 7 - 1.0 / 6, p.ird, 1e-9);
  EXPECT_NEAR(38.5 / 42, p.nap, 1e-9);
  EXPECT_NEAR(35.0 / 42, p.tau, 1e-9);
  // Tau-U in Parker's form on the same series, and on a short one.
  EXPECT_NEAR(31.0 / 42, p.tauU, 1e-9);
  const EffectIndices u = of({3, 3, 4, 5}, {4, 5, 6, 7, 7});
  EXPECT_NEAR(16.0 / 20, u.tau, 1e-9);
  EXPECT_NEAR(11.0 / 20, u.tauU, 1e-9);
  // Tarlow (2017): a baseline trend carried on through B is no effect once
  // removed, though Tau and Tau-U see one.
  const EffectIndices t = of({1, 2, 3, 4, 5}, {6, 7, 8, 9, 10});
  EXPECT_NEAR(1.0, t.tau, 1e-9);
  EXPECT_NEAR(0.6, t.tauU, 1e-9);
  EXPECT_NEAR(0.0, t.tauBC, 1e-9);
  EXPECT_EQ(1.0, t.baselineSlope);
  EXPECT_EQ(0.0, t.baselineIntercept);
}

TEST(Indices, MatchTheIndependentReference) {
  // Every figure from tests/indices_reference.py (exact fractions and
  // 60-digit decimals, by other routes than the C++), pinned at 1e-9.
  const double kE = std::nan("");
  const Reference kSeries[] = {
      {"Parker", {20, 20, 26, 25, 22, 23}, {28, 25, 24, 27, 30, 30, 29}, false,
       {0.9166666666666666, 0.06900655593423542, 0.5973193570709641,
        0.9859976895275167, 0.8333333333333334, 0.13801311186847084,
        0.1946387141419281, 0.9719953790550334, 0.7380952380952381,
        0.2857142857142857, 0.35951592548908334, -0.32607112319398496,
        0.7181170455244865, 19.4, 0.6, 0.7142857142857143, 1.0,
        0.8461538461538461, 0.6904761904761905, 1.6499318812933734,
        0.6340935086156024, 0.4071314317731029, 2.892732330813644,
        1.8762474110705714, 0.6374215524985553, 0.6269241153492932,
        3.1255707067918497}},
      {"Tau-U", {3, 3, 4, 5}, {4, 5, 6, 7, 7}, false,
       {0.9, 0.1, 0.49992402915115175, 0.985986686043014, 0.8, 0.2,
        -0.00015194169769650544, 0.971973372086028, 0.55, -1.0,
        0.09013878188659974, -1.0, -0.22304645383686103, 1.5833333333333333,
        0.8333333333333334, 0.6, 1.0, 0.7777777777777778, 0.55,
        1.5572037587309697, 0.7363277562024165, 0.11402786437345665,
        3.000379653088483, 1.5600864786784532, 0.7020803481739194,
        0.18403427115010543, 2.936138686206801}},
      {"Tarlow", {1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, false,
       {1.0, 0.035, 0.6427028201427123, 1.0, 1.0, 0.07, 0.28540564028542453,
        1.0, 0.6, 0.0, 0.25, -0.5887738883328784, 0.5887738883328784, 0.0,
        1.0, 1.0, 1.0, 1.0, 1.0, 2.5298221281347035, 0.8763560920082658,
        0.8121957366178149, 4.247448519651592, 2.8562507898295038,
        0.8615683133265085, 1.167607912168827, 4.5448936674901805}},
      {"2 + 2", {1, 3}, {2, 5}, false,
       {0.75, 0.25, 0.22718746849564625, 0.9667815702527564, 0.5, 0.5,
        -0.5456250630087075, 0.9335631405055128, 0.25, -1.0,
        0.6614378277661477, -1.0, 0.22872859833727952, -1.0, 2.0, 0.5, 0.75,
        0.75, 0.5, kE, kE, kE, kE, 0.4754573110501964, 0.5873537789122816,
        -0.6757349508818348, 1.6266495729822275}},
      {"ties", {2, 2, 3, 3, 3}, {3, 3, 4, 4}, false,
       {0.85, 0.12747548783981963, 0.4520529721292817, 0.9718176014441522,
        0.7, 0.25495097567963926, -0.09589405574143656, 0.9436352028883044,
        0.4, -0.8, 0.2, -0.971973372086028, 0.00015194169769650544,
        1.7083333333333333, 0.2916666666666667, 0.5, 0.75, 0.7777777777777778,
        0.55, 1.3145341380123987, 0.6663465898297806, 0.008518810423262699,
        2.6205494656015347, 1.4270121360253516, 0.6859173447405578,
        0.08263883335826899, 2.771385438692434}},
      {"decimals", {0.1f, 0.7f, 0.3f, 0.2f}, {0.5f, 0.9f, 0.4f, 1.3f, 0.8f},
       false,
       {0.9, 0.1, 0.49992402915115175, 0.985986686043014, 0.8, 0.2,
        -0.00015194169769650544, 0.971973372086028, 0.8, 0.8, 0.2,
        -0.00015194169769650544, 0.971973372086028, 0.3666666888942321,
        -0.033333337555329, 0.6, 1.0, 0.8888888888888888, 0.775,
        1.2582306942154202, 0.6826632553708494, -0.07976471043425133,
        2.596226098865092, 1.2650365840213407, 0.6677374494401417,
        -0.04370477833315718, 2.573777946375839}},
      {"decrease", {5, 4, 4, 3, 2, 3}, {3, 2, 1, 2, 1, 1, 0.5f}, true,
       {0.9285714285714286, 0.06563832739090582, 0.6115360465749976,
        0.9892672795259486, 0.8571428571428571, 0.13127665478181164,
        0.22307209314999532, 0.9785345590518972, 0.5952380952380952,
        -0.8809523809523809, 0.11566626477610589, -0.9844071270360172,
        -0.2523184176733769, 5.25, -0.5, 0.5714285714285714, 1.0,
        0.8461538461538461, 0.6904761904761905, 1.6058317292557345,
        0.6083817540906354, 0.41342539298123615, 2.798238065530233,
        1.9512722756653982, 0.6462206686540385, 0.6847030290475543,
        3.217841522283242}},
      // Residuals from a slope of 1/3 that tie exactly, which residuals
      // formed one by one in double would part by rounding (Tau-BC -0.2).
      {"exact ties", {0, 2, 0, 2}, {5, 0, 3, 6, 2}, true,
       {0.2, 0.16583123951776998, 0.04549983605056268, 0.5921743399331264,
        -0.6, 0.33166247903553997, -0.9090003278988746, 0.18434867986625283,
        -0.5, -0.1, 0.43969686527576396, -0.6709942971255444,
        0.5511322540564639, 0.16666666666666666, 0.3333333333333333, 0.0, 0.2,
        0.5555555555555556, 0.1, -1.3856406460551018, 0.8681699190046053,
        -3.087222433187044, 0.31594114107684024, -0.999428618777596,
        0.6418165386013727, -2.2573659290408967, 0.25850869148570466}},
  };
  for (const Reference& r : kSeries) {
    const std::vector<double> got = allOf(of(r.a, r.b, r.bDecrease));
    ASSERT_EQ(r.expected.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i) {
      if (std::isnan(r.expected[i])) {
        EXPECT_TRUE(std::isnan(got[i])) << r.title << ": " << kNames[i];
      } else {
        EXPECT_NEAR(r.expected[i], got[i], 1e-9) << r.title << ": " << kNames[i];
      }
    }
  }
}

TEST(Indices, DecreaseIsIncreaseOnNegatedData) {
  const std::vector<float> a = {7, 9, 8, 8.5f, 10}, b = {6, 7.25f, 5, 5, 4, 3};
  const EffectIndices down = of(a, b, true);
  const EffectIndices up = of(negated(a), negated(b));
  const std::vector<double> fDown = allOf(down), fUp = allOf(up);
  for (size_t i = 0; i < fDown.size(); ++i) {
    // The baseline line is reported on the data's own scale.
    const double fSign = kNames[i] == std::string("baseline_intercept") ||
                                 kNames[i] == std::string("baseline_slope")
                             ? -1.0
                             : 1.0;
    EXPECT_EQ(fSign * fUp[i], fDown[i]) << kNames[i];
  }
  // On the same data the SMDs change sign, the SEs stay, the intervals
  // turn round; the overlap indices count the other side.
  const EffectIndices same = of(a, b);
  EXPECT_EQ(-same.smdBaseline.g, down.smdBaseline.g);
  EXPECT_EQ(same.smdBaseline.se, down.smdBaseline.se);
  EXPECT_EQ(-same.smdPooled.ciHigh, down.smdPooled.ciLow);
  EXPECT_EQ(-same.tau, down.tau);
  EXPECT_NEAR(1.0 - same.nap, down.nap, 1e-15);
  EXPECT_EQ(same.baselineSlope, down.baselineSlope);
}

TEST(Indices, PhasesWithoutSpreadGiveNoSmdButFiniteOverlap) {
  // All equal: nothing improves, every pair ties; the A > B rule keeps
  // only the larger phase, so PAND and IRD sit above their chance values,
  // as their definition makes them.
  const EffectIndices flat = of({3, 3, 3}, {3, 3, 3, 3});
  EXPECT_EQ(0.5, flat.nap);
  EXPECT_EQ(0.0, flat.tau);
  EXPECT_EQ(0.0, flat.tauU);
  EXPECT_EQ(0.0, flat.tauBC);
  EXPECT_EQ(0.0, flat.pnd);
  EXPECT_EQ(0.5, flat.pem);
  EXPECT_EQ(4.0 / 7, flat.pand);
  EXPECT_EQ(0.125, flat.ird);
  // Every score is 1/2: only the truncated NAP's own term is left.
  EXPECT_NEAR(std::sqrt(0.25 / 6), flat.napSE, 1e-15);
  EXPECT_NEAR(1.0 - flat.napHigh, flat.napLow, 1e-12);
  EXPECT_EQ(SmdGap::flatSD, flat.baselineGap);
  EXPECT_EQ(SmdGap::flatSD, flat.pooledGap);
  // Only the baseline flat: the pooled SMD stands.
  const EffectIndices a = of({3, 3, 3}, {4, 5, 6});
  EXPECT_EQ(SmdGap::flatSD, a.baselineGap);
  EXPECT_EQ(SmdGap::none, a.pooledGap);
  EXPECT_TRUE(std::isfinite(a.smdPooled.g));
  EXPECT_GT(a.smdPooled.g, 0);
  // A 2-point baseline that varies: J would be 0.
  const EffectIndices two = of({1, 2}, {3, 4, 5});
  EXPECT_EQ(SmdGap::shortBaseline, two.baselineGap);
  EXPECT_EQ(SmdGap::none, two.pooledGap);
}

TEST(Indices, CompleteNonOverlapKeepsAPositiveSE) {
  // NAP held at 1 - 1/(2mn) inside the SE: V = t(1 - t) / ((m-1)(n-1)),
  // both ways round and at the longest phases, where the pair counts are
  // largest. More points narrow the interval towards 1.
  double fLastLow = 0;
  for (int nN : {2, 7, kalmir::kMaxPhasePoints}) {
    std::vector<float> low(static_cast<size_t>(nN)), high = low;
    for (int i = 0; i < nN; ++i) {
      low[i] = static_cast<float>(i);
      high[i] = static_cast<float>(1000 + i);
    }
    const double t = 1.0 / (2.0 * nN * nN);
    const double se = std::sqrt(t * (1 - t)) / (nN - 1);
    const EffectIndices up = of(low, high), down = of(high, low);
    EXPECT_EQ(1.0, up.nap);
    EXPECT_NEAR(se, up.napSE, 1e-15) << nN;
    EXPECT_EQ(1.0, up.napHigh);
    EXPECT_GT(up.napLow, fLastLow) << nN;
    fLastLow = up.napLow;
    EXPECT_EQ(0.0, down.nap);
    EXPECT_NEAR(se, down.napSE, 1e-15) << nN;
    EXPECT_EQ(0.0, down.napLow);
    EXPECT_NEAR(1.0 - up.napLow, down.napHigh, 1e-12);
    EXPECT_EQ(1.0, up.pand);
    EXPECT_EQ(1.0, up.ird);
  }
}

TEST(Indices, LongestPhasesOfTiesStayExact) {
  // 500 + 500 equal values: every score 1/2, NAP exactly 1/2, and the
  // whole-number sums behind the SE at their largest.
  const std::vector<float> a(kalmir::kMaxPhasePoints, 2.5f);
  const EffectIndices x = of(a, a);
  EXPECT_EQ(0.5, x.nap);
  EXPECT_NEAR(0.5 / (kalmir::kMaxPhasePoints - 1), x.napSE, 1e-15);
  EXPECT_EQ(0.0, x.tauU);
}

TEST(Indices, ComeWithEveryAnalysisAndKeepTheirNotesApart) {
  // A flat baseline: the notes on the missing SMD go with the indices, not
  // among the figures' notes that the dialogue prints.
  kalmir::Options options;
  options.resamples = 50;
  options.cases = 50;
  options.improvement = kalmir::Improvement::decrease;
  const kalmir::Result r = kalmir::analyse(
      {"flat A", {{"A", {3, 3, 3}}, {"B", {2, 1, 0.5}}}}, options);
  EXPECT_EQ(kalmir::Improvement::decrease, r.improvement);
  EXPECT_EQ(1.0, r.indices.nap);
  EXPECT_FALSE(r.indices.smd_baseline.has_value());
  ASSERT_TRUE(r.indices.smd_pooled.has_value());
  EXPECT_GT(r.indices.smd_pooled->g, 0);
  ASSERT_EQ(1u, r.indices.notes.size());
  EXPECT_EQ(kalmir::NoteCode::smd_baseline_flat, r.indices.notes[0].code);
  for (const kalmir::Note& note : r.notes) {
    EXPECT_NE(kalmir::NoteCode::smd_baseline_flat, note.code);
  }
  // The same values as the core's, from the floats the analysis held.
  const std::vector<double> core = allOf(of({3, 3, 3}, {2, 1, 0.5f}, true));
  EXPECT_EQ(core[0], r.indices.nap);
  EXPECT_EQ(core[1], r.indices.nap_se);
  EXPECT_EQ(core[9], r.indices.tau_bc);
  EXPECT_EQ(core[23], r.indices.smd_pooled->g);
  EXPECT_EQ(core[26], r.indices.smd_pooled->ci_high);
  // One note each: a 2-point baseline that varies; all values equal.
  const kalmir::Result two =
      kalmir::analyse({"two", {{"A", {1, 2}}, {"B", {3, 5}}}}, options);
  ASSERT_EQ(1u, two.indices.notes.size());
  EXPECT_EQ(kalmir::NoteCode::smd_baseline_short, two.indices.notes[0].code);
  EXPECT_TRUE(two.indices.smd_pooled.has_value());
  const kalmir::Result flat =
      kalmir::analyse({"flat", {{"A", {4, 4}}, {"B", {4, 4}}}}, options);
  ASSERT_EQ(1u, flat.indices.notes.size());
  EXPECT_EQ(kalmir::NoteCode::smd_flat, flat.indices.notes[0].code);
  EXPECT_FALSE(flat.indices.smd_pooled.has_value());
}
