#ifndef KALMIR_CASEENTRY_H_
#define KALMIR_CASEENTRY_H_

#include <string>
#include <vector>

#include "case.h"
#include "kalmir/kalmir.h"
#include "table.h"

// A data file's case as an entry of the results table, with where it came
// from: its input notes and, for a case that could not be analysed, the
// file and line of its error.

// One case's entry: a CSV row, a JSON object or a report with its notes.
// a is the case's analysis, or null when the case has an error. With
// bIndices an analysed case's report is followed by the block of the other
// effect sizes (the tables always hold them). With pPlot the row has the
// plot column (withPlotColumn), holding *pPlot.
std::string tableEntry(TableFormat format, const Case& c,
                       const kalmir::Result* a, bool bIndices = false,
                       const std::string* pPlot = nullptr);

// Where and what is wrong with a case: "FILE:LINE: what".
std::string caseMessage(const Case& c);

// A case's notes: those on its input, then those on its figures.
std::vector<std::string> caseNotes(const Case& c, const kalmir::Result* a);

#endif  // KALMIR_CASEENTRY_H_
