#ifndef KALMIR_WORKSPACE_H_
#define KALMIR_WORKSPACE_H_

#include <cstddef>
#include <memory>

// Working arrays that outlive the call that uses them. The stages keep one
// per thread that runs them, so that every analysis after the first reuses
// memory the process already has: fresh pages cost a fault each on first
// touch, and a freed large block goes back to the system. Nothing in them
// is zero-filled, since every use writes what it later reads.

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
