#ifndef KALMIR_PARALLEL_H_
#define KALMIR_PARALLEL_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

// A team of threads that share out the independent items of one stage of an
// analysis. A team belongs to whoever made it (an analysis's Workbench) and
// runs one stage at a time, handed to it by one thread at a time. Every item is
// computed exactly as it would be on one thread and written to its own place,
// so no result depends on the number of threads or on their scheduling; all
// sums across items stay with the caller.

// The cores this process may run on (taskset and cpusets narrow them), at
// most 64: the threads a team has when its owner asks for one per core.
int coresAvailable();

class ThreadTeam {
 public:
  // nThreads counts the calling thread; 1 runs everything on it. A thread
  // the system cannot start is done without: the team is then smaller,
  // which changes no result.
  explicit ThreadTeam(int nThreads);
  ~ThreadTeam();
  ThreadTeam(const ThreadTeam&) = delete;
  ThreadTeam& operator=(const ThreadTeam&) = delete;

  int size() const { return nThreads_; }
  // The threads asked for, which size() may fall short of.
  int wanted() const { return nWanted_; }

  // Where member nMember's range of nItems begins; member size() gives
  // nItems. Ranges follow each other in member order.
  static size_t rangeBegin(size_t nItems, int nMembers, int nMember);

  // Calls fn(nBegin, nEnd, nMember) on contiguous ranges that cover
  // [0, nItems) once, nMember being the running member's number
  // (0 ... size() - 1), and returns when all are done. An exception
  // thrown by fn on any member (say, memory that cannot be had) is thrown
  // again here, once all members have stopped.
  void run(size_t nItems, const std::function<void(size_t, size_t, int)>& fn);

  // Hands items 0 ... nItems - 1 out to the members as they come free, in
  // increasing order, with one call of run for all of them. For each item,
  // inTurn(item, member) runs once inTurn of every earlier item has
  // returned, one member at a time, so that the items can draw from one
  // random stream in item order; then after(item, member) runs on the same
  // member alongside other items' work. Exceptions are thrown again as by
  // run.
  void runInTurn(size_t nItems, const std::function<void(size_t, int)>& inTurn,
                 const std::function<void(size_t, int)>& after);

 private:
  void memberLoop(int nMember);
  void runShare(int nMember);

  int nThreads_;
  int nWanted_;
  std::vector<std::thread> threads_;
#if defined(__linux__)
  cpu_set_t allowed_;     // the CPUs the creator could use
  bool bPlaced_ = false;  // members were started on other CPUs than it
#endif
  // A new generation hands out new work. Waiters spin briefly before they
  // sleep, since the stages of an analysis follow each other closely.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(size_t, size_t, int)>* pfn_ = nullptr;
  size_t nItems_ = 0;
  std::atomic<unsigned long> nGeneration_{0};
  std::atomic<int> nBusy_{0};
  std::atomic<bool> bStop_{false};
  std::atomic<int> nCallerCpu_{-1};  // where the caller of run was
  std::exception_ptr failure_;  // the first exception of a run, under mutex_
};

// A stage's working storage for each member of team, one T each, grown
// when the team has; call it before the team runs the stage.
template <class T>
T* membersFor(const ThreadTeam& team, std::vector<T>* pMembers) {
  const size_t nMembers = static_cast<size_t>(team.size());
  if (pMembers->size() < nMembers) pMembers->resize(nMembers);
  return pMembers->data();
}

#endif  // KALMIR_PARALLEL_H_
