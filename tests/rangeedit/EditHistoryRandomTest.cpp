// The edit history against real edits, chosen at random: note and chord
// entry and deletion, note fields, every range-window operation, control
// changes set, changed and deleted, part settings, song texts and the reverse
// command. Undo and redo must give back each song exactly.
#include "../song/SongTestSupport.h"

#include "editor/Chords.h"
#include "editor/ControlChanges.h"
#include "editor/NoteEdits.h"
#include "midi/Playback.h"
#include "platform/RecordingCanvas.h"
#include "rangeedit/RangeWindowModel.h"
#include "song/EditHistory.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>

namespace vako {
namespace {

// What the history answers for, spare records left out.
struct SongContent {
    std::vector<Note> notes;
    std::vector<ControlChange> changes; // 1..M and the end marker
    int32_t twiceNoteCount = 0;
    int32_t changeCount = 0;
    std::array<uint8_t, kPartCount> programs{};
    std::array<int16_t, kPartCount> volumes{};
    std::string tempo, copyright, sequenceName;
    friend bool operator==(const SongContent&, const SongContent&) = default;
};

SongContent contentOf(const Song& song) {
    SongContent c;
    c.notes.assign(song.notes.begin() + 1, song.notes.begin() + 1 + song.noteCount());
    c.changes.assign(song.changes.begin() + 1, song.changes.begin() + 2 + song.changeCount);
    c.twiceNoteCount = song.twiceNoteCount;
    c.changeCount = song.changeCount;
    c.programs = song.partPrograms;
    c.volumes = song.partVolumes;
    c.tempo = song.tempoText;
    c.copyright = song.copyrightText;
    c.sequenceName = song.sequenceNameText;
    return c;
}

std::string describe(const SongContent& c) {
    std::ostringstream out;
    out << c.notes.size() << " notes, " << c.changeCount << " changes, texts " << c.tempo << "/"
        << c.copyright << "/" << c.sequenceName;
    return out.str();
}

class RandomEdits {
public:
    explicit RandomEdits(uint32_t seed) : m_random(seed) {
        for (int i = 0; i < 200; ++i) {
            const int32_t pos = pick(1, 40 * 48);
            const ChordNotes one = chordNotes(pick(30, 90), 0, false);
            insertChord(song, pos, one, pick(1, 48), pick(0, 15));
        }
        for (int i = 0; i < 6; ++i) insertCC(song, {pick(1, 40 * 48), pick(40, 200), kTempoChange});
        m_window = std::make_unique<RangeWindowModel>(
            song, m_canvas, m_host, SongFolders{m_folder.path(), m_folder.path()}, nullptr);
    }

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }

