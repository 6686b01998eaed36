#include "song/QuickSortEngine.h"

#include "song/QuickSort.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstddef>
#include <utility>

namespace vako::detail {
namespace {

// A split whose smaller half holds less than 1/kUnevenRatio of the range is
// uneven; ranges of at least kTreeMinimum items then move to the tree.
constexpr int64_t kUnevenRatio = 32;
constexpr int64_t kTreeMinimum = 1024;
// Ranges shorter than this are sorted as the algorithm is written.
constexpr int64_t kPlainMaximum = 24;
// The block list hands ranges this small back to the array.
constexpr int64_t kTreeFlatten = 256;

// The places of one range as a list of short blocks, so that taking a record
// out or putting one in moves at most a block's worth of records. A Fenwick
// tree over the block sizes finds the block of a place; a segment tree over
// the blocks' smallest and largest keys finds the next block that holds a key
// below (or not below) a pivot.
class BlockList {
public:
    static constexpr size_t kBlock = 64;     // records a block starts with
    static constexpr size_t kMaxBlock = 256; // a block this full is split

    void build(const SortItem* items, int64_t n) {
        m_blocks.clear();
        for (int64_t i = 0; i < n; i += kBlock)
            m_blocks.emplace_back(items + i, items + std::min<int64_t>(n, i + kBlock));
        m_blockMin.assign(m_blocks.size(), 0);
        m_blockMax.assign(m_blocks.size(), 0);
        for (size_t b = 0; b < m_blocks.size(); ++b) scanBlock(b);
        m_size = n;
        reindex();
    }

    int64_t size() const { return m_size; }

    const SortItem& itemAt(int64_t k) {
        const auto [b, i] = locate(k);
        return m_blocks[b][i];
    }

    // Puts `item` at place k; returns the item that was there.
    SortItem setItem(int64_t k, const SortItem& item) {
        const auto [b, i] = locate(k);
        const SortItem old = m_blocks[b][i];
        m_blocks[b][i] = item;
        keysChanged(b, old.key, item.key);
        return old;
    }

    void swapPlaces(int64_t i, int64_t j) {
        if (i == j) return;
        const SortItem a = itemAt(i);
        setItem(i, setItem(j, a));
    }

    // Places from `from` on whose key is below `pivot` (below: true) or not
    // below it (below: false), in place order, with their records; stops
    // after `limit` of them.
    void collect(int64_t from, int64_t pivot, bool below, size_t limit,
                 std::vector<std::pair<int64_t, SortItem>>& out) {
        out.clear();
        if (from >= m_size) return;
        auto [b, i] = locate(from);
        int64_t start = from - static_cast<int64_t>(i); // place of block b's first record
        const size_t l = leaf(b);
        if (below ? !(m_min[l] < pivot) : m_max[l] < pivot) {
            b = nextBlockWith(b + 1, pivot, below);
            if (b >= m_blockCount) return;
            start = prefix(b), i = 0;
        }
        while (b < m_blockCount && out.size() < limit) {
            const SortItem* block = m_blocks[b].data();
            const size_t n = m_blocks[b].size();
            const bool whole = i == 0;
            int64_t mn = kNoMin, mx = kNoMax;
            for (; i < n; ++i) {
                mn = std::min(mn, block[i].key);
                mx = std::max(mx, block[i].key);
                if ((block[i].key < pivot) != below) continue;
                out.emplace_back(start + static_cast<int64_t>(i), block[i]);
                if (out.size() >= limit) return;
            }
            if (whole) narrow(b, mn, mx);
            const size_t next = nextBlockWith(b + 1, pivot, below);
            if (next >= m_blockCount) break;
            start = prefix(next);
            b = next, i = 0;
        }
    }

