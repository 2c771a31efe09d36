#ifndef KALMIR_WORKBENCH_H_
#define KALMIR_WORKBENCH_H_

#include <memory>

#include "parallel.h"
#include "progress.h"
#include "rnorm.h"
#include "scsim.h"
#include "simd.h"
#include "theilsen.h"
#include "variance.h"

// Everything an analysis works with besides its data: the random stream
// (words and deviate cache), the working arrays of every stage, the team of
// threads, the vector instructions the kernels may use, and the caller's
// progress listener. The analysis library keeps nothing anywhere else, so
// two benches never share anything: analyses on two of them may run at the
// same time on two threads. One bench runs one analysis at a time, and its
// arrays and threads serve every analysis after the first, which then
// allocates and starts nothing. Each analysis reseeds the stream, so what
// an earlier one left there changes no result.
class Workbench {
 public:
  Workbench();
  ~Workbench();
  Workbench(const Workbench&) = delete;
  Workbench& operator=(const Workbench&) = delete;

  // Threads for the stages, counting the caller's: 0 (the default) means
  // one per core this process may use, looked up whenever a stage asks
  // for the team. The team
  // is made when a stage first needs it and made anew when the number
  // changes; no result depends on it.
  void setThreads(int nThreads);
  ThreadTeam& team();

  // Whether the kernels may use the CPU's vector instructions (AVX2, and
  // AVX-512 where built); on by default. Off, every kernel runs its scalar
  // code, as on a CPU without them, with the same bits.
  void setVectorized(bool bOn);
  SimdLevel simd() const { return simd_; }

  Progress& progress() { return progress_; }

  RandomStream stream;
  FitScratch fits;
  LineBootstrapWork lineBootstraps;
  SdBootstrapWork sdBootstraps;
  SimulationWork simulation;
  CaseSimulation simulated;  // the simulated means of the latest analysis

 private:
  int nThreads_ = 0;
  std::unique_ptr<ThreadTeam> team_;
  SimdLevel simd_;
  Progress progress_;
};

#endif  // KALMIR_WORKBENCH_H_
