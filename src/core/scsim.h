#ifndef KALMIR_SCSIM_H_
#define KALMIR_SCSIM_H_

#include <array>
#include <vector>

#include "rnorm.h"
#include "theilsen.h"
#include "variance.h"
#include "workspace.h"

class Workbench;

// The analysis entry: one call of scsim analyses one AB data set from start
// to finish and fills the five result records. Every stage shares the one
// random stream, so the stages run in a fixed order: reseed, line fits,
// bootstrap errors of the lines, residuals and serial dependence, case
// simulation, effect sizes. The same data always give bit-identical records.
// Everything an analysis keeps (its stream, working arrays and threads)
// lives in the Workbench the caller passes: analyses on different benches
// may run at once on different threads; one bench runs one at a time.

// Slots of a PhaseModel: one phase's line with its errors and residual SD.
enum PhaseSlot {
  kPhaseInt,      // intercept: the line's value at time 0 of its axis
  kPhaseIntSE,    // bootstrap standard error of the intercept
  kPhaseSlope,    // slope per measurement occasion
  kPhaseSlopeSE,  // bootstrap standard error of the slope
  kPhaseSD,       // residual standard deviation
  kPhaseSDSE,     // bootstrap standard error of the residual SD
  kPhaseSlots
};
// Slots of an AutocorrModel.
enum AutocorrSlot {
  kAutoR1,    // lag-1 autocorrelation of the standardized residuals + 4/n
  kAutoR1SE,  // its standard error
  kAutoSlots
};
// Slots of a SimResults record: summaries of the simulated B-phase means.
enum SimSlot {
  kSimNullMean,  // mean of the null-model means
  kSimNullSD,    // their SD (an SD of exactly 0 is stored as 1e-6)
  kSimExpMean,   // mean of the experimental-model means
  kSimExpSD,     // their SD
  kSimSlots
};
// Slots of an ESResults record.
enum ESSlot {
  kESD,        // unstandardized difference D
  kESd,        // standardized difference d
  kESdSE,      // standard error of d
  kESr,        // correlation r converted from d
  kESRsq,      // R-squared
  kESpNormal,  // normal-theory two-sided p of d (not printed)
  kESpEmp,     // empirical two-sided p
  kESSlots
};

using PhaseModel = std::array<float, kPhaseSlots>;
using AutocorrModel = std::array<float, kAutoSlots>;
using SimResults = std::array<float, kSimSlots>;
using ESResults = std::array<float, kESSlots>;

// The seed every analysis starts its random stream from.
const unsigned int kAnalysisSeed = 7487;

// Analyses nNA >= 2 A-phase and nNB >= 2 B-phase points, pfY holding the
// nNA + nNB finite values with the A phase first, from nSimN >= 2 simulated
// cases. Writes every slot of the five records. pfY is only read.
void scsim(Workbench& bench, int nNA, int nNB, const float* pfY,
           PhaseModel* pfNullModel, PhaseModel* pfExpModel,
           AutocorrModel* pfAutocorrModel, SimResults* pfSimResults,
           ESResults* pfESResults, int nSimN);

// How large an analysis is. The program always runs the full size; tests
// and fuzzing ask for less to run many analyses quickly.
struct AnalysisSize {
  int nBootSamples = 10000;  // resamples of each bootstrap, >= 2
  int nSimN = 100000;        // simulated cases, >= 2
};

// What the figures rest on that the report cannot show; the front ends
// turn these into notes.
struct AnalysisNotes {
  // What each line bootstrap left out, A phase then B phase.
  BootstrapExclusions lineA, lineB;
  // Single precision cannot resolve the data's spread: the level is so
  // large next to it that the residuals and simulated means lose it, or
  // the values are so small that their squares underflow.
  bool bLevelSwampsSpread = false;
  bool bSpreadUnderflows = false;
  // The single-precision variances and means kept under the 1% fall-back
  // move d by about fDDrift against the same figures in double precision
  // (a first-order estimate); bDDrift when that exceeds kDDriftNoted.
  double fDDrift = 0.0;
  bool bDDrift = false;
};
// The drift of d that earns a note: d is printed to three decimals.
const double kDDriftNoted = 0.005;

// One analysis: the five records, the notes, and, when asked for, the
// simulated means in case order (for pictures of their distributions).
struct Analysis {
  AnalysisSize size;  // the size it ran at
  PhaseModel nullModel{};
  PhaseModel expModel{};
  AutocorrModel autocorrModel{};
  SimResults simResults{};
  ESResults esResults{};
  AnalysisNotes notes;
  std::vector<float> fNullMeans;
  std::vector<float> fExpMeans;
};

