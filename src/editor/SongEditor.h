// `SongEditor`, the one door to a loaded song: every change of the song passes
// through one of its named operations. Each operation works out from its own
// arguments which records it may touch, runs as one step of the edit history
// (so that undo and redo follow it), and the song counts as modified while
// the history stands away from the point where it was last saved or opened.
// The windows, the MIDI keyboard, the range window and the file commands ask
// the editor for these operations and then redraw; none of them writes the
// song, keeps an undo copy or marks the song changed itself.
//
// An operation that another one calls (a handler that fires another) joins
// the outer step. An operation that fails changes nothing and leaves no step.
#pragma once

#include "editor/Chords.h"
#include "editor/EditHistory.h"
#include "midi/KeyboardInput.h"
#include "song/OpenFile.h"
#include "song/Song.h"
#include "song/SongHost.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace vako {

// Whole bars of one part, as the range window picks them: bar 1 is the
// first, `firstBar` <= `lastBar`.
struct BarRange {
    int firstBar = 1;
    int lastBar = 1;
    int part = 0;
};

class SongEditor {
public:
    explicit SongEditor(Song& song);
    SongEditor(const SongEditor&) = delete;
    SongEditor& operator=(const SongEditor&) = delete;

    // Reading the song is free; changing it is what the operations below do.
    const Song& song() const { return m_song; }

    // --- Undo, redo and the saved point ------------------------------------
    bool canUndo() const { return !m_history.inEdit() && m_history.canUndo(); }
    bool canRedo() const { return !m_history.inEdit() && m_history.canRedo(); }
    bool undo();
    bool redo();
    // True while the song differs from what was last saved or opened.
    bool isModified() const { return m_history.isAwayFromSaved(); }
    // The song as it stands was written to its file.
    void markSaved() { m_history.markSaved(); }
    size_t undoCount() const { return m_history.undoCount(); }
    size_t stepCount() const { return m_history.stepCount(); }
    size_t historyBytes() const { return m_history.bytes(); }

    // --- Notes --------------------------------------------------------------
    // Places `chord` (one note or several) at `pos`: the root at its sorted
    // place, the chord tones behind it, `length` steps long, on `part`, at
    // the new-note strength. The root's index, 0 when nothing was placed.
    int32_t placeChord(int32_t pos, const ChordNotes& chord, int32_t length, int part);
    // Keys of a MIDI keyboard at `pos`, each at its own sorted place with its
    // own strength. False when none went in.
    bool enterKeys(int32_t pos, const std::vector<EnteredKey>& keys, int32_t length, int part);
    bool deleteNote(int32_t index);
    bool setNoteLength(int32_t index, int32_t length);
    bool setNoteKey(int32_t index, int key); // 0..119
    bool setNoteStrength(int32_t index, int velocity);
    bool setNoteBalance(int32_t index, int pan);

    // --- Control changes ------------------------------------------------------
    // Record `index` (2..M) becomes `change`; with `index` 0 a new record goes
    // in at `change`'s position. The index it stands at, 0 when refused.
    int32_t setChange(int32_t index, const ControlChange& change);
    bool deleteChange(int32_t index);

    // --- Song settings --------------------------------------------------------
    bool setPartProgram(int part, int program);
    bool setPartVolume(int part, int volume);
    bool setTempoText(const std::string& text);
    bool setCopyrightText(const std::string& text);
    bool setSequenceNameText(const std::string& text);
    bool setGrid(int grid);            // 60, 30, 15 or 5 staff units
    bool setMeter(int quartersPerBar); // 2, 3, 4 or 6
    // Every part but percussion plays `program`, the instrument changes included.
    bool setInstrumentForAllParts(int program);
    // The notes back to front, each mirrored about the middle of the song.
    bool reverse();

    // --- The range window -----------------------------------------------------
    // Each is one step; one that meets what it cannot do (a position no song
    // holds, a key outside 0..119) changes nothing and returns false.
    bool shiftNotes(const BarRange& range, int steps);
    bool copyNotes(const BarRange& range, int targetBar, int targetPart);
    bool deleteNotes(const BarRange& range);
    bool moveSemitone(const BarRange& range, int pitchClass, bool up);
    bool setStrength(const BarRange& range, int velocity);
    bool setBalance(const BarRange& range, int pan);
    // The steps a bar has at the song's meter, and the positions bar
    // `bar` spans: drawn bar lines lie at position 3 and every bar after
    // it, so a bar runs from its line to the step before the next; bar 1
    // also holds the steps before the first line.
    int stepsPerBar() const { return 12 * m_song.quartersPerBar; }
    int64_t firstPositionOfBar(int bar) const;
    int64_t lastPositionOfBar(int bar) const;

