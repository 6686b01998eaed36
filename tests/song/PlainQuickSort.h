// The program's quicksort written out plainly, step by step as it has always
// run: plain recursion on both halves, a scan in every pass. The tests hold
// the real sort to it on ranges long enough for the engine to sort them
// (below that length the program runs this very algorithm, and comparing
// the two would say nothing). Quadratic on equal keys, so for a few thousand
// records at most.
#pragma once

#include "song/QuickSort.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace vako::test {

template <typename T, typename Key>
void plainQuickSort(std::vector<T>& a, int64_t lo, int64_t hi, Key key) {
    if (lo >= hi) return;
    std::swap(a[lo], a[quickSortMiddle(lo, hi)]);
    int64_t last = lo;
    for (int64_t i = lo + 1; i <= hi; ++i)
        if (key(a[i]) < key(a[lo])) std::swap(a[++last], a[i]);
    std::swap(a[lo], a[last]);
    plainQuickSort(a, lo, last - 1, key);
    plainQuickSort(a, last + 1, hi, key);
}

// The shortest range the engine sorts; shorter ones run the plain algorithm.
constexpr int64_t kEngineMinimum = detail::kEngineMinimum;

} // namespace vako::test
