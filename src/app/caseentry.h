#ifndef KALMIR_CASEENTRY_H_
#define KALMIR_CASEENTRY_H_

#include <string>
#include <vector>

#include "case.h"
#include "kalmir/kalmir.h"
#include "table.h"

// A data file's case as entries of the results table, with where it came
// from: its input notes and, for a case that could not be analysed, the
// file and line of its error. A case is a series: a row per phase change
// (an AB case has one), then, with two or more A-B contrasts, the row of
// their average. A study's row follows its cases'.

// How the rows of a case or a study are made.
struct EntryOptions {
  // With bIndices an analysed case's report is followed by the block of
  // the other effect sizes (the tables always hold them).
  bool bIndices = false;
  kalmir::Weights weights = kalmir::Weights::equal;  // as the reports say
  kalmir::Improvement improvement = kalmir::Improvement::increase;
};

// One case's entry: CSV rows, JSON objects (separated by a comma and a
// line end) or reports with their notes. s is the case's series, or null
// when the case has an error. With pPlot the rows have the plot column
// (withPlotColumn), each holding *pPlot, the case's plot.
std::string tableEntry(TableFormat format, const Case& c,
                       const kalmir::Series* s, const EntryOptions& options,
                       const std::string* pPlot = nullptr);
// The same for an AB case, whose analysis is a (null: the case's error).
std::string tableEntry(TableFormat format, const Case& c,
                       const kalmir::Result* a, bool bIndices = false,
                       const std::string* pPlot = nullptr);

// A study's entry: its summary row, or, when error is set (the study could
// not be averaged), its error row; notes go on the row. file names where
// the study was read. With pPlot the row has a plot column holding it
// (the study figure's file name, or empty).
std::string studyEntry(TableFormat format, const std::string& name,
                       const kalmir::Study* pStudy, const std::string& error,
                       const std::vector<std::string>& notes,
                       const EntryOptions& options,
                       const std::string* pPlot = nullptr);

// Where and what is wrong with a case: "FILE:LINE: what".
std::string caseMessage(const Case& c);

// A contrast's notes: those on the case's input, then those on its
// figures.
std::vector<std::string> caseNotes(const Case& c, const kalmir::Result* a);

#endif  // KALMIR_CASEENTRY_H_