    // Takes the places k..k+count-1 out.
    void eraseRange(int64_t k, int64_t count) {
        while (count > 0) {
            const auto [b, i] = locate(k);
            std::vector<SortItem>& block = m_blocks[b];
            const size_t n = std::min<size_t>(static_cast<size_t>(count), block.size() - i);
            block.erase(block.begin() + static_cast<std::ptrdiff_t>(i),
                        block.begin() + static_cast<std::ptrdiff_t>(i + n));
            sizeChanged(b, -static_cast<int64_t>(n));
            if (block.empty()) rescan(b); // no keys: no block is looked into for nothing
            count -= static_cast<int64_t>(n);
            // An empty block stays (size 0, no keys) until many have gathered.
            if (block.empty() && ++m_emptyBlocks * 2 > m_blockCount) reindex();
        }
    }

    SortItem popBack() {
        const SortItem last = itemAt(m_size - 1);
        eraseRange(m_size - 1, 1);
        return last;
    }

    void pushFront(const SortItem& item) {
        if (m_blocks.empty()) {
            m_blocks.push_back({item});
            m_blockMin.push_back(item.key);
            m_blockMax.push_back(item.key);
            m_size = 1;
            reindex();
            return;
        }
        std::vector<SortItem>& block = m_blocks.front();
        if (block.empty() && m_emptyBlocks > 0) --m_emptyBlocks;
        block.insert(block.begin(), item);
        sizeChanged(0, 1);
        keysChanged(0, item.key, item.key);
        if (block.size() >= kMaxBlock) splitBlock(0);
    }

    // Writes the first count records to `out` and takes them out.
    void takeFront(int64_t count, SortItem* out) {
        while (count > 0) {
            const size_t b = locate(0).first;
            std::vector<SortItem>& block = m_blocks[b];
            const size_t n = std::min<size_t>(static_cast<size_t>(count), block.size());
            out = std::copy(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n), out);
            block.erase(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
            sizeChanged(b, -static_cast<int64_t>(n));
            if (block.empty()) {
                rescan(b);
                ++m_emptyBlocks;
            }
            count -= static_cast<int64_t>(n);
        }
        if (m_emptyBlocks * 2 > m_blockCount) reindex();
    }

    void flatten(SortItem* out) const {
        for (const auto& block : m_blocks) out = std::copy(block.begin(), block.end(), out);
    }

private:
    static constexpr int64_t kNoMin = INT64_MAX, kNoMax = INT64_MIN;

    size_t leaf(size_t b) const { return m_leaves + b; }

    // Block and index of place k (0 <= k < size).
    std::pair<size_t, size_t> locate(int64_t k) const {
        size_t pos = 0;
        int64_t remaining = k + 1;
        for (size_t step = m_topBit; step > 0; step /= 2) {
            if (pos + step <= m_blockCount && m_fenwick[pos + step] < remaining) {
                pos += step;
                remaining -= m_fenwick[pos];
            }
        }
        return {pos, static_cast<size_t>(remaining - 1)};
    }

    // Places before block b.
    int64_t prefix(size_t b) const {
        int64_t sum = 0;
        for (size_t i = b; i > 0; i -= i & (~i + 1)) sum += m_fenwick[i];
        return sum;
    }

    void sizeChanged(size_t b, int64_t delta) {
        m_size += delta;
        for (size_t i = b + 1; i <= m_blockCount; i += i & (~i + 1)) m_fenwick[i] += delta;
    }

    // The kept smallest and largest keys only ever widen here: a key taken out
    // leaves them as bounds (a block may then be looked into for nothing), and a
    // full look into a block narrows them again (collect).
    void keysChanged(size_t b, int64_t oldKey, int64_t newKey) {
        (void)oldKey;
        const size_t l = leaf(b);
        if (newKey < m_min[l] || newKey > m_max[l]) {
            m_blockMin[b] = m_min[l] = std::min(m_min[l], newKey);
            m_blockMax[b] = m_max[l] = std::max(m_max[l], newKey);
            pullUp(l);
        }
    }

