#include "editor/SongEditor.h"

#include "editor/ControlChanges.h"
#include "editor/NoteEdits.h"
#include "midi/EventList.h"
#include "midi/Playback.h"

#include <algorithm>
#include <limits>

namespace vako {

// A playback's recording is one step: it must fit the history's bound with
// room to spare beside the notes of the song it moves.
static_assert(kMostRecordedNotes * static_cast<int64_t>(sizeof(Note)) <=
              static_cast<int64_t>(EditHistory::kMaxBytes / 4));

namespace {

bool fitsPosition(int64_t pos) {
    return pos >= std::numeric_limits<int32_t>::min() && pos <= std::numeric_limits<int32_t>::max();
}

int32_t storedNoteCount(const Song& song) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(song.noteCount(), 0, static_cast<int64_t>(song.notes.size()) - 1));
}

} // namespace

SongEditor::SongEditor(Song& song) : m_song(song) {
    takeUndoCopy();
}

void SongEditor::takeUndoCopy() {
    // Records 0..N; the spare records behind them hold nothing to restore.
    const int64_t kept = m_song.notes.empty() ? 0 : int64_t{storedNoteCount(m_song)} + 1;
    m_undoNotes.assign(m_song.notes.begin(), m_song.notes.begin() + kept);
    m_undoTwiceNoteCount = m_song.twiceNoteCount;
}

bool SongEditor::undo() {
    if (!m_history.undo(m_song)) return false;
    ++m_revision;
    return true;
}

bool SongEditor::redo() {
    if (!m_history.redo(m_song)) return false;
    ++m_revision;
    return true;
}

// ---------------------------------------------------------------------------
// Notes

int32_t SongEditor::placeChord(int32_t pos, const ChordNotes& chord, int32_t length, int part) {
    if (chord.count == 0) return 0;
    // The new notes never go before the spare record 0.
    const int32_t at = std::max(insertionIndex(m_song, pos, chord.notes[0]), 1);
    int32_t root = 0;
    noteStep("placeChord", EditScope::notesIn(RecordSpan::insertAt(at)),
             [&] { root = insertChordAt(m_song, at, pos, chord, length, part); });
    return root;
}

bool SongEditor::enterKeys(int32_t pos, const std::vector<EnteredKey>& keys, int32_t length,
                           int part) {
    if (keys.empty()) return false;
    // Each key goes in at its own place among the notes at `pos`: in a song
    // in position order that is within their run, whatever the keys are.
    RecordSpan span = RecordSpan::all();
    if (notesInPositionOrder(m_song)) {
        const NoteRun run = notesAt(m_song, pos);
        span = RecordSpan::range(std::max(run.first - 1, 1), run.last);
    }
    return noteStep("enterKeys", EditScope::notesIn(span), [&] {
        for (const EnteredKey& key : keys) {
            ChordNotes single;
            single.notes[0] = key.key;
            single.count = 1;
            const int32_t at = std::max(insertionIndex(m_song, pos, key.key), 1);
            const int32_t i = insertChordAt(m_song, at, pos, single, length, part);
            m_song.notes[i].velocity = key.strength;
        }
    });
}

bool SongEditor::deleteNote(int32_t index) {
    if (!isNoteIndex(m_song, index)) return false;
    return noteStep("deleteNote", EditScope::notesIn(RecordSpan::one(index)),
                    [&] { return vako::deleteNote(m_song, index); });
}

bool SongEditor::changeNote(const char* operation, int32_t index,
                            const std::function<bool(Note&)>& edit) {
    if (!isNoteIndex(m_song, index)) return false;
    return noteStep(operation, EditScope::notesIn(RecordSpan::one(index)),
                    [&] { return edit(m_song.notes[index]); });
}

bool SongEditor::setNoteLength(int32_t index, int32_t length) {
    return changeNote("setNoteLength", index, [&](Note& n) {
        n.length = length;
        return true;
    });
}

