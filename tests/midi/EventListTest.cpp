#include "midi/EventList.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vako {
namespace {

// The program's quicksort written out plainly (recursion on both halves, no
// shortcuts), to compare the real sorts with. Quadratic on equal keys, so only
// for small lists.
template <typename T, typename Key>
void plainQuickSort(std::vector<T>& a, int64_t lo, int64_t hi, Key key) {
    if (lo >= hi) return;
    const int64_t sum = lo + hi;
    int64_t m = sum / 2;
    if (sum % 2 != 0 && m % 2 != 0) ++m; // a half rounds to the even neighbour
    std::swap(a[lo], a[m]);
    int64_t last = lo;
    for (int64_t i = lo + 1; i <= hi; ++i)
        if (key(a[i]) < key(a[lo])) std::swap(a[++last], a[i]);
    std::swap(a[lo], a[last]);
    plainQuickSort(a, lo, last - 1, key);
    plainQuickSort(a, last + 1, hi, key);
}

Note note(int32_t pos, uint8_t key, int32_t len = 12, uint8_t part = 0) {
    return Note{pos, key, len, part, 120, 64, 0};
}

// Records told apart by their velocity, all at one position.
std::vector<Note> tagged(std::initializer_list<int32_t> positions) {
    std::vector<Note> list(1);
    uint8_t tag = 1;
    for (int32_t pos : positions) list.push_back(Note{pos, 60, 0, 0, tag++, 0, 0});
    return list;
}

std::vector<int> tagsOf(const std::vector<Note>& list) {
    std::vector<int> tags;
    for (size_t i = 1; i < list.size(); ++i) tags.push_back(list[i].velocity);
    return tags;
}

TEST(SortNotes, EqualKeysComeOutInTheQuicksortsOwnOrder) {
    auto two = tagged({5, 5});
    SortNotes(two, 1, 2);
    EXPECT_EQ(tagsOf(two), (std::vector<int>{2, 1})); // A, B give B, A

    auto three = tagged({5, 5, 5});
    SortNotes(three, 1, 3);
    EXPECT_EQ(tagsOf(three), (std::vector<int>{2, 1, 3})); // A, B, C give B, A, C

    auto one = tagged({7});
    SortNotes(one, 1, 1);
    SortNotes(one, 1, 0);
    EXPECT_EQ(tagsOf(one), (std::vector<int>{1}));
}

TEST(SortNotes, MatchesThePlainAlgorithmOnListsWithManyEqualKeys) {
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        const int n = static_cast<int>(random() % 60);
        const int spread = 1 + static_cast<int>(random() % 8);
        std::vector<Note> list(n + 1);
        for (int i = 1; i <= n; ++i)
            list[i] = Note{static_cast<int32_t>(random() % spread) - 2, 0, i, 0, 0, 0, 0};
        auto expected = list;
        plainQuickSort(expected, 1, n, [](const Note& r) { return r.position; });
        SortNotes(list, 1, n);
        ASSERT_EQ(list, expected) << "round " << round;
    }
}

TEST(SortCCs, FollowsTheSameRule) {
    std::mt19937 random(4);
    for (int round = 0; round < 200; ++round) {
        const int n = static_cast<int>(random() % 40);
        std::vector<ControlChange> list(n + 1);
        for (int i = 1; i <= n; ++i)
            list[i] = ControlChange{static_cast<int32_t>(random() % 5), i, 1};
        auto expected = list;
        plainQuickSort(expected, 1, n, [](const ControlChange& r) { return r.position; });
        SortCCs(list, 1, n);
        ASSERT_EQ(list, expected) << "round " << round;
    }
}

