// Every golden data set through the public face, as a program would call
// it: values given as doubles, the default Options, the figures read from
// Result's named fields. They must equal the golden records bit for bit.
// Includes nothing of the library but the public header.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

namespace {

struct Golden {
  kalmir::DataSet data;
  std::string record;  // the expected figures as hex floats
};

// datasets.txt ("name | A values | B values") with expected.txt's record
// for each, or amended.txt's where it replaces one. Values are read as the
// console reads them (to float); the float, widened, is what the caller
// passes, so that no value is rounded twice.
std::vector<Golden> loadGolden() {
  std::map<std::string, std::string> amended;
  std::ifstream amendments(KALMIR_TEST_DATA "/golden/amended.txt");
  for (std::string line; std::getline(amendments, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find(" | ");
    amended[line.substr(0, bar)] = line.substr(bar + 3);
  }
  std::ifstream sets(KALMIR_TEST_DATA "/golden/datasets.txt");
  std::ifstream records(KALMIR_TEST_DATA "/golden/expected.txt");
  std::vector<Golden> golden;
  for (std::string line; std::getline(sets, line);) {
    if (line.empty() || line[0] == '#') continue;
    Golden g;
    std::getline(records, g.record);
    const size_t bar1 = line.find('|');
    const size_t bar2 = line.find('|', bar1 + 1);
    g.data.name = line.substr(0, bar1 - 1);
    const auto it = amended.find(g.data.name);
    if (it != amended.end()) g.record = it->second;
    const std::string texts[] = {line.substr(bar1 + 1, bar2 - bar1 - 1),
                                 line.substr(bar2 + 1)};
    for (const std::string& text : texts) {
      kalmir::Phase phase;
      phase.label = g.data.phases.empty() ? "A" : "B";
      std::istringstream in(text);
      for (std::string token; in >> token;) {
        phase.values.push_back(std::strtof(token.c_str(), nullptr));
      }
      g.data.phases.push_back(phase);
    }
    golden.push_back(g);
  }
  return golden;
}

// The figures of r in the records' slot order, as hex floats. The records
// also hold the normal-theory p (the 24th of 25), which Result does not.
std::string figures(const kalmir::Result& r) {
  // clang-format off
  const float all[] = {
      r.null_model.intercept, r.null_model.intercept_se, r.null_model.slope,
      r.null_model.slope_se,  r.null_model.sd,           r.null_model.sd_se,
      r.exp_model.intercept,  r.exp_model.intercept_se,  r.exp_model.slope,
      r.exp_model.slope_se,   r.exp_model.sd,            r.exp_model.sd_se,
      r.r1,                   r.r1_se,                   r.null_mean,
      r.null_sd,              r.exp_mean,                r.exp_sd,
      r.d_unstd,              r.d,                       r.d_se,
      r.r,                    r.r_squared,               r.p};
  // clang-format on
  std::string text;
  char buf[40];
  for (float f : all) {
    std::snprintf(buf, sizeof buf, "%s%a", text.empty() ? "" : " ",
                  static_cast<double>(f));
    text += buf;
  }
  return text;
}

std::string withoutNormalP(const std::string& record) {
  std::istringstream in(record);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (words.size() != 25) return "a record of " + std::to_string(words.size());
  words.erase(words.begin() + 23);
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

}  // namespace

// Sharded so that the test runner can spread the sets over its jobs. With
// KALMIR_GOLDEN_SUBSET set (the sanitizer build in scripts/test), one
// shard of four runs: the other builds check every set.
class ApiGolden : public ::testing::TestWithParam<int> {};

TEST_P(ApiGolden, EveryRecordThroughThePublicFace) {
  const int nShards = 4;
  const char* pSubset = std::getenv("KALMIR_GOLDEN_SUBSET");
  if (pSubset != nullptr && *pSubset != '\0' && GetParam() != 0) {
    GTEST_SKIP() << "a subset of the golden sets";
  }
  const std::vector<Golden> golden = loadGolden();
  ASSERT_GE(golden.size(), 30u);
  for (size_t i = static_cast<size_t>(GetParam()); i < golden.size();
       i += nShards) {
    const Golden& g = golden[i];
    const kalmir::Result r = kalmir::analyse(g.data);
    EXPECT_EQ(withoutNormalP(g.record), figures(r)) << g.data.name;
    EXPECT_EQ(g.data.name, r.name);
    ASSERT_EQ(g.data.phases[0].values.size(), static_cast<size_t>(r.n_a));
    ASSERT_EQ(g.data.phases[1].values.size(), static_cast<size_t>(r.n_b));
    for (size_t k = 0; k < r.values.size(); ++k) {
      const size_t nA = g.data.phases[0].values.size();
      const double x =
          k < nA ? g.data.phases[0].values[k] : g.data.phases[1].values[k - nA];
      EXPECT_EQ(static_cast<float>(x), r.values[k]) << g.data.name;
    }
    EXPECT_EQ(
        r.d >= 0 ? kalmir::Direction::increase : kalmir::Direction::decrease,
        r.direction)
        << g.data.name;
    EXPECT_EQ(static_cast<int>(kalmir::kCases), r.cases);
    EXPECT_TRUE(r.null_means.empty());  // not asked for
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, ApiGolden, ::testing::Range(0, 4));
