#ifndef KALMIR_CASEFILE_H_
#define KALMIR_CASEFILE_H_

// CSV data files -> cases. A data file is a table in long form: a header
// row names the columns (case, phase, values, optionally mt), then one row
// per measurement. The text is split into records by csv.h (quoting, a
// byte-order mark, any line end); the field separator is found from the
// header unless told; the rows become cases by the rules of caserules.h.
// Nothing is kept between calls.

#include <cstdio>
#include <string>
#include <vector>

#include "case.h"
#include "caserules.h"

// What a whole file came to. A file whose header or quoting cannot be
// read has no cases and an error, with the line it was found on.
struct CaseFile {
  std::vector<Case> cases;  // in the order of each case's first row
  std::string error;        // empty when the file could be read
  int nLine = 0;
  // Notes on the file as a whole, for the user once, without a closing
  // period: the columns read by other names, no case column, the text's
  // encoding.
  std::vector<std::string> notes;
  bool bNoRows = false;  // a header and no row of data after it
};

// Reads a data file from in; name is how messages and, without a case
// column, the case call it. Each case that fails its checks carries its
// error; the others are ready for the analysis.
CaseFile readCaseFile(FILE* in, const std::string& name,
                      const CaseFileOptions& options);

// The same from text in memory.
CaseFile readCaseText(const std::string& text, const std::string& name,
                      const CaseFileOptions& options);

// The same from the rows of cells of a sheet (workbook.h): the header is
// the first row with a filled cell, and row i (from 0) is line i + 1, as
// the spreadsheet numbers it. Cells are taken as they stand: no decimal
// comma unless options say so.
CaseFile readCaseRows(const std::vector<std::vector<std::string>>& rows,
                      const std::string& name, const CaseFileOptions& options);

#endif  // KALMIR_CASEFILE_H_
