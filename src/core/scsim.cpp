#include "scsim.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <memory>
#include <utility>

#include "autocorrelation.h"
#include "mersenne.h"
#include "parallel.h"
#include "prob.h"
#include "progress.h"
#include "quicksort.h"
#include "residuals.h"
#include "rnorm.h"
#include "simulation.h"
#include "theilsen.h"
#include "variance.h"
#include "workbench.h"

static_assert(FLT_EVAL_METHOD == 0,
              "float arithmetic must carry no excess precision");

namespace {

// The work of simulating one case, in the units of theilSenUnits: a pair
// of points in a fit costs about a third of a deviate.
double caseUnits(int nNB) { return 3.0 * simDeviatesPerPhase(nNB) * 2.0; }

inline float sqrtf64(float fX) {
  return static_cast<float>(std::sqrt(static_cast<double>(fX)));
}

// The SD of a phase's values around its fitted line, all in double.
double residualSD(const std::vector<float>& fT, const std::vector<float>& fY,
                  const PhaseModel& model) {
  const size_t n = fY.size();
  std::vector<double> e(n);
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    e[i] = static_cast<double>(fY[i]) -
           (static_cast<double>(model[kPhaseInt]) +
            static_cast<double>(model[kPhaseSlope]) * fT[i]);
    sum += e[i];
  }
  const double mean = sum / static_cast<double>(n);
  double ss = 0.0;
  for (double x : e) ss += (x - mean) * (x - mean);
  return std::sqrt(ss / static_cast<double>(n - 1));
}

// Single precision resolves the spread of the data when two things hold,
// checked on the smaller positive residual SD s of the two phases:
// - s >= 1e-18: below it the squares of s and of the errors derived from it
//   leave the normal range of floats (below 1.2e-38) and lose their digits;
// - n * ulp(level) <= s / 32, where level is the largest magnitude in the
//   data, ulp its spacing of floats and n the longer phase: a float sum of
//   n values at that level is off by about n * ulp / 2, which then stays
//   under 1/64 of the spread that the simulated means and the residuals
//   must show.
void notePrecision(const Phases& p, const PhaseModel& nullModel,
                   const PhaseModel& expModel, AnalysisNotes* pNotes) {
  const double sdA = residualSD(p.fTA, p.fYA, nullModel);
  const double sdB = residualSD(p.fTB2, p.fYB, expModel);
  double s = 0.0;
  if (sdA > 0.0) s = sdA;
  if (sdB > 0.0 && (s == 0.0 || sdB < s)) s = sdB;
  if (!(s > 0.0)) return;
  float fLevel = 0.0f;
  for (float f : p.fYA) fLevel = std::max(fLevel, std::fabs(f));
  for (float f : p.fYB) fLevel = std::max(fLevel, std::fabs(f));
  const double ulp =
      static_cast<double>(std::nextafter(fLevel, HUGE_VALF)) - fLevel;
  const double n = std::max(p.nNA, p.nNB);
  pNotes->bSpreadUnderflows = s < 1e-18;
  pNotes->bLevelSwampsSpread = n * ulp > s / 32.0;
}

// How far d could move if the single-precision summaries kept under the
// 1% fall-back were their double-precision values, to first order and at
// most (each error's drift counted as if it made the whole spread): d is
// D / S, so it moves by dD / S + |d| dS / S. dD is the difference of the
// two means' drifts; dS / S is bounded by the largest relative drift of
// an SD or a standard error behind S (an error scales the spread its
// parameter adds to the simulated means, so its relative drift carries
// over at most whole).
void noteDrift(const ESResults& es, const CaseSimulation& sim,
               double fKeptDrift, AnalysisNotes* pNotes) {
  const double d = es[kESd];
  const double dUnstd = es[kESD];
  if (!std::isfinite(d) || d == 0.0 || pNotes->bLevelSwampsSpread) return;
  const double s = std::fabs(dUnstd / d);
  if (!(s > 0.0) || !std::isfinite(s)) return;
  const double dD = std::fabs(sim.fExpMDrift - sim.fNullMDrift);
  const double rel = std::max(fKeptDrift, sim.fSDDrift);
  pNotes->fDDrift = dD / s + std::fabs(d) * rel;
  pNotes->bDDrift = pNotes->fDDrift > kDDriftNoted;
}

}  // namespace

