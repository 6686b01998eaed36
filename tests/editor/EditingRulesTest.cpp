// Chord patterns, note insertion and removal, control-change records and the
// key tables of the editor.
#include "editor/Chords.h"
#include "editor/ControlChanges.h"
#include "editor/KeyCodes.h"
#include "editor/NoteEdits.h"

#include <gtest/gtest.h>

#include <vector>

namespace vako {
namespace {

std::vector<int> notesOf(const ChordNotes& c) {
    return {c.begin(), c.end()};
}

Note at(int32_t pos, int note, int part = 0) {
    Note r;
    r.position = pos;
    r.key = static_cast<uint8_t>(note);
    r.length = 12;
    r.part = static_cast<uint8_t>(part);
    return r;
}

Song songOf(const std::vector<Note>& notes) {
    Song s;
    s.notes.assign(1, Note{});
    s.notes.insert(s.notes.end(), notes.begin(), notes.end());
    s.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
    return s;
}

std::vector<int> notesIn(const Song& s) {
    std::vector<int> out;
    for (int32_t i = 1; i <= s.noteCount(); ++i) out.push_back(s.notes[i].key);
    return out;
}

TEST(Chords, TonesAbove119AreLeftOut) {
    // Row 64 (note 110) with a seventh: 120 would be read as a note end.
    EXPECT_EQ(notesOf(chordNotes(110, kChordSeventh, true)), (std::vector<int>{110, 114, 117}));
    EXPECT_EQ(notesOf(chordNotes(116, kChordMajor, true)), (std::vector<int>{116}));
    EXPECT_EQ(chordNotes(120, kChordMajor, true).count, 0);
    EXPECT_EQ(chordNotes(-1, kChordMajor, false).count, 0);
}

TEST(NoteEdits, FindsTheRunAndTheNoteOnARow) {
    std::vector<Note> notes;
    for (int p = 1; p <= 3000; ++p) notes.push_back(at(p, 40 + p % 20, p % 2));
    notes.insert(notes.begin() + 10, at(11, 61, 1)); // a sharp beside note 11's 51
    notes.insert(notes.begin() + 11, at(11, 61, 1)); // and an equal one after it
    const Song s = songOf(notes);
    const NoteRun run = notesAt(s, 11);
    EXPECT_EQ(run.last - run.first, 3);
    EXPECT_EQ(notesAt(s, 5000).first, notesAt(s, 5000).last);
    // A cursor on row 35 (natural 60) shows the sharp 61; of two, the last or the first.
    EXPECT_EQ(findNoteOnRow(s, 11, 60, 1, true, true), run.first + 1);
    EXPECT_EQ(findNoteOnRow(s, 11, 60, 1, false, true), run.first);
    EXPECT_EQ(findNoteOnRow(s, 11, 60, 0, true, true), 0); // another part
    EXPECT_EQ(findNoteOnRow(s, 11, 62, 1, true, true), 0);
}

TEST(NoteEdits, DeleteMovesTheRestAndRefusesOutsideIndices) {
    Song s = songOf({at(3, 60), at(6, 62), at(9, 64)});
    EXPECT_FALSE(deleteNote(s, 0)); // the spare record is no note
    EXPECT_FALSE(deleteNote(s, 4));
    EXPECT_EQ(s.twiceNoteCount, 6);
    EXPECT_TRUE(deleteNote(s, 2));
    EXPECT_EQ(notesIn(s), (std::vector<int>{60, 64}));
    EXPECT_EQ(s.notes[0], Note{});
}

Song songWithCCs(const std::vector<ControlChange>& extra) {
    Song s;
    s.changes.assign(2, ControlChange{});
    s.changes[1] = ControlChange{0, 120, kTempoChange};
    s.changes.insert(s.changes.end(), extra.begin(), extra.end());
    s.changeCount = static_cast<int32_t>(1 + extra.size());
    s.changes.push_back(ControlChange{kEndMarkerPos, 0, 0});
    return s;
}

TEST(ControlChanges, ValuesAtTheEdgesOfTheirRanges) {
    EXPECT_EQ(encodeCCValue(kEntryTempo, 30, 5).value, 30);
    EXPECT_EQ(encodeCCValue(kEntryTempo, 601, 5).message, &msg::kTempoIs30To600);
    EXPECT_EQ(encodeCCValue(kEntryInstrument, 41, 3).value, 643);
    EXPECT_EQ(encodeCCValue(kEntryInstrument, 0, 0).message, &msg::kInstrumentIs1To128);
    EXPECT_EQ(encodeCCValue(kEntryVolume, 6, 9).value, 105);
    const CCValue none = encodeCCValue(-1, 100, 0); // no entry chosen: no message either
    EXPECT_FALSE(none.value);
    EXPECT_EQ(none.message, nullptr);
}

TEST(ControlChanges, InsertGoesBeforeEqualPositionsDeleteKeepsTheStartTempoAndTheEndMarker) {
    Song s = songWithCCs({{10, 100, kTempoChange}, {20, 83, kVolumeChange}});
    EXPECT_EQ(insertCC(s, ControlChange{20, 643, kInstrumentChange}), 3);
    EXPECT_EQ(s.changeCount, 4);
    EXPECT_EQ(s.changes[3].value, 643);
    EXPECT_EQ(s.changes[4].value, 83);
    EXPECT_EQ(s.changes[5].position, kEndMarkerPos);
    // Nothing goes before the start tempo, even at its own position.
    EXPECT_EQ(insertCC(s, ControlChange{0, 90, kTempoChange}), 2);
    EXPECT_EQ(s.changes[1], (ControlChange{0, 120, kTempoChange}));
    EXPECT_EQ(s.changes[6].position, kEndMarkerPos);

    // Deleting keeps the start tempo and the end marker.
    for (const int32_t kept : {1, 6}) EXPECT_FALSE(deleteCC(s, kept)) << kept; // 6: the end marker
    for (int j = 0; j < 4; ++j) EXPECT_TRUE(deleteCC(s, 2));
    EXPECT_FALSE(deleteCC(s, 2));
    EXPECT_EQ(s.changeCount, 1);
    EXPECT_EQ(s.changes[1], (ControlChange{0, 120, kTempoChange}));
    EXPECT_EQ(s.changes[2].position, kEndMarkerPos);
}

TEST(KeyCodes, CharactersOfBothLayouts) {
    for (bool jp : {false, true}) {
        EXPECT_EQ(keyCodeOfCharacter(U'z', jp), 'Z');
        EXPECT_EQ(keyCodeOfCharacter(U'7', jp), '7');
        EXPECT_EQ(keyCodeOfCharacter(U';', jp), kKeySemicolon);
        EXPECT_EQ(keyCodeOfCharacter(U',', jp), kKeyComma);
        EXPECT_EQ(keyCodeOfCharacter(U'>', jp), kKeyPeriod);
        EXPECT_EQ(keyCodeOfCharacter(U'?', jp), kKeySlash);
        EXPECT_EQ(keyCodeOfCharacter(U']', jp), kKeyRightBracket);
        EXPECT_EQ(keyCodeOfCharacter(U'\\', jp), kKeyBackslash);
        EXPECT_EQ(keyCodeOfCharacter(U'!', jp), '1');
        EXPECT_EQ(keyCodeOfCharacter(U'\u3042', jp), 0);
    }
    // Shifted keys that differ between the layouts.
    EXPECT_EQ(keyCodeOfCharacter(U'+', true), kKeySemicolon);
    EXPECT_EQ(keyCodeOfCharacter(U'_', true), kKeyBackslash);
    EXPECT_EQ(keyCodeOfCharacter(U'(', true), '8');
    EXPECT_EQ(keyCodeOfCharacter(U':', false), kKeySemicolon);
    EXPECT_EQ(keyCodeOfCharacter(U'(', false), '9');
    EXPECT_EQ(keyCodeOfCharacter(U'*', false), '8');
}

TEST(KeyCodes, PadKeysByTheirPlaceOnTheKeyboard) {
    // Input-layer scan codes of the pad's keys, row by row, and the drum of
    // the Japanese keyboard's key at that place.
    const std::pair<uint32_t, int> places[] = {
        {2, 42},  {3, 44},  {4, 46},  {6, 49},  {7, 51},  {9, 54},  {10, 56}, {11, 58},
        {16, 43}, {17, 45}, {18, 47}, {19, 48}, {20, 50}, {21, 52}, {22, 53}, {23, 55},
        {24, 57}, {25, 59}, {31, 25}, {32, 27}, {34, 30}, {35, 32}, {36, 34}, {38, 37},
        {39, 39}, {43, 42}, {44, 24}, {45, 26}, {46, 28}, {47, 29}, {48, 31}, {49, 33},
        {50, 35}, {51, 36}, {52, 38}, {53, 40}, {89, 41}};
    for (auto [scanCode, drum] : places)
        EXPECT_EQ(drumNoteOfKey(keyCodeOfScanCode(scanCode)), drum) << scanCode;
    // Keys without a drum, and keys off the rows.
    for (uint32_t scanCode : {5u, 8u, 30u, 33u, 37u, 1u, 28u, 40u, 0u, 200u})
        EXPECT_EQ(drumNoteOfKey(keyCodeOfScanCode(scanCode)), 0) << scanCode;
    EXPECT_EQ(keyCodeOfScanCode(1), 0) << "Escape is no pad key: the character decides";
}

TEST(ReverseNotes, MirrorsPositionsAndTwiceGivesThemBack) {
    Song song = songOf({at(1, 60), at(5, 62), at(13, 64)});
    song.notes[1].length = 4, song.notes[2].length = 2, song.notes[3].length = 8;
    const Song before = song;
    ASSERT_TRUE(reverseNotes(song));
    EXPECT_EQ(notesIn(song), (std::vector<int>{64, 62, 60}));
    EXPECT_EQ(song.notes[1].position, 1);
    EXPECT_EQ(song.notes[2].position, 9);
    EXPECT_EQ(song.notes[3].position, 13);
    EXPECT_EQ(song.notes[1].length, 8) << "lengths travel with their notes";
    EXPECT_EQ(song.changes, before.changes);
    ASSERT_TRUE(reverseNotes(song));
    EXPECT_EQ(song.notes, before.notes);

    Song empty; // a song without notes is left alone
    EXPECT_FALSE(reverseNotes(empty));
    EXPECT_EQ(empty.notes.size(), 1u);
}

} // namespace
} // namespace vako
