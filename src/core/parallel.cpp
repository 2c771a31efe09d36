#include "parallel.h"

#include <atomic>
#include <system_error>
#include <utility>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

int coresAvailable() {
  // Not what the machine has, but what this process may use.
  int nCores = 0;
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) nCores = CPU_COUNT(&set);
#endif
  if (nCores <= 0)
    nCores = static_cast<int>(std::thread::hardware_concurrency());
  if (nCores <= 0) nCores = 1;
  return nCores > 64 ? 64 : nCores;
}

ThreadTeam::ThreadTeam(int nThreads)
    : nThreads_(nThreads < 1 ? 1 : nThreads), nWanted_(nThreads_) {
  const int nWanted = nThreads_;
  nThreads_ = 1;
#if defined(__linux__)
  // A new thread is queued on its creator's CPU, where it may wait for
  // milliseconds while another CPU idles; each member starts elsewhere,
  // and may go anywhere again once it has work (memberLoop).
  const int nHere = sched_getcpu();
  cpu_set_t elsewhere;
  bool bElsewhere = nHere >= 0 && nHere < CPU_SETSIZE &&
                    sched_getaffinity(0, sizeof allowed_, &allowed_) == 0;
  if (bElsewhere) {
    elsewhere = allowed_;
    CPU_CLR(nHere, &elsewhere);
    bElsewhere = CPU_COUNT(&elsewhere) > 0;
  }
  bPlaced_ = bElsewhere;
#endif
  for (int i = 1; i < nWanted; ++i) {
    try {
      threads_.emplace_back(&ThreadTeam::memberLoop, this, i);
    } catch (const std::system_error&) {
      break;
    }
#if defined(__linux__)
    if (bElsewhere) {
      pthread_setaffinity_np(threads_.back().native_handle(), sizeof elsewhere,
                             &elsewhere);
    }
#endif
    // A member counts once it runs; it reads nThreads_ only for work
    // handed out after this constructor has returned.
    nThreads_ = i + 1;
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

namespace {

// A waiter polls for some tens of microseconds, then yields its core a few
// times (the thread it waits for may need it, when the cores are shared),
// then sleeps.
const int nSpins = 2000;
const int nYields = 50;

#if defined(__linux__)
// Moves the calling thread off CPU nCpu, to another one it may run on:
// narrowing its affinity moves it at once, and widening the affinity again
// leaves it where it now is.
void leaveCpu(int nCpu) {
  cpu_set_t allowed;
  if (nCpu < 0 || nCpu >= CPU_SETSIZE ||
      sched_getaffinity(0, sizeof allowed, &allowed) != 0) {
    return;
  }
  cpu_set_t others = allowed;
  CPU_CLR(nCpu, &others);
  if (CPU_COUNT(&others) == 0) return;
  if (sched_setaffinity(0, sizeof others, &others) == 0) {
    sched_setaffinity(0, sizeof allowed, &allowed);
  }
}
#endif

inline void relax(int i) {
  if (i < nSpins) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  } else {
    std::this_thread::yield();
  }
}

}  // namespace

size_t ThreadTeam::rangeBegin(size_t nItems, int nMembers, int nMember) {
  const size_t nPer = nItems / static_cast<size_t>(nMembers);
  const size_t nExtra = nItems % static_cast<size_t>(nMembers);
  const size_t m = static_cast<size_t>(nMember);
  return m * nPer + (m < nExtra ? m : nExtra);
}

void ThreadTeam::runShare(int nMember) {
  const size_t nBegin = rangeBegin(nItems_, nThreads_, nMember);
  const size_t nEnd = rangeBegin(nItems_, nThreads_, nMember + 1);
  if (nBegin >= nEnd) return;
  try {
    (*pfn_)(nBegin, nEnd, nMember);
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
  }
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
    nBusy_.store(nThreads_ - 1);
#if defined(__linux__)
    nCallerCpu_.store(sched_getcpu());
#endif
    nGeneration_.fetch_add(1);
  }
  wake_.notify_all();
  runShare(0);
  for (int i = 0; i < nSpins + nYields && nBusy_.load() != 0; ++i) relax(i);
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return nBusy_.load() == 0; });
    std::swap(failure, failure_);
  }
  if (failure) std::rethrow_exception(failure);
}

void ThreadTeam::memberLoop(int nMember) {
  unsigned long nSeen = 0;
  for (;;) {
    for (int i = 0;
         i < nSpins + nYields && nGeneration_.load() == nSeen && !bStop_; ++i) {
      relax(i);
    }
    const bool bFirst = nSeen == 0;
    bool bSlept = bFirst;  // a new thread counts as woken
    if (nGeneration_.load() == nSeen && !bStop_) {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return bStop_ || nGeneration_.load() != nSeen; });
      bSlept = true;
    }
    if (bStop_) return;
    nSeen = nGeneration_.load();
#if defined(__linux__)
    // Placed away from its creator's CPU, the member may now run anywhere:
    // the constructor that placed it has returned before any work came.
    if (bFirst && bPlaced_) {
      sched_setaffinity(0, sizeof allowed_, &allowed_);
    }
    // The system tends to start a thread it wakes on the waker's CPU, and
    // where it does not know which CPUs share a cache (as on many virtual
    // machines) it may leave it there, behind the caller, for milliseconds
    // while another CPU idles. A member that finds itself there moves.
    if (bSlept && sched_getcpu() == nCallerCpu_.load()) {
      leaveCpu(nCallerCpu_.load());
    }
#endif
    runShare(nMember);
    if (nBusy_.fetch_sub(1) == 1) {
      // The caller may be asleep already; the lock orders this wake-up
      // after its check.
      std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_one();
    }
  }
}

void ThreadTeam::runInTurn(size_t nItems,
                           const std::function<void(size_t, int)>& inTurn,
                           const std::function<void(size_t, int)>& after) {
  if (nThreads_ == 1 || nItems < 2) {
    for (size_t k = 0; k < nItems; ++k) {
      inTurn(k, 0);
      after(k, 0);
    }
    return;
  }
  // Whoever holds the lock takes the next item and runs its inTurn, so the
  // items' inTurn run in item order without any member waiting for a
  // particular other one (which the system may have put aside).
  // The lock is held for a short stretch (some microseconds), so a member
  // that finds it taken spins, then yields, rather than sleeping: waking
  // a sleeping thread can take longer than the work it waits for when the
  // cores are shared.
  std::atomic<bool> bTaken{false};
  size_t nNext = 0;
  std::atomic<bool> bFailed{false};
  run(static_cast<size_t>(nThreads_), [&](size_t, size_t, int nMember) {
    try {
      for (;;) {
        for (int i = 0; bTaken.exchange(true, std::memory_order_acquire); ++i) {
          relax(i < nSpins ? i : nSpins);
        }
        if (nNext >= nItems || bFailed.load()) {
          bTaken.store(false, std::memory_order_release);
          return;
        }
        const size_t k = nNext++;
        try {
          inTurn(k, nMember);
        } catch (...) {
          bFailed.store(true);
          bTaken.store(false, std::memory_order_release);
          throw;
        }
        bTaken.store(false, std::memory_order_release);
        after(k, nMember);
      }
    } catch (...) {
      // The other members stop at their next item.
      bFailed.store(true);
      throw;
    }
  });
}
