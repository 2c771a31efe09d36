#include "batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "golden_data.h"
#include "caseentry.h"

namespace {

// Enough resamples and cases to take every path; few enough to run many.
BatchOptions smallBatch(int nJobs) {
  BatchOptions options;
  options.nJobs = nJobs;
  options.nResamples = 300;
  options.nCases = 400;
  return options;
}

// The golden data sets as cases, with a failed case after every fifth.
std::vector<Case> goldenCases() {
  std::vector<Case> cases;
  for (const GoldenSet& set :
       loadGoldenSets(KALMIR_TEST_DATA "/golden/datasets.txt")) {
    Case c;
    c.name = set.name;
    c.file = "golden";
    c.nNA = set.nNA;
    c.nNB = set.nNB;
    c.fY = set.fY;
    cases.push_back(c);
    if (cases.size() % 6 == 5) {
      Case bad;
      bad.name = "bad " + set.name;
      bad.file = "golden";
      bad.error = "no B phase";
      cases.push_back(bad);
    }
  }
  return cases;
}

std::string csvWork(const Case& c, const kalmir::Series* s) {
  return tableEntry(TableFormat::kCsv, c, s, EntryOptions());
}

// Runs the batch and returns the entries in the order the sink took them.
std::vector<std::string> entries(const std::vector<Case>& cases, int nJobs) {
  BatchOptions options = smallBatch(nJobs);
  std::vector<std::string> taken;
  EXPECT_TRUE(
      runBatch(cases, options, csvWork, [&taken](const std::string& entry) {
        taken.push_back(entry);
        return true;
      }));
  return taken;
}

}  // namespace

TEST(Batch, EntriesComeInCaseOrderWhateverTheJobs) {
  const std::vector<Case> cases = goldenCases();
  ASSERT_GT(cases.size(), 30u);
  // The reference: each case analysed on its own, on the calling thread.
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    kalmir::Result a;
    if (c.error.empty()) {
      kalmir::Options options;
      options.resamples = 300;
      options.cases = 400;
      options.threads = 1;
      const auto nA = static_cast<std::ptrdiff_t>(c.nNA);
      a = kalmir::analyse({c.name,
                           {{"A", {c.fY.begin(), c.fY.begin() + nA}},
                            {"B", {c.fY.begin() + nA, c.fY.end()}}}},
                          options);
    }
    expected.push_back(
        tableEntry(TableFormat::kCsv, c, c.error.empty() ? &a : nullptr));
  }
  for (int nJobs : {1, 2, 3, 7}) {
    EXPECT_EQ(expected, entries(cases, nJobs)) << nJobs << " jobs";
  }
  // Fewer cases than jobs: the analyses share out their stages instead.
  const std::vector<Case> few(cases.begin(), cases.begin() + 2);
  const std::vector<std::string> fewExpected(expected.begin(),
                                             expected.begin() + 2);
  EXPECT_EQ(fewExpected, entries(few, 2));
  EXPECT_EQ(fewExpected, entries(few, 5));
  EXPECT_TRUE(entries({}, 3).empty());
}

TEST(Batch, WorkSeesEachCaseOnceWithTheMeansWhenAsked) {
  const std::vector<Case> cases = goldenCases();
  for (bool bKeepMeans : {false, true}) {
    BatchOptions options = smallBatch(2);
    options.bKeepMeans = bKeepMeans;
    std::mutex mutex;
    std::multiset<std::string> seen;
    size_t nAnalysed = 0;
    const CaseWork work = [&](const Case& c, const kalmir::Series* s) {
      std::lock_guard<std::mutex> lock(mutex);
      seen.insert(c.name);
      EXPECT_EQ(c.error.empty(), s != nullptr) << c.name;
      if (s == nullptr) return std::string();
      EXPECT_EQ(1u, s->contrasts.size()) << c.name;
      const kalmir::Result* a = &s->contrasts[0].result;
      ++nAnalysed;
      const size_t nMeans = bKeepMeans ? 400u : 0u;
      EXPECT_EQ(nMeans, a->null_means.size()) << c.name;
      EXPECT_EQ(nMeans, a->exp_means.size()) << c.name;
      return std::string();
    };
    ASSERT_TRUE(runBatch(cases, options, work,
                         [](const std::string&) { return true; }));
    EXPECT_EQ(cases.size(), seen.size());
    for (const Case& c : cases) EXPECT_EQ(1u, seen.count(c.name)) << c.name;
    EXPECT_LT(nAnalysed, cases.size());
  }
}