Phases::Phases(int nNA_, int nNB_, const float* pfY)
    : nNA(nNA_),
      nNB(nNB_),
      fTA(static_cast<size_t>(nNA_)),
      fTB(static_cast<size_t>(nNB_)),
      fYA(static_cast<size_t>(nNA_)),
      fYB(static_cast<size_t>(nNB_)),
      fTB2(static_cast<size_t>(nNB_)) {
  for (int i = 0; i < nNA; ++i) fTA[i] = static_cast<float>(i + 1);
  for (int i = 0; i < nNB; ++i) fTB[i] = static_cast<float>(nNA + i + 1);
  for (int i = 0; i < nNA + nNB; ++i) {
    if (i < nNA) {
      fYA[i] = pfY[i];
    } else {
      fYB[i - nNA] = pfY[i];
    }
  }
  for (int i = 0; i < nNB; ++i) {
    fTB2[i] = static_cast<float>(static_cast<double>(fTB[i]) - nNA);
  }
}

void fitLines(Workbench& bench, const Phases& p, PhaseModel* pfNullModel,
              PhaseModel* pfExpModel) {
  theilSen(p.fTA.data(), p.fYA.data(), p.nNA, &(*pfNullModel)[kPhaseInt],
           &(*pfNullModel)[kPhaseSlope], bench.fits);
  theilSen(p.fTB2.data(), p.fYB.data(), p.nNB, &(*pfExpModel)[kPhaseInt],
           &(*pfExpModel)[kPhaseSlope], bench.fits);
}

void lineStdErrs(Workbench& bench, const Phases& p, PhaseModel* pfNullModel,
                 PhaseModel* pfExpModel, int nBootSamples,
                 AnalysisNotes* pNotes) {
  theilSenStdErr(bench, p.fTA.data(), p.fYA.data(), p.nNA,
                 &(*pfNullModel)[kPhaseIntSE], &(*pfNullModel)[kPhaseSlopeSE],
                 nBootSamples, pNotes != nullptr ? &pNotes->lineA : nullptr);
  theilSenStdErr(bench, p.fTB2.data(), p.fYB.data(), p.nNB,
                 &(*pfExpModel)[kPhaseIntSE], &(*pfExpModel)[kPhaseSlopeSE],
                 nBootSamples, pNotes != nullptr ? &pNotes->lineB : nullptr);
}

void residualStage(Workbench& bench, const Phases& p, PhaseModel* pfNullModel,
                   PhaseModel* pfExpModel, AutocorrModel* pfAutocorrModel,
                   int nBootSamples,
                   double* pfKeptDrift) {
  const int nNA = p.nNA;
  const int nNB = p.nNB;
  std::vector<float> fEA(static_cast<size_t>(nNA));
  std::vector<float> fEB(static_cast<size_t>(nNB));
  PhaseModel& nullModel = *pfNullModel;
  PhaseModel& expModel = *pfExpModel;
  regressionResiduals(p.fTA.data(), p.fYA.data(), p.fTB.data(), p.fYB.data(),
                      nNA, nNB, nullModel[kPhaseInt], nullModel[kPhaseSlope],
                      expModel[kPhaseInt], expModel[kPhaseSlope], fEA.data(),
                      fEB.data());
  // Fixed order: A variance, B variance, A bootstrap, B bootstrap.
  nullModel[kPhaseSD] = sqrtf64(variance(fEA.data(), nNA, pfKeptDrift));
  expModel[kPhaseSD] = sqrtf64(variance(fEB.data(), nNB, pfKeptDrift));
  nullModel[kPhaseSDSE] =
      stdDevStdErr(bench, fEA.data(), nNA, nBootSamples, pfKeptDrift);
  expModel[kPhaseSDSE] =
      stdDevStdErr(bench, fEB.data(), nNB, nBootSamples, pfKeptDrift);
  // Residuals are scaled, not centred; a phase with a residual SD of
  // exactly 0 keeps them as they are.
  std::vector<float> fStdE(static_cast<size_t>(nNA) + nNB);
  for (int i = 0; i < nNA; ++i) {
    fStdE[i] =
        nullModel[kPhaseSD] == 0.0f ? fEA[i] : fEA[i] / nullModel[kPhaseSD];
  }
  for (int i = 0; i < nNB; ++i) {
    fStdE[static_cast<size_t>(nNA) + i] =
        expModel[kPhaseSD] == 0.0f ? fEB[i] : fEB[i] / expModel[kPhaseSD];
  }
  AutocorrModel& autocorrModel = *pfAutocorrModel;
  autocorrModel[kAutoR1] = autocorr(fStdE.data(), nNA + nNB, 4);
  autocorrModel[kAutoR1SE] = autocorrStdErr(autocorrModel[kAutoR1], nNA + nNB);
}

