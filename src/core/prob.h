#ifndef KALMIR_PROB_H_
#define KALMIR_PROB_H_

// The complementary error function, for the normal-theory p value of d.
// Pure.

// erfc(x) by a Chebyshev approximation (fractional error below 1.2e-7).
// The argument is rounded to float on entry; all further work uses that
// float.
float erfcc(double xIn);

#endif  // KALMIR_PROB_H_
