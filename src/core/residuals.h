#ifndef KALMIR_RESIDUALS_H_
#define KALMIR_RESIDUALS_H_

// Residuals of the two-phase (piecewise) regression model built from the two
// phase lines: the A line, a level change at the first B occasion and a
// slope change after it. Pure: keeps nothing and draws nothing.

// pfTA, pfYA: the nNA A-phase times and values; pfTB, pfYB: the nNB B-phase
// times on the common axis (pfTB[0] = nNA + 1) and values. intA, slopeA: the
// A line; intB, slopeB: the B line on its own axis 1 ... nNB. Writes nNA
// residuals to pfEA and nNB to pfEB.
void regressionResiduals(const float* pfTA, const float* pfYA,
                         const float* pfTB, const float* pfYB, int nNA, int nNB,
                         float intA, float slopeA, float intB, float slopeB,
                         float* pfEA, float* pfEB);

#endif  // KALMIR_RESIDUALS_H_
