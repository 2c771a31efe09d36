#ifndef KALMIR_QUICKSORT_H_
#define KALMIR_QUICKSORT_H_

// In-place ascending sort of a float series (Hoare partition, middle-element
// pivot). Equal values stop both scans, so long runs of equal values (the
// bootstrap's sentinels) split evenly. Keeps nothing between calls.

// Leaves a[0] ... a[n-1] in ascending order; n <= 1 leaves a untouched.
void quicksort(float* a, int n);

#endif  // KALMIR_QUICKSORT_H_
