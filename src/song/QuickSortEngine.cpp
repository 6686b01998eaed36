#include "song/QuickSortEngine.h"

#include "song/QuickSort.h"

#include <algorithm>
#include <random>
#include <utility>

namespace vako::detail {
namespace {

// A split whose smaller half holds less than 1/kUnevenRatio of the range is
// uneven; ranges of at least kTreeMinimum items then move to the tree.
constexpr int64_t kUnevenRatio = 32;
constexpr int64_t kTreeMinimum = 1024;
// The tree hands ranges this small back to the array.
constexpr int64_t kTreeFlatten = 256;

// A balanced tree over the places of one range: in-order position is the
// place, every node knows its subtree's size and its smallest and largest key.
// A treap: random priorities, each node's above its children's.
class PlaceTree {
public:
    static constexpr int32_t kNone = -1;

    explicit PlaceTree(size_t capacity) { m_nodes.reserve(capacity); }

    int32_t build(const SortItem* items, int64_t n) {
        std::vector<int32_t> ids(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) {
            ids[i] = static_cast<int32_t>(m_nodes.size());
            m_nodes.push_back(Node{kNone, kNone, 1, static_cast<uint32_t>(m_random()), items[i]});
        }
        return buildFrom(ids);
    }

    // A tree of the given detached nodes, in this order, in linear time: each
    // node goes right of the last one with a higher priority.
    int32_t buildFrom(const std::vector<int32_t>& ids) {
        m_stack.clear();
        for (const int32_t id : ids) {
            int32_t below = kNone;
            while (!m_stack.empty() && m_nodes[m_stack.back()].priority < m_nodes[id].priority) {
                below = m_stack.back();
                m_stack.pop_back();
            }
            m_nodes[id].left = below;
            m_nodes[id].right = kNone;
            if (!m_stack.empty()) m_nodes[m_stack.back()].right = id;
            m_stack.push_back(id);
        }
        if (m_stack.empty()) return kNone;
        const int32_t root = m_stack.front();
        pullAll(root);
        return root;
    }

    int64_t size(int32_t t) const { return t == kNone ? 0 : m_nodes[t].size; }
    const SortItem& item(int32_t t) const { return m_nodes[t].item; }

    // First k places, the rest.
    std::pair<int32_t, int32_t> split(int32_t t, int64_t k) {
        if (t == kNone) return {kNone, kNone};
        Node& n = m_nodes[t];
        if (size(n.left) >= k) {
            const auto [a, b] = split(n.left, k);
            m_nodes[t].left = b;
            pull(t);
            return {a, t};
        }
        const auto [a, b] = split(n.right, k - size(n.left) - 1);
        m_nodes[t].right = a;
        pull(t);
        return {t, b};
    }

    int32_t merge(int32_t a, int32_t b) {
        if (a == kNone) return b;
        if (b == kNone) return a;
        if (m_nodes[a].priority > m_nodes[b].priority) {
            m_nodes[a].right = merge(m_nodes[a].right, b);
            pull(a);
            return a;
        }
        m_nodes[b].left = merge(a, m_nodes[b].left);
        pull(b);
        return b;
    }

    // Takes the node at place k out of the tree; returns the new root and sets
    // `taken` to the node.
    int32_t erase(int32_t t, int64_t k, int32_t& taken) {
        Node& n = m_nodes[t];
        const int64_t leftSize = size(n.left);
        if (k == leftSize) {
            taken = t;
            return merge(n.left, n.right);
        }
        if (k < leftSize)
            m_nodes[t].left = erase(n.left, k, taken);
        else
            m_nodes[t].right = erase(n.right, k - leftSize - 1, taken);
        pull(t);
        return t;
    }

    // Puts the detached node x in front of place 0; returns the new root.
    int32_t insertFront(int32_t t, int32_t x) {
        if (t == kNone || m_nodes[x].priority > m_nodes[t].priority) {
            m_nodes[x].left = kNone;
            m_nodes[x].right = t;
            pull(x);
            return x;
        }
        m_nodes[t].left = insertFront(m_nodes[t].left, x);
        pull(t);
        return t;
    }

    // Exchanges the items at places i and j; returns the key now at place i.
    int64_t swapPlaces(int32_t root, int64_t i, int64_t j) {
        pathTo(root, i, m_pathA);
        if (i == j) return m_nodes[m_pathA.back()].item.key;
        pathTo(root, j, m_pathB);
        std::swap(m_nodes[m_pathA.back()].item, m_nodes[m_pathB.back()].item);
        for (auto it = m_pathA.rbegin(); it != m_pathA.rend(); ++it) pull(*it);
        for (auto it = m_pathB.rbegin(); it != m_pathB.rend(); ++it) pull(*it);
        return m_nodes[m_pathA.back()].item.key;
    }

