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

NoteRec at(int32_t pos, int note, int part = 0) {
    NoteRec r;
    r.lngPos = pos;
    r.bytNote = static_cast<uint8_t>(note);
    r.lngLen = 12;
    r.bytPart = static_cast<uint8_t>(part);
    return r;
}

Song songOf(const std::vector<NoteRec>& notes) {
    Song s;
    s.udtNotes.assign(1, NoteRec{});
    s.udtNotes.insert(s.udtNotes.end(), notes.begin(), notes.end());
    s.varNoteCountX2 = static_cast<int32_t>(2 * notes.size());
    return s;
}

std::vector<int> notesIn(const Song& s) {
    std::vector<int> out;
    for (int32_t i = 1; i <= s.noteCount(); ++i) out.push_back(s.udtNotes[i].bytNote);
    return out;
}

TEST(Chords, SixPatternsGiveTheirTones) {
    EXPECT_EQ(notesOf(chordNotes(60, kChordMajor, true)), (std::vector<int>{60, 64, 67}));
    EXPECT_EQ(notesOf(chordNotes(60, kChordMinor, true)), (std::vector<int>{60, 63, 67}));
    EXPECT_EQ(notesOf(chordNotes(60, kChordAugmented, true)), (std::vector<int>{60, 64, 68}));
    EXPECT_EQ(notesOf(chordNotes(60, kChordDiminished, true)), (std::vector<int>{60, 63, 66}));
    EXPECT_EQ(notesOf(chordNotes(60, kChordSeventh, true)), (std::vector<int>{60, 64, 67, 70}));
    EXPECT_EQ(notesOf(chordNotes(60, kChordSuspended, true)), (std::vector<int>{60, 65, 67}));
    EXPECT_EQ(notesOf(chordNotes(60, kChordSeventh, false)), (std::vector<int>{60}));
}

TEST(Chords, TonesAbove119AreLeftOut) {
    // Row 64 (note 110) with a seventh: 120 would be read as a note end.
    EXPECT_EQ(notesOf(chordNotes(110, kChordSeventh, true)), (std::vector<int>{110, 114, 117}));
    EXPECT_EQ(notesOf(chordNotes(116, kChordMajor, true)), (std::vector<int>{116}));
    EXPECT_EQ(chordNotes(120, kChordMajor, true).count, 0);
    EXPECT_EQ(chordNotes(-1, kChordMajor, false).count, 0);
}

TEST(NoteEdits, InsertionKeepsPositionThenPitchOrder) {
    Song s = songOf({at(3, 60), at(6, 60), at(6, 67), at(9, 50)});
    EXPECT_EQ(insertionIndex(s, 1, 10), 1);
    EXPECT_EQ(insertionIndex(s, 6, 64), 3); // between 60 and 67 at position 6
    EXPECT_EQ(insertionIndex(s, 6, 60), 2); // an equal note goes before
    EXPECT_EQ(insertionIndex(s, 6, 70), 4);
    EXPECT_EQ(insertionIndex(s, 100, 0), 5);

    const int32_t k = insertChord(s, 6, chordNotes(62, kChordMajor, true), 12, 3);
    EXPECT_EQ(k, 3);
    EXPECT_EQ(notesIn(s), (std::vector<int>{60, 60, 62, 66, 69, 67, 50}));
    EXPECT_EQ(s.varNoteCountX2, 14);
    EXPECT_EQ(s.udtNotes[4].bytPart, 3);
    EXPECT_EQ(s.udtNotes[4].bytVelocity, 120);
    EXPECT_EQ(s.udtNotes[4].bytPan, 64);
    EXPECT_EQ(s.udtNotes[4].lngLen, 12);
    EXPECT_GT(s.udtNotes.size(), size_t(s.noteCount()));
}

TEST(NoteEdits, FindsTheRunAndTheNoteOnARow) {
    std::vector<NoteRec> notes;
    for (int p = 1; p <= 3000; ++p) notes.push_back(at(p, 40 + p % 20, p % 2));
    notes.insert(notes.begin() + 10, at(11, 61, 1)); // a sharp beside note 11's 51
    notes.insert(notes.begin() + 11, at(11, 61, 1)); // and an equal one after it
    const Song s = songOf(notes);
    const NoteRun run = notesAt(s, 11);
    EXPECT_EQ(run.last - run.first, 3);
    EXPECT_EQ(notesAt(s, 5000).first, notesAt(s, 5000).last);
    // A cursor on row 35 (natural 60) shows the sharp 61; of two, the last or the first.
    EXPECT_EQ(findNoteOnRow(s, 11, 60, 1, true), run.first + 1);
    EXPECT_EQ(findNoteOnRow(s, 11, 60, 1, false), run.first);
    EXPECT_EQ(findNoteOnRow(s, 11, 60, 0, true), 0); // another part
    EXPECT_EQ(findNoteOnRow(s, 11, 62, 1, true), 0);
}

TEST(NoteEdits, DeleteMovesTheRestAndRefusesOutsideIndices) {
    Song s = songOf({at(3, 60), at(6, 62), at(9, 64)});
    EXPECT_FALSE(deleteNote(s, 0)); // the spare record is no note
    EXPECT_FALSE(deleteNote(s, 4));
    EXPECT_EQ(s.varNoteCountX2, 6);
    EXPECT_TRUE(deleteNote(s, 2));
    EXPECT_EQ(notesIn(s), (std::vector<int>{60, 64}));
    EXPECT_EQ(s.udtNotes[0], NoteRec{});
    EXPECT_EQ(s.udtNotes.size(), size_t(4 + 11));
}

