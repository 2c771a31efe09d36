#ifndef KALMIR_DATAFILE_H_
#define KALMIR_DATAFILE_H_

// Data files as they come, whatever holds the table: a spreadsheet
// workbook (.xlsx, .ods, known by its content, not its name) is read as
// rows of cells; any other file is text in whatever encoding a spreadsheet
// or editor saved it (encoding.h), read as CSV. Either way the rows become
// cases by the same rules (caserules.h), so a workbook gives the cases that
// the same sheet saved as CSV gives. Nothing is kept between calls.

#include <cstdio>
#include <string>

#include "casefile.h"

// Reads a data file's bytes from in to its end; name is how messages and,
// without a case column, the case call it. A file that is not valid UTF-8
// but is read in another encoding says so in the file's notes.
CaseFile readDataFile(FILE* in, const std::string& name,
                      const CaseFileOptions& options);

// The same from the file's bytes in memory.
CaseFile readDataBytes(const std::string& bytes, const std::string& name,
                       const CaseFileOptions& options);

#endif  // KALMIR_DATAFILE_H_
