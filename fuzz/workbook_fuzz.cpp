// Feeds arbitrary bytes to the workbook reader as a file. The first byte
// picks the sheet (the first, one by name, one by place) and whether the
// limits are the program's or small ones that a short run can reach; the
// rest is the file. A crash, a sanitizer report, an exception or a grid
// that breaks the reader's promises (no rows on an error, no trailing empty
// cells or rows, the cell cap kept) is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "workbook.h"

namespace {

void require(bool bHolds, const char* what) {
  if (bHolds) return;
  std::fprintf(stderr, "kalmir_workbook_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* const kSheets[] = {"", "Data", "2", "Notes"};
  const std::string sheet = kSheets[data[0] & 3];
  WorkbookLimits limits;
  if (data[0] & 4) {
    limits.nMaxPartBytes = size_t{1} << 16;
    limits.nMaxCells = 64;
  }
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Worksheet ws = readWorkbook(bytes, sheet, limits);
  if (!ws.error.empty()) {
    require(ws.rows.empty(), "rows despite an error");
    return 0;
  }
  require(ws.kind == WorkbookKind::kXlsx || ws.kind == WorkbookKind::kOds,
          "a sheet from no workbook");
  size_t nCells = 0;
  for (const std::vector<std::string>& row : ws.rows) {
    nCells += row.size() + 1;
    require(row.empty() || !row.back().empty(), "a trailing empty cell");
  }
  require(ws.rows.empty() || !ws.rows.back().empty(), "a trailing empty row");
  require(nCells <= limits.nMaxCells, "more cells than the cap");
  return 0;
}
