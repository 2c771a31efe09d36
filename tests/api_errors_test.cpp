// The public face's refusals: every kind of data set the analysis cannot
// take, and options out of range, each a kalmir::Error with its code and
// the message a front end shows. Includes nothing but the public header.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

namespace {

// A quick size: the checks come before any analysis, and data that passes
// them runs in a moment.
kalmir::Options quick() {
  kalmir::Options options;
  options.resamples = 20;
  options.cases = 20;
  return options;
}

std::vector<double> ramp(size_t n) {
  std::vector<double> values(n);
  for (size_t i = 0; i < n; ++i) values[i] = static_cast<double>(i % 7);
  return values;
}

kalmir::DataSet ab(std::vector<double> a, std::vector<double> b) {
  return kalmir::DataSet{"Ann", {{"A", std::move(a)}, {"B", std::move(b)}}};
}

// "code: message" of the error analyse throws, or "no error".
std::string refusal(const kalmir::DataSet& data,
                    const kalmir::Options& options = quick()) {
  try {
    kalmir::analyse(data, options);
  } catch (const kalmir::Error& e) {
    const char* code = e.code() == kalmir::ErrorCode::bad_data ? "bad_data"
                       : e.code() == kalmir::ErrorCode::bad_options
                           ? "bad_options"
                           : "cancelled";
    return std::string(code) + ": " + e.what();
  }
  return "no error";
}

}  // namespace

TEST(ApiErrors, ADataSetNeedsExactlyTwoPhases) {
  kalmir::DataSet data{"Ann", {}};
  EXPECT_EQ(
      "bad_data: a data set needs 2 phases, the A phase (baseline) and "
      "then the B phase; this one has 0",
      refusal(data));
  data.phases = {{"A", ramp(5)}};
  EXPECT_EQ(
      "bad_data: a data set needs 2 phases, the A phase (baseline) and "
      "then the B phase; this one has 1",
      refusal(data));
  data.phases = {{"A", ramp(5)}, {"B", ramp(5)}, {"A", ramp(5)}};
  EXPECT_EQ(
      "bad_data: a data set needs 2 phases, the A phase (baseline) and "
      "then the B phase; this one has 3",
      refusal(data));
}

TEST(ApiErrors, EachPhaseHoldsTwoToFiveHundredValues) {
  EXPECT_EQ("bad_data: the A phase has 1 measurement; 2 to 500 are needed",
            refusal(ab({1}, ramp(5))));
  EXPECT_EQ("bad_data: the B phase has 0 measurements; 2 to 500 are needed",
            refusal(ab(ramp(5), {})));
  EXPECT_EQ("bad_data: the B phase has 501 measurements; 2 to 500 are needed",
            refusal(ab(ramp(5), ramp(501))));
  // The message names the phase by its label, or by its role without one.
  kalmir::DataSet labelled{"Ann", {{"Baseline", ramp(501)}, {"", ramp(1)}}};
  EXPECT_EQ(
      "bad_data: the Baseline phase has 501 measurements; 2 to 500 are "
      "needed",
      refusal(labelled));
  labelled.phases[0].values = ramp(2);
  EXPECT_EQ("bad_data: the B phase has 1 measurement; 2 to 500 are needed",
            refusal(labelled));
  // Both limits themselves are taken.
  EXPECT_EQ("no error", refusal(ab(ramp(2), ramp(kalmir::kMaxPhasePoints))));
}

TEST(ApiErrors, EveryValueIsFiniteAndWithinTheMagnitudeLimit) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ("bad_data: value 3 of the A phase is not a finite number",
            refusal(ab({1, 2, std::nan(""), 4}, ramp(4))));
  EXPECT_EQ("bad_data: value 1 of the B phase is not a finite number",
            refusal(ab(ramp(4), {inf, 2})));
  EXPECT_EQ("bad_data: value 2 of the B phase is not a finite number",
            refusal(ab(ramp(4), {1, -inf})));
  EXPECT_EQ(
      "bad_data: value 2 of the A phase (1000000001) lies beyond 1e9 in "
      "magnitude, the largest accepted",
      refusal(ab({1, 1000000001, 3}, ramp(4))));
  EXPECT_EQ(
      "bad_data: value 1 of the B phase (-1.5e+300) lies beyond 1e9 in "
      "magnitude, the largest accepted",
      refusal(ab(ramp(4), {-1.5e300, 1})));
  EXPECT_EQ("no error",
            refusal(ab({1e9, -1e9, 0}, {kalmir::kMaxMagnitude, 5})));
}

TEST(ApiErrors, OptionsOutOfRangeAreRefusedBeforeTheData) {
  kalmir::Options options = quick();
  options.resamples = 1;
  EXPECT_EQ(
      "bad_options: the resamples and the simulated cases must be at least 2",
      refusal(ab(ramp(4), ramp(4)), options));
  options = quick();
  options.cases = 0;
  EXPECT_EQ(
      "bad_options: the resamples and the simulated cases must be at least 2",
      refusal(ab({std::nan("")}, ramp(4)), options));
  options = quick();
  options.threads = -1;
  EXPECT_EQ("bad_options: the threads must be 0 or more",
            refusal(ab(ramp(4), ramp(4)), options));
  options = quick();
  options.resamples = 2;
  options.cases = 2;
  EXPECT_EQ("no error", refusal(ab(ramp(4), ramp(4)), options));
}

TEST(ApiErrors, AnErrorIsAStandardException) {
  try {
    kalmir::analyse(ab({1}, {2, 3}), quick());
    FAIL() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string("the A phase has 1 measurement; 2 to 500 are needed"),
              e.what());
  }
}