namespace {

// meanOfMeans from the double-precision mean and variance of the means.
float chooseMean(float fSingle, float fDouble, float fVarDouble) {
  const double sd = std::sqrt(static_cast<double>(fVarDouble));
  const double drift =
      std::fabs(static_cast<double>(fSingle) - static_cast<double>(fDouble));
  if (sd == 0.0) return drift == 0.0 ? fSingle : fDouble;
  return drift > 0.01 * sd ? fDouble : fSingle;
}

// What the summaries of one set of simulated means are made of: the sums
// and squared deviations of variance() in single and in double precision
// (the double sum being meanOfMeans' too), each accumulated in case order
// as there, but all in two passes instead of seven.
struct MeansSums {
  float fSum = 0.0f;  // single-precision running sum
  double dSum = 0.0;  // double-precision running sum
  float fVarSingle = 0.0f;
  float fVarDouble = 0.0f;
};

void sumMeans(const float* pfA, const float* pfB, int n, MeansSums* pA,
              MeansSums* pB) {
  // Both sets in one loop: four running sums that do not wait on each
  // other.
  float fSumA = 0.0f, fSumB = 0.0f;
  double dSumA = 0.0, dSumB = 0.0;
  for (int i = 0; i < n; ++i) {
    fSumA = fSumA + pfA[i];
    dSumA += pfA[i];
    fSumB = fSumB + pfB[i];
    dSumB += pfB[i];
  }
  const float fMeanA = static_cast<float>(static_cast<double>(fSumA) / n);
  const float fMeanB = static_cast<float>(static_cast<double>(fSumB) / n);
  const double dMeanA = dSumA / n;
  const double dMeanB = dSumB / n;
  float fSSA = 0.0f, fSSB = 0.0f;
  double dSSA = 0.0, dSSB = 0.0;
  for (int i = 0; i < n; ++i) {
    const float zA = pfA[i] - fMeanA;
    const float zB = pfB[i] - fMeanB;
    fSSA = static_cast<float>(static_cast<double>(fSSA) +
                              static_cast<double>(zA) * zA);
    fSSB = static_cast<float>(static_cast<double>(fSSB) +
                              static_cast<double>(zB) * zB);
    const double dzA = pfA[i] - dMeanA;
    const double dzB = pfB[i] - dMeanB;
    dSSA += dzA * dzA;
    dSSB += dzB * dzB;
  }
  pA->fSum = fSumA;
  pA->dSum = dSumA;
  pA->fVarSingle = static_cast<float>(static_cast<double>(fSSA) / (n - 1));
  pA->fVarDouble = static_cast<float>(dSSA / (n - 1));
  pB->fSum = fSumB;
  pB->dSum = dSumB;
  pB->fVarSingle = static_cast<float>(static_cast<double>(fSSB) / (n - 1));
  pB->fVarDouble = static_cast<float>(dSSB / (n - 1));
}

}  // namespace

float meanOfMeans(float fSingle, const float* pfMeans, int nSimN) {
  double sum = 0.0;
  for (int i = 0; i < nSimN; ++i) sum += pfMeans[i];
  return chooseMean(fSingle, static_cast<float>(sum / nSimN),
                    varianceDouble(pfMeans, nSimN));
}

namespace {

// Deviates per group of cases: 32 KB of them, with their words about 80 KB
// per thread, stays in the L2 cache.
const size_t nGroupDeviates = 8192;

}  // namespace