TEST(Batch, AReversalCaseIsItsContrastsInTimeOrderWhateverTheJobs) {
  // An A B A B case between two AB cases, each run as analyse_series would.
  const std::vector<Case> golden = goldenCases();
  std::vector<Case> cases(golden.begin(), golden.begin() + 3);
  Case& kim = cases[1];
  kim.name = "Kim";
  kim.fY = {3, 5, 4, 6, 5, 9, 11, 10, 12, 11, 4, 6, 5, 4, 6, 10, 12, 11, 13};
  kim.phaseSizes = {5, 5, 5, 4};
  kim.nNA = 5;
  kim.nNB = 5;
  kalmir::Options options;
  options.resamples = 300;
  options.cases = 400;
  options.threads = 1;
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    const kalmir::Series s = kalmir::analyse_series(caseDataSet(c), options);
    expected.push_back(csvWork(c, &s));
  }
  // Three contrasts and the average of the two A-B ones.
  EXPECT_EQ(4, std::count(expected[1].begin(), expected[1].end(), '\n'));
  EXPECT_NE(std::string::npos, expected[1].find("Kim,,contrast,B1-A2,ok,5,5,"));
  EXPECT_NE(std::string::npos, expected[1].find("Kim,,case,,ok,,,"));
  for (int nJobs : {1, 2, 4}) {
    EXPECT_EQ(expected, entries(cases, nJobs)) << nJobs << " jobs";
  }
}

TEST(Batch, AFailedWriteStopsTheBatch) {
  const std::vector<Case> cases = goldenCases();
  BatchOptions options = smallBatch(2);
  int nTaken = 0;
  EXPECT_FALSE(runBatch(cases, options, csvWork, [&nTaken](const std::string&) {
    return ++nTaken < 3;
  }));
  EXPECT_EQ(3, nTaken);
}

TEST(Batch, AnExceptionInAJobReachesTheCaller) {
  const std::vector<Case> cases = goldenCases();
  for (int nJobs : {1, 2}) {
    BatchOptions options = smallBatch(nJobs);
    const CaseWork work = [](const Case& c,
                             const kalmir::Series*) -> std::string {
      if (c.name == "ties") throw std::bad_alloc();
      return c.name;
    };
    std::vector<std::string> taken;
    EXPECT_THROW(runBatch(cases, options, work,
                          [&taken](const std::string& entry) {
                            taken.push_back(entry);
                            return true;
                          }),
                 std::bad_alloc);
    // Nothing from the failed case on is written.
    size_t nFailed = 0;
    while (cases[nFailed].name != "ties") ++nFailed;
    EXPECT_LE(taken.size(), nFailed);
  }
}

TEST(Batch, AnExceptionFromTheSinkReachesTheCallerOnceTheJobsHaveStopped) {
  const std::vector<Case> cases = goldenCases();
  for (int nJobs : {1, 2, 3}) {
    int nTaken = 0;
    EXPECT_THROW(runBatch(cases, smallBatch(nJobs), csvWork,
                          [&nTaken](const std::string&) -> bool {
                            if (++nTaken == 2) throw std::bad_alloc();
                            return true;
                          }),
                 std::bad_alloc)
        << nJobs << " jobs";
    EXPECT_EQ(2, nTaken) << nJobs << " jobs";
  }
}
