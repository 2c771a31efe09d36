#include "kalmir/kalmir.h"

#include <charconv>
#include <cmath>
#include <string>
#include <utility>

#include "analyser_state.h"
#include "indices.h"
#include "measurement.h"
#include "notes.h"
#include "progress.h"
#include "report.h"
#include "scsim.h"
#include "workbench.h"

namespace kalmir {

namespace {

Error badData(const std::string& message) {
  return Error(ErrorCode::bad_data, message);
}

std::string shortestDouble(double x) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

// The phase's values as floats, checked; notes a value that its float no
// longer holds to the digits of its shortest decimal (0.1 is held, 1/3 and
// 100000003 are not).
void takePhase(const Phase& phase, const char* role, std::vector<float>* pfY,
               int* pnRounded, std::string* pFirstRounded) {
  const size_t n = phase.values.size();
  const std::string label = phase.label.empty() ? role : phase.label;
  if (n < static_cast<size_t>(kMinPhasePoints) ||
      n > static_cast<size_t>(kMaxPhasePoints)) {
    throw badData("the " + label + " phase has " + std::to_string(n) +
                  (n == 1 ? " measurement" : " measurements") + "; " +
                  std::to_string(kMinPhasePoints) + " to " +
                  std::to_string(kMaxPhasePoints) + " are needed");
  }
  for (size_t i = 0; i < n; ++i) {
    const double x = phase.values[i];
    const std::string which =
        "value " + std::to_string(i + 1) + " of the " + label + " phase";
    if (!std::isfinite(x)) throw badData(which + " is not a finite number");
    if (std::fabs(x) > kMaxMagnitude) {
      throw badData(which + " (" + shortestDouble(x) +
                    ") lies beyond 1e9 in magnitude, the largest accepted");
    }
    const float f = static_cast<float>(x);
    if (static_cast<double>(f) != x &&
        !heldToDigitsTyped(shortestDouble(x).c_str(), f)) {
      if ((*pnRounded)++ == 0) {
        *pFirstRounded = heldAsNote(shortestDouble(x), f);
      }
    }
    pfY->push_back(f);
  }
}

// Gives the bench the call's listener, and takes it back however the call
// ends, so that the bench keeps no reference to the caller's callback.
class CallListener {
 public:
  CallListener(Workbench& bench, const Options& options) : bench_(bench) {
    bench_.progress().setListener(options.progress);
  }
  ~CallListener() { bench_.progress().setListener(nullptr); }
  CallListener(const CallListener&) = delete;
  CallListener& operator=(const CallListener&) = delete;