    // --- A selection of notes ---------------------------------------------------
    // A selection names notes by their indices 1..N, ascending. Each of these
    // is one step whose size grows with the notes it moves, not with the
    // song; the notes between keep their order, and a note put in goes where
    // a click would put it (before an equal note at its position).
    enum class MoveRefusal { None, BeforeFirstPosition, KeyOutOfRange, NothingToMove };
    // Moves the notes by `steps` and `semitones` (either may be 0); on
    // success `selection` becomes their new indices. A move that would put
    // any of them before position 1 or outside keys 0..119 changes nothing.
    MoveRefusal moveNotes(std::vector<int32_t>& selection, int64_t steps, int semitones);
    bool deleteSelectedNotes(const std::vector<int32_t>& selection);
    // Puts `notes` into the song; their indices, empty when refused (a key
    // outside 0..119, a position before 1 or past what a song holds).
    std::vector<int32_t> insertNotes(std::vector<Note> notes);
    // Copies of the notes right after them: their first bar lands on the
    // first bar line at or after the end of the last of them. The copies'
    // indices, empty when refused.
    std::vector<int32_t> duplicateNotes(const std::vector<int32_t>& selection);
    bool setSelectedStrength(const std::vector<int32_t>& selection, int velocity);
    bool setSelectedBalance(const std::vector<int32_t>& selection, int pan);
    bool setSelectedLength(const std::vector<int32_t>& selection, int32_t length);
    // Counts every change of the song (an operation, an undo, a redo, a load):
    // a selection made at one count names the notes of that song only.
    uint64_t revision() const { return m_revision; }

    // --- Playback ---------------------------------------------------------------
    // What the user records while the song plays becomes one step at the
    // stop. The playback engine works on `songForPlayback` between the two:
    // the tempo, instruments and volumes it reaches on the way are no edit of
    // the user's, so they stay out of the step and stay in the song after it.
    void beginPlayback();
    Song& songForPlayback() { return m_song; }
    void endPlayback();
    bool playing() const { return m_history.inEdit(); }

    // --- Files ------------------------------------------------------------------
    // Opens `path` into the song, merging when `host` has merge on and the
    // song has notes. Another song starts an empty history and counts as
    // saved; a merge is one step; what cannot be opened changes nothing.
    OpenStatus open(const std::string& path, SongHost& host);
    // No notes, an empty history; the rest of the song stays as the start of
    // the next one.
    void newSong();
    // The song of a program that starts: every default, an empty history.
    void startAfresh();
    // A song made whole elsewhere (built in memory, as a load would leave
    // it) becomes the open one: an empty history, counted as saved.
    void replaceSong(Song song);
    // The name the song is shown and offered under, and the name its file is
    // written under: no edit of the music, so neither a step nor a change.
    void setSongName(std::optional<std::string> name) { m_song.songName = std::move(name); }
    void setFileName(std::string name) { m_song.fileName = std::move(name); }

    // --- The fault path ---------------------------------------------------------
    // A redraw met data it cannot draw: the notes go back to the copy taken
    // before the last operation on notes (or the last open), and the history
    // lets that operation go.
    void restoreNotesAfterFault();

    // Whether the last operation met what it cannot do and changed nothing
    // (as against one that had nothing to change).
    bool lastOperationRefused() const { return m_lastRefused; }

    // Scope checking of every step (on in the sanitizer build).
    void checkScopes(bool on) { m_history.checkScopes(on); }

private:
    // Runs `edit` within `scope` as one step named `operation`. An edit that
    // returns false refused: it is put back, and the editor remembers it.
    template <class Edit> bool step(const char* operation, const EditScope& scope, Edit&& edit) {
        m_lastRefused = false;
        const bool stepped = m_history.record(m_song, operation, scope, [&] {
            bool ok = true;
            if constexpr (std::is_void_v<std::invoke_result_t<Edit&>>)
                edit();
            else
                ok = static_cast<bool>(edit());
            m_lastRefused = !ok;
            return ok;
        });
        if (!m_lastRefused) ++m_revision;
        return stepped;
    }
    // Carries out `splice` as one step (`leaving` is filled from the song).
    bool spliceStep(const char* operation, NoteSplice splice);
    // The splice that takes the notes at `selection` out and puts `arriving`
    // in where they belong among the rest; `arriving` is sorted first.
    NoteSplice replacingSplice(const std::vector<int32_t>& selection,
                               std::vector<Note> arriving) const;
    // Whether `selection` ascends within 1..N.
    bool isSelection(const std::vector<int32_t>& selection) const;
    // An edit of the notes: the undo copy of the fault path is taken first.
    template <class Edit>
    bool noteStep(const char* operation, const EditScope& scope, Edit&& edit) {
        takeUndoCopy();
        return step(operation, scope, std::forward<Edit>(edit));
    }
    bool changeNote(const char* operation, int32_t index, const std::function<bool(Note&)>& edit);
    // The notes of the range's part in its bars.
    std::function<bool(const Note&)> inBars(const BarRange& range) const;
    // Runs `edit` on each of them as one step (sorted by position after it
    // when the edit moves them); the first refusal puts the step back.
    bool changeNotesInBars(const char* operation, const BarRange& range,
                           const std::function<bool(Note&)>& edit, bool sortAfter = false);
    void takeUndoCopy();

    Song& m_song;
    EditHistory m_history;
    bool m_lastRefused = false;
    uint64_t m_revision = 0;
    // The notes before the last operation on notes, for the redraw's fault path.
    std::vector<Note> m_undoNotes;
    int32_t m_undoTwiceNoteCount = 0;
    // What playback had reached when it started, put back for the step's commit.
    struct PlayedSettings {
        std::array<uint8_t, kPartCount> programs{};
        std::array<int16_t, kPartCount> volumes{};
        std::string tempoText;
        ControlChange startTempo;
    };
    PlayedSettings playedSettings() const;
    void putPlayedSettings(const PlayedSettings& s);
    PlayedSettings m_settingsAtPlay;
};

} // namespace vako
