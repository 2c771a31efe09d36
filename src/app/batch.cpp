#include "batch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

#include "parallel.h"

namespace {

// Entries finished ahead of the next one to be written are held; a job
// waits rather than run further ahead than this, so one slow case cannot
// make the held entries grow without bound.
const size_t nMaxAhead = 1024;

class Batch {
 public:
  Batch(const std::vector<Case>& cases, const BatchOptions& options,
        const CaseWork& work, const EntrySink& sink,
        const BatchProgress& progress)
      : cases_(cases),
        options_(options),
        work_(work),
        sink_(sink),
        progress_(progress),
        entries_(cases.size()),
        bReady_(cases.size(), false) {}

  bool run() {
    const size_t nCases = cases_.size();
    if (nCases == 0) return true;
    const int nJobs = options_.nJobs > 0 ? options_.nJobs : coresAvailable();
    const size_t nWorkers = nCases < static_cast<size_t>(nJobs)
                                ? nCases
                                : static_cast<size_t>(nJobs);
    // Few cases: each analysis shares the cores out instead, on no more
    // threads than there are cores.
    const int nCores = coresAvailable();
    int nThreadsEach = static_cast<int>(static_cast<size_t>(nJobs) / nWorkers);
    if (nThreadsEach > nCores) nThreadsEach = nCores;
    fDone_.reset(new std::atomic<double>[nWorkers]);
    for (size_t i = 0; i < nWorkers; ++i) fDone_[i] = 0.0;
    // The jobs are the members of a thread team besides the calling thread,
    // which writes; a thread the system cannot start is done without
    // (fewer jobs, the same results).
    ThreadTeam team(static_cast<int>(nWorkers) + 1);
    const int nMembers = team.size();
    nStarted_ = nMembers > 1 ? static_cast<size_t>(nMembers - 1) : 1;
    if (nMembers == 1) {
      workLoop(0, 1, true);
    } else {
      team.run(static_cast<size_t>(nMembers), [&](size_t nJob, size_t, int) {
        if (nJob == 0) {
          writeLoop();
        } else {
          workLoop(nJob - 1, nThreadsEach, false);
        }
      });
    }
    if (failure_) std::rethrow_exception(failure_);
    return !bSinkFailed_;
  }

 private:
  // Takes cases in turn until none is left or the batch stops. Inline, on
  // the calling thread when no thread could be started, it also writes.
  void workLoop(size_t nWorker, int nThreads, bool bInline) {
    std::atomic<double>& fDone = fDone_[nWorker];
    kalmir::Options options;
    options.resamples = options_.nResamples;
    options.cases = options_.nCases;
    options.keep_means = options_.bKeepMeans;
    options.improvement = options_.improvement;
    // Inline, the analysis has the cores to itself.
    options.threads = bInline ? 0 : nThreads;
    // The share of the case done: its contrasts finished, and the share
    // of the one under way.
    size_t nContrast = 0, nContrasts = 1;
    options.progress = [&](double f) {
      fDone = (static_cast<double>(nContrast) + f) /
              static_cast<double>(nContrasts);
      return true;
    };
    // One Analyser per job: its stream, arrays and threads serve every case
    // the job takes.
    kalmir::Analyser analyser;
    for (;;) {
      size_t i;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] {
          return bStop_ || nNext_ >= cases_.size() ||
                 nNext_ < nWritten_ + nMaxAhead;
        });
        if (bStop_ || nNext_ >= cases_.size()) break;
        i = nNext_++;
      }
      try {
        const Case& c = cases_[i];
        std::string entry;
        if (c.error.empty()) {
          const kalmir::DataSet data = caseDataSet(c);
          std::vector<kalmir::ContrastData> contrasts =
              kalmir::series_contrasts(data);
          std::vector<kalmir::Result> results;
          nContrasts = contrasts.size();
          for (nContrast = 0; nContrast < nContrasts; ++nContrast) {
            results.push_back(
                analyser.analyse(contrasts[nContrast].data, options));
          }
          const kalmir::Series series = kalmir::summarise_series(
              data, std::move(results), options_.weights);
          entry = work_(c, &series);
        } else {
          entry = work_(c, nullptr);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        entries_[i] = std::move(entry);
        bReady_[i] = true;
        ++nDone_;
        fDone = 0.0;
      } catch (...) {
        fail(std::current_exception());
      }
      ready_.notify_one();
      if (bInline) writeReady();
    }
  }

  // Stops the batch for an exception, which run throws again once every
  // job has stopped.
  void fail(std::exception_ptr failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = failure;
    bStop_ = true;
    wake_.notify_all();
    ready_.notify_all();
  }

  // Writes entries as they become ready, in case order, until all are
  // written or the batch stops; shows the progress meanwhile. An exception
  // from the sink or the progress stops the batch, so that no job waits
  // for a writer that has gone.
  void writeLoop() {
    try {
      for (;;) {
        {
          std::unique_lock<std::mutex> lock(mutex_);
          ready_.wait_for(lock, std::chrono::milliseconds(200), [this] {
            return bStop_ || nWritten_ == cases_.size() || bReady_[nWritten_];
          });
          if (bStop_ || nWritten_ == cases_.size()) break;
        }
        writeReady();
        if (progress_) {
          double fDone;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            fDone = static_cast<double>(nDone_);
          }
          for (size_t i = 0; i < nStarted_; ++i) fDone += fDone_[i];
          progress_(fDone, cases_.size());
        }
      }
    } catch (...) {
      fail(std::current_exception());
    }
  }

  // Hands every entry that is next in order to the sink.
  void writeReady() {
    for (;;) {
      std::string entry;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (bStop_ || nWritten_ == cases_.size() || !bReady_[nWritten_]) {
          return;
        }
        entry = std::move(entries_[nWritten_]);
        entries_[nWritten_] = std::string();
      }
      const bool bWritten = sink_(entry);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++nWritten_;
        if (!bWritten) {
          bSinkFailed_ = true;
          bStop_ = true;
        }
      }
      wake_.notify_all();
    }
  }

  const std::vector<Case>& cases_;
  const BatchOptions& options_;
  const CaseWork& work_;
  const EntrySink& sink_;
  const BatchProgress& progress_;

  std::mutex mutex_;
  std::condition_variable wake_;   // a job may take another case
  std::condition_variable ready_;  // an entry is ready, or the batch stops
  std::vector<std::string> entries_;
  std::vector<bool> bReady_;
  size_t nNext_ = 0;     // the next case to be taken
  size_t nWritten_ = 0;  // entries handed to the sink
  size_t nDone_ = 0;     // cases finished
  bool bStop_ = false;
  bool bSinkFailed_ = false;
  std::exception_ptr failure_;
  // How far each job's running analysis has come, 0 ... 1.
  std::unique_ptr<std::atomic<double>[]> fDone_;
  size_t nStarted_ = 0;
};

}  // namespace

bool runBatch(const std::vector<Case>& cases, const BatchOptions& options,
              const CaseWork& work, const EntrySink& sink,
              const BatchProgress& progress) {
  return Batch(cases, options, work, sink, progress).run();
}
