#include "notes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kalmir::Note;
using kalmir::NoteCode;

TEST(Notes, FiguresCarryEachNoteAsAShortCaveat) {
  // Notes on the input up to their first semicolon; the analysis's notes
  // each in a few words that keep what they mean for d, r and p.
  const std::vector<std::string> input = {
      "1 missing value (empty or NA) left out",
      roundedValuesNote("line 7: 100000003 is held as 100000000", 3)};
  const std::vector<Note> notes = {
      {NoteCode::short_phase, "long text"},
      {NoteCode::flat_null, "long text"},
      {NoteCode::short_phase_flat_null, "long text"},
      {NoteCode::level_swamps_spread, "long text"},
      {NoteCode::spread_underflows, "long text"},
      {NoteCode::bootstrap_left_out,
       "the A phase's line bootstrap left out 12 of 10000 fits whose "
       "intercept lay beyond 1000 in magnitude; its line's errors come from "
       "the rest"},
  };
  EXPECT_EQ(
      std::vector<std::string>(
          {"1 missing value (empty or NA) left out",
           "line 7: 100000003 is held as 100000000 (and 2 more values are "
           "rounded likewise)",
           "a phase of only 2 points: d, r and p are not meaningful",
           "the baseline lies exactly on its line: d, r and p are not "
           "meaningful",
           "a phase of only 2 points and a baseline exactly on its line: d, "
           "r and p are not meaningful",
           "single precision loses the data's spread at their level: d, r "
           "and p may be far off",
           "the data's spread is below 1e-18: the errors, d, r and p may be "
           "far off",
           "the A phase's line bootstrap left out 12 of 10000 fits whose "
           "intercept lay beyond 1000 in magnitude"}),
      figureCaveats(input, notes));
  EXPECT_TRUE(figureCaveats({}, {}).empty());
}