 private:
  Workbench& bench_;
};

Line lineOf(const PhaseModel& model) {
  Line line;
  line.intercept = model[kPhaseInt];
  line.intercept_se = model[kPhaseIntSE];
  line.slope = model[kPhaseSlope];
  line.slope_se = model[kPhaseSlopeSE];
  line.sd = model[kPhaseSD];
  line.sd_se = model[kPhaseSDSE];
  return line;
}

Indices indicesOf(const EffectIndices& x) {
  Indices i;
  i.nap = x.nap;
  i.nap_se = x.napSE;
  i.nap_ci_low = x.napLow;
  i.nap_ci_high = x.napHigh;
  i.tau = x.tau;
  i.tau_se = x.tauSE;
  i.tau_ci_low = x.tauLow;
  i.tau_ci_high = x.tauHigh;
  i.tau_u = x.tauU;
  i.tau_bc = x.tauBC;
  i.tau_bc_se = x.tauBCSE;
  i.tau_bc_ci_low = x.tauBCLow;
  i.tau_bc_ci_high = x.tauBCHigh;
  i.baseline_intercept = x.baselineIntercept;
  i.baseline_slope = x.baselineSlope;
  i.pnd = x.pnd;
  i.pem = x.pem;
  i.pand = x.pand;
  i.ird = x.ird;
  const auto smdOf = [](const SmdEstimate& e) {
    return Smd{e.g, e.se, e.ciLow, e.ciHigh};
  };
  if (x.baselineGap == SmdGap::none) i.smd_baseline = smdOf(x.smdBaseline);
  if (x.pooledGap == SmdGap::none) i.smd_pooled = smdOf(x.smdPooled);
  i.notes = indicesNotes(x);
  return i;
}

}  // namespace

const char* version() { return KALMIR_VERSION_STRING; }

Analyser::Analyser() : state_(new State) {}
Analyser::~Analyser() = default;
Analyser::Analyser(Analyser&& other) noexcept = default;
Analyser& Analyser::operator=(Analyser&& other) noexcept = default;

Result analyse(const DataSet& data, const Options& options) {
  return Analyser().analyse(data, options);
}

Result Analyser::analyse(const DataSet& data, const Options& options) {
  if (data.phases.size() != 2) {
    throw badData(
        "a data set needs 2 phases, the A phase (baseline) and "
        "then the B phase; this one has " +
        std::to_string(data.phases.size()));
  }
  if (options.resamples < 2 || options.cases < 2) {
    throw Error(ErrorCode::bad_options,
                "the resamples and the simulated cases must be at least 2");
  }
  if (options.threads < 0) {
    throw Error(ErrorCode::bad_options, "the threads must be 0 or more");
  }
  Result r;
  r.name = data.name;
  if (!data.phases[0].label.empty()) r.label_a = data.phases[0].label;
  if (!data.phases[1].label.empty()) r.label_b = data.phases[1].label;
  int nRounded = 0;
  std::string firstRounded;
  takePhase(data.phases[0], "A", &r.values, &nRounded, &firstRounded);
  takePhase(data.phases[1], "B", &r.values, &nRounded, &firstRounded);
  r.n_a = static_cast<int>(data.phases[0].values.size());
  r.n_b = static_cast<int>(data.phases[1].values.size());
  r.resamples = options.resamples;
  r.cases = options.cases;

  Workbench& bench = State::of(this).bench;
  Analysis a;
  {
    CallListener listener(bench, options);
    bench.setThreads(options.threads);
    AnalysisSize size;
    size.nBootSamples = options.resamples;
    size.nSimN = options.cases;
    try {
      ::analyse(bench, r.n_a, r.n_b, r.values.data(), size, options.keep_means,
                &a);
    } catch (const AnalysisStopped&) {
      throw Error(ErrorCode::cancelled, "the analysis was stopped");
    }
  }
  r.null_model = lineOf(a.nullModel);
  r.exp_model = lineOf(a.expModel);
  r.r1 = a.autocorrModel[kAutoR1];
  r.r1_se = a.autocorrModel[kAutoR1SE];
  r.null_mean = a.simResults[kSimNullMean];
  r.null_sd = a.simResults[kSimNullSD];
  r.exp_mean = a.simResults[kSimExpMean];
  r.exp_sd = a.simResults[kSimExpSD];
  r.d_unstd = a.esResults[kESD];
  r.d = a.esResults[kESd];
  r.d_se = a.esResults[kESdSE];
  r.r = a.esResults[kESr];
  r.r_squared = a.esResults[kESRsq];
  r.p = a.esResults[kESpEmp];
  // A d that is not a number counts as a decrease.
  r.direction = r.d >= 0.0f ? Direction::increase : Direction::decrease;
  if (nRounded > 0) {
    r.notes.push_back(
        {NoteCode::value_rounded, roundedValuesNote(firstRounded, nRounded)});
  }
  for (Note& note : analysisNotes(a, r.n_a, r.n_b)) {
    r.notes.push_back(std::move(note));
  }
  r.improvement = options.improvement;
  r.indices = indicesOf(effectIndices(
      r.values.data(), r.n_a, r.values.data() + r.n_a, r.n_b,
      options.improvement == Improvement::decrease));
  r.null_means = std::move(a.fNullMeans);
  r.exp_means = std::move(a.fExpMeans);
  return r;
}

std::string report_text(const Result& result) { return reportText(result); }

}  // namespace kalmir
