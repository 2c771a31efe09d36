#ifndef KALMIR_TABLE_H_
#define KALMIR_TABLE_H_

#include <string>

#include "kalmir/kalmir.h"

// The results table as text: a CSV table, a JSON array or the dialogue's
// reports, one entry per data set. The rows themselves are the public
// kalmir::table_row and csv_line (kalmir.h), made here, and json_object,
// made in json.cpp.
// Formatting only; figures in the CSV and JSON tables are the shortest
// decimals that read back as the same floats, so the tables hold the
// analyses' values exactly.

enum class TableFormat { kCsv, kJson, kReport };

// Puts the entries together: the text before the first entry, between
// entries and after the last. Entries may be made on any thread.
class TableWriter {
 public:
  explicit TableWriter(TableFormat format) : format_(format) {}
  std::string begin() const;
  // The text that goes before one entry (a separator after the first).
  std::string beforeEntry();
  std::string end() const;

 private:
  TableFormat format_;
  int nEntries_ = 0;
};

#endif  // KALMIR_TABLE_H_
