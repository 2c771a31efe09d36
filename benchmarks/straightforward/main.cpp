// The straightforward build of the analysis, for measuring the program
// against: the analysis units exactly as the project's first commit had them
// (one thread, one deviate at a time, quicksort-based medians and fits,
// every working array allocated and zero-filled per call). Reads data sets
// as the dialogue takes them (nNA, the A values, nNB, the B values, white
// space between) until input ends, and prints each set's 25 record slots as
// hex floats, so that its records can be checked against the program's.

#include <cstdio>
#include <vector>

#include "scsim.h"

namespace {

bool readPhase(std::vector<float>* pfY, int* pnN) {
  if (std::scanf("%d", pnN) != 1 || *pnN < 2) return false;
  for (int i = 0; i < *pnN; ++i) {
    float fValue;
    if (std::scanf("%f", &fValue) != 1) return false;
    pfY->push_back(fValue);
  }
  return true;
}

}  // namespace

int main() {
  const int nSimN = 100000;
  for (;;) {
    std::vector<float> fY;
    int nNA = 0, nNB = 0;
    if (!readPhase(&fY, &nNA) || !readPhase(&fY, &nNB)) return 0;
    PhaseModel nullModel, expModel;
    AutocorrModel autocorrModel;
    SimResults simResults;
    ESResults esResults;
    scsim(nNA, nNB, fY.data(), &nullModel, &expModel, &autocorrModel,
          &simResults, &esResults, nSimN);
    const char* pSep = "";
    for (const auto* pRecord : {nullModel.data(), expModel.data()}) {
      for (int i = 0; i < kPhaseSlots; ++i) {
        std::printf("%s%a", pSep, static_cast<double>(pRecord[i]));
        pSep = " ";
      }
    }
    for (float f : autocorrModel) std::printf(" %a", static_cast<double>(f));
    for (float f : simResults) std::printf(" %a", static_cast<double>(f));
    for (float f : esResults) std::printf(" %a", static_cast<double>(f));
    std::printf("\n");
  }
}