void simulateCases(Workbench& bench, const Phases& p,
                   const PhaseModel& nullModel, const PhaseModel& expModel,
                   const AutocorrModel& autocorrModel, int nSimN,
                   CaseSimulation* pSim) {
  const int nNB = p.nNB;
  const size_t nCasesAll = static_cast<size_t>(nSimN);
  float* fNullMeans = pSim->fNullMeans.get(nCasesAll);
  float* fExpMeans = pSim->fExpMeans.get(nCasesAll);
  // Case c takes the deviates from c * nPerCase on: its null phase's n + 54,
  // then its experimental phase's. Groups of cases take theirs in turn from
  // the stream; each thread then forms its group's deviates and simulates
  // its cases in blocks of lanes.
  const int nPerPhase = simDeviatesPerPhase(nNB);
  const size_t nPerCase = 2 * static_cast<size_t>(nPerPhase);
  size_t nGroupCases = nGroupDeviates / nPerCase / kSimLanes * kSimLanes;
  if (nGroupCases < static_cast<size_t>(kSimLanes)) nGroupCases = kSimLanes;
  const size_t nGroups = (nCasesAll + nGroupCases - 1) / nGroupCases;
  RandomStream& stream = bench.stream;
  const SimdLevel simd = bench.simd();
  ThreadTeam& team = bench.team();
  SimulationWork::Member* members = membersFor(team, &bench.simulation.members);
  Progress& progress = bench.progress();
  const float fR1 = autocorrModel[kAutoR1];
  const float fR1SE = autocorrModel[kAutoR1SE];
  auto casesIn = [&](size_t g) {
    return std::min(nGroupCases, nCasesAll - g * nGroupCases);
  };
  // Cases done, reported by the calling thread alone.
  std::atomic<size_t> nCasesDone{0};
  size_t nCasesReported = 0;
  auto report = [&](size_t nUpTo) {
    progress.add(static_cast<double>(nUpTo - nCasesReported) * caseUnits(nNB));
    nCasesReported = nUpTo;
  };
  team.runInTurn(
      nGroups,
      [&](size_t g, int nMember) {
        members[nMember].stretch.take(stream, casesIn(g) * nPerCase, simd);
      },
      [&](size_t g, int nMember) {
        SimulationWork::Member& member = members[nMember];
        const size_t nCases = casesIn(g);
        // A small simulation needs no more room than its own cases.
        float* pfDeviates =
            member.fDeviates.get(std::min(nGroupCases, nCasesAll) * nPerCase);
        float* pfLanes = member.fLanes.get(nPerCase * kSimLanes);
        member.stretch.form(pfDeviates, simd);
        for (size_t c = 0; c < nCases; c += kSimLanes) {
          const int nLanes =
              static_cast<int>(std::min<size_t>(kSimLanes, nCases - c));
          const size_t nFirst = g * nGroupCases + c;
          simLanesFromCases(pfDeviates + c * nPerCase, nLanes,
                            static_cast<int>(nPerCase), pfLanes, simd);
          simPhaseMeansLanePair(pfLanes, nLanes, nNB, p.fTB.data(),
                                nullModel.data(), &fNullMeans[nFirst],
                                p.fTB2.data(), expModel.data(),
                                &fExpMeans[nFirst], fR1, fR1SE, simd);
        }
        const size_t nDone = nCasesDone.fetch_add(nCases) + nCases;
        // The calling thread reports for the whole team, and stops it when
        // asked.
        if (nMember == 0) {
          report(nDone);
          progress.stopWhenAsked();
        }
      });
  report(nCasesAll);
  // The running sums in case order, the means chosen by meanOfMeans and the
  // SDs of variance(), from the same sums formed once.
  MeansSums null, exp;
  sumMeans(fNullMeans, fExpMeans, nSimN, &null, &exp);
  pSim->fNullM =
      chooseMean(static_cast<float>(static_cast<double>(null.fSum) / nSimN),
                 static_cast<float>(null.dSum / nSimN), null.fVarDouble);
  pSim->fSDDrift = 0;
  pSim->fNullSD = sqrtf64(
      varianceGuarded(null.fVarSingle, null.fVarDouble, &pSim->fSDDrift));
  pSim->fExpM =
      chooseMean(static_cast<float>(static_cast<double>(exp.fSum) / nSimN),
                 static_cast<float>(exp.dSum / nSimN), exp.fVarDouble);
  pSim->fExpSD = sqrtf64(
      varianceGuarded(exp.fVarSingle, exp.fVarDouble, &pSim->fSDDrift));
  pSim->fNullMDrift = pSim->fNullM - null.dSum / nSimN;
  pSim->fExpMDrift = pSim->fExpM - exp.dSum / nSimN;
}