// The analysis scsim runs, of the given size, into *pAnalysis. With
// bKeepMeans the simulated means are kept there; otherwise they are left
// empty. The records are bit for bit those of scsim at the full size.
// Starts from a reseeded stream and an empty deviate cache, so that the
// bench's earlier analyses, finished or stopped, leave no trace in it.
// Throws AnalysisStopped (progress.h) when the bench's progress listener
// asks it to stop; *pAnalysis is then incomplete.
void analyse(Workbench& bench, int nNA, int nNB, const float* pfY,
             const AnalysisSize& size, bool bKeepMeans, Analysis* pAnalysis);

// The stages, for tests and benchmarks. Each needs the stages before it to
// have run, in order, on the same bench, from a freshly seeded stream.

// The time axes and the split of the joined series.
struct Phases {
  Phases(int nNA, int nNB, const float* pfY);
  int nNA, nNB;
  std::vector<float> fTA;   // A times 1 ... nNA
  std::vector<float> fTB;   // B times on the common axis nNA+1 ... nNA+nNB
  std::vector<float> fYA;   // A values
  std::vector<float> fYB;   // B values
  std::vector<float> fTB2;  // B times on the B phase's own axis 1 ... nNB
};

// Slots 0 and 2 of both models.
void fitLines(Workbench& bench, const Phases& phases, PhaseModel* pfNullModel,
              PhaseModel* pfExpModel);
// Slots 1 and 3 of both models, A phase first; what each bootstrap left
// out goes to *pNotes when it is given.
void lineStdErrs(Workbench& bench, const Phases& phases,
                 PhaseModel* pfNullModel, PhaseModel* pfExpModel,
                 int nBootSamples = kBootSamples,
                 AnalysisNotes* pNotes = nullptr);
// Slots 4 and 5 of both models and both AutocorrModel slots.
void residualStage(Workbench& bench, const Phases& phases,
                   PhaseModel* pfNullModel, PhaseModel* pfExpModel,
                   AutocorrModel* pfAutocorrModel,
                   int nBootSamples = kSdBootSamples,
                   double* pfKeptDrift = nullptr);

// The simulated means and their summaries, before the zero guard on the
// null SD.
// Its arrays of means keep their room from one simulation to the next.
struct CaseSimulation {
  Workspace<float> fNullMeans;  // in case order, nSimN of them
  Workspace<float> fExpMeans;
  float fNullM, fNullSD, fExpM, fExpSD;
  // How far the kept single-precision summaries lie from the double ones:
  // each mean's difference (0 where the double mean was taken) and the
  // larger relative difference of the two SDs.
  double fNullMDrift = 0, fExpMDrift = 0, fSDDrift = 0;
};
// Simulates nSimN cases, a null-model then an experimental-model B phase
// each, into pSim's arrays (grown to nSimN when needed). The cases run in
// groups on all threads of the bench's team: each group takes its words
// from the stream in turn, then forms its deviates and simulates its cases.
void simulateCases(Workbench& bench, const Phases& phases,
                   const PhaseModel& nullModel, const PhaseModel& expModel,
                   const AutocorrModel& autocorrModel, int nSimN,
                   CaseSimulation* pSim);
// What simulateCases keeps between calls for each member of the team: its
// stretch of the stream, its group's deviates and one block of them laid
// out in lanes.
struct SimulationWork {
  struct alignas(64) Member {
    DeviateStretch stretch;
    Workspace<float> fDeviates;
    Workspace<float> fLanes;
  };
  std::vector<Member> members;
};

// The mean of nSimN simulated means: the single-precision running mean
// fSingle unless it has drifted from the double-precision mean by more
// than 1% of the means' SD, then the double-precision mean.
float meanOfMeans(float fSingle, const float* pfMeans, int nSimN);

// Effect sizes and p values from the simulation's summaries, the observed
// B phase fYB and the null means in case order; the only writer of the two
// records. pfNullMeans is only read.
void effectSizes(int nNA, int nNB, const float* fYB, int nSimN,
                 const float* pfNullMeans, float fNullM, float fNullSD,
                 float fExpM, float fExpSD, SimResults* pfSimResults,
                 ESResults* pfESResults);

// The empirical two-sided p of fMeanB among nSimN >= 1 ascending values.
float empiricalP(float fMeanB, const float* pfSorted, int nSimN);
// The same p from the means in any order, without sorting them.
float empiricalPOfMeans(float fMeanB, const float* pfMeans, int nSimN);
// The empirical p when the search stops at index i.
float empiricalPAt(int i, int nSimN);

#endif  // KALMIR_SCSIM_H_
