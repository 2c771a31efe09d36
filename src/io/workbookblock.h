#ifndef KALMIR_WORKBOOKBLOCK_H_
#define KALMIR_WORKBOOKBLOCK_H_

// A Worksheet as one block of bytes, for the way from the workbook module
// to the program: its kind, error, name, sheet names and rows, each string
// and count as 8 bytes of length (in this machine's order) before its
// bytes. Both sides are built from this one header.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "workbook.h"

inline void appendCount(uint64_t n, std::string* pBlock) {
  pBlock->append(reinterpret_cast<const char*>(&n), sizeof n);
}

inline void appendText(const std::string& s, std::string* pBlock) {
  appendCount(s.size(), pBlock);
  pBlock->append(s);
}

inline std::string encodeWorksheet(const Worksheet& sheet) {
  std::string block;
  appendCount(static_cast<uint64_t>(sheet.kind), &block);
  appendText(sheet.error, &block);
  appendText(sheet.name, &block);
  appendCount(sheet.sheetNames.size(), &block);
  for (const std::string& name : sheet.sheetNames) appendText(name, &block);
  appendCount(sheet.rows.size(), &block);
  for (const std::vector<std::string>& row : sheet.rows) {
    appendCount(row.size(), &block);
    for (const std::string& cell : row) appendText(cell, &block);
  }
  return block;
}

// Reads what encodeWorksheet wrote; false for a block that ends early.
class WorksheetDecoder {
 public:
  WorksheetDecoder(const char* p, size_t n) : p_(p), nLeft_(n) {}

  bool decode(Worksheet* pSheet) {
    uint64_t nKind = 0, nNames = 0, nRows = 0;
    if (!count(&nKind) || !text(&pSheet->error) || !text(&pSheet->name) ||
        !count(&nNames)) {
      return false;
    }
    pSheet->kind = static_cast<WorkbookKind>(nKind);
    for (uint64_t i = 0; i < nNames; ++i) {
      pSheet->sheetNames.emplace_back();
      if (!text(&pSheet->sheetNames.back())) return false;
    }
    if (!count(&nRows)) return false;
    for (uint64_t i = 0; i < nRows; ++i) {
      uint64_t nCells = 0;
      if (!count(&nCells)) return false;
      pSheet->rows.emplace_back();
      for (uint64_t j = 0; j < nCells; ++j) {
        pSheet->rows.back().emplace_back();
        if (!text(&pSheet->rows.back().back())) return false;
      }
    }
    return nLeft_ == 0;
  }

 private:
  bool count(uint64_t* pn) {
    if (nLeft_ < sizeof *pn) return false;
    std::memcpy(pn, p_, sizeof *pn);
    p_ += sizeof *pn;
    nLeft_ -= sizeof *pn;
    return true;
  }
  bool text(std::string* pText) {
    uint64_t n = 0;
    if (!count(&n) || n > nLeft_) return false;
    pText->assign(p_, static_cast<size_t>(n));
    p_ += n;
    nLeft_ -= static_cast<size_t>(n);
    return true;
  }

  const char* p_;
  size_t nLeft_;
};

#endif  // KALMIR_WORKBOOKBLOCK_H_
