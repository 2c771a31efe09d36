#ifndef KALMIR_QUICKSORT_H_
#define KALMIR_QUICKSORT_H_

// In-place ascending sort of a float series (Hoare partition, middle-element
// pivot). Equal values stop both scans, so long runs of equal values (the
// bootstrap's sentinels) split evenly. Keeps nothing between calls.

// Leaves a[0] ... a[n-1] in ascending order; n <= 1 leaves a untouched.
void quicksort(float* a, int n);

// The same ascending order by a radix sort of the floats' bit patterns,
// for long arrays of ordered values (no NaN); pfScratch has room for n
// floats.
// Equal values, -0 and +0 among them, may stand in another order than
// quicksort leaves them, which no later use of a sorted array can tell.
void radixSort(float* a, int n, float* pfScratch);

#endif  // KALMIR_QUICKSORT_H_
