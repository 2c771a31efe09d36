#ifndef KALMIR_WORKSPACE_H_
#define KALMIR_WORKSPACE_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Working arrays that outlive the call that uses them. The stages keep them
// in the analysis's Workbench, one for each thread of its team that runs
// them, so that every analysis after the first on that bench reuses memory
// the process already has: fresh pages cost a fault each on first
// touch, and a freed large block goes back to the system. Nothing in them
// is zero-filled, since every use writes what it later reads.

// Maps the pages of a fresh large block at once. Its first touches would
// otherwise fault one page at a time, and twice where two threads touch a
// page together (threads fill neighbouring parts of the arrays of means).
// The pages come zeroed from the system either way; without support for
// this (before Linux 5.14) nothing happens.
inline void populate(void* p, size_t nBytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  const size_t nPage = 4096;
  if (nBytes < 4 * nPage) return;
  const uintptr_t nFrom =
      (reinterpret_cast<uintptr_t>(p) + nPage - 1) & ~uintptr_t{nPage - 1};
  const uintptr_t nTo =
      (reinterpret_cast<uintptr_t>(p) + nBytes) & ~uintptr_t{nPage - 1};
  if (nTo > nFrom) {
    madvise(reinterpret_cast<void*>(nFrom), nTo - nFrom, MADV_POPULATE_WRITE);
  }
#else
  (void)p;
  (void)nBytes;
#endif
}

template <class T>
class Workspace {
 public:
  // Room for at least n elements, whose contents are undefined whenever the
  // room had to grow.
  T* get(size_t n) {
    if (n > nSize_) {
      p_.reset();
      p_.reset(new T[n]);  // default-initialised: not zero-filled
      nSize_ = n;
      populate(p_.get(), n * sizeof(T));
    }
    return p_.get();
  }
  // The room as it stands.
  T* data() { return p_.get(); }
  const T* data() const { return p_.get(); }
  size_t size() const { return nSize_; }

 private:
  std::unique_ptr<T[]> p_;
  size_t nSize_ = 0;
};

#endif  // KALMIR_WORKSPACE_H_