    // Block b's keys lie within mn..mx (a full look found them).
    void narrow(size_t b, int64_t mn, int64_t mx) {
        const size_t l = leaf(b);
        if (mn == m_min[l] && mx == m_max[l]) return;
        m_blockMin[b] = m_min[l] = mn;
        m_blockMax[b] = m_max[l] = mx;
        pullUp(l);
    }

    void rescan(size_t b) {
        scanBlock(b);
        const size_t l = leaf(b);
        m_min[l] = m_blockMin[b], m_max[l] = m_blockMax[b];
        pullUp(l);
    }

    void scanBlock(size_t b) {
        int64_t mn = kNoMin, mx = kNoMax;
        for (const SortItem& item : m_blocks[b]) {
            mn = std::min(mn, item.key);
            mx = std::max(mx, item.key);
        }
        m_blockMin[b] = mn, m_blockMax[b] = mx;
    }

    void pullUp(size_t l) {
        for (l /= 2; l > 0; l /= 2) {
            m_min[l] = std::min(m_min[2 * l], m_min[2 * l + 1]);
            m_max[l] = std::max(m_max[2 * l], m_max[2 * l + 1]);
        }
    }

    // The first block from `first` on with a key below (or not below) the pivot.
    size_t nextBlockWith(size_t first, int64_t pivot, bool below) const {
        auto fits = [&](size_t node) { return below ? m_min[node] < pivot : m_max[node] >= pivot; };
        if (first >= m_blockCount) return m_blockCount;
        // Walk up from the leaf until a right sibling subtree fits, then down.
        size_t node = leaf(first);
        if (!fits(node)) {
            while (true) {
                while (node % 2 == 1) node /= 2; // a right child: go up
                if (node == 0) return m_blockCount;
                ++node; // the right sibling
                if (fits(node)) break;
            }
        }
        while (node < m_leaves) node = fits(2 * node) ? 2 * node : 2 * node + 1;
        return node - m_leaves;
    }

    void splitBlock(size_t b) {
        std::vector<SortItem>& block = m_blocks[b];
        std::vector<SortItem> tail(block.begin() + static_cast<std::ptrdiff_t>(block.size() / 2),
                                   block.end());
        block.resize(block.size() / 2);
        const auto at = static_cast<std::ptrdiff_t>(b) + 1;
        m_blocks.insert(m_blocks.begin() + at, std::move(tail));
        m_blockMin.insert(m_blockMin.begin() + at, 0);
        m_blockMax.insert(m_blockMax.begin() + at, 0);
        scanBlock(b);
        scanBlock(b + 1);
        reindex();
    }

    // Drops empty blocks and builds both trees anew from the blocks' sizes and
    // their kept smallest and largest keys.
    void reindex() {
        size_t kept = 0;
        for (size_t b = 0; b < m_blocks.size(); ++b) {
            if (m_blocks[b].empty()) continue;
            if (kept != b) {
                m_blocks[kept] = std::move(m_blocks[b]);
                m_blockMin[kept] = m_blockMin[b];
                m_blockMax[kept] = m_blockMax[b];
            }
            ++kept;
        }
        m_blocks.resize(kept);
        m_emptyBlocks = 0;
        m_blockMin.resize(kept);
        m_blockMax.resize(kept);
        const size_t n = kept;
        m_blockCount = n;
        m_fenwick.assign(n + 1, 0);
        for (size_t i = 1; i <= n; ++i) {
            m_fenwick[i] += static_cast<int64_t>(m_blocks[i - 1].size());
            const size_t parent = i + (i & (~i + 1));
            if (parent <= n) m_fenwick[parent] += m_fenwick[i];
        }
        m_topBit = 1;
        while (m_topBit * 2 <= n) m_topBit *= 2;
        m_leaves = 1;
        while (m_leaves < std::max<size_t>(n, 1)) m_leaves *= 2;
        m_min.assign(2 * m_leaves, kNoMin);
        m_max.assign(2 * m_leaves, kNoMax);
        std::copy(m_blockMin.begin(), m_blockMin.end(),
                  m_min.begin() + static_cast<std::ptrdiff_t>(m_leaves));
        std::copy(m_blockMax.begin(), m_blockMax.end(),
                  m_max.begin() + static_cast<std::ptrdiff_t>(m_leaves));
        for (size_t l = m_leaves - 1; l > 0; --l) {
            m_min[l] = std::min(m_min[2 * l], m_min[2 * l + 1]);
            m_max[l] = std::max(m_max[2 * l], m_max[2 * l + 1]);
        }
    }

