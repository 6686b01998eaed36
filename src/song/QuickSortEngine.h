// The engine behind quickSort (QuickSort.h): the program's quicksort run on
// (key, record number) items, with the same result as the algorithm as
// written and without its quadratic cases.
//
// Three facts make that possible, each leaving every result unchanged:
// - The two halves of a pass are disjoint, so the order they are sorted in
//   does not matter.
// - Records with equal keys always go to the same half (the pivot aside, which
//   is then in its final place). So in a range where no key occurs twice the
//   result is the one sorted order, and std::sort gives it. Each item carries a
//   flag: its key occurs more than once in the whole input. Scans count the
//   flags of both halves.
// - A pass only moves the records on the smaller side of its split, in a
//   pattern that can be worked out from their places alone. A pass whose pivot
//   is near the smallest key of its range moves its few smaller records to the
//   front, one swap each; a pass whose pivot is near the largest key moves its
//   few larger-or-equal records to the back, in the order the swaps of the scan
//   would rotate them into. So when a pass splits very unevenly, the larger half
//   is kept in a list of short blocks (with each block's smallest and largest
//   key, and trees over them to find a place and the next block holding a key
//   below or above the pivot), where such a pass costs a few block operations
//   per record moved instead of a scan of the range. Even splits go back to the
//   array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vako::detail {

struct SortItem {
    int64_t key;
    int32_t index;  // where the record stood before the sort, from 0
    uint8_t shared; // 1: another item has the same key
};

// Scratch of a sort is given back once used when it holds more than so many
// entries, so that a large song does not keep copies of its lists in memory.
// The items and the copy of the range are kept for lists of up to half a
// million records (an editing operation sorts the whole song, and fresh pages
// cost it more than the sort itself); the key scan's scratch, which would sit
// beside the engine's own, only for short lists.
constexpr size_t kScratchKeptUpTo = size_t{1} << 16;
constexpr size_t kRangeScratchKeptUpTo = size_t{1} << 19;

template <typename T>
void releaseLargeScratch(std::vector<T>& scratch, size_t keptUpTo = kScratchKeptUpTo) {
    if (scratch.capacity() > keptUpTo) std::vector<T>().swap(scratch);
}

// Puts items[0..n) into the order the quicksort leaves the records a[lo..lo+n)
// in, where items[i] stands for a[lo + i] (the middle index depends on lo).
void exactQuickSort(std::vector<SortItem>& items, int64_t lo);

} // namespace vako::detail
