#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

namespace {

kalmir::Options small() {
  kalmir::Options options;
  options.resamples = 200;
  options.cases = 500;
  options.threads = 1;
  return options;
}

kalmir::Phase phase(const std::string& label, std::vector<double> values) {
  return {label, std::move(values)};
}

// A B A B with an effect in both B phases.
kalmir::DataSet reversal(const std::string& name, double fShift) {
  return {name,
          {phase("A", {3, 5, 4, 6, 5}), phase("B", {9, 11, 10, 12, 11}),
           phase("A", {4, 6, 5, 4, 6}),
           phase("B", {10 + fShift, 12, 11, 13, 12 - fShift})}};
}

bool hasNote(const std::vector<kalmir::Note>& notes, kalmir::NoteCode code) {
  for (const kalmir::Note& n : notes) {
    if (n.code == code) return true;
  }
  return false;
}

double averageOf(const kalmir::Summary& s, const std::string& name,
                 double* pSE) {
  for (const kalmir::Average& a : s.averages) {
    if (a.name == name) {
      *pSE = a.se;
      return a.estimate;
    }
  }
  ADD_FAILURE() << "no average of " << name;
  return 0;
}

}  // namespace

TEST(Design, EveryPhaseChangeIsTheABAnalysisOfItsTwoPhases) {
  const kalmir::DataSet data = reversal("Kim", 0.5);
  const kalmir::Series s = kalmir::analyse_series(data, small());
  ASSERT_EQ(3u, s.contrasts.size());
  const char* const labels[] = {"A1-B1", "B1-A2", "A2-B2"};
  for (size_t i = 0; i < 3; ++i) {
    const kalmir::Contrast& c = s.contrasts[i];
    EXPECT_EQ(labels[i], c.label);
    EXPECT_EQ(i != 1, c.a_to_b);
    const kalmir::Result ab = kalmir::analyse(
        {"Kim", {data.phases[i], data.phases[i + 1]}}, small());
    EXPECT_EQ(kalmir::report_text(ab), kalmir::report_text(c.result));
    EXPECT_EQ(kalmir::csv_line(kalmir::table_row(ab)),
              kalmir::csv_line(kalmir::table_row(c.result)));
  }
  // Numbered labels name the contrasts as they are.
  kalmir::DataSet numbered = data;
  const char* const names[] = {"A1", "B1", "A2", "B2"};
  for (size_t i = 0; i < 4; ++i) numbered.phases[i].label = names[i];
  const kalmir::Series n = kalmir::analyse_series(numbered, small());
  EXPECT_EQ("B1-A2", n.contrasts[1].label);
  EXPECT_EQ(kalmir::report_text(s.contrasts[2].result),
            kalmir::report_text(n.contrasts[2].result));
  // An ABAB series has three phase changes, and phases of 5: no notes.
  EXPECT_TRUE(s.notes.empty());
}

TEST(Design, AveragesFollowTheWeightsByHand) {
  // Two A-B contrasts: equal weights give the plain mean and
  // SE = sqrt(se1^2 + se2^2) / 2; inverse-variance weights give
  // (d1/v1 + d2/v2) / (1/v1 + 1/v2) with SE 1 / sqrt(1/v1 + 1/v2).
  const kalmir::DataSet data = reversal("Kim", 1.5);
  for (kalmir::Weights w :
       {kalmir::Weights::equal, kalmir::Weights::inverse_variance}) {
    const kalmir::Series s = kalmir::analyse_series(data, small(), w);
    ASSERT_TRUE(s.has_summary);
    EXPECT_EQ(2, s.summary.count);
    const double d1 = s.contrasts[0].result.d;
    const double d2 = s.contrasts[2].result.d;
    const double se1 = s.contrasts[0].result.d_se;
    const double se2 = s.contrasts[2].result.d_se;
    double se = 0;
    const double d = averageOf(s.summary, "d", &se);
    if (w == kalmir::Weights::equal) {
      EXPECT_NEAR((d1 + d2) / 2, d, 1e-12);
      EXPECT_NEAR(std::sqrt(se1 * se1 + se2 * se2) / 2, se, 1e-12);
    } else {
      const double v1 = se1 * se1, v2 = se2 * se2;
      EXPECT_NEAR((d1 / v1 + d2 / v2) / (1 / v1 + 1 / v2), d, 1e-12);
      EXPECT_NEAR(1 / std::sqrt(1 / v1 + 1 / v2), se, 1e-12);
    }
    // D has no standard error: a plain mean with equal weights.
    double seD = 0;
    const double dUnstd = averageOf(s.summary, "d_unstd", &seD);
    EXPECT_TRUE(std::isnan(seD));
    if (w == kalmir::Weights::equal) {
      EXPECT_NEAR((double(s.contrasts[0].result.d_unstd) +
                   s.contrasts[2].result.d_unstd) / 2,
                  dUnstd, 1e-12);
    }
  }
}

