#include "midi/EventList.h"

#include "song/PlainQuickSort.h"

#include <gtest/gtest.h>

#include <vector>

namespace vako {
namespace {

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

TEST(SortCCs, SortByPositionWithTheSameRuleForEqualOnes) {
    std::vector<ControlChange> list = {ControlChange{}, {9, 1, 1}, {5, 2, 1}, {5, 3, 1}, {1, 4, 1}};
    SortCCs(list, 1, 4);
    std::vector<int32_t> values;
    for (size_t i = 1; i < list.size(); ++i) values.push_back(list[i].value);
    EXPECT_EQ(values, (std::vector<int32_t>{4, 2, 3, 1})); // the two at 5 as they came
}

TEST(BuildNoteEvents, LaysOutNoteOnsThenNoteOffs) {
    Song song;
    song.notes = {Note{}, note(1, 60, 12, 2), note(5, 62, 3, 9)};
    song.twiceNoteCount = 4;
    const std::vector<Note> e = BuildNoteEvents(song);
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
    std::vector<Note> list = BuildNoteEvents(song);
    SortEvents(list, 6);
    std::vector<std::pair<int32_t, int>> got;
    for (int i = 1; i <= 6; ++i) got.emplace_back(list[i].position, list[i].key);
    const std::vector<std::pair<int32_t, int>> expected{{1, 50}, {4, 170}, {4, 60},
                                                        {4, 64}, {4, 180}, {16, 184}};
    EXPECT_EQ(got, expected);
}

TEST(SortEvents, EqualEventsFollowTheEqualKeyRule) {
    // Two chords' note-ons at one position: among themselves they come out as
    // the quicksort leaves equal keys.
    auto list = events(
        {Note{3, 60, 1, 0, 1, 0, 0}, Note{3, 64, 1, 0, 2, 0, 0}, Note{3, 67, 1, 0, 3, 0, 0}});
    SortEvents(list, 3);
    EXPECT_EQ(tagsOf(list), (std::vector<int>{2, 1, 3}));
}

TEST(SortEvents, TwoHundredThousandEventsAtOnePositionStayInThePlainOrder) {
    // Long runs of equal keys take the shortcut in the shared quicksort; a
    // smaller run is compared with the plain algorithm, a large one must finish.
    const int small = 3000;
    std::vector<Note> list(small + 1);
    for (int i = 1; i <= small; ++i)
        list[i] = Note{0, static_cast<uint8_t>(i % 2 ? 60 : 180), i, 0, 0, 0, 0};
    auto expected = list;
    test::plainQuickSort(expected, 1, small,
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
