#ifndef KALMIR_MEDIAN_H_
#define KALMIR_MEDIAN_H_

// Medians of float series. Nothing is kept between calls, and the caller's
// array is never reordered.

// Median of nN >= 1 values; sorts a private copy.
float median(const float* pfX, int nN);
// Median of nN >= 1 values that are already in ascending order. The mean of
// the two middle values is formed in double and rounded to float once.
float medianOfSorted(const float* pfSorted, int nN);

#endif  // KALMIR_MEDIAN_H_