    std::vector<std::vector<SortItem>> m_blocks;
    std::vector<int64_t> m_blockMin, m_blockMax; // each block's smallest and largest key
    int64_t m_size = 0;
    size_t m_emptyBlocks = 0;
    size_t m_blockCount = 0;        // m_blocks.size(), kept at hand for the hot loops
    std::vector<int64_t> m_fenwick; // block sizes, 1-based
    size_t m_topBit = 1;
    size_t m_leaves = 1;
    std::vector<int64_t> m_min, m_max; // segment tree over the blocks, leaves from m_leaves
};

class Engine {
public:
    Engine(std::vector<SortItem>& items, int64_t base) : m_items(items), m_base(base) {}

    void run() {
        if (!markSharedKeys()) return;
        sortArray(m_base, m_base + static_cast<int64_t>(m_items.size()) - 1, -1);
    }

private:
    SortItem& at(int64_t i) { return m_items[static_cast<size_t>(i - m_base)]; }

    // Flags the items whose key occurs more than once. When there are none,
    // the items are put in their one sorted order and false is returned.
    bool markSharedKeys() {
        int64_t lowest = m_items[0].key, highest = lowest;
        for (const SortItem& item : m_items) {
            lowest = std::min(lowest, item.key);
            highest = std::max(highest, item.key);
        }
        // Keys less than 2^32 apart go with their place into one 64-bit word,
        // half the memory of a (key, place) pair; words sort by key, then by
        // place, which is the stable order.
        if (static_cast<uint64_t>(highest) - static_cast<uint64_t>(lowest) <= UINT32_MAX) {
            static thread_local std::vector<uint64_t> words;
            words.resize(m_items.size());
            for (size_t i = 0; i < m_items.size(); ++i)
                words[i] = (static_cast<uint64_t>(m_items[i].key) - static_cast<uint64_t>(lowest))
                               << 32 |
                           i;
            return markShared(
                words, [](uint64_t w) { return w >> 32; },
                [](uint64_t w) { return static_cast<size_t>(w & UINT32_MAX); },
                [](uint64_t x, uint64_t y) { return x < y; });
        }
        static thread_local std::vector<std::pair<int64_t, int32_t>> keys;
        keys.resize(m_items.size());
        for (size_t i = 0; i < m_items.size(); ++i)
            keys[i] = {m_items[i].key, static_cast<int32_t>(i)};
        return markShared(
            keys, [](const auto& k) { return k.first; },
            [](const auto& k) { return static_cast<size_t>(k.second); },
            [](const auto& x, const auto& y) { return x.first < y.first; });
    }

    // markSharedKeys on (key, place) entries in place order.
    template <typename Entry, typename KeyOf, typename PlaceOf, typename Less>
    bool markShared(std::vector<Entry>& keys, KeyOf keyOf, PlaceOf placeOf, Less less) {
        sortByKeyStably(keys, less);
        bool anyShared = false;
        for (size_t i = 1; i < keys.size(); ++i) {
            if (keyOf(keys[i - 1]) == keyOf(keys[i])) {
                m_items[placeOf(keys[i - 1])].shared = 1;
                m_items[placeOf(keys[i])].shared = 1;
                anyShared = true;
            }
        }
        if (anyShared) {
            releaseLargeScratch(keys);
            return true;
        }
        std::vector<SortItem> sorted(m_items.size());
        for (size_t i = 0; i < keys.size(); ++i) sorted[i] = m_items[placeOf(keys[i])];
        m_items.swap(sorted);
        releaseLargeScratch(keys);
        return false;
    }

