// Feeds arbitrary bytes to the console dialogue as its standard input, with
// the analysis cut down (short phases, few resamples and simulated cases)
// so that one input runs in about a millisecond. Any return other than the
// two statuses of ended input and the stop on a data file is a finding, as
// is anything the sanitizers report.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dialogue.h"

namespace {

// 12 points per phase keep the n(n-1)/2 slopes and their bootstrap refits
// small; 24 simulated cases (three blocks of eight side by side) still take
// every branch of the simulation, and 24 resamples every branch of the
// bootstraps (the outlier rule, its standing aside, fits without a pair of
// distinct times), at several hundred inputs a second.
const int nFuzzMaxPhasePoints = 12;
const int nFuzzSimN = 24;
const int nFuzzBootSamples = 24;

FILE* sink() {
  static FILE* pSink = std::fopen("/dev/null", "w");
  return pSink;
}

// fmemopen may refuse a buffer of size 0, so empty input reads /dev/null.
FILE* emptyInput() {
  static FILE* pEmpty = std::fopen("/dev/null", "r");
  return pEmpty;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (sink() == nullptr || emptyInput() == nullptr) {
    std::perror("kalmir_fuzz: /dev/null");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* in = nullptr;
  if (size == 0) {
    in = emptyInput();
    std::clearerr(in);
  } else {
    // Opened for reading only, so the buffer is never written.
    in = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (in == nullptr) {
      std::perror("kalmir_fuzz: fmemopen");
      std::abort();
    }
  }
  DialogueLimits limits;
  limits.nMaxPhasePoints = nFuzzMaxPhasePoints;
  limits.nSimN = nFuzzSimN;
  limits.nBootSamples = nFuzzBootSamples;
  // Two threads, so that the stages' shared work is exercised too, kept
  // from one input to the next.
  static kalmir::Analyser analyser;
  limits.nThreads = 2;
  limits.pAnalyser = &analyser;
  char* pErr = nullptr;
  size_t nErr = 0;
  FILE* err = open_memstream(&pErr, &nErr);
  if (err == nullptr) {
    std::perror("kalmir_fuzz: open_memstream");
    std::abort();
  }
  const int nStatus = runDialogue(in, sink(), err, limits);
  if (size != 0) std::fclose(in);
  std::fclose(err);
  // Status 2 is also that of a failed write or read, which cannot happen
  // here; it must be the stop on a data file, said as such.
  const bool bDataFile =
      nStatus == kDialogueDataFile &&
      std::strstr(pErr, "kalmir: standard input holds a data file") != nullptr;
  std::free(pErr);
  if (nStatus != 0 && nStatus != 1 && !bDataFile) {
    std::fprintf(stderr, "kalmir_fuzz: dialogue returned %d\n", nStatus);
    std::abort();
  }
  return 0;
}
