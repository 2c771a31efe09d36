#ifndef KALMIR_NOTES_H_
#define KALMIR_NOTES_H_

#include <string>
#include <vector>

#include "indices.h"
#include "kalmir/kalmir.h"
#include "scsim.h"

// The wording of the notes on an analysis's figures: what they rest on that
// the figures alone cannot show. Every front end prints these texts in its
// own idiom; this is the only place they are worded. Formatting only.

// The notes on analysis a of phases of nNA and nNB points, in the order
// the report's readers meet the figures; empty for ordinary data.
std::vector<kalmir::Note> analysisNotes(const Analysis& a, int nNA, int nNB);

// The notes on the other effect sizes x: why an SMD is left empty.
std::vector<kalmir::Note> indicesNotes(const EffectIndices& x);

// The note on values that a float holds only rounded: heldAs is the first
// one's ("100000003 is held as 100000000"), nRounded >= 1 how many there
// are in all.
std::string roundedValuesNote(const std::string& heldAs, int nRounded);

// The note on the missing values left out of a case: nMissing >= 1 of
// them, written as forms (each form as the file has it, "" for an empty
// field, in the order first met), where they stood in the case's series:
// at the mt of each (bMt) or at each occasion, counted from 1.
std::string missingValuesNote(int nMissing,
                              const std::vector<std::string>& forms,
                              const std::vector<std::string>& where, bool bMt);

// The note on a case whose mt is not evenly spaced: its steps between
// measurements run from fMinStep to fMaxStep (in days when bDays).
std::string unevenTimesNote(double fMinStep, double fMaxStep, bool bDays);

// The note on the one case of a file without a case column; candidates
// are the columns whose values look like case names.
std::string noCaseColumnNote(const std::vector<std::string>& candidates);

// The notes as a figure shows them, one short caveat each without a
// closing period: each note on the input (inputNotes) up to its first
// semicolon, then each of the analysis's notes in a few words.
std::vector<std::string> figureCaveats(
    const std::vector<std::string>& inputNotes,
    const std::vector<kalmir::Note>& notes);

// Notes on a design: a phase of n < 3 points; a reversal series of
// nChanges < 3 phase changes; a study whose cases' interventions start at
// nStarts < 3 distinct times; a study whose cases share a start.
std::string shortPhaseDesignNote(const std::string& phase, int n);
std::string fewChangesDesignNote(int nChanges);
std::string fewCasesDesignNote(int nStarts);
std::string notStaggeredDesignNote();
// A study averaged without nLeftOut of its cases, which could not be
// analysed.
std::string casesLeftOutDesignNote(int nLeftOut);

#endif  // KALMIR_NOTES_H_
