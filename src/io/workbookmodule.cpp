// The workbook module's one entry point: the reader of workbook.h behind
// the plain-C face of workbookmodule.h.

#include "workbookmodule.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "workbook.h"
#include "workbookblock.h"

extern "C" __attribute__((visibility("default"))) char* kalmir_read_workbook_1(
    const char* pBytes, size_t nBytes, const char* pSheet, size_t nSheet,
    size_t* pnBlock) {
  try {
    const std::string block = encodeWorksheet(readWorkbook(
        std::string(pBytes, nBytes), std::string(pSheet, nSheet)));
    char* p = static_cast<char*>(std::malloc(block.size() + 1));
    if (p == nullptr) return nullptr;
    std::memcpy(p, block.data(), block.size());
    *pnBlock = block.size();
    return p;
  } catch (...) {
    // Memory that could not be had; nothing else throws.
    return nullptr;
  }
}