    // Sorts (key, place) entries by key, equal keys in place order. The lists
    // sorted here are mostly a few sorted runs (note-ons, note-offs, control
    // changes; one run a track), which are merged pairwise; anything else goes
    // to std::stable_sort.
    template <typename Entry, typename Less>
    static void sortByKeyStably(std::vector<Entry>& keys, Less byKey) {
        std::vector<size_t> runStarts{0};
        for (size_t i = 1; i < keys.size(); ++i) {
            if (byKey(keys[i], keys[i - 1])) {
                runStarts.push_back(i);
                if (runStarts.size() > 64) {
                    std::stable_sort(keys.begin(), keys.end(), byKey);
                    return;
                }
            }
        }
        runStarts.push_back(keys.size());
        static thread_local std::vector<Entry> buffer;
        buffer.resize(keys.size());
        while (runStarts.size() > 2) {
            std::vector<size_t> merged{0};
            for (size_t r = 0; r + 1 < runStarts.size(); r += 2) {
                const size_t a = runStarts[r], m = runStarts[r + 1];
                const size_t e = r + 2 < runStarts.size() ? runStarts[r + 2] : m;
                std::merge(keys.begin() + static_cast<std::ptrdiff_t>(a),
                           keys.begin() + static_cast<std::ptrdiff_t>(m),
                           keys.begin() + static_cast<std::ptrdiff_t>(m),
                           keys.begin() + static_cast<std::ptrdiff_t>(e),
                           buffer.begin() + static_cast<std::ptrdiff_t>(a), byKey);
                merged.push_back(e);
            }
            keys.swap(buffer);
            if (merged.back() != keys.size()) merged.push_back(keys.size());
            runStarts.swap(merged);
        }
        releaseLargeScratch(buffer);
    }

    int64_t countShared(int64_t lo, int64_t hi) {
        int64_t count = 0;
        for (int64_t i = lo; i <= hi; ++i) count += at(i).shared;
        return count;
    }

    // Sorts places lo..hi of the array. `shared`: flagged items in the range, -1 when not counted.
    void sortArray(int64_t lo, int64_t hi, int64_t shared) {
        while (lo < hi) {
            if (hi - lo < kPlainMaximum) {
                // Short ranges: the algorithm as written costs less than any shortcut.
                auto keyOf = [](const SortItem& item) { return item.key; };
                struct Places {
                    SortItem* items;
                    int64_t base;
                    SortItem& operator[](int64_t i) const { return items[i - base]; }
                } places{m_items.data(), m_base};
                plainQuickSort(places, lo, hi, keyOf);
                return;
            }
            if (shared < 0) shared = countShared(lo, hi);
            if (shared == 0) {
                // No key occurs twice here: the sorted order is the only result
                // (and often the order the range is already in).
                const auto first = m_items.begin() + (lo - m_base);
                const auto last = m_items.begin() + (hi - m_base) + 1;
                auto byKey = [](const SortItem& x, const SortItem& y) { return x.key < y.key; };
                if (!std::is_sorted(first, last, byKey)) std::sort(first, last, byKey);
                return;
            }
            std::swap(at(lo), at(quickSortMiddle(lo, hi)));
            const int64_t pivot = at(lo).key;
            int64_t last = lo, lowShared = 0, highShared = 0;
            for (int64_t i = lo + 1; i <= hi; ++i) {
                if (at(i).key < pivot) {
                    ++last;
                    std::swap(at(last), at(i));
                    lowShared += at(last).shared;
                } else {
                    highShared += at(i).shared;
                }
            }
            std::swap(at(lo), at(last));
            const int64_t range = hi - lo + 1;
            int64_t smallLo = lo, smallHi = last - 1, smallShared = lowShared;
            int64_t bigLo = last + 1, bigHi = hi, bigShared = highShared;
            if (smallHi - smallLo > bigHi - bigLo) {
                std::swap(smallLo, bigLo);
                std::swap(smallHi, bigHi);
                std::swap(smallShared, bigShared);
            }
            sortArray(smallLo, smallHi, smallShared);
            const int64_t smallSize = smallHi - smallLo + 1;
            if (bigHi - bigLo + 1 >= kTreeMinimum && smallSize * kUnevenRatio < range) {
                sortTree(bigLo, bigHi);
                return;
            }
            lo = bigLo, hi = bigHi, shared = bigShared;
        }
    }

