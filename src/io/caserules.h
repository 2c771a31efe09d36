#ifndef KALMIR_CASERULES_H_
#define KALMIR_CASERULES_H_

// The rules that turn rows of a data table into cases, whatever the file
// format that holds the table: which columns count (case, phase, values,
// optionally mt and study), which rows belong to which case, phase labels
// matched without case (plain, A B A B, or numbered, A1 B1 A2 B2, which
// must then count the phases as they come), missing values (empty or NA) left out, decimal commas where
// they are allowed, the time order, and every check the dialogue makes on
// typed data, so that a case that passes is analysed exactly as the
// dialogue would analyse it. A reader hands the header row to findColumns,
// then every row to CaseRules in file order; each case that fails a check
// carries its error and its line, and the others are ready for the
// analysis. Knows nothing of separators, quoting or bytes.

#include <string>
#include <unordered_map>
#include <vector>

#include "case.h"
#include "kalmir/kalmir.h"

struct CaseFileOptions {
  char cSeparator = 0;       // ',', ';' or '\t'; 0: found from the header
  char cDecimal = 0;         // '.' or ','; 0: a point, or either mark with ';'
  std::string phaseA = "A";  // phase labels, compared without case
  std::string phaseB = "B";
  int nMaxPhasePoints = kalmir::kMaxPhasePoints;
};

// Where the columns that the rules use stand in a row; -1 when absent.
struct Columns {
  int nCase = -1, nPhase = -1, nValue = -1, nTime = -1, nStudy = -1;
  int nFields = 0;    // fields in the header row
  std::string error;  // a column named twice; empty otherwise
  std::string valueName;  // the values column's name as the header has it
};

// The columns named in a header row ("case", "phase", "values" or "value",
// "mt" or "time", "study", in any case and with blanks around them); other
// columns are ignored. A table that the rules can read has at least the phase and
// values columns, and no error.
Columns findColumns(const std::vector<std::string>& header);

class CaseRules {
 public:
  // fileName names the file in cases and, when there is no case column,
  // is the one case's name. columns come from findColumns and hold the
  // phase and values columns. cSep is the separator the rows were split
  // at ('\0' for a format that splits no text): a semicolon allows a
  // decimal comma unless options say otherwise, and a comma gives a hint
  // where a row has too many fields.
  CaseRules(std::string fileName, const CaseFileOptions& options,
            const Columns& columns, char cSep);

  // One row of the table, from line nLine of the file. Fields are taken
  // without their surrounding blanks; a row that is all blank is skipped.
  // problem is what the reader found wrong with the row's form (its
  // quoting), or empty; it fails the row's case.
  void addRow(std::vector<std::string> fields, int nLine,
              const std::string& problem = "");

  // Every case, in the order of its first row, with its checks done. The
  // rules are spent afterwards.
  std::vector<Case> finish();

 private:
  // One measurement row of a case, as read.
  struct Row {
    double fTime = 0.0;
    float fValue = 0.0f;
    int nLine = 0;
    bool bB = false;  // B phase, else A
    int nNumber = 0;  // the number of a numbered label ("A2": 2); 0: none
    bool bMissing = false;
  };
  // A case while its file is read: rows until the end, or its first error.
  struct PendingCase {
    Case c;
    std::vector<Row> rows;
    int nMissing = 0;
    int nInexact = 0;
    std::string firstInexact;
    int nStudyLine = 0;  // the line that named the case's study; 0: none
  };

  PendingCase& caseNamed(const std::string& name, int nLine);
  std::string numberText(const std::string& field, const char* what,
                         std::string* pText) const;
  void finishCase(PendingCase* pCase) const;
  bool phaseLabel(const std::string& phase, Row* pRow) const;
  bool phasesFit(PendingCase* pCase, const std::vector<int>& nFirst,
                 const std::vector<int>& nSizes) const;
  bool phaseLengthFits(PendingCase* pCase, const std::string& label, int n,
                       int nLine) const;

  std::string fileName_;
  CaseFileOptions options_;
  Columns cols_;
  char cSep_;
  std::vector<PendingCase> pending_;
  std::unordered_map<std::string, size_t> index_;  // name -> pending_
};

#endif  // KALMIR_CASERULES_H_
