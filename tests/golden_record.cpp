// Prints the 25 record slots of every golden data set as hex floats, one
// line a set, for tests/golden/expected.txt. Run it only from the
// straightforward analysis the golden file is meant to pin down.

#include <cstdio>

#include "dialogue.h"
#include "golden_data.h"
#include "scsim.h"
#include "workbench.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DATASETS\n", argv[0]);
    return 2;
  }
  Workbench bench;
  for (const GoldenSet& set : loadGoldenSets(argv[1])) {
    GoldenRecords r;
    scsim(bench, set.nNA, set.nNB, set.fY.data(), &r.nullModel, &r.expModel,
          &r.autocorrModel, &r.simResults, &r.esResults, kalmir::kCases);
    std::printf("%s\n", hexSlots(r.slots()).c_str());
    std::fflush(stdout);
  }
  return 0;
}