float empiricalPAt(int i, int nSimN) {
  if (i < nSimN / 2) {
    return static_cast<float>((static_cast<double>(i) / nSimN) * 2.0);
  }
  return static_cast<float>((static_cast<double>(nSimN - i) / nSimN) * 2.0);
}

float empiricalP(float fMeanB, const float* pfSorted, int nSimN) {
  // Ties with the observed mean count as not below it; the search stops at
  // the last element.
  int i = 0;
  while (fMeanB > pfSorted[i]) {
    if (i == nSimN - 1) break;
    ++i;
  }
  return empiricalPAt(i, nSimN);
}

float empiricalPOfMeans(float fMeanB, const float* pfMeans, int nSimN) {
  // The search in the sorted means stops at the first value not below the
  // observed mean, so its index is the number of means below it (at most
  // nSimN - 1): a count gives the same index without sorting. A NaN among
  // the means has no such order, and then the means are sorted as usual.
  int nBelow = 0;
  bool bOrdered = true;
  for (int i = 0; i < nSimN; ++i) {
    nBelow += fMeanB > pfMeans[i] ? 1 : 0;
    bOrdered = bOrdered && !std::isnan(pfMeans[i]);
  }
  if (bOrdered && !std::isnan(fMeanB)) {
    return empiricalPAt(std::min(nBelow, nSimN - 1), nSimN);
  }
  std::vector<float> fNullSort(pfMeans, pfMeans + nSimN);
  quicksort(fNullSort.data(), nSimN);
  return empiricalP(fMeanB, fNullSort.data(), nSimN);
}

void effectSizes(int nNA, int nNB, const float* fYB, int nSimN,
                 const float* pfNullMeans, float fNullM, float fNullSD,
                 float fExpM, float fExpSD, SimResults* pfSimResults,
                 ESResults* pfESResults) {
  const double dNA = nNA;
  const double dNB = nNB;
  const float fD = fExpM - fNullM;
  // Only the null SD is guarded; the float nearest 1e-6 stands in for 0.
  if (fNullSD == 0.0f) fNullSD = 1e-6f;
  const float x1 = static_cast<float>((dNA - 1.0) *
                                      (static_cast<double>(fNullSD) * fNullSD));
  const float x2 =
      static_cast<float>((dNB - 1.0) * (static_cast<double>(fExpSD) * fExpSD));
  const float x3 = static_cast<float>((dNA + dNB) - 2.0);
  const float fSWithin =
      static_cast<float>(std::sqrt((static_cast<double>(x1) + x2) / x3));
  // The difference is formed again from the means, not read back from fD.
  const float fSMD =
      static_cast<float>((static_cast<double>(fExpM) - fNullM) / fSWithin);
  const float fTerm1 = static_cast<float>((dNA + dNB) / (dNA * dNB));
  const float fTerm2 = static_cast<float>(static_cast<double>(fSMD) * fSMD /
                                          ((dNA + dNB) * 2.0));
  const float fSMDSD =
      static_cast<float>(std::sqrt(static_cast<double>(fTerm1) + fTerm2));
  const float a = static_cast<float>((dNA + dNB) * (dNA + dNB) / (dNA * dNB));
  const float r = static_cast<float>(
      fSMD / std::sqrt(static_cast<double>(fSMD) * fSMD + a));
  const float fRsq = r * r;
  float fSumB = 0.0f;
  for (int i = 0; i < nNB; ++i) fSumB = fSumB + fYB[i];
  const float fMeanB = static_cast<float>(static_cast<double>(fSumB) / dNB);
  const float pEmp = empiricalPOfMeans(fMeanB, pfNullMeans, nSimN);
  // Divided by the literal 1.4142136, not by the exact root of 2.
  const float pNormal =
      erfcc(std::fabs(static_cast<double>(fSMD) / fSMDSD) / 1.4142136);

  SimResults& sim = *pfSimResults;
  sim[kSimNullMean] = fNullM;
  sim[kSimNullSD] = fNullSD;
  sim[kSimExpMean] = fExpM;
  sim[kSimExpSD] = fExpSD;
  ESResults& es = *pfESResults;
  es[kESD] = fD;
  es[kESd] = fSMD;
  es[kESdSE] = fSMDSD;
  es[kESr] = r;
  es[kESRsq] = fRsq;
  es[kESpNormal] = pNormal;
  es[kESpEmp] = pEmp;
}

