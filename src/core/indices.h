#ifndef KALMIR_INDICES_H_
#define KALMIR_INDICES_H_

// The effect sizes single-case reviewers ask for beside KALMIR's own:
// overlap indices (NAP, Tau, Tau-U, baseline-corrected Tau, PND, PEM,
// PAND, IRD) and within-case standardized mean differences. All are formed
// in double precision from the phases' float values, with no random draws
// and nothing kept between calls. Each follows one published form, named
// where it is computed; the overlap indices treat the measurements as
// independent and ignore any trend but the one Tau-U and Tau-BC remove.

// A standardized mean difference with its standard error and 95% interval.
struct SmdEstimate {
  double g = 0, se = 0, ciLow = 0, ciHigh = 0;
};

// Why an SMD has no value.
enum class SmdGap {
  none,          // it has one
  flatSD,        // the SD it divides by is 0
  shortBaseline  // a 2-point baseline: its SD has one degree of freedom,
                 // for which the small-sample correction J is 0
};

struct EffectIndices {
  // Non-overlap of all pairs, its SE and 95% interval.
  double nap = 0, napSE = 0, napLow = 0, napHigh = 0;
  // Tau = 2 NAP - 1 and the same for its SE and interval.
  double tau = 0, tauSE = 0, tauLow = 0, tauHigh = 0;
  // Tau-U in Parker's form (A-phase trend removed); no SE.
  double tauU = 0;
  // Tau of the residuals from the A phase's Theil-Sen line, and that line.
  double tauBC = 0, tauBCSE = 0, tauBCLow = 0, tauBCHigh = 0;
  double baselineSlope = 0, baselineIntercept = 0;
  double pnd = 0, pem = 0, pand = 0, ird = 0;
  // Hedges' g with the A phase's SD and with the pooled SD; only where the
  // matching gap is SmdGap::none.
  SmdEstimate smdBaseline, smdPooled;
  SmdGap baselineGap = SmdGap::none, pooledGap = SmdGap::none;
};

// The normal quantile of every 95% interval here, to the seven digits the
// published SMD intervals use.
const double kZ95 = 1.959964;

// The indices of an A phase of nNA >= 2 values followed by a B phase of
// nNB >= 2, all finite. With bDecrease, lower values count as improvement:
// both phases are negated first, so every index reads "higher is better"
// and the SMDs change sign. The caller's arrays are left as they were.
EffectIndices effectIndices(const float* pfA, int nNA, const float* pfB,
                            int nNB, bool bDecrease);

#endif  // KALMIR_INDICES_H_
