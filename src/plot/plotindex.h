#ifndef KALMIR_PLOTINDEX_H_
#define KALMIR_PLOTINDEX_H_

// The index of a plot folder: DIR/index.html lists every case of a run in
// case order with its figures, its notes and a link to its plot, so that
// which file belongs to which case is plain. A page of its own, with
// relative links: it opens from the folder (file://) without a server.
// Keeps nothing between calls.

#include <string>
#include <vector>

#include "kalmir/kalmir.h"

// One case of the run.
struct IndexEntry {
  std::string name;
  std::string plotFile;  // its plot's file name in the folder; empty: none
  bool bAnalysed = false;
  std::string error;  // why it was not analysed
  // What a row that is no single analysis (a study's figure) says in
  // place of the figures, when it has no error.
  std::string summary;
  int nNA = 0, nNB = 0;
  float fD = 0, fd = 0, fdSE = 0, fR = 0, fP = 0;
  std::vector<std::string> notes;  // on its input, then on its figures
};

// The entry of an analysed case.
IndexEntry indexEntry(const std::string& name, const std::string& plotFile,
                      const kalmir::Result& result,
                      const std::vector<std::string>& notes);

// The entry of a study's figure: its average d over its cases.
IndexEntry studyIndexEntry(const std::string& name, const std::string& plotFile,
                           const kalmir::Study& study);

// The page, figures rounded as the plots print them.
std::string indexPage(const std::vector<IndexEntry>& entries);

// Writes the page to dir/index.html as plotfile.h writes; false with
// *pError set when it could not be written.
bool writePlotIndex(const std::string& dir,
                    const std::vector<IndexEntry>& entries,
                    std::string* pError);

#endif  // KALMIR_PLOTINDEX_H_