    // Sorts places lo..hi while its passes split unevenly, in a BlockList.
    void sortTree(int64_t lo, int64_t hi) {
        BlockList list;
        list.build(&at(lo), hi - lo + 1);
        std::vector<std::pair<int64_t, SortItem>> less, notLess;
        bool fewBelowLast = true;
        size_t lastLimit = 4; // how many the smaller side held last time
        while (hi - lo + 1 > kTreeFlatten) {
            const int64_t size = hi - lo + 1;
            const int64_t middle = quickSortMiddle(lo, hi) - lo;
            // The pass swaps the pivot to place 0, and the scan starts at place 1:
            // the pivot is held apart, and place 0 keeps a stale copy until the
            // end of the pass.
            const SortItem front = list.itemAt(0);
            const SortItem pivotItem = list.setItem(middle, front);
            const int64_t pivot = pivotItem.key;
            // Find the smaller side by looking for both with a growing limit, so
            // that the search costs about as much as the smaller side itself.
            // The side found small last time is looked for first.
            const size_t cap = static_cast<size_t>(std::max<int64_t>(16, size / kUnevenRatio));
            enum { kEven, kFewBelow, kFewOthers } split = kEven;
            for (size_t limit = lastLimit; split == kEven; limit *= 2) {
                const size_t bounded = std::min(limit, cap);
                for (int attempt = 0; attempt < 2 && split == kEven; ++attempt) {
                    const bool below = (attempt == 0) == fewBelowLast;
                    auto& found = below ? less : notLess;
                    list.collect(1, pivot, below, bounded + 1, found);
                    if (found.size() <= bounded) split = below ? kFewBelow : kFewOthers;
                }
                if (bounded == cap) break;
            }
            if (split == kEven) {
                // An even split: back to the array, before this pass.
                list.setItem(middle, pivotItem);
                list.flatten(&at(lo));
                list = BlockList{}; // the blocks are back in the array: not held while it sorts
                sortArray(lo, hi, -1);
                return;
            }
            fewBelowLast = split == kFewBelow;
            lastLimit = std::max<size_t>(4, (fewBelowLast ? less : notLess).size());
            if (split == kFewBelow) {
                // Each record below the pivot is swapped with the first place after
                // those already moved; the scan's last swap puts the last of them at
                // place 0 and the pivot after them.
                for (size_t j = 0; j < less.size(); ++j)
                    list.swapPlaces(static_cast<int64_t>(j) + 1, less[j].first);
                const int64_t lessCount = static_cast<int64_t>(less.size());
                if (lessCount == 0)
                    list.setItem(0, pivotItem);
                else
                    list.setItem(0, list.setItem(lessCount, pivotItem));
                const int64_t last = lo + lessCount;
                list.takeFront(lessCount + 1, &at(lo));
                sortArray(lo, last - 1, -1);
                lo = last + 1;
            } else {
                // The records below the pivot close up behind it; the scan's last
                // swap puts the last of them in front and the pivot after them.
                const std::vector<SortItem> queue = takeOthers(list, size, notLess);
                const int64_t lessCount = size - 1 - static_cast<int64_t>(queue.size());
                const int64_t last = lo + lessCount;
                list.eraseRange(0, 1); // the stale copy
                at(last) = pivotItem;
                std::copy(queue.begin(), queue.end(), &at(last + 1));
                sortArray(last + 1, hi, -1);
                if (lessCount == 0) return;
                list.pushFront(list.popBack());
                hi = last - 1;
            }
        }
        list.flatten(&at(lo));
        list = BlockList{};
        sortArray(lo, hi, -1);
    }

