// The program's one quicksort. Songs, event lists and the files written from
// them depend on the exact order it leaves records with equal keys in (it is
// not stable: two equal records A, B come out as B, A; three as B, A, C), so
// this is that algorithm step for step:
//
//   sort(lo, hi): if lo >= hi, stop; swap lo with the middle index (lo + hi) / 2
//   rounded half to even; last = lo; for i = lo+1..hi, if key(i) < key(lo)
//   (strictly), swap ++last and i; swap lo and last; sort(lo, last-1);
//   sort(last+1, hi).
//
// Two changes leave every result the same and only change the cost:
// - The two halves are disjoint, so the order they are sorted in does not
//   matter: the smaller one is sorted by recursion, the larger one by the loop,
//   and the depth stays below log2(n).
// - A pass whose pivot holds the smallest key of its range moves nothing (no
//   key is strictly smaller), ends with last = lo and leaves only lo+1..hi to
//   sort. When the range's smallest key and its count are known, such a pass
//   is one swap instead of a scan. Every scan learns the smallest key (and its
//   count) of both halves it produces, so a long run of equal keys (a chord of
//   thousands of notes, a file with every event at one position) costs O(1) a
//   record instead of a scan a record.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

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

template <typename Array, typename KeyOf> class QuickSorter {
public:
    using Key = std::decay_t<decltype(std::declval<KeyOf>()(std::declval<Array&>()[0]))>;

    QuickSorter(Array& a, KeyOf keyOf) : m_a(a), m_key(keyOf) {}

    // minKnown: `minKey` is the smallest key of lo..hi and `minCount` records hold it.
    void sort(int64_t lo, int64_t hi, bool minKnown, Key minKey, int64_t minCount) {
        while (lo < hi) {
            const int64_t m = quickSortMiddle(lo, hi);
            swapAt(lo, m);
            const Key pivot = m_key(m_a[lo]);
            if (minKnown && !(minKey < pivot)) {
                // Nothing in lo+1..hi is below the pivot: the pass moves nothing.
                ++lo;
                if (--minCount == 0) minKnown = false;
                continue;
            }
            int64_t last = lo;
            bool lowKnown = false, highKnown = false;
            Key lowMin{}, highMin{};
            int64_t lowCount = 0, highCount = 0;
            for (int64_t i = lo + 1; i <= hi; ++i) {
                const Key k = m_key(m_a[i]);
                if (k < pivot) {
                    ++last;
                    swapAt(last, i);
                    track(k, lowKnown, lowMin, lowCount);
                } else {
                    track(k, highKnown, highMin, highCount);
                }
            }
            swapAt(lo, last);
            // lo..last-1 holds the keys below the pivot, last+1..hi the others.
            if (last - lo < hi - last) {
                sort(lo, last - 1, lowKnown, lowMin, lowCount);
                lo = last + 1;
                minKnown = highKnown, minKey = highMin, minCount = highCount;
            } else {
                sort(last + 1, hi, highKnown, highMin, highCount);
                hi = last - 1;
                minKnown = lowKnown, minKey = lowMin, minCount = lowCount;
            }
        }
    }

private:
    static void track(const Key& k, bool& known, Key& min, int64_t& count) {
        if (!known || k < min) {
            known = true, min = k, count = 1;
        } else if (!(min < k)) {
            ++count;
        }
    }
    void swapAt(int64_t i, int64_t j) {
        if (i != j) std::swap(m_a[i], m_a[j]);
    }

    Array& m_a;
    KeyOf m_key;
};

} // namespace detail

// Sorts a[lo..hi] in place by keyOf(record), exactly as the program's quicksort
// does (see above). `Array` is anything indexable by int64_t with swappable records.
template <typename Array, typename KeyOf>
void quickSort(Array& a, int64_t lo, int64_t hi, KeyOf keyOf) {
    if (lo < 0 || lo >= hi) return;
    detail::QuickSorter<Array, KeyOf> sorter(a, keyOf);
    sorter.sort(lo, hi, false, {}, 0);
}

} // namespace vako
