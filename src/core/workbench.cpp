#include "workbench.h"

Workbench::Workbench() : simd_(cpuSimdLevel()) {}

Workbench::~Workbench() = default;

void Workbench::setThreads(int nThreads) {
  nThreads_ = nThreads < 0 ? 0 : nThreads;
}

ThreadTeam& Workbench::team() {
  const int nWanted = nThreads_ > 0 ? nThreads_ : coresAvailable();
  if (!team_ || team_->wanted() != nWanted) {
    // The old team's threads end before the new one's start.
    team_.reset();
    team_.reset(new ThreadTeam(nWanted));
  }
  return *team_;
}

void Workbench::setVectorized(bool bOn) {
  simd_ = bOn ? cpuSimdLevel() : SimdLevel::kScalar;
}