    // The scan with few records not below the pivot (at `others`, in place
    // order): the records below it close up in their order, and the others end
    // up behind them in the order the scan's swaps rotate them into. Those
    // others form a queue: each is appended when the scan reaches it, and each
    // record below the pivot that the scan meets afterwards moves the queue's
    // front to its back. Takes the others out of the list and returns them in
    // that final order.
    static std::vector<SortItem>
    takeOthers(BlockList& list, int64_t size,
               const std::vector<std::pair<int64_t, SortItem>>& others) {
        const int64_t g = static_cast<int64_t>(others.size());
        // The queue as a circle with a pointer to its front: appending inserts
        // before the front, a rotation moves the pointer on.
        std::vector<int64_t> insertAt(static_cast<size_t>(g));
        int64_t front = 0;
        for (int64_t j = 0; j < g; ++j) {
            insertAt[j] = j == 0 ? 0 : front;
            front = j == 0 ? 0 : front + 1;
            const int64_t next = j + 1 < g ? others[j + 1].first : size;
            const int64_t rotations = next - others[j].first - 1;
            front = (front + rotations) % (j + 1);
        }
        const std::vector<int64_t> circle = placesAfterInsertions(insertAt);
        std::vector<SortItem> queue(static_cast<size_t>(g));
        for (int64_t j = 0; j < g; ++j) queue[circle[j]] = others[j].second;
        std::rotate(queue.begin(), queue.begin() + front, queue.end());

        // Cut them out run by run of neighbouring places, from the back.
        for (int64_t end = g; end > 0;) {
            int64_t start = end - 1;
            while (start > 0 && others[start - 1].first + 1 == others[start].first) --start;
            const int64_t first = others[start].first, count = end - start;
            list.eraseRange(first, count);
            end = start;
        }
        return queue;
    }

    // Item j was inserted at index insertAt[j] of a growing list; returns each
    // item's index in the final list. Worked backwards: the last insertion keeps
    // its index, and each earlier one takes the insertAt[j]-th place that later
    // ones left free (a Fenwick tree over the free places).
    static std::vector<int64_t> placesAfterInsertions(const std::vector<int64_t>& insertAt) {
        const int64_t n = static_cast<int64_t>(insertAt.size());
        std::vector<int64_t> fenwick(static_cast<size_t>(n) + 1, 0);
        for (int64_t i = 1; i <= n; ++i) {
            fenwick[i] += 1;
            const int64_t parent = i + (i & -i);
            if (parent <= n) fenwick[parent] += fenwick[i];
        }
        int64_t topBit = 1;
        while (topBit * 2 <= n) topBit *= 2;
        std::vector<int64_t> place(static_cast<size_t>(n));
        for (int64_t j = n - 1; j >= 0; --j) {
            // The (insertAt[j] + 1)-th free place.
            int64_t want = insertAt[j] + 1, at = 0;
            for (int64_t step = topBit; step > 0; step /= 2) {
                if (at + step <= n && fenwick[at + step] < want) {
                    at += step;
                    want -= fenwick[at];
                }
            }
            place[j] = at; // places are 1-based in the tree: at + 1, so index at
            for (int64_t i = at + 1; i <= n; i += i & -i) fenwick[i] -= 1;
        }
        return place;
    }

    std::vector<SortItem>& m_items;
    int64_t m_base;
};

} // namespace

void exactQuickSort(std::vector<SortItem>& items, int64_t lo) {
    if (items.size() < 2) return;
    Engine(items, lo).run();
}

} // namespace vako::detail