bool SongEditor::setNoteKey(int32_t index, int key) {
    if (!isStorableNote(key)) return false;
    return changeNote("setNoteKey", index, [&](Note& n) {
        n.key = static_cast<uint8_t>(key);
        return true;
    });
}

bool SongEditor::setNoteStrength(int32_t index, int velocity) {
    if (velocity < 0 || velocity > 255) return false;
    return changeNote("setNoteStrength", index, [&](Note& n) {
        n.velocity = static_cast<uint8_t>(velocity);
        return true;
    });
}

bool SongEditor::setNoteBalance(int32_t index, int pan) {
    if (pan < 0 || pan > 255) return false;
    return changeNote("setNoteBalance", index, [&](Note& n) {
        n.pan = static_cast<uint8_t>(pan);
        return true;
    });
}

// ---------------------------------------------------------------------------
// Control changes

int32_t SongEditor::setChange(int32_t index, const ControlChange& change) {
    if (index == 0) {
        const int32_t at = ccInsertionIndex(m_song, change.position);
        int32_t placed = 0;
        step("setChange", EditScope::changesIn(RecordSpan::insertAt(at)),
             [&] { placed = insertCCAt(m_song, at, change); });
        return placed;
    }
    if (index < 2 || index > m_song.changeCount ||
        static_cast<size_t>(index) >= m_song.changes.size())
        return 0;
    step("setChange", EditScope::changesIn(RecordSpan::one(index)),
         [&] { m_song.changes[index] = change; });
    return index;
}

bool SongEditor::deleteChange(int32_t index) {
    return step("deleteChange", EditScope::changesIn(RecordSpan::one(index)),
                [&] { return deleteCC(m_song, index); });
}

// ---------------------------------------------------------------------------
// Song settings

bool SongEditor::setPartProgram(int part, int program) {
    if (part < 0 || part >= kPartCount || program < 0 || program > 127) return false;
    return step("setPartProgram", EditScope::settingsOnly(),
                [&] { m_song.partPrograms[part] = static_cast<uint8_t>(program); });
}

bool SongEditor::setPartVolume(int part, int volume) {
    if (part < 0 || part >= kPartCount || volume < 0 || volume > kMaxVolumeStep) return false;
    return step("setPartVolume", EditScope::settingsOnly(),
                [&] { m_song.partVolumes[part] = static_cast<int16_t>(volume); });
}

bool SongEditor::setTempoText(const std::string& text) {
    return step("setTempoText", EditScope::settingsOnly(), [&] { m_song.tempoText = text; });
}

bool SongEditor::setCopyrightText(const std::string& text) {
    return step("setCopyrightText", EditScope::settingsOnly(),
                [&] { m_song.copyrightText = text; });
}

bool SongEditor::setSequenceNameText(const std::string& text) {
    return step("setSequenceNameText", EditScope::settingsOnly(),
                [&] { m_song.sequenceNameText = text; });
}

bool SongEditor::setGrid(int grid) {
    if (grid != 60 && grid != 30 && grid != 15 && grid != 5) return false;
    return step("setGrid", EditScope::settingsOnly(),
                [&] { m_song.grid = static_cast<uint8_t>(grid); });
}

bool SongEditor::setMeter(int quartersPerBar) {
    if (quartersPerBar < 1 || quartersPerBar > 255) return false;
    return step("setMeter", EditScope::settingsOnly(),
                [&] { m_song.quartersPerBar = static_cast<uint8_t>(quartersPerBar); });
}

bool SongEditor::setInstrumentForAllParts(int program) {
    if (program < 0 || program > 127) return false;
    return step("setInstrumentForAllParts", EditScope{RecordSpan::none(), RecordSpan::all()}, [&] {
        const int32_t m = std::min<int64_t>(m_song.changeCount, int64_t(m_song.changes.size()) - 1);
        for (int32_t j = 1; j <= m; ++j) {
            ControlChange& cc = m_song.changes[j];
            if (cc.kind == kInstrumentChange && cc.value % kPartCount != kPercussionPart)
                cc.value = program * kPartCount + cc.value % kPartCount;
        }
        for (int part = 0; part < kPartCount; ++part)
            if (part != kPercussionPart) m_song.partPrograms[part] = static_cast<uint8_t>(program);
    });
}