Song songWithCCs(const std::vector<CCRec>& extra) {
    Song s;
    s.udtCCs.assign(2, CCRec{});
    s.udtCCs[1] = CCRec{0, 120, kTempoChange};
    s.udtCCs.insert(s.udtCCs.end(), extra.begin(), extra.end());
    s.varCCCount = static_cast<int32_t>(1 + extra.size());
    s.udtCCs.push_back(CCRec{kEndMarkerPos, 0, 0});
    return s;
}

TEST(ControlChanges, ValuesAndTheirMessages) {
    EXPECT_EQ(encodeCCValue(kEntryTempo, 30, 5).value, 30);
    EXPECT_EQ(encodeCCValue(kEntryTempo, 601, 5).message, &msg::kTempoIs30To600);
    EXPECT_EQ(encodeCCValue(kEntryInstrument, 1, 0).value, 0);
    EXPECT_EQ(encodeCCValue(kEntryInstrument, 41, 3).value, 643);
    EXPECT_EQ(encodeCCValue(kEntryInstrument, 129, 0).message, &msg::kInstrumentIs1To128);
    EXPECT_EQ(encodeCCValue(kEntryInstrument, 0, 0).message, &msg::kInstrumentIs1To128);
    EXPECT_EQ(encodeCCValue(kEntryVolume, 6, 9).value, 105);
    EXPECT_EQ(encodeCCValue(kEntryVolume, 7, 9).message, &msg::kVolumeIs0To6);
    const CCValue none = encodeCCValue(-1, 100, 0);
    EXPECT_FALSE(none.value);
    EXPECT_EQ(none.message, nullptr);
    EXPECT_EQ(shownCCValue(CCRec{5, 643, kInstrumentChange}), 41);
    EXPECT_EQ(shownCCValue(CCRec{5, 83, kVolumeChange}), 5);
    EXPECT_EQ(shownCCValue(CCRec{5, 90, kTempoChange}), 90);
}

TEST(ControlChanges, InsertGoesBeforeEqualPositionsAndKeepsTheEndMarker) {
    Song s = songWithCCs({{10, 100, kTempoChange}, {20, 83, kVolumeChange}});
    const int32_t k = insertCC(s, CCRec{20, 643, kInstrumentChange});
    EXPECT_EQ(k, 3);
    EXPECT_EQ(s.varCCCount, 4);
    EXPECT_EQ(s.udtCCs[3].lngValue, 643);
    EXPECT_EQ(s.udtCCs[4].lngValue, 83);
    EXPECT_EQ(s.udtCCs[5].lngPos, kEndMarkerPos);
    // Nothing goes before the start tempo, even at its own position.
    EXPECT_EQ(insertCC(s, CCRec{0, 90, kTempoChange}), 2);
    EXPECT_EQ(s.udtCCs[1], (CCRec{0, 120, kTempoChange}));
    EXPECT_EQ(s.udtCCs[6].lngPos, kEndMarkerPos);
}

TEST(ControlChanges, DeleteKeepsTheStartTempoAndTheEndMarker) {
    Song s = songWithCCs({{10, 100, kTempoChange}});
    EXPECT_FALSE(deleteCC(s, 1));
    EXPECT_FALSE(deleteCC(s, 3));
    EXPECT_TRUE(deleteCC(s, 2));
    EXPECT_EQ(s.varCCCount, 1);
    EXPECT_EQ(s.udtCCs[1], (CCRec{0, 120, kTempoChange}));
    EXPECT_EQ(s.udtCCs[2].lngPos, kEndMarkerPos);
}

TEST(KeyCodes, DrumPadTable) {
    EXPECT_EQ(drumNoteOfKey('Z'), 24);
    EXPECT_EQ(drumNoteOfKey('M'), 35);
    EXPECT_EQ(drumNoteOfKey('0'), 58);
    EXPECT_EQ(drumNoteOfKey(kKeySemicolon), 39);
    EXPECT_EQ(drumNoteOfKey(kKeyBackslash), 41);
    EXPECT_EQ(drumNoteOfKey(kKeyRightBracket), 42);
    for (int key : {int('4'), int('7'), int('A'), int('F'), int('K'), kKeySpace, kKeyShift})
        EXPECT_EQ(drumNoteOfKey(key), 0);
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
        EXPECT_EQ(keyCodeOfCharacter(U'あ', jp), 0);
    }
    // Shifted keys that differ between the layouts.
    EXPECT_EQ(keyCodeOfCharacter(U'+', true), kKeySemicolon);
    EXPECT_EQ(keyCodeOfCharacter(U'_', true), kKeyBackslash);
    EXPECT_EQ(keyCodeOfCharacter(U'(', true), '8');
    EXPECT_EQ(keyCodeOfCharacter(U':', false), kKeySemicolon);
    EXPECT_EQ(keyCodeOfCharacter(U'(', false), '9');
    EXPECT_EQ(keyCodeOfCharacter(U'*', false), '8');
}

} // namespace
} // namespace vako