TEST(Design, AStudyAveragesItsCasesEachWithItsOwnAverage) {
  // One reversal case (its A-B average) and two AB cases, staggered.
  const kalmir::DataSet kim = reversal("Kim", 0.5);
  const kalmir::DataSet lou{
      "Lou", {phase("A", {2, 3, 2, 3, 2, 3}), phase("B", {6, 7, 6, 8})}};
  const kalmir::DataSet max{
      "Max", {phase("A", {5, 4, 5, 4, 5, 4, 5}), phase("B", {9, 8, 9})}};
  const kalmir::Study st =
      kalmir::analyse_study("Reading", {kim, lou, max}, small());
  ASSERT_EQ(3u, st.cases.size());
  EXPECT_EQ(3, st.summary.count);
  double se = 0, seKim = 0;
  const double d = averageOf(st.summary, "d", &se);
  const double dKim = averageOf(st.cases[0].summary, "d", &seKim);
  const kalmir::Result& rLou = st.cases[1].contrasts[0].result;
  const kalmir::Result& rMax = st.cases[2].contrasts[0].result;
  EXPECT_NEAR((dKim + rLou.d + rMax.d) / 3, d, 1e-12);
  EXPECT_NEAR(std::sqrt(seKim * seKim + double(rLou.d_se) * rLou.d_se +
                        double(rMax.d_se) * rMax.d_se) / 3,
              se, 1e-12);
  // Starts at occasions 6, 7 and 8: staggered, three of them.
  EXPECT_TRUE(st.notes.empty());
  EXPECT_FALSE(
      hasNote(st.cases[2].notes, kalmir::NoteCode::design_short_phase));
}

TEST(Design, NotesOnDesignsTooSmallToShowAnEffectThreeTimes) {
  const kalmir::DataSet aba{"Ana",
                            {phase("A", {3, 5, 4}), phase("B", {9, 11}),
                             phase("A", {4, 6, 5})}};
  const kalmir::Series s = kalmir::analyse_series(aba, small());
  EXPECT_TRUE(hasNote(s.notes, kalmir::NoteCode::design_few_changes));
  EXPECT_TRUE(hasNote(s.notes, kalmir::NoteCode::design_short_phase));
  EXPECT_FALSE(s.has_summary);  // one A-B contrast
  // Two cases starting at the same session (mt): few starts, not staggered.
  kalmir::DataSet one{"One", {phase("A", {1, 2, 1}), phase("B", {5, 6, 5})}};
  kalmir::DataSet two{"Two", {phase("A", {2, 1, 2}), phase("B", {7, 6, 7})}};
  one.phases[0].times = {1, 2, 3};
  one.phases[1].times = {4, 5, 6};
  two.phases[0].times = {1, 3, 4};
  two.phases[1].times = {4, 6, 7};
  const kalmir::Study st = kalmir::analyse_study("S", {one, two}, small());
  EXPECT_TRUE(hasNote(st.notes, kalmir::NoteCode::design_few_cases));
  EXPECT_TRUE(hasNote(st.notes, kalmir::NoteCode::design_not_staggered));
}

TEST(Design, SeriesAndStudiesItCannotTakeAreErrors) {
  auto expectError = [](auto call, const std::string& message) {
    try {
      call();
      ADD_FAILURE() << "no error; expected: " << message;
    } catch (const kalmir::Error& e) {
      EXPECT_EQ(kalmir::ErrorCode::bad_data, e.code());
      EXPECT_EQ(message, e.what());
    }
  };
  kalmir::DataSet abb{"X", {phase("A", {1, 2, 3}), phase("B", {4, 5, 6}),
                            phase("B", {7, 8, 9})}};
  expectError([&] { kalmir::analyse_series(abb, small()); },
              "phase 3 (\"B\") should be a \"A\" phase; a series alternates "
              "between its first two phases' kinds");
  kalmir::DataSet eleven{"Y", {}};
  for (int i = 0; i < 11; ++i) {
    eleven.phases.push_back(phase(i % 2 == 0 ? "A" : "B", {1, 2, 3}));
  }
  expectError([&] { kalmir::analyse_series(eleven, small()); },
              "a series needs 2 to 10 phases; this one has 11");
  expectError(
      [&] {
        kalmir::analyse_study("Solo", {reversal("Kim", 0)}, small());
      },
      "study \"Solo\" has 1 case; a study needs at least 2");
}

