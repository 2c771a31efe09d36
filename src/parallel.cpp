#include "parallel.h"

#include <atomic>

namespace {
std::atomic<int> nAnalysisThreads{0};
}  // namespace

void setAnalysisThreads(int nThreads) {
  nAnalysisThreads = nThreads < 0 ? 0 : nThreads;
}

int analysisThreads() {
  const int nSet = nAnalysisThreads;
  if (nSet > 0) return nSet;
  const unsigned nCores = std::thread::hardware_concurrency();
  return nCores == 0 ? 1 : static_cast<int>(nCores > 64 ? 64 : nCores);
}

ThreadTeam& analysisTeam() {
  static std::unique_ptr<ThreadTeam> team;
  const int nThreads = analysisThreads();
  if (!team || team->size() != nThreads) {
    team.reset();
    team.reset(new ThreadTeam(nThreads));
  }
  return *team;
}

ThreadTeam::ThreadTeam(int nThreads) : nThreads_(nThreads < 1 ? 1 : nThreads) {
  for (int i = 1; i < nThreads_; ++i) {
    threads_.emplace_back(&ThreadTeam::memberLoop, this, i);
  }
}

ThreadTeam::~ThreadTeam() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bStop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void ThreadTeam::runShare(int nMember) {
  const size_t nPer = nItems_ / static_cast<size_t>(nThreads_);
  const size_t nExtra = nItems_ % static_cast<size_t>(nThreads_);
  const size_t m = static_cast<size_t>(nMember);
  const size_t nBegin = m * nPer + (m < nExtra ? m : nExtra);
  const size_t nEnd = nBegin + nPer + (m < nExtra ? 1 : 0);
  if (nBegin < nEnd) (*pfn_)(nBegin, nEnd, nMember);
}

void ThreadTeam::run(size_t nItems,
                     const std::function<void(size_t, size_t, int)>& fn) {
  if (nThreads_ == 1 || nItems < 2) {
    if (nItems > 0) fn(0, nItems, 0);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pfn_ = &fn;
    nItems_ = nItems;
    nBusy_ = nThreads_ - 1;
    ++nGeneration_;
  }
  wake_.notify_all();
  runShare(0);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return nBusy_ == 0; });
  pfn_ = nullptr;
}

void ThreadTeam::memberLoop(int nMember) {
  unsigned long nSeen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return bStop_ || nGeneration_ != nSeen; });
      if (bStop_) return;
      nSeen = nGeneration_;
    }
    runShare(nMember);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --nBusy_;
    }
    done_.notify_one();
  }
}
