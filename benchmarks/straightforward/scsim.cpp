#include "scsim.h"

#include <cfloat>
#include <cmath>

#include "autocorrelation.h"
#include "mersenne.h"
#include "prob.h"
#include "quicksort.h"
#include "residuals.h"
#include "simulation.h"
#include "theilsen.h"
#include "variance.h"

static_assert(FLT_EVAL_METHOD == 0,
              "float arithmetic must carry no excess precision");

namespace {

inline float sqrtf64(float fX) {
  return static_cast<float>(std::sqrt(static_cast<double>(fX)));
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

void fitLines(const Phases& p, PhaseModel* pfNullModel,
              PhaseModel* pfExpModel) {
  theilSen(p.fTA.data(), p.fYA.data(), p.nNA, &(*pfNullModel)[kPhaseInt],
           &(*pfNullModel)[kPhaseSlope]);
  theilSen(p.fTB2.data(), p.fYB.data(), p.nNB, &(*pfExpModel)[kPhaseInt],
           &(*pfExpModel)[kPhaseSlope]);
}

void lineStdErrs(const Phases& p, PhaseModel* pfNullModel,
                 PhaseModel* pfExpModel) {
  theilSenStdErr(p.fTA.data(), p.fYA.data(), p.nNA,
                 &(*pfNullModel)[kPhaseIntSE], &(*pfNullModel)[kPhaseSlopeSE]);
  theilSenStdErr(p.fTB2.data(), p.fYB.data(), p.nNB,
                 &(*pfExpModel)[kPhaseIntSE], &(*pfExpModel)[kPhaseSlopeSE]);
}

void residualStage(const Phases& p, PhaseModel* pfNullModel,
                   PhaseModel* pfExpModel, AutocorrModel* pfAutocorrModel) {
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
  nullModel[kPhaseSD] = sqrtf64(variance(fEA.data(), nNA));
  expModel[kPhaseSD] = sqrtf64(variance(fEB.data(), nNB));
  nullModel[kPhaseSDSE] = stdDevStdErr(fEA.data(), nNA);
  expModel[kPhaseSDSE] = stdDevStdErr(fEB.data(), nNB);
  // Residuals are scaled, not centred; a phase with a residual SD of
  // exactly 0 keeps them as they are.
  std::vector<float> fStdE(static_cast<size_t>(nNA) + nNB);
  for (int i = 0; i < nNA; ++i) {
    fStdE[i] = nullModel[kPhaseSD] == 0.0f ? fEA[i]
                                            : fEA[i] / nullModel[kPhaseSD];
  }
  for (int i = 0; i < nNB; ++i) {
    fStdE[static_cast<size_t>(nNA) + i] =
        expModel[kPhaseSD] == 0.0f ? fEB[i] : fEB[i] / expModel[kPhaseSD];
  }
  AutocorrModel& autocorrModel = *pfAutocorrModel;
  autocorrModel[kAutoR1] = autocorr(fStdE.data(), nNA + nNB, 4);
  autocorrModel[kAutoR1SE] =
      autocorrStdErr(autocorrModel[kAutoR1], nNA + nNB);
}

float meanOfMeans(float fSingle, const float* pfMeans, int nSimN) {
  double sum = 0.0;
  for (int i = 0; i < nSimN; ++i) sum += pfMeans[i];
  const float fDouble = static_cast<float>(sum / nSimN);
  const double sd =
      std::sqrt(static_cast<double>(varianceDouble(pfMeans, nSimN)));
  const double drift =
      std::fabs(static_cast<double>(fSingle) - static_cast<double>(fDouble));
  if (sd == 0.0) return drift == 0.0 ? fSingle : fDouble;
  return drift > 0.01 * sd ? fDouble : fSingle;
}

void simulateCases(const Phases& p, const PhaseModel& nullModel,
                   const PhaseModel& expModel,
                   const AutocorrModel& autocorrModel, int nSimN,
                   CaseSimulation* pSim) {
  const int nNB = p.nNB;
  pSim->fNullMeans.resize(static_cast<size_t>(nSimN));
  pSim->fExpMeans.resize(static_cast<size_t>(nSimN));
  float* fNullMeans = pSim->fNullMeans.data();
  float* fExpMeans = pSim->fExpMeans.data();
  SimScratch scratch(nNB);
  float sum1 = 0.0f;
  float sum2 = 0.0f;
  for (int i = 0; i < nSimN; ++i) {
    fNullMeans[i] = simTimeSeriesMean(
        nNB, p.fTB.data(), nullModel[kPhaseInt], nullModel[kPhaseIntSE],
        nullModel[kPhaseSlope], nullModel[kPhaseSlopeSE], nullModel[kPhaseSD],
        nullModel[kPhaseSDSE], autocorrModel[kAutoR1],
        autocorrModel[kAutoR1SE], scratch);
    fExpMeans[i] = simTimeSeriesMean(
        nNB, p.fTB2.data(), expModel[kPhaseInt], expModel[kPhaseIntSE],
        expModel[kPhaseSlope], expModel[kPhaseSlopeSE], expModel[kPhaseSD],
        expModel[kPhaseSDSE], autocorrModel[kAutoR1],
        autocorrModel[kAutoR1SE], scratch);
    sum1 = sum1 + fNullMeans[i];
    sum2 = sum2 + fExpMeans[i];
  }
  pSim->fNullM = meanOfMeans(
      static_cast<float>(static_cast<double>(sum1) / nSimN), fNullMeans, nSimN);
  pSim->fNullSD = sqrtf64(variance(fNullMeans, nSimN));
  pSim->fExpM = meanOfMeans(
      static_cast<float>(static_cast<double>(sum2) / nSimN), fExpMeans, nSimN);
  pSim->fExpSD = sqrtf64(variance(fExpMeans, nSimN));
}

float empiricalP(float fMeanB, const float* pfSorted, int nSimN) {
  // Ties with the observed mean count as not below it; the search stops at
  // the last element.
  int i = 0;
  while (fMeanB > pfSorted[i]) {
    if (i == nSimN - 1) break;
    ++i;
  }
  if (i < nSimN / 2) {
    return static_cast<float>((static_cast<double>(i) / nSimN) * 2.0);
  }
  return static_cast<float>((static_cast<double>(nSimN - i) / nSimN) * 2.0);
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
  const float fSWithin = static_cast<float>(
      std::sqrt((static_cast<double>(x1) + x2) / x3));
  // The difference is formed again from the means, not read back from fD.
  const float fSMD = static_cast<float>(
      (static_cast<double>(fExpM) - fNullM) / fSWithin);
  const float fTerm1 = static_cast<float>((dNA + dNB) / (dNA * dNB));
  const float fTerm2 = static_cast<float>(static_cast<double>(fSMD) * fSMD /
                                          ((dNA + dNB) * 2.0));
  const float fSMDSD = static_cast<float>(
      std::sqrt(static_cast<double>(fTerm1) + fTerm2));
  const float a =
      static_cast<float>((dNA + dNB) * (dNA + dNB) / (dNA * dNB));
  const float r = static_cast<float>(
      fSMD / std::sqrt(static_cast<double>(fSMD) * fSMD + a));
  const float fRsq = r * r;
  float fSumB = 0.0f;
  for (int i = 0; i < nNB; ++i) fSumB = fSumB + fYB[i];
  const float fMeanB = static_cast<float>(static_cast<double>(fSumB) / dNB);
  std::vector<float> fNullSort(pfNullMeans, pfNullMeans + nSimN);
  quicksort(fNullSort.data(), nSimN);
  const float pEmp = empiricalP(fMeanB, fNullSort.data(), nSimN);
  // Divided by the literal 1.4142136, not by the exact root of 2.
  const float pNormal = erfcc(
      std::fabs(static_cast<double>(fSMD) / fSMDSD) / 1.4142136);

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

void scsim(int nNA, int nNB, const float* pfY, PhaseModel* pfNullModel,
           PhaseModel* pfExpModel, AutocorrModel* pfAutocorrModel,
           SimResults* pfSimResults, ESResults* pfESResults, int nSimN) {
  sgenrand(kAnalysisSeed);
  const Phases phases(nNA, nNB, pfY);
  fitLines(phases, pfNullModel, pfExpModel);
  lineStdErrs(phases, pfNullModel, pfExpModel);
  residualStage(phases, pfNullModel, pfExpModel, pfAutocorrModel);
  CaseSimulation sim;
  simulateCases(phases, *pfNullModel, *pfExpModel, *pfAutocorrModel, nSimN,
                &sim);
  effectSizes(nNA, nNB, phases.fYB.data(), nSimN, sim.fNullMeans.data(),
              sim.fNullM, sim.fNullSD, sim.fExpM, sim.fExpSD, pfSimResults,
              pfESResults);
}