bool SongEditor::reverse() {
    return noteStep("reverse", EditScope::notesIn(RecordSpan::all()),
                    [&] { return reverseNotes(m_song); });
}

// ---------------------------------------------------------------------------
// The range window

int64_t SongEditor::firstPositionOfBar(int bar) const {
    if (bar <= 1) return std::numeric_limits<int32_t>::min();
    return (int64_t{bar} - 1) * stepsPerBar() + kFirstBeatPosition;
}

int64_t SongEditor::lastPositionOfBar(int bar) const {
    return int64_t{bar} * stepsPerBar() + kFirstBeatPosition - 1;
}

std::function<bool(const Note&)> SongEditor::inBars(const BarRange& range) const {
    const int64_t first = firstPositionOfBar(range.firstBar);
    const int64_t last = lastPositionOfBar(range.lastBar);
    return [first, last, part = range.part](const Note& note) {
        return note.part == part && note.position >= first && note.position <= last;
    };
}

bool SongEditor::changeNotesInBars(const char* operation, const BarRange& range,
                                   const std::function<bool(Note&)>& edit, bool sortAfter) {
    const auto selected = inBars(range);
    return noteStep(operation, EditScope::notesIn(RecordSpan::all()), [&] {
        const int32_t n = storedNoteCount(m_song);
        for (int32_t i = 1; i <= n; ++i)
            if (selected(m_song.notes[i]) && !edit(m_song.notes[i])) return false;
        if (sortAfter) SortNotes(m_song.notes, 1, m_song.noteCount());
        return true;
    });
}

bool SongEditor::shiftNotes(const BarRange& range, int steps) {
    return changeNotesInBars(
        "shiftNotes", range,
        [&](Note& note) {
            const int64_t pos = int64_t{note.position} + steps;
            if (!fitsPosition(pos)) return false;
            note.position = static_cast<int32_t>(pos);
            return true;
        },
        true);
}

bool SongEditor::copyNotes(const BarRange& range, int targetBar, int targetPart) {
    const auto selected = inBars(range);
    const int64_t offset = (int64_t{targetBar} - range.firstBar) * stepsPerBar();
    return noteStep("copyNotes", EditScope::notesIn(RecordSpan::all()), [&] {
        // The copies go behind the notes the loop visits, so an overlapping
        // target ends; then everything is sorted once.
        const int32_t n = storedNoteCount(m_song);
        for (int32_t i = 1; i <= n; ++i) {
            Note copy = m_song.notes[i];
            if (!selected(copy)) continue;
            const int64_t pos = int64_t{copy.position} + offset;
            if (!fitsPosition(pos)) return false;
            copy.position = static_cast<int32_t>(pos);
            copy.part = static_cast<uint8_t>(std::clamp(targetPart, 0, kPartCount - 1));
            m_song.twiceNoteCount += 2;
            ensureNoteRoom(m_song.notes, m_song.noteCount());
            m_song.notes[m_song.noteCount()] = copy;
        }
        SortNotes(m_song.notes, 1, m_song.noteCount());
        return true;
    });
}

bool SongEditor::deleteNotes(const BarRange& range) {
    const auto selected = inBars(range);
    return noteStep("deleteNotes", EditScope::notesIn(RecordSpan::all()), [&] {
        // One pass; the remaining notes keep their order.
        const int32_t n = storedNoteCount(m_song);
        int32_t kept = 0;
        for (int32_t i = 1; i <= n; ++i)
            if (!selected(m_song.notes[i])) m_song.notes[++kept] = m_song.notes[i];
        m_song.twiceNoteCount = 2 * kept;
        m_song.notes.resize(static_cast<size_t>(kept) + 1);
    });
}

