#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analyser_state.h"
#include "kalmir/kalmir.h"

namespace {

const kalmir::DataSet worked{"worked",
                             {{"A", {3, 5, 4, 6, 5, 7, 6, 8, 7, 9}},
                              {"B", {10, 9, 12, 11, 13, 12, 15, 14}}}};

// 40 + 30 points with a trend and a raised B phase, long enough that both
// bootstraps and the simulation hand out many shares to a team.
kalmir::DataSet longer() {
  kalmir::DataSet data{"longer", {{"A", {}}, {"B", {}}}};
  for (int i = 0; i < 40; ++i) {
    data.phases[0].values.push_back(20 + 0.1 * i + (i * 7 % 5) * 0.4);
  }
  for (int i = 0; i < 30; ++i) {
    data.phases[1].values.push_back(25 + 0.2 * i + (i * 3 % 7) * 0.3);
  }
  return data;
}

// Smaller than a report's analysis, large enough that every stage reports
// progress many times over.
kalmir::Options options(int nThreads) {
  kalmir::Options o;
  o.resamples = 2000;
  o.cases = 20000;
  o.threads = nThreads;
  o.keep_means = true;
  return o;
}

bool sameFloats(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() &&
         std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Every figure of the two results, bit for bit, the simulated means and
// the notes included.
void expectSameBits(const kalmir::Result& a, const kalmir::Result& b,
                    const std::string& where) {
  const auto figures = [](const kalmir::Result& r) {
    const kalmir::Line& n = r.null_model;
    const kalmir::Line& e = r.exp_model;
    return std::vector<float>{n.intercept, n.intercept_se,
                              n.slope,     n.slope_se,
                              n.sd,        n.sd_se,
                              e.intercept, e.intercept_se,
                              e.slope,     e.slope_se,
                              e.sd,        e.sd_se,
                              r.r1,        r.r1_se,
                              r.null_mean, r.null_sd,
                              r.exp_mean,  r.exp_sd,
                              r.d_unstd,   r.d,
                              r.d_se,      r.r,
                              r.r_squared, r.p};
  };
  EXPECT_TRUE(sameFloats(figures(a), figures(b))) << where;
  EXPECT_TRUE(sameFloats(a.null_means, b.null_means)) << where;
  EXPECT_TRUE(sameFloats(a.exp_means, b.exp_means)) << where;
  ASSERT_EQ(a.notes.size(), b.notes.size()) << where;
  for (size_t i = 0; i < a.notes.size(); ++i) {
    EXPECT_EQ(a.notes[i].text, b.notes[i].text) << where;
  }
}

// A listener that answers true until the share done reaches fStopAt, then
// false, and counts the calls after that.
struct Stopper {
  explicit Stopper(double fStopAt_) : fStopAt(fStopAt_) {}
  double fStopAt;
  bool bStopped = false;
  int nCallsAfterStop = 0;
  std::function<bool(double)> listener() {
    return [this](double fDone) {
      if (bStopped) ++nCallsAfterStop;
      bStopped = bStopped || fDone >= fStopAt;
      return !bStopped;
    };
  }
};

}  // namespace

TEST(Analyser, TwoAtOnceInTwoThreadsGiveTheBitsOfOneAfterTheOther) {
  const kalmir::DataSet data[2] = {worked, longer()};
  kalmir::Result alone[2];
  for (int i = 0; i < 2; ++i) alone[i] = kalmir::analyse(data[i], options(2));
  // Each thread runs its data set three times on its own Analyser, with a
  // team of two, so that the analyses overlap whichever starts first.
  kalmir::Result together[2][3];
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      kalmir::Analyser analyser;
      for (kalmir::Result& r : together[i]) {
        r = analyser.analyse(data[i], options(2));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < 2; ++i) {
    for (int k = 0; k < 3; ++k) {
      expectSameBits(alone[i], together[i][k],
                     data[i].name + " run " + std::to_string(k));
    }
  }
}

TEST(Analyser, AReusedAnalyserGivesWhatNewOnesGive) {
  // Different data, sizes and threads in turn on one Analyser, against a
  // new Analyser for each.
  const kalmir::DataSet data[] = {worked, longer(), worked};
  const int nThreads[] = {1, 2, 3};
  kalmir::Analyser reused;
  for (int i = 0; i < 3; ++i) {
    kalmir::Options o = options(nThreads[i]);
    if (i == 1) o.cases = 5000;
    const kalmir::Result fresh = kalmir::Analyser().analyse(data[i], o);
    expectSameBits(fresh, reused.analyse(data[i], o),
                   "analysis " + std::to_string(i));
  }
  // Moved, it goes on as it was; moved from, it starts anew.
  kalmir::Analyser moved = std::move(reused);
  expectSameBits(kalmir::analyse(worked, options(2)),
                 moved.analyse(worked, options(2)), "moved");
  expectSameBits(kalmir::analyse(worked, options(1)),
                 reused.analyse(worked, options(1)), "moved from");
}

// Stopped at its first report, in the line bootstraps, in the bootstraps of
// the residual SDs, or in the middle of the simulation (the longest
// stage), on one thread and on two: the
// analysis throws ErrorCode::cancelled, the callback is not called again,
// and the next analysis on the same Analyser is the same as on a new one.
TEST(Analyser, AStoppedAnalysisLeavesNothingBehind) {
  const kalmir::Result fresh = kalmir::analyse(worked, options(1));
  for (int nThreads : {1, 2}) {
    // Of the work here the line bootstraps take the first 5.5 in 100, the
    // SD bootstraps the next 3.5.
    for (double fStopAt : {0.0, 0.02, 0.07, 0.5}) {
      const std::string where = std::to_string(nThreads) +
                                " thread(s), stopped at " +
                                std::to_string(fStopAt);
      kalmir::Analyser analyser;
      Stopper stopper(fStopAt);
      kalmir::Options o = options(nThreads);
      o.progress = stopper.listener();
      try {
        analyser.analyse(worked, o);
        ADD_FAILURE() << where << ": not stopped";
      } catch (const kalmir::Error& e) {
        EXPECT_EQ(kalmir::ErrorCode::cancelled, e.code()) << where;
      }
      EXPECT_TRUE(stopper.bStopped) << where;
      EXPECT_EQ(0, stopper.nCallsAfterStop) << where;
      expectSameBits(fresh, analyser.analyse(worked, options(nThreads)),
                     where + ", then analysed again");
    }
  }
}

TEST(Analyser, GivesTheSameBitsWithTheVectorCodeSwitchedOff) {
  kalmir::Analyser scalar;
  kalmir::Analyser::State::of(&scalar).bench.setVectorized(false);
  for (const kalmir::DataSet& data : {worked, longer()}) {
    expectSameBits(kalmir::analyse(data, options(2)),
                   scalar.analyse(data, options(2)), data.name);
  }
}