    // One random edit through the history. Returns its kind.
    int edit(EditHistory& history) {
        const int n = song.noteCount();
        int kind = pick(0, 13);
        if (n > 1500 && kind <= 1) kind = 2; // keep the song from growing without end
        const bool wide = pick(0, 3) == 0;   // now and then the whole song as scope
        auto scoped = [&](EditScope narrow) { return wide ? EditScope::everything() : narrow; };
        switch (kind) {
        case 0:
        case 1: { // a click: a note or a chord
            int32_t pos = pick(1, 60 * 48);
            int root = pick(0, 125);
            int32_t length = pick(1, 96);
            int part = pick(0, 15);
            if (n > 0 && pick(0, 3) == 0) { // the same note again, beside its twin
                const Note& twin = song.notes[pick(1, n)];
                pos = twin.position, root = twin.key, length = twin.length, part = twin.part;
            }
            const int32_t code =
                std::array{kChordMajor, kChordMinor, kChordSeventh, kChordSuspended}[pick(0, 3)];
            const ChordNotes chord = chordNotes(root, code, pick(0, 1) == 1);
            history.record(song, scoped(EditScope::notesIn(chordInsertSpan(song, pos, chord))),
                           [&] { insertChord(song, pos, chord, length, part); });
            break;
        }
        case 2: {                             // a click that deletes a note
            const int32_t i = pick(0, n + 1); // an index outside now and then: nothing happens
            history.record(song, scoped(EditScope::notesIn(RecordSpan::one(i))),
                           [&] { return deleteNote(song, i); });
            break;
        }
        case 3: { // an editing key on the note under the cursor
            if (n == 0) break;
            const int32_t i = pick(1, n);
            history.record(song, scoped(EditScope::notesIn(RecordSpan::one(i))), [&] {
                Note& note = song.notes[i];
                const int field = pick(0, 4);
                // length, strength, balance, modulation or part
                const int value = pick(field == 0 ? 1 : 0, std::array{96, 21, 128, 127, 15}[field]);
                if (field == 0) note.length = value;
                if (field == 1) note.velocity = static_cast<uint8_t>(6 * value);
                if (field == 2) note.pan = static_cast<uint8_t>(value);
                if (field == 3) note.modulation = static_cast<uint8_t>(value);
                if (field == 4) note.part = static_cast<uint8_t>(value);
            });
            break;
        }
        case 4:
        case 5: { // a range-window operation over many notes
            m_window->load();
            const int first = pick(1, 40);
            m_window->selectedBars = {first, first + pick(0, 20)};
            m_window->setSourcePart(pick(0, 15));
            m_window->setShiftSteps(pick(-48, 48));
            m_window->setCopyTargetBar(pick(1, 45));
            m_window->setTargetPart(pick(0, 15));
            m_window->setPitchClass(pick(0, 11));
            m_window->setSemitoneDirection(pick(0, 1));
            m_window->setStrength(pick(0, 20));
            m_window->setBalance(pick(0, 8));
            const int op = pick(RangeWindowModel::kShift, RangeWindowModel::kBalance);
            history.record(song, EditScope::everything(), [&] { m_window->applyOperation(op); });
            break;
        }
        case 6: { // the position panel sets a change
            const int32_t pos = pick(1, 60 * 48);
            ControlChange cc{pos, 0, static_cast<uint8_t>(pick(1, 3))};
            cc.value = cc.kind == kTempoChange        ? pick(30, 600)
                       : cc.kind == kInstrumentChange ? pick(0, 127) * 16 + pick(0, 15)
                                                      : pick(0, 6) * 16 + pick(0, 15);
            const int32_t at = ccInsertionIndex(song, pos);
            history.record(song, scoped(EditScope::changesIn(RecordSpan::insertAt(at))),
                           [&] { insertCC(song, cc); });
            break;
        }
        case 7: { // ... changes one
            const int32_t i = pick(1, song.changeCount);
            history.record(song, scoped(EditScope::changesIn(RecordSpan::one(i))),
                           [&] { song.changes[i].value += pick(1, 5); });
            break;
        }
        case 8: { // ... deletes one (the start tempo refuses)
            const int32_t i = pick(1, song.changeCount);
            history.record(song, scoped(EditScope::changesIn(RecordSpan::one(i))),
                           [&] { return deleteCC(song, i); });
            break;
        }
        case 9: // a band's instrument or volume, or every part at once
            history.record(song, scoped(EditScope::settingsOnly()), [&] {
                const int part = pick(0, 15);
                if (pick(0, 2) == 0)
                    song.partPrograms.fill(static_cast<uint8_t>(pick(0, 127)));
                else if (pick(0, 1) == 0)
                    song.partPrograms[part] = static_cast<uint8_t>(pick(0, 127));
                else
                    song.partVolumes[part] = static_cast<int16_t>(pick(0, 6));
            });
            break;
        case 10: // a song text, and the start tempo with its record
            history.record(song, scoped(EditScope{RecordSpan::none(), RecordSpan::one(1)}), [&] {
                const int which = pick(0, 2);
                const int value = pick(which == 0 ? 30 : 0, std::array{600, 99, 40}[which]);
                if (which == 0) song.tempoText = std::to_string(song.changes[1].value = value);
                if (which == 1) song.copyrightText = "著作権 " + std::to_string(value);
                if (which == 2)
                    song.sequenceNameText = std::string(static_cast<size_t>(value), 'x');
            });
            break;
        case 11: // the reverse command
            history.record(song, EditScope::notesIn(RecordSpan::all()),
                           [&] { reverseNotes(song); });
            break;
        case 12: { // playback taps: several notes in one step
            history.begin(song, EditScope::notesIn(RecordSpan::all()));
            for (int t = pick(0, 5); t > 0; --t)
                insertChord(song, pick(1, 60 * 48), chordNotes(pick(30, 90), 0, false), 12, 9);
            history.commit(song);
            break;
        }
        default: { // an edit that fails half-way and is put back
            const int32_t at = insertionIndex(song, 100, 60);
            history.record(song, scoped(EditScope::notesIn(RecordSpan::insertAt(at))), [&] {
                insertChord(song, 100, chordNotes(60, 0, false), 12, 0);
                return false;
            });
        }
        }
        return kind;
    }

