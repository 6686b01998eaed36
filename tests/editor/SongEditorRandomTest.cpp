// The editing layer against thousands of its own operations chosen at
// random: note and chord entry, keys from a keyboard, deletion, note fields,
// every range operation, control changes set, changed and deleted, part
// settings, texts, grid and meter, the reverse command, recordings during
// playback, and the redraw's fault path. Undo and redo must give back each
// song exactly, and every step stays within its scope (checked).
#include "editor/ControlChanges.h"
#include "editor/NoteEdits.h"
#include "editor/SongEditor.h"

#include "../song/SongTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace vako {
namespace {

using test::contentOf;
using test::SongContent;

std::string describe(const SongContent& c) {
    std::ostringstream out;
    out << c.notes.size() << " notes, " << c.changes.size() << " changes, texts " << c.tempo << "/"
        << c.copyright << "/" << c.sequenceName;
    return out.str();
}

constexpr int kKinds = 14;

class RandomEdits {
public:
    explicit RandomEdits(uint32_t seed) : m_random(seed), song(startSong()), editor(song) {
        editor.checkScopes(true);
    }

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }

    // One random operation. Returns its kind.
    int edit() {
        const int n = song.noteCount();
        int kind = pick(0, kKinds - 1);
        if (n > 1500 && kind <= 1) kind = 2; // keep the song from growing without end
        switch (kind) {
        case 0: { // a click: a note or a chord, sometimes the same note again
            int32_t pos = pick(1, 60 * 48);
            int root = pick(0, 125);
            int32_t length = pick(1, 96);
            int part = pick(0, 15);
            if (n > 0 && pick(0, 3) == 0) {
                const Note& twin = song.notes[pick(1, n)];
                pos = twin.position, root = twin.key, length = twin.length, part = twin.part;
            }
            const int32_t code =
                std::array{kChordMajor, kChordMinor, kChordSeventh, kChordSuspended}[pick(0, 3)];
            editor.placeChord(pos, chordNotes(root, code, pick(0, 1) == 1), length, part);
            break;
        }
        case 1: { // a chord from a MIDI keyboard
            std::vector<EnteredKey> keys;
            for (int k = pick(1, 4); k > 0; --k)
                keys.push_back(
                    {static_cast<uint8_t>(pick(0, 119)), static_cast<uint8_t>(pick(1, 127))});
            std::sort(keys.begin(), keys.end(), [](auto& a, auto& b) { return a.key < b.key; });
            editor.enterKeys(pick(1, 60 * 48), keys, pick(1, 48), pick(0, 15));
            break;
        }
        case 2: // a click or Space that deletes a note; an index outside now and then
            editor.deleteNote(pick(0, n + 1));
            break;
        case 3: { // an editing key or the note panel on one note
            const int32_t i = pick(1, std::max(n, 1));
            switch (pick(0, 3)) {
            case 0:
                editor.setNoteLength(i, pick(1, 96));
                break;
            case 1:
                editor.setNoteKey(i, pick(0, 125));
                break;
            case 2:
                editor.setNoteStrength(i, 6 * pick(0, 21));
                break;
            default:
                editor.setNoteBalance(i, pick(0, 128));
            }
            break;
        }
        case 4: { // a range-window operation over many notes
            const int first = pick(1, 40);
            const BarRange range{first, first + pick(0, 20), pick(0, 15)};
            switch (pick(0, 5)) {
            case 0:
                editor.shiftNotes(range, pick(-48, 48));
                break;
            case 1:
                editor.copyNotes(range, pick(1, 45), pick(0, 15));
                break;
            case 2:
                editor.deleteNotes(range);
                break;
            case 3:
                editor.moveSemitone(range, pick(0, 11), pick(0, 1) == 0);
                break;
            case 4:
                editor.setStrength(range, 6 * pick(0, 20));
                break;
            default:
                editor.setBalance(range, 16 * pick(0, 8));
            }
            break;
        }
        case 5: { // the position panel sets a new change
            ControlChange cc{pick(1, 60 * 48), 0, static_cast<uint8_t>(pick(1, 3))};
            cc.value = cc.kind == kTempoChange        ? pick(30, 600)
                       : cc.kind == kInstrumentChange ? pick(0, 127) * 16 + pick(0, 15)
                                                      : pick(0, 6) * 16 + pick(0, 15);
            editor.setChange(0, cc);
            break;
        }
        case 6: { // ... changes one (the start tempo refuses)
            const int32_t i = pick(1, song.changeCount);
            ControlChange cc = song.changes[i];
            cc.value += pick(1, 5);
            editor.setChange(i, cc);
            break;
        }
        case 7: // ... deletes one (the start tempo refuses)
            editor.deleteChange(pick(1, song.changeCount));
            break;
        case 8: // a band's instrument or volume, or every part at once
            if (pick(0, 2) == 0)
                editor.setInstrumentForAllParts(pick(0, 127));
            else if (pick(0, 1) == 0)
                editor.setPartProgram(pick(0, 15), pick(0, 127));
            else
                editor.setPartVolume(pick(0, 15), pick(0, 6));
            break;
        case 9: { // a text box
            const int which = pick(0, 2);
            const int value = pick(0, 600);
            if (which == 0) editor.setTempoText(std::to_string(value));
            if (which == 1) editor.setCopyrightText("著作権 " + std::to_string(value));
            if (which == 2) editor.setSequenceNameText(std::string(value % 40, 'x'));
            break;
        }
        case 10: // the grid or the meter
            if (pick(0, 1) == 0)
                editor.setGrid(std::array{60, 30, 15, 5}[pick(0, 3)]);
            else
                editor.setMeter(std::array{2, 3, 4, 6}[pick(0, 3)]);
            break;
        case 11: // the reverse command
            editor.reverse();
            break;
        case 12: { // a playback: hits recorded
            editor.beginPlayback();
            Song& played = editor.songForPlayback();
            for (int t = pick(0, 5); t > 0; --t) {
                const int32_t pos = pick(1, 60 * 48);
                const int32_t at = std::max(insertionIndex(played, pos, 36), 1);
                insertChordAt(played, at, pos, chordNotes(pick(30, 90), 0, false), 3, 9);
            }
            editor.endPlayback();
            break;
        }
        default: // an operation refused half-way: a semitone past 119
            editor.setNoteKey(std::max(n, 1), 121);
            editor.moveSemitone({1, 80, pick(0, 15)}, pick(0, 11), true);
        }
        return kind;
    }

private:
    std::mt19937 m_random;

