#include "song/QuickSort.h"

#include "PlainQuickSort.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vako {
namespace {

struct Item {
    int key;
    int id;
};

void plainQuickSort(std::vector<Item>& a, int64_t lo, int64_t hi) {
    test::plainQuickSort(a, lo, hi, [](const Item& i) { return i.key; });
}

std::vector<int> ids(const std::vector<Item>& a) {
    std::vector<int> out;
    for (const Item& item : a) out.push_back(item.id);
    return out;
}

auto byKey = [](const Item& i) { return i.key; };

TEST(QuickSortTest, MiddleIndexRoundsHalvesToEven) {
    EXPECT_EQ(quickSortMiddle(1, 2), 2);
    EXPECT_EQ(quickSortMiddle(1, 4), 2);
    EXPECT_EQ(quickSortMiddle(1, 6), 4);
    EXPECT_EQ(quickSortMiddle(2, 3), 2);
    EXPECT_EQ(quickSortMiddle(1, 3), 2);
}

TEST(QuickSortTest, EqualKeysComeOutInTheProgramsOrder) {
    // Index 0 is the spare record and never moves.
    std::vector<Item> two = {{0, 0}, {5, 1}, {5, 2}};
    quickSort(two, 1, 2, byKey);
    EXPECT_EQ(ids(two), (std::vector<int>{0, 2, 1})); // A, B -> B, A

    std::vector<Item> three = {{0, 0}, {5, 1}, {5, 2}, {5, 3}};
    quickSort(three, 1, 3, byKey);
    EXPECT_EQ(ids(three), (std::vector<int>{0, 2, 1, 3})); // A, B, C -> B, A, C
}

TEST(QuickSortTest, EmptyAndSingleRangesMoveNothing) {
    std::vector<Item> a = {{0, 0}, {9, 1}, {3, 2}};
    quickSort(a, 1, 1, byKey);
    quickSort(a, 2, 1, byKey);
    EXPECT_EQ(ids(a), (std::vector<int>{0, 1, 2}));
}

TEST(QuickSortTest, SameOrderAsThePlainAlgorithmOnInputsFullOfDuplicates) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 400; ++round) {
        const int n = test::kEngineMinimum + static_cast<int>(random() % 300);
        const int distinct = 1 + static_cast<int>(random() % (round % 4 == 0 ? 3 : 40));
        std::vector<Item> a(n + 1);
        for (int i = 0; i <= n; ++i) a[i] = {static_cast<int>(random() % distinct), i};
        if (round % 5 == 1)
            std::sort(a.begin() + 1, a.end(), [](auto& x, auto& y) { return x.key < y.key; });
        if (round % 5 == 2)
            std::sort(a.begin() + 1, a.end(), [](auto& x, auto& y) { return x.key > y.key; });
        std::vector<Item> expected = a;
        plainQuickSort(expected, 1, n);
        quickSort(a, 1, n, byKey);
        ASSERT_EQ(ids(a), ids(expected)) << "round " << round << ", n " << n;
    }
}

TEST(QuickSortTest, MillionEqualOrSortedKeysNeitherOverflowTheStackNorTakeQuadraticTime) {
    const int n = 1'000'000;
    std::vector<Item> equal(n + 1, Item{7, 0});
    for (int i = 0; i <= n; ++i) equal[i].id = i;
    quickSort(equal, 1, n, byKey); // finishes, with the stack it has

    std::vector<Item> sorted(n + 1);
    for (int i = 0; i <= n; ++i) sorted[i] = {i / 3, i};
    quickSort(sorted, 1, n, byKey);
    for (int i = 2; i <= n; ++i) ASSERT_LE(sorted[i - 1].key, sorted[i].key);
}

// Inputs of the shapes the program sorts, long enough for every way the sort
// takes: a sorted run behind a sorted run (note-ons, then note-offs, in chords),
// a sorted song with a block of copies behind it, one key only, descending
// keys, sorted keys with random ones among them, and several sorted runs.
TEST(QuickSortTest, ShapesTheProgramSortsComeOutAsThePlainAlgorithmLeavesThem) {
    std::mt19937 random(1206);
    for (int round = 0; round < 60; ++round) {
        const int n = 1500 + static_cast<int>(random() % 5000);
        const int shape = round % 6;
        std::vector<Item> a(n + 1);
        const int chord = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i <= n; ++i) {
            int key = 0;
            if (shape == 0) {
                key = i <= n / 2 ? ((i - 1) / chord) * 18 + 2
                                 : (((i - n / 2 - 1) / chord) + 1) * 18 + 1;
            } else if (shape == 1) {
                const int h = n - n / 8;
                key = i <= h ? i / chord : (i - h) / chord + h / 4;
            } else if (shape == 2) {
                key = 7;
            } else if (shape == 3) {
                key = (n - i) / chord;
            } else if (shape == 5) {
                // Several sorted runs, as the tracks of a file give them.
                const int runLength = n / (3 + round % 7) + 1;
                key = ((i - 1) % runLength) / chord + (i / runLength) % 2;
            } else {
                key = i % 5 == 0 ? static_cast<int>(random() % 100) : i;
            }
            a[i] = {key, i};
        }
        std::vector<Item> expected = a;
        plainQuickSort(expected, 1, n);
        quickSort(a, 1, n, byKey);
        ASSERT_EQ(ids(a), ids(expected)) << "round " << round << ", shape " << shape << ", n " << n;
    }
}

TEST(QuickSortTest, TwoKeysInLongRunsSortLikeThePlainAlgorithm) {
    // Note starts and note ends all at one position: two keys, many of each.
    const int n = 20000;
    std::vector<Item> a(n + 1);
    std::mt19937 random(7);
    for (int i = 0; i <= n; ++i) a[i] = {1 + static_cast<int>(random() % 2), i};
    std::vector<Item> expected = a;
    plainQuickSort(expected, 1, n);
    quickSort(a, 1, n, byKey);
    EXPECT_EQ(ids(a), ids(expected));
}

} // namespace
} // namespace vako