TEST(SortNotes, AMillionSortedOrEqualKeysNeitherOverflowTheStackNorTakeQuadraticTime) {
    const int n = 1'000'000;
    std::vector<Note> sorted(n + 1), equal(n + 1);
    for (int i = 1; i <= n; ++i) {
        sorted[i].position = i;
        equal[i] = Note{42, 0, i, 0, 0, 0, 0};
    }
    SortNotes(sorted, 1, n);
    SortNotes(equal, 1, n);
    for (int i = 1; i <= n; ++i) ASSERT_EQ(sorted[i].position, i);
    // The first pass moves the middle record to the front; everything else stays.
    EXPECT_EQ(equal[1].length, 500'000);
}

TEST(BuildNoteEvents, LaysOutNoteOnsThenNoteOffs) {
    Song song;
    song.notes = {Note{}, note(1, 60, 12, 2), note(5, 62, 3, 9)};
    song.twiceNoteCount = 4;
    BuildNoteEvents(song);
    const auto& e = song.workNotes;
    ASSERT_EQ(e.size(), 2u * 2 + 10 + 1);
    EXPECT_EQ(e[0], Note{});
    EXPECT_EQ(e[1], song.notes[1]);
    EXPECT_EQ(e[2], song.notes[2]);
    EXPECT_EQ(e[3], (Note{13, 180, 0, 2, 0, 0, 0}));
    EXPECT_EQ(e[4], (Note{8, 182, 0, 9, 0, 0, 0}));
    EXPECT_EQ(e[5], Note{});
}

std::vector<Note> events(std::initializer_list<Note> list) {
    std::vector<Note> v{Note{}};
    v.insert(v.end(), list);
    return v;
}

TEST(SortEvents, AtOnePositionControlChangesThenNoteOffsThenNoteOns) {
    const Note on{10, 60, 12, 0, 1, 0, 0};
    const Note off{10, 181, 0, 0, 2, 0, 0};
    const Note change{10, kControlChangeEvent, 120, 0, 3, 0, 0};
    const Note earlier{9, 70, 12, 0, 4, 0, 0};
    auto list = events({on, off, change, earlier});
    SortEvents(list, 4);
    EXPECT_EQ(tagsOf(list), (std::vector<int>{4, 3, 2, 1}));
    for (const Note& e : list) EXPECT_TRUE(e.position == 0 || e.position == 9 || e.position == 10);
}

TEST(SortEvents, ANoteOfLengthZeroSoundsBeforeItIsSwitchedOff) {
    // Beside it: a note ending at 4 and one starting there, whose events keep
    // the usual order (off, then on) ahead of the zero-length note's off.
    Song song;
    song.notes = {Note{}, note(1, 50, 3), note(4, 60, 0), note(4, 64, 12)};
    song.twiceNoteCount = 6;
    BuildNoteEvents(song);
    SortEvents(song, 6);
    std::vector<std::pair<int32_t, int>> got;
    for (int i = 1; i <= 6; ++i)
        got.emplace_back(song.workNotes[i].position, song.workNotes[i].key);
    const std::vector<std::pair<int32_t, int>> expected{{1, 50},  {4, 170}, {4, 60},
                                                        {4, 64},  {4, 180}, {16, 184}};
    EXPECT_EQ(got, expected);
}

TEST(SortEvents, EqualEventsFollowTheEqualKeyRuleAndTheSongOverloadAgrees) {
    // Two chords' note-ons at one position: among themselves they come out as
    // the quicksort leaves equal keys.
    auto list = events(
        {Note{3, 60, 1, 0, 1, 0, 0}, Note{3, 64, 1, 0, 2, 0, 0}, Note{3, 67, 1, 0, 3, 0, 0}});
    Song song;
    song.workNotes = list;
    SortEvents(list, 3);
    SortEvents(song, 3);
    EXPECT_EQ(tagsOf(list), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(song.workNotes, list);

    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        const int n = static_cast<int>(random() % 50);
        std::vector<Note> l(n + 1);
        for (int i = 1; i <= n; ++i) {
            static const uint8_t kinds[] = {60, 190, kControlChangeEvent};
            l[i] = Note{static_cast<int32_t>(random() % 4), kinds[random() % 3], i, 0, 0, 0, 0};
        }
        auto expected = l;
        plainQuickSort(expected, 1, n, [](const Note& e) {
            return e.position * 3 + (e.key < 120 ? 2 : e.key < 240 ? 1 : 0);
        });
        SortEvents(l, n);
        ASSERT_EQ(l, expected) << "round " << round;
    }
}

TEST(SortEvents, TwoHundredThousandEventsAtOnePositionStayInThePlainOrder) {
    // Long runs of equal keys take the shortcut in the shared quicksort; a
    // smaller run is compared with the plain algorithm, a large one must finish.
    const int small = 3000;
    std::vector<Note> list(small + 1);
    for (int i = 1; i <= small; ++i)
        list[i] = Note{0, static_cast<uint8_t>(i % 2 ? 60 : 180), i, 0, 0, 0, 0};
    auto expected = list;
    plainQuickSort(expected, 1, small,
                   [](const Note& e) { return e.position * 3 + (e.key < 120 ? 2 : 1); });
    SortEvents(list, small);
    EXPECT_EQ(list, expected);

    const int large = 200'000;
    std::vector<Note> big(large + 1);
    for (int i = 1; i <= large; ++i)
        big[i] = Note{0, static_cast<uint8_t>(i % 2 ? 60 : 180), i, 0, 0, 0, 0};
    SortEvents(big, large);
    for (int i = 1; i <= large / 2; ++i) ASSERT_GE(big[i].key, 120) << i;
    for (int i = large / 2 + 1; i <= large; ++i) ASSERT_LT(big[i].key, 120) << i;
}

} // namespace
} // namespace vako