    // The song as opened: 200 notes and 6 tempo changes.
    Song startSong() {
        Song start;
        for (int i = 0; i < 200; ++i)
            insertChord(start, pick(1, 40 * 48), chordNotes(pick(30, 90), 0, false), pick(1, 48),
                        pick(0, 15));
        for (int i = 0; i < 6; ++i)
            insertCC(start, {pick(1, 40 * 48), pick(40, 200), kTempoChange});
        return start;
    }

public:
    Song song;
    SongEditor editor;
};

TEST(SongEditorRandomTest, UndoingEveryOperationGivesTheStartSongAndRedoingGivesTheLast) {
    for (uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        RandomEdits edits(seed);
        const SongContent start = contentOf(edits.song);
        std::array<int, kKinds> kinds{};
        for (int i = 0; i < 4000; ++i) ++kinds[static_cast<size_t>(edits.edit())];
        for (int k : kinds) EXPECT_GT(k, 100); // every kind of operation took part
        const SongContent last = contentOf(edits.song);
        ASSERT_GT(edits.editor.undoCount(), 2500u);
        while (edits.editor.undo()) {}
        const SongContent undone = contentOf(edits.song);
        ASSERT_TRUE(undone == start) << describe(undone) << " instead of " << describe(start);
        EXPECT_FALSE(edits.editor.isModified());
        while (edits.editor.redo()) {}
        const SongContent redone = contentOf(edits.song);
        ASSERT_TRUE(redone == last) << describe(redone) << " instead of " << describe(last);
    }
}

TEST(SongEditorRandomTest, OperationsUndosRedosAndFaultsInAnyOrderMatchFullCopies) {
    RandomEdits edits(7);
    SongEditor& editor = edits.editor;
    // The reference: a full copy of the song after every step, and where we stand.
    std::vector<SongContent> copies{contentOf(edits.song)};
    size_t at = 0;
    int faults = 0;
    for (int i = 0; i < 3000; ++i) {
        const int what = edits.pick(0, 10);
        if (what < 5) {
            const size_t before = editor.undoCount();
            edits.edit();
            if (editor.undoCount() != before) { // a step was added, the redo steps went
                copies.resize(at + 1);
                copies.push_back(contentOf(edits.song));
                ++at;
            }
        } else if (what < 8) {
            EXPECT_EQ(editor.undo(), at > 0);
            if (at > 0) --at;
        } else if (what < 10) {
            EXPECT_EQ(editor.redo(), at + 1 < copies.size());
            if (at + 1 < copies.size()) ++at;
        } else { // the redraw's fault path: the history follows the notes put back
            const size_t steps = editor.stepCount();
            editor.restoreNotesAfterFault();
            ++faults;
            if (editor.stepCount() == steps) {
                // The notes were as the copy has them: nothing went.
            } else if (editor.stepCount() + 1 == steps && editor.undoCount() + 1 == at) {
                copies.resize(at); // the failed operation's step went
                --at;
            } else { // the steps no longer fit the song: the history emptied
                ASSERT_EQ(editor.stepCount(), 0u);
                copies = {contentOf(edits.song)};
                at = 0;
            }
        }
        ASSERT_EQ(editor.undoCount(), at);
        ASSERT_TRUE(contentOf(edits.song) == copies[at]) << "after action " << i;
    }
    EXPECT_GT(faults, 100);
    // Whatever the faults left, undo walks back through songs that were.
    while (at > 0) {
        ASSERT_TRUE(editor.undo());
        --at;
        ASSERT_TRUE(contentOf(edits.song) == copies[at]) << "undo to " << at;
    }
}

} // namespace
} // namespace vako
