#ifndef KALMIR_CASERULES_H_
#define KALMIR_CASERULES_H_

// The rules that turn rows of a data table into cases, whatever the file
// format that holds the table: which columns count (case, phase, values,
// optionally mt and study, by their plain names, common other names or the
// user's), which rows belong to which case, phase labels matched without
// case (plain, A B A B, or numbered, A1 B1 A2 B2, which must then count the
// phases as they come), missing values (empty, NA, N/A, #N/A and the user's
// codes) left out, decimal commas where they are allowed, the time order
// (numbers or ISO dates) and its spacing, and every check the dialogue makes on
// typed data, so that a case that passes is analysed exactly as the
// dialogue would analyse it. A reader hands the header row to findColumns,
// then every row to CaseRules in file order; each case that fails a check
// carries its error and its line, and the others are ready for the
// analysis. Knows nothing of separators, quoting or bytes.

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "case.h"
#include "kalmir/kalmir.h"

struct CaseFileOptions {
  char cSeparator = 0;       // ',', ';' or '\t'; 0: found from the header
  char cDecimal = 0;         // '.' or ','; 0: a point, or either mark with ';'
  std::string phaseA = "A";  // phase labels, compared without case
  std::string phaseB = "B";
  int nMaxPhasePoints = kalmir::kMaxPhasePoints;
  // A workbook's sheet, by name or number from 1; "" the first. A text
  // file with a sheet named is an error.
  std::string sheet;
  // Columns by the user's names: a key ("case", "phase", "values", "mt",
  // "study") and the header's name for it, matched without case.
  std::vector<std::pair<std::string, std::string>> columnNames;
  // Codes for a missing value beyond empty, NA, N/A and #N/A; all are
  // matched without case and without surrounding blanks.
  std::vector<std::string> missingCodes;
};

// The keys a column can be mapped to, in the order messages list them.
extern const char* const kColumnKeys[5];

// Where the columns that the rules use stand in a row; -1 when absent.
struct Columns {
  int nCase = -1, nPhase = -1, nValue = -1, nTime = -1, nStudy = -1;
  int nFields = 0;    // fields in the header row
  std::string error;  // a column named twice; empty otherwise
  std::string valueName;  // the values column's name as the header has it
  std::vector<std::string> header;  // every column's name, trimmed
  // The columns taken by other names than the plain ones, for a note
  // ("case=id, values=score"); empty when every name is plain.
  std::string mapping;
};

// The columns named in a header row, in any case and with blanks around
// them: those of names (as in CaseFileOptions::columnNames) first, then by
// their plain names ("case", "phase", "values" or "value", "mt" or "time",
// "study"), then by common other names (case: id, participant, subject,
// name; phase: condition; values: score, y, outcome; mt: session,
// occasion, date, day; the first of these the header has). Other columns
// are ignored. A table that the rules can read has at least the phase and
// values columns, and no error; a name in names that the header lacks is
// an error naming the header's columns.
Columns findColumns(
    const std::vector<std::string>& header,
    const std::vector<std::pair<std::string, std::string>>& names = {});

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

  // What is wrong with the table as a whole (a column with both decimal
  // marks), and its line; empty when nothing is. Such a table's cases
  // should not be analysed.
  const std::string& error() const { return error_; }
  int errorLine() const { return nErrorLine_; }

  // Notes on the file as a whole, for the user once (no case column).
  const std::vector<std::string>& fileNotes() const { return fileNotes_; }

 private:
  // One measurement row of a case, as read.
  struct Row {
    double fTime = 0.0;  // mt, or days since 1970-01-01 for a date
    float fValue = 0.0f;
    int nLine = 0;
    bool bB = false;  // B phase, else A
    int nNumber = 0;  // the number of a numbered label ("A2": 2); 0: none
    bool bMissing = false;
    std::string time;  // the mt as written, for a missing value's note
  };
  // A case while its file is read: rows until the end, or its first error.
  struct PendingCase {
    Case c;
    std::vector<Row> rows;
    int nMissing = 0;
    std::vector<std::string> missingForms;  // each form once
    int nDateLine = 0, nNumberLine = 0;     // first mt of each kind
    int nInexact = 0;
    std::string firstInexact;
    int nStudyLine = 0;  // the line that named the case's study; 0: none
  };

  // Where a column has had a decimal point and a decimal comma: the first
  // line and text of each.
  struct MarksSeen {
    int nPointLine = 0, nCommaLine = 0;
    std::string point, comma;
  };
  // A column that might hold case names when there is no case column.
  struct NameColumn {
    std::unordered_map<std::string, int> counts;
    bool bRuledOut = false;
  };

  PendingCase& caseNamed(const std::string& name, int nLine);
  bool isMissing(const std::string& field) const;
  void noteMarks(const std::string& field, const char* what, int nLine,
                 MarksSeen* pSeen);
  bool readTime(const std::string& field, int nLine, PendingCase* pCase,
                Row* pRow);
  void noteNames(const std::vector<std::string>& fields);
  std::vector<std::string> nameColumns() const;
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
  MarksSeen valueMarks_, timeMarks_;
  std::vector<NameColumn> nameColumns_;  // by column, without a case column
  std::string error_;
  int nErrorLine_ = 0;
  std::vector<std::string> fileNotes_;
};

#endif  // KALMIR_CASERULES_H_
