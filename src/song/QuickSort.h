// The program's one quicksort. Songs, event lists and the files written from
// them depend on the exact order it leaves records with equal keys in (it is
// not stable: two equal records A, B come out as B, A; three as B, A, C), so
// every sort gives exactly what this algorithm gives:
//
//   sort(lo, hi): if lo >= hi, stop; swap lo with the middle index (lo + hi) / 2
//   rounded half to even; last = lo; for i = lo+1..hi, if key(i) < key(lo)
//   (strictly), swap ++last and i; swap lo and last; sort(lo, last-1);
//   sort(last+1, hi).
//
// Run as written it needs a scan of the whole range for every record on the
// inputs this program sorts most (a sorted list with a sorted block behind it:
// note-ons then note-offs, a song with copied notes appended, a file with every
// event at one position), which takes minutes for a large song. Short ranges
// are sorted as written; longer ones go to the engine in QuickSortEngine.h,
// which gives the same result in about n log n.
#pragma once

#include "song/QuickSortEngine.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace vako {

// Middle index of lo..hi: (lo + hi) / 2 rounded to the nearest whole number, a
// half to the even neighbour (1,2 -> 2; 1,4 -> 2; 1,6 -> 4; 2,3 -> 2).
constexpr int64_t quickSortMiddle(int64_t lo, int64_t hi) {
    const int64_t sum = lo + hi;
    int64_t half = sum / 2; // lo, hi >= 0
    if (sum % 2 != 0 && half % 2 != 0) ++half;
    return half;
}

namespace detail {

// Below this many records the algorithm runs as written, in place.
constexpr int64_t kEngineMinimum = 48;

// The algorithm as written; the smaller half by recursion, the larger by the
// loop (the halves are disjoint, so the order does not change the result).
template <typename Array, typename KeyOf>
void plainQuickSort(Array& a, int64_t lo, int64_t hi, KeyOf& keyOf) {
    while (lo < hi) {
        std::swap(a[lo], a[quickSortMiddle(lo, hi)]);
        const auto pivot = keyOf(a[lo]);
        int64_t last = lo;
        for (int64_t i = lo + 1; i <= hi; ++i) {
            if (keyOf(a[i]) < pivot) {
                ++last;
                if (last != i) std::swap(a[last], a[i]);
            }
        }
        if (last != lo) std::swap(a[lo], a[last]);
        if (last - lo < hi - last) {
            plainQuickSort(a, lo, last - 1, keyOf);
            lo = last + 1;
        } else {
            plainQuickSort(a, last + 1, hi, keyOf);
            hi = last - 1;
        }
    }
}

} // namespace detail

// Sorts a[lo..hi] in place by keyOf(record), exactly as the program's quicksort
// does. `Array` is a random-access container; the key converts to a 64-bit
// whole number without changing its order.
template <typename Array, typename KeyOf>
void quickSort(Array& a, int64_t lo, int64_t hi, KeyOf keyOf) {
    if (lo < 0 || lo >= hi) return;
    const int64_t n = hi - lo + 1;
    if (n < detail::kEngineMinimum) {
        detail::plainQuickSort(a, lo, hi, keyOf);
        return;
    }
    // Scratch space is kept from sort to sort up to kRangeScratchKeptUpTo
    // records; a larger sort gives it back at the end.
    static thread_local std::vector<detail::SortItem> items;
    items.resize(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i)
        items[i] = {static_cast<int64_t>(keyOf(a[lo + i])), static_cast<int32_t>(i), 0};
    detail::exactQuickSort(items, lo);
    // Only the places are left to use: kept apart, the items go before the
    // records are copied.
    static thread_local std::vector<int32_t> order;
    order.resize(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) order[i] = items[i].index;
    detail::releaseLargeScratch(items, detail::kRangeScratchKeptUpTo);
    using Record = std::decay_t<decltype(a[lo])>;
    static thread_local std::vector<Record> original;
    original.assign(a.begin() + lo, a.begin() + hi + 1);
    for (int64_t i = 0; i < n; ++i) a[lo + i] = std::move(original[order[i]]);
    detail::releaseLargeScratch(original, detail::kRangeScratchKeptUpTo);
    detail::releaseLargeScratch(order, detail::kRangeScratchKeptUpTo);
}

} // namespace vako