bool SongEditor::moveSemitone(const BarRange& range, int pitchClass, bool up) {
    return changeNotesInBars("moveSemitone", range, [&](Note& note) {
        if (note.key % 12 != pitchClass || note.part == kPercussionPart) return true;
        const int moved = note.key + (up ? 1 : -1);
        if (!isStorableNote(moved)) return false;
        note.key = static_cast<uint8_t>(moved);
        return true;
    });
}

bool SongEditor::setStrength(const BarRange& range, int velocity) {
    return changeNotesInBars("setStrength", range, [&](Note& note) {
        note.velocity = static_cast<uint8_t>(std::clamp(velocity, 0, 255));
        return true;
    });
}

bool SongEditor::setBalance(const BarRange& range, int pan) {
    return changeNotesInBars("setBalance", range, [&](Note& note) {
        note.pan = static_cast<uint8_t>(std::clamp(pan, 0, kMaxBalance));
        return true;
    });
}

// ---------------------------------------------------------------------------
// Playback

SongEditor::PlayedSettings SongEditor::playedSettings() const {
    PlayedSettings s{m_song.partPrograms, m_song.partVolumes, m_song.tempoText, {}};
    if (m_song.changes.size() > 1) s.startTempo = m_song.changes[1];
    return s;
}

void SongEditor::putPlayedSettings(const PlayedSettings& s) {
    m_song.partPrograms = s.programs;
    m_song.partVolumes = s.volumes;
    m_song.tempoText = s.tempoText;
    if (m_song.changes.size() > 1) m_song.changes[1] = s.startTempo;
}

void SongEditor::beginPlayback() {
    if (m_history.inEdit()) return;
    takeUndoCopy();
    m_settingsAtPlay = playedSettings();
    m_history.begin(m_song, EditScope::everything(), "playback");
}

void SongEditor::endPlayback() {
    if (!m_history.inEdit()) return;
    // The step holds what the user did while it played: the instruments,
    // volumes and tempo the song's control changes set on the way stay as
    // the song has them now, but are no edit of the user's.
    const PlayedSettings reached = playedSettings();
    putPlayedSettings(m_settingsAtPlay);
    m_history.commit(m_song);
    putPlayedSettings(reached);
    ++m_revision;
}

// ---------------------------------------------------------------------------
// Files

OpenStatus SongEditor::open(const std::string& path, SongHost& host) {
    const bool merging = host.isMergeChecked() && m_song.twiceNoteCount > 0;
    OpenStatus status = OpenStatus::ReadFailure;
    // A merge is one step; another song starts an empty history. What
    // cannot be opened changes nothing, so it leaves no step.
    step("open", EditScope::everything(), [&] { status = openFile(m_song, path, host); });
    if (status != OpenStatus::Loaded && status != OpenStatus::Picture) return status;
    if (!merging) m_history.clear();
    takeUndoCopy();
    ++m_revision;
    return status;
}

void SongEditor::startAfresh() {
    replaceSong(Song{});
}

void SongEditor::replaceSong(Song song) {
    m_song = std::move(song);
    m_history.clear();
    takeUndoCopy();
    ++m_revision;
}

void SongEditor::newSong() {
    for (Note& r : m_song.notes) r = Note{};
    m_song.twiceNoteCount = 0;
    m_history.clear();
    takeUndoCopy();
    ++m_revision;
}

// ---------------------------------------------------------------------------
// The fault path

void SongEditor::restoreNotesAfterFault() {
    m_history.dropFailedEdit(m_song, m_undoNotes, m_undoTwiceNoteCount);
    m_song.twiceNoteCount = m_undoTwiceNoteCount;
    m_song.notes = m_undoNotes;
    if (m_song.notes.empty()) m_song.notes.resize(1);
    ensureNoteRoom(m_song.notes, m_song.noteCount());
    ++m_revision;
}

} // namespace vako