void analyse(Workbench& bench, int nNA, int nNB, const float* pfY,
             const AnalysisSize& size, bool bKeepMeans, Analysis* pAnalysis) {
  Analysis& a = *pAnalysis;
  const int nSimN = size.nSimN;
  Progress& progress = bench.progress();
  progress.start(theilSenUnits(nNA, size.nBootSamples) +
                 theilSenUnits(nNB, size.nBootSamples) +
                 stdDevStdErrUnits(nNA, size.nBootSamples) +
                 stdDevStdErrUnits(nNB, size.nBootSamples) +
                 static_cast<double>(nSimN) * caseUnits(nNB));
  // A finished analysis leaves the cache empty (it draws an even number of
  // deviates), a stopped one may not; emptying it here makes every
  // analysis start as on a new bench.
  sgenrand(bench.stream.words, kAnalysisSeed);
  bench.stream.cache = RnormCache();
  const Phases phases(nNA, nNB, pfY);
  a.size = size;
  a.notes = AnalysisNotes();
  progress.stopWhenAsked();
  fitLines(bench, phases, &a.nullModel, &a.expModel);
  lineStdErrs(bench, phases, &a.nullModel, &a.expModel, size.nBootSamples,
              &a.notes);
  progress.stopWhenAsked();
  double fKeptDrift = 0.0;
  residualStage(bench, phases, &a.nullModel, &a.expModel, &a.autocorrModel,
                size.nBootSamples, &fKeptDrift);
  progress.stopWhenAsked();
  // The means keep their room for the bench's next analysis.
  CaseSimulation& sim = bench.simulated;
  simulateCases(bench, phases, a.nullModel, a.expModel, a.autocorrModel, nSimN,
                &sim);
  progress.stopWhenAsked();
  effectSizes(nNA, nNB, phases.fYB.data(), nSimN, sim.fNullMeans.data(),
              sim.fNullM, sim.fNullSD, sim.fExpM, sim.fExpSD, &a.simResults,
              &a.esResults);
  notePrecision(phases, a.nullModel, a.expModel, &a.notes);
  noteDrift(a.esResults, sim,
            std::max({fKeptDrift, a.notes.lineA.fKeptDrift,
                      a.notes.lineB.fKeptDrift}),
            &a.notes);
  if (bKeepMeans) {
    a.fNullMeans.assign(sim.fNullMeans.data(), sim.fNullMeans.data() + nSimN);
    a.fExpMeans.assign(sim.fExpMeans.data(), sim.fExpMeans.data() + nSimN);
  } else {
    a.fNullMeans.clear();
    a.fExpMeans.clear();
  }
}

void scsim(Workbench& bench, int nNA, int nNB, const float* pfY,
           PhaseModel* pfNullModel, PhaseModel* pfExpModel,
           AutocorrModel* pfAutocorrModel, SimResults* pfSimResults,
           ESResults* pfESResults, int nSimN) {
  AnalysisSize size;
  size.nSimN = nSimN;
  Analysis a;
  analyse(bench, nNA, nNB, pfY, size, false, &a);
  *pfNullModel = a.nullModel;
  *pfExpModel = a.expModel;
  *pfAutocorrModel = a.autocorrModel;
  *pfSimResults = a.simResults;
  *pfESResults = a.esResults;
}
