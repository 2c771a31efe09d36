#ifndef KALMIR_BATCH_H_
#define KALMIR_BATCH_H_

#include <functional>
#include <string>
#include <vector>

#include "case.h"
#include "kalmir/kalmir.h"

// Cases -> analyses on all cores -> entries in case order. A case is a
// series: each of its phase changes is an analysis, run one after the
// other by the job that took the case (an AB case is one). With more
// cases than jobs each analysis runs on one thread and the jobs take cases
// in turn; with fewer, each analysis shares the cores out among its stages.
// Either way every analysis gives the same bits, so the output does not
// depend on the number of jobs. Nothing is kept between calls.

struct BatchOptions {
  int nJobs = 0;  // analyses or threads at once; 0: one per core
  int nResamples = kalmir::kResamples;  // the analyses' size
  int nCases = kalmir::kCases;
  bool bKeepMeans = false;  // keep the simulated means for CaseWork
  // The direction the other effect sizes count as improvement.
  kalmir::Improvement improvement = kalmir::Improvement::increase;
  // How a series averages its A->B contrasts.
  kalmir::Weights weights = kalmir::Weights::equal;
};

// Turns one case into its entry, right after its analyses, on the thread
// that ran them; calls for different cases may overlap. s is the case's
// series (an AB case: one contrast), or null for a case that has an error.
using CaseWork =
    std::function<std::string(const Case& c, const kalmir::Series* s)>;
// Takes the entries in case order, on the calling thread; false (a write
// failed) stops the batch.
using EntrySink = std::function<bool(const std::string& entry)>;
// Told now and then, on the calling thread, how many cases are done
// (fractions for those under way) of how many.
using BatchProgress = std::function<void(double fDone, size_t nTotal)>;

// Analyses every case without an error and hands each case's entry to
// sink in case order. False when the sink stopped it. An exception from
// an analysis or from work (memory that cannot be had) is thrown again
// here once every job has stopped.
bool runBatch(const std::vector<Case>& cases, const BatchOptions& options,
              const CaseWork& work, const EntrySink& sink,
              const BatchProgress& progress = nullptr);

#endif  // KALMIR_BATCH_H_
