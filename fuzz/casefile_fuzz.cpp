// Feeds arbitrary bytes to the data-file reader as a file's bytes (text in
// any encoding, or a workbook), and every case it yields to the CSV, JSON
// and report entries. The first byte picks the options (separator,
// decimal mark, phase labels, missing-value codes); the rest is the file.
// A crash, a sanitizer report, an exception or a case that breaks the
// reader's promises (counts, values, one case per name) is a finding.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "caseentry.h"
#include "casefile.h"
#include "datafile.h"
#include "measurement.h"

namespace {

void require(bool bHolds, const char* what) {
  if (bHolds) return;
  std::fprintf(stderr, "kalmir_casefile_fuzz: %s\n", what);
  std::abort();
}

CaseFileOptions optionsFrom(uint8_t b) {
  const char kSeparators[] = {0, ',', ';', '\t'};
  const char kDecimals[] = {0, '.', ','};
  CaseFileOptions options;
  options.cSeparator = kSeparators[b & 3];
  options.cDecimal = kDecimals[(b >> 2) % 3];
  if (b & 0x40) {
    options.phaseA = "Baseline";
    options.phaseB = "treatment";
  }
  if (b & 0x80) options.missingCodes = {".", "-99"};
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const CaseFileOptions options = optionsFrom(data[0]);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const CaseFile file = readDataBytes(text, "fuzz.csv", options);
  if (!file.error.empty()) {
    require(file.cases.empty(), "a file error with cases");
    return 0;
  }
  std::set<std::string> names;
  // Figures of zero: only the reading and the formatting are under test.
  kalmir::Result analysis;
  for (const Case& c : file.cases) {
    require(names.insert(c.name).second, "two cases of one name");
    require(c.nLine >= 1, "a case without a line");
    if (c.error.empty()) {
      require(c.nNA >= 2 && c.nNA <= options.nMaxPhasePoints, "A count");
      require(c.nNB >= 2 && c.nNB <= options.nMaxPhasePoints, "B count");
      require(c.fY.size() == static_cast<size_t>(c.nNA + c.nNB), "values");
      require(c.times.empty() || c.times.size() == c.fY.size(), "times");
      for (size_t i = 1; i < c.times.size(); ++i) {
        require(c.times[i - 1] < c.times[i], "times out of order");
      }
      for (float f : c.fY) {
        require(std::isfinite(f) && std::fabs(f) <= kalmir::kMaxMagnitude, "a value");
      }
    } else {
      require(c.fY.empty(), "values kept for a failed case");
    }
    analysis.name = c.name;
    analysis.n_a = c.nNA;
    analysis.n_b = c.nNB;
    const kalmir::Result* a = c.error.empty() ? &analysis : nullptr;
    for (TableFormat format :
         {TableFormat::kCsv, TableFormat::kJson, TableFormat::kReport}) {
      require(!tableEntry(format, c, a).empty(), "an empty entry");
    }
  }
  return 0;
}