    // Places from `from` on whose key is below `pivot` (below: true) or not
    // below it (below: false), in place order, with their nodes; stops after
    // `limit` of them.
    void collect(int32_t root, int64_t from, int64_t pivot, bool below, size_t limit,
                 std::vector<std::pair<int64_t, int32_t>>& out) {
        out.clear();
        collectFrom(root, 0, from, pivot, below, limit, out);
    }

    // Writes the items in place order to `out`.
    void flatten(int32_t t, SortItem* out) const {
        // In-order walk with an explicit stack: the depth is small, but there is no need to
        // recurse.
        std::vector<int32_t> stack;
        int32_t n = t;
        while (n != kNone || !stack.empty()) {
            while (n != kNone) {
                stack.push_back(n);
                n = m_nodes[n].left;
            }
            n = stack.back();
            stack.pop_back();
            *out++ = m_nodes[n].item;
            n = m_nodes[n].right;
        }
    }

private:
    struct Node {
        int32_t left, right;
        int32_t size;
        uint32_t priority;
        SortItem item;
        int64_t minKey = 0, maxKey = 0;
    };

    void pullAll(int32_t t) {
        if (t == kNone) return;
        pullAll(m_nodes[t].left);
        pullAll(m_nodes[t].right);
        pull(t);
    }

    void pull(int32_t t) {
        Node& n = m_nodes[t];
        n.size = static_cast<int32_t>(1 + size(n.left) + size(n.right));
        n.minKey = n.maxKey = n.item.key;
        for (const int32_t c : {n.left, n.right}) {
            if (c == kNone) continue;
            n.minKey = std::min(n.minKey, m_nodes[c].minKey);
            n.maxKey = std::max(n.maxKey, m_nodes[c].maxKey);
        }
    }

    void pathTo(int32_t t, int64_t k, std::vector<int32_t>& path) {
        path.clear();
        while (true) {
            path.push_back(t);
            const int64_t leftSize = size(m_nodes[t].left);
            if (k < leftSize) {
                t = m_nodes[t].left;
            } else if (k == leftSize) {
                return;
            } else {
                k -= leftSize + 1;
                t = m_nodes[t].right;
            }
        }
    }

    void collectFrom(int32_t t, int64_t offset, int64_t from, int64_t pivot, bool below,
                     size_t limit, std::vector<std::pair<int64_t, int32_t>>& out) {
        if (t == kNone || out.size() >= limit) return;
        const Node& n = m_nodes[t];
        if (offset + n.size <= from) return;
        if (below ? !(n.minKey < pivot) : n.maxKey < pivot) return;
        collectFrom(n.left, offset, from, pivot, below, limit, out);
        const int64_t place = offset + size(n.left);
        if (place >= from && out.size() < limit && ((n.item.key < pivot) == below))
            out.emplace_back(place, t);
        collectFrom(n.right, place + 1, from, pivot, below, limit, out);
    }

    std::vector<Node> m_nodes;
    std::mt19937 m_random{20261206};
    std::vector<int32_t> m_pathA, m_pathB, m_stack;
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
        std::vector<std::pair<int64_t, int32_t>> keys(m_items.size());
        for (size_t i = 0; i < m_items.size(); ++i)
            keys[i] = {m_items[i].key, static_cast<int32_t>(i)};
        // Stable, so equal keys stay in place order; a merge sort also suits the
        // runs of sorted keys these lists are made of.
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        bool anyShared = false;
        for (size_t i = 1; i < keys.size(); ++i) {
            if (keys[i - 1].first == keys[i].first) {
                m_items[keys[i - 1].second].shared = 1;
                m_items[keys[i].second].shared = 1;
                anyShared = true;
            }
        }
        if (anyShared) return true;
        std::vector<SortItem> sorted(m_items.size());
        for (size_t i = 0; i < keys.size(); ++i) sorted[i] = m_items[keys[i].second];
        m_items.swap(sorted);
        return false;
    }

    int64_t countShared(int64_t lo, int64_t hi) {
        int64_t count = 0;
        for (int64_t i = lo; i <= hi; ++i) count += at(i).shared;
        return count;
    }