    Song song;

private:
    std::mt19937 m_random;
    test::TempFolder m_folder;
    RecordingCanvas m_canvas;
    test::RecordingSongHost m_host;
    std::unique_ptr<RangeWindowModel> m_window;
};

TEST(EditHistoryRandomTest, UndoingEveryEditGivesTheStartSongAndRedoingGivesTheLast) {
    for (uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        RandomEdits edits(seed);
        EditHistory history;
        const SongContent start = contentOf(edits.song);
        std::array<int, 14> kinds{};
        for (int i = 0; i < 5000; ++i) ++kinds[static_cast<size_t>(edits.edit(history))];
        for (int k : kinds) EXPECT_GT(k, 100); // every kind of edit took part
        const SongContent last = contentOf(edits.song);
        ASSERT_GT(history.undoCount(), 3000u);
        while (history.undo(edits.song)) {}
        const SongContent undone = contentOf(edits.song);
        ASSERT_TRUE(undone == start) << describe(undone) << " instead of " << describe(start);
        EXPECT_EQ(edits.song.modified, 0);
        while (history.redo(edits.song)) {}
        const SongContent redone = contentOf(edits.song);
        ASSERT_TRUE(redone == last) << describe(redone) << " instead of " << describe(last);
    }
}

TEST(EditHistoryRandomTest, TheFirstUndoAfterAClickGivesWhatTheUndoCopyGives) {
    RandomEdits edits(11);
    Song& song = edits.song;
    EditHistory history;
    for (int i = 0; i < 300; ++i) {
        song.takeUndoCopy(); // as every release over the staff does
        const int32_t pos = edits.pick(1, 40 * 48);
        const ChordNotes chord = chordNotes(edits.pick(30, 90), kChordSeventh, i % 2 == 0);
        if (i % 3 == 0) {
            const int32_t at = edits.pick(1, song.noteCount());
            history.record(song, EditScope::notesIn(RecordSpan::one(at)),
                           [&] { deleteNote(song, at); });
        } else {
            history.record(song, EditScope::notesIn(chordInsertSpan(song, pos, chord)),
                           [&] { insertChord(song, pos, chord, 12, 0); });
        }
        Song copy = song;
        copy.restoreUndoCopy();
        history.undo(song);
        ASSERT_TRUE(contentOf(song) == contentOf(copy)) << "click " << i;
        history.redo(song);
    }
}

TEST(EditHistoryRandomTest, EditsUndosAndRedosInAnyOrderMatchFullCopies) {
    RandomEdits edits(7);
    EditHistory history;
    // The reference: a full copy of the song after every step, and where we stand.
    std::vector<SongContent> copies{contentOf(edits.song)};
    size_t at = 0;
    std::array<int, 3> faults{}; // copy equal to the song, failed step dropped, history emptied
    for (int i = 0; i < 3000; ++i) {
        const int what = edits.pick(0, 10);
        if (what < 5) {
            const size_t before = history.undoCount();
            if (edits.pick(0, 1) == 0) edits.song.takeUndoCopy(); // a release over the staff
            edits.edit(history);
            if (history.undoCount() != before) { // a step was added, the redo steps went
                copies.resize(at + 1);
                copies.push_back(contentOf(edits.song));
                ++at;
            }
        } else if (what < 8) {
            EXPECT_EQ(history.undo(edits.song), at > 0);
            if (at > 0) --at;
        } else if (what < 10) {
            EXPECT_EQ(history.redo(edits.song), at + 1 < copies.size());
            if (at + 1 < copies.size()) ++at;
        } else { // a fault: the undo copy comes back
            const size_t steps = history.stepCount();
            const bool kept = history.dropFailedEdit(edits.song);
            edits.song.restoreUndoCopy();
            if (!kept) {
                copies = {contentOf(edits.song)};
                at = 0;
            } else if (history.stepCount() < steps) {
                copies.resize(at);
                --at;
            }
            ++faults[kept ? (history.stepCount() < steps ? 1 : 0) : 2];
        }
        ASSERT_EQ(history.undoCount(), at);
        ASSERT_TRUE(contentOf(edits.song) == copies[at]) << "after action " << i;
    }
    for (int f : faults) EXPECT_GT(f, 5);
}

} // namespace
} // namespace vako
