#include "select.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this many entries an insertion sort is the quickest way.
const size_t nSortBelow = 32;
// From this many entries on, one filtering pass first narrows the search to
// the values between two pivots taken from a sample.
const size_t nFilterFrom = 128;

void insertionSort(float* v, uint32_t* w, size_t n) {
  for (size_t i = 1; i < n; ++i) {
    const float fV = v[i];
    const uint32_t nW = w[i];
    size_t j = i;
    for (; j > 0 && fV < v[j - 1]; --j) {
      v[j] = v[j - 1];
      w[j] = w[j - 1];
    }
    v[j] = fV;
    w[j] = nW;
  }
}

// The smallest value above fAbove among n entries; the caller knows one
// exists.
float smallestAbove(const float* v, size_t n, float fAbove) {
  bool bFound = false;
  float fMin = 0.0f;
  for (size_t i = 0; i < n; ++i) {
    if (v[i] > fAbove && (!bFound || v[i] < fMin)) {
      fMin = v[i];
      bFound = true;
    }
  }
  return fMin;
}

// Three-way quickselect over the weighted entries. Finds the value at rank
// nRank, and at nRank + 1 when pfNext is given.
void quickRanks(float* v, uint32_t* w, size_t n, uint64_t nRank, float* pfAt,
                float* pfNext) {
  float* const vAll = v;
  const size_t nAll = n;
  for (;;) {
    if (n <= nSortBelow) {
      insertionSort(v, w, n);
      uint64_t nCum = 0;
      size_t i = 0;
      while (nCum + w[i] <= nRank) nCum += w[i++];
      *pfAt = v[i];
      if (pfNext != nullptr) {
        if (nRank + 1 < nCum + w[i]) {
          *pfNext = v[i];
        } else if (i + 1 < n) {
          *pfNext = v[i + 1];
        } else {
          *pfNext = smallestAbove(vAll, nAll, v[i]);
        }
      }
      return;
    }
    float a = v[0], b = v[n / 2], c = v[n - 1];
    if (b < a) std::swap(a, b);
    if (c < b) b = c < a ? a : c;
    const float p = b;
    // Dutch-flag partition: [0, nLt) < p, [nLt, nGt) == p, [nGt, n) > p.
    size_t nLt = 0, i = 0, nGt = n;
    uint64_t nWLt = 0, nWEq = 0;
    while (i < nGt) {
      if (v[i] < p) {
        nWLt += w[i];
        std::swap(v[i], v[nLt]);
        std::swap(w[i], w[nLt]);
        ++nLt;
        ++i;
      } else if (p < v[i]) {
        --nGt;
        std::swap(v[i], v[nGt]);
        std::swap(w[i], w[nGt]);
      } else {
        nWEq += w[i];
        ++i;
      }
    }
    if (nRank < nWLt) {
      n = nLt;
    } else if (nRank < nWLt + nWEq) {
      *pfAt = p;
      if (pfNext != nullptr) {
        if (nRank + 1 < nWLt + nWEq) {
          *pfNext = p;
        } else if (nGt < n) {
          float fMin = v[nGt];
          for (size_t k = nGt + 1; k < n; ++k) fMin = std::min(fMin, v[k]);
          *pfNext = fMin;
        } else {
          *pfNext = smallestAbove(vAll, nAll, p);
        }
      }
      return;
    } else {
      nRank -= nWLt + nWEq;
      v += nGt;
      w += nGt;
      n -= nGt;
    }
  }
}

}  // namespace

WeightedSelect::WeightedSelect(size_t n) {
  fCandV_.reserve(n);
  nCandW_.reserve(n);
  fCandV2_.reserve(n / 4);
  nCandW2_.reserve(n / 4);
}

void WeightedSelect::ranks(float* v, uint32_t* w, size_t n, uint64_t nRank,
                           float* pfAt, float* pfNext) {
  // Each round takes pivots from an evenly spaced sample, a little below
  // and above where the ranks should fall; one branch-free pass counts the
  // weight below them and copies what lies between into scratch. Only the
  // speed depends on the pivots: when the ranks are not between them, the
  // quickselect runs on the round's input, which is left whole.
  while (n >= nFilterFrom) {
    const uint64_t nLastRank = nRank + (pfNext != nullptr ? 1 : 0);
    uint64_t nTotal = 0;
    for (size_t i = 0; i < n; ++i) nTotal += w[i];
    const size_t nSample = n >= 8192 ? 256 : n >= 1024 ? 128 : 64;
    fSample_.resize(nSample);
    for (size_t i = 0; i < nSample; ++i) fSample_[i] = v[i * n / nSample];
    std::sort(fSample_.begin(), fSample_.end());
    const double fFrac =
        (static_cast<double>(nRank) + 0.5) / static_cast<double>(nTotal);
    const double fSpread =
        std::sqrt(static_cast<double>(nSample) * fFrac * (1.0 - fFrac));
    const long nGap = static_cast<long>(3.0 * fSpread) + 2;
    const long nMid = static_cast<long>(fFrac * static_cast<double>(nSample));
    const long nTop = static_cast<long>(nSample) - 1;
    const float fLo = fSample_[static_cast<size_t>(
        std::min(nTop, std::max(0L, nMid - nGap)))];
    const float fHi = fSample_[static_cast<size_t>(
        std::min(nTop, std::max(0L, nMid + nGap)))];
    // Into whichever scratch pair does not hold v and w now.
    const bool bFirst = v != fCandV_.data();
    std::vector<float>& fDstV = bFirst ? fCandV_ : fCandV2_;
    std::vector<uint32_t>& nDstW = bFirst ? nCandW_ : nCandW2_;
    if (fDstV.size() < n) {
      fDstV.resize(n);
      nDstW.resize(n);
    }
    float* pfDstV = fDstV.data();
    uint32_t* pnDstW = nDstW.data();
    uint64_t nWBelow = 0, nWCand = 0;
    size_t nCand = 0;
    for (size_t i = 0; i < n; ++i) {
      // Masks rather than branches: which side a value falls is random.
      const float fV = v[i];
      const uint32_t nW = w[i];
      const uint32_t nBelow = static_cast<uint32_t>(fV < fLo);
      const uint32_t nIn =
          static_cast<uint32_t>(fV >= fLo) & static_cast<uint32_t>(fV <= fHi);
      nWBelow += nW & (0u - nBelow);
      nWCand += nW & (0u - nIn);
      pfDstV[nCand] = fV;
      pnDstW[nCand] = nW;
      nCand += nIn;
    }
    if (nWBelow > nRank || nLastRank >= nWBelow + nWCand || nCand == n) break;
    v = pfDstV;
    w = pnDstW;
    n = nCand;
    nRank -= nWBelow;
  }
  quickRanks(v, w, n, nRank, pfAt, pfNext);
}

float WeightedSelect::median(float* v, uint32_t* w, size_t n, uint64_t nTotal) {
  float fAt, fNext;
  if (nTotal % 2 == 1) {
    ranks(v, w, n, (nTotal - 1) / 2, &fAt, nullptr);
    return fAt;
  }
  ranks(v, w, n, nTotal / 2 - 1, &fAt, &fNext);
  return static_cast<float>((static_cast<double>(fAt) + fNext) / 2.0);
}