    // Sorts places lo..hi of the array. `shared`: flagged items in the range, -1 when not counted.
    void sortArray(int64_t lo, int64_t hi, int64_t shared) {
        while (lo < hi) {
            if (shared < 0) shared = countShared(lo, hi);
            if (shared == 0) {
                // No key occurs twice here: the sorted order is the only result.
                std::sort(m_items.begin() + (lo - m_base), m_items.begin() + (hi - m_base) + 1,
                          [](const SortItem& x, const SortItem& y) { return x.key < y.key; });
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

    // Sorts places lo..hi while its passes split unevenly, in a PlaceTree.
    void sortTree(int64_t lo, int64_t hi) {
        PlaceTree tree(static_cast<size_t>(hi - lo + 1));
        int32_t root = tree.build(&at(lo), hi - lo + 1);
        std::vector<std::pair<int64_t, int32_t>> less, notLess;
        bool fewBelowLast = true;
        size_t lastLimit = 4; // how many the smaller side held last time
        while (hi - lo + 1 > kTreeFlatten) {
            const int64_t size = hi - lo + 1;
            const int64_t middle = quickSortMiddle(lo, hi) - lo;
            const int64_t pivot = tree.swapPlaces(root, 0, middle);
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
                    tree.collect(root, 1, pivot, below, bounded + 1, found);
                    if (found.size() <= bounded) split = below ? kFewBelow : kFewOthers;
                }
                if (bounded == cap) break;
            }
            if (split == kEven) {
                // An even split: back to the array, before this pass.
                tree.swapPlaces(root, 0, middle);
                tree.flatten(root, &at(lo));
                sortArray(lo, hi, -1);
                return;
            }
            fewBelowLast = split == kFewBelow;
            lastLimit = std::max<size_t>(4, (fewBelowLast ? less : notLess).size());
            if (split == kFewBelow) {
                moveSmallerToFront(tree, root, less);
                const int64_t lessCount = static_cast<int64_t>(less.size());
                tree.swapPlaces(root, 0, lessCount);
                // Places: [0, lessCount) below the pivot, the pivot, then the rest.
                const auto [left, rest] = tree.split(root, lessCount);
                const auto [pivotNode, right] = tree.split(rest, 1);
                const int64_t last = lo + lessCount;
                at(last) = tree.item(pivotNode);
                tree.flatten(left, &at(lo));
                sortArray(lo, last - 1, -1);
                root = right, lo = last + 1;
            } else {
                // The records below the pivot close up behind it; the scan's last
                // swap puts the last of them in front and the pivot after them.
                const std::vector<int32_t> queue = takeOthers(tree, root, size, notLess);
                const int64_t lessCount = size - 1 - static_cast<int64_t>(queue.size());
                const int64_t last = lo + lessCount;
                int32_t pivotNode = PlaceTree::kNone, lastBelow = PlaceTree::kNone;
                root = tree.erase(root, 0, pivotNode);
                at(last) = tree.item(pivotNode);
                for (size_t j = 0; j < queue.size(); ++j)
                    at(last + 1 + static_cast<int64_t>(j)) = tree.item(queue[j]);
                sortArray(last + 1, hi, -1);
                if (lessCount == 0) return;
                root = tree.erase(root, lessCount - 1, lastBelow);
                root = tree.insertFront(root, lastBelow);
                hi = last - 1;
            }
        }
        tree.flatten(root, &at(lo));
        sortArray(lo, hi, -1);
    }

    // The scan with few records below the pivot: each is swapped with the
    // first place after those already moved.
    static void moveSmallerToFront(PlaceTree& tree, int32_t root,
                                   const std::vector<std::pair<int64_t, int32_t>>& less) {
        for (size_t j = 0; j < less.size(); ++j)
            tree.swapPlaces(root, static_cast<int64_t>(j) + 1, less[j].first);
    }

    // The scan with few records not below the pivot (at `others`, in place
    // order): the records below it close up in their order, and the others end
    // up behind them in the order the scan's swaps rotate them into. Those
    // others form a queue: each is appended when the scan reaches it, and each
    // record below the pivot that the scan meets afterwards moves the queue's
    // front to its back. Takes the others out of the tree and returns their
    // nodes in that final order.
    static std::vector<int32_t> takeOthers(PlaceTree& tree, int32_t& root, int64_t size,
                                           const std::vector<std::pair<int64_t, int32_t>>& others) {
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
        std::vector<int32_t> queue(static_cast<size_t>(g));
        for (int64_t j = 0; j < g; ++j) queue[circle[j]] = others[j].second;
        std::rotate(queue.begin(), queue.begin() + front, queue.end());

        // Cut them out run by run of neighbouring places, from the back.
        for (int64_t end = g; end > 0;) {
            int64_t start = end - 1;
            while (start > 0 && others[start - 1].first + 1 == others[start].first) --start;
            const int64_t first = others[start].first, count = end - start;
            const auto [before, rest] = tree.split(root, first);
            const auto [run, after] = tree.split(rest, count);
            (void)run;
            root = tree.merge(before, after);
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