TEST(Design, ContrastsRunApartAndSummarisedGiveTheSameSeriesAndStudy) {
  const kalmir::DataSet kim = reversal("Kim", 0.5);
  const kalmir::DataSet lou{
      "Lou", {phase("A", {2, 3, 2, 3, 2, 3}), phase("B", {6, 7, 6, 8})}};
  std::vector<kalmir::Series> series;
  for (const kalmir::DataSet* data : {&kim, &lou}) {
    const std::vector<kalmir::ContrastData> contrasts =
        kalmir::series_contrasts(*data);
    std::vector<kalmir::Result> results;
    for (const kalmir::ContrastData& c : contrasts) {
      results.push_back(kalmir::analyse(c.data, small()));
    }
    series.push_back(kalmir::summarise_series(
        *data, results, kalmir::Weights::inverse_variance));
  }
  const kalmir::Series whole = kalmir::analyse_series(
      kim, small(), kalmir::Weights::inverse_variance);
  ASSERT_EQ(whole.contrasts.size(), series[0].contrasts.size());
  for (size_t i = 0; i < whole.contrasts.size(); ++i) {
    EXPECT_EQ(whole.contrasts[i].label, series[0].contrasts[i].label);
    EXPECT_EQ(kalmir::csv_line(kalmir::table_row(whole.contrasts[i].result)),
              kalmir::csv_line(kalmir::table_row(series[0].contrasts[i].result)));
  }
  const kalmir::Study apart = kalmir::summarise_study(
      "S", {kim, lou}, series, kalmir::Weights::inverse_variance);
  const kalmir::Study together = kalmir::analyse_study(
      "S", {kim, lou}, small(), kalmir::Weights::inverse_variance);
  const kalmir::RowPlace place{"S", "study", ""};
  EXPECT_EQ(kalmir::csv_line(kalmir::table_summary_row(
                "", together.summary, kalmir::Improvement::increase, place)),
            kalmir::csv_line(kalmir::table_summary_row(
                "", apart.summary, kalmir::Improvement::increase, place)));
  // A series of the wrong number of results is refused.
  EXPECT_THROW(kalmir::summarise_series(kim, {}, kalmir::Weights::equal),
               kalmir::Error);
}

TEST(Design, EveryIndexIsAveragedAndAnSmdOnlyWhereEveryContrastHasOne) {
  const kalmir::Series s = kalmir::analyse_series(reversal("Kim", 0.5),
                                                  small());
  std::vector<std::string> names;
  for (const kalmir::Average& a : s.summary.averages) {
    names.push_back(a.name + (std::isnan(a.se) ? "" : "+se"));
  }
  EXPECT_EQ((std::vector<std::string>{
                "d_unstd", "d+se", "nap+se", "tau+se", "tau_u", "tau_bc+se",
                "pnd", "pem", "pand", "ird", "smd_baseline+se",
                "smd_pooled+se"}),
            names);
  // The same indices of both A-B contrasts, averaged with equal weights:
  // Tau-U has no SE, so a plain mean; NAP's SE sqrt(se1^2 + se2^2) / 2.
  const kalmir::Indices& x1 = s.contrasts[0].result.indices;
  const kalmir::Indices& x2 = s.contrasts[2].result.indices;
  double se = 0;
  EXPECT_NEAR((x1.tau_u + x2.tau_u) / 2, averageOf(s.summary, "tau_u", &se),
              1e-12);
  EXPECT_NEAR((x1.nap + x2.nap) / 2, averageOf(s.summary, "nap", &se), 1e-12);
  EXPECT_NEAR(std::sqrt(x1.nap_se * x1.nap_se + x2.nap_se * x2.nap_se) / 2,
              se, 1e-12);
  // A flat first baseline has no baseline-SD SMD: none is averaged.
  const kalmir::DataSet flat{"Flat",
                             {phase("A", {4, 4, 4, 4}), phase("B", {9, 11, 10}),
                              phase("A", {4, 6, 5, 4}), phase("B", {9, 12, 10})}};
  const kalmir::Series f = kalmir::analyse_series(flat, small());
  ASSERT_FALSE(f.contrasts[0].result.indices.smd_baseline.has_value());
  bool bBaseline = false, bPooled = false;
  for (const kalmir::Average& a : f.summary.averages) {
    bBaseline = bBaseline || a.name == "smd_baseline";
    bPooled = bPooled || a.name == "smd_pooled";
  }
  EXPECT_FALSE(bBaseline);
  EXPECT_TRUE(bPooled);
  // In the table: an empty SMD, the pooled one with its interval
  // g -+ 1.959964 se; no p.
  const std::vector<kalmir::Field> row = kalmir::table_summary_row(
      "Flat", f.summary, kalmir::Improvement::increase, {"", "case", ""});
  double g = 0, gSE = 0, gLow = 0;
  for (const kalmir::Field& field : row) {
    if (field.name == "smd_baseline" || field.name == "p") {
      EXPECT_EQ(kalmir::FieldKind::empty, field.kind) << field.name;
    }
    if (field.name == "smd_pooled") g = field.number;
    if (field.name == "smd_pooled_se") gSE = field.number;
    if (field.name == "smd_pooled_ci_low") gLow = field.number;
    if (field.name == "row") {
      EXPECT_EQ("case", field.text);
    }
  }
  EXPECT_NEAR(g - 1.959964 * gSE, gLow, 1e-12);
  EXPECT_GT(gSE, 0);
}
