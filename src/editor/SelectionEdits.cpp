// The editor's operations on a selection of notes: move, delete, put in,
// duplicate, and strength, balance and length for all of them. Each is one
// splice of the notes (EditHistory::recordSplice), so a step keeps the notes
// it moved, never the stretch of the song between them.
#include "editor/NoteEdits.h"
#include "editor/SongEditor.h"

#include <algorithm>
#include <limits>

namespace vako {
namespace {

int32_t heldNotes(const Song& song) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(song.noteCount(), 0, static_cast<int64_t>(song.notes.size()) - 1));
}

// The order notes stand in: by position, then by key. Of equal notes the
// ones put in go first, as a click puts a note before an equal one.
bool goesBefore(const Note& a, const Note& b) {
    return a.position < b.position || (a.position == b.position && a.key < b.key);
}

bool fitsSong(const Note& note) {
    return note.position >= 1 && isStorableNote(note.key);
}

// The first bar line at or after `pos`, and the last one at or before it:
// lines stand at the first beat and every `stepsPerBar` steps either way.
int64_t barLineAtOrAfter(int64_t pos, int64_t stepsPerBar) {
    const int64_t k = pos - kFirstBeatPosition;
    const int64_t bars = k >= 0 ? (k + stepsPerBar - 1) / stepsPerBar : -((-k) / stepsPerBar);
    return kFirstBeatPosition + bars * stepsPerBar;
}
int64_t barLineAtOrBefore(int64_t pos, int64_t stepsPerBar) {
    const int64_t k = pos - kFirstBeatPosition;
    const int64_t bars = k >= 0 ? k / stepsPerBar : -((-k + stepsPerBar - 1) / stepsPerBar);
    return kFirstBeatPosition + bars * stepsPerBar;
}

} // namespace

bool SongEditor::isSelection(const std::vector<int32_t>& selection) const {
    const int32_t n = heldNotes(m_song);
    int32_t previous = 0;
    for (const int32_t i : selection) {
        if (i <= previous || i > n) return false;
        previous = i;
    }
    return !selection.empty();
}

bool SongEditor::spliceStep(const char* operation, NoteSplice splice) {
    m_lastRefused = false;
    takeUndoCopy();
    if (!m_history.recordSplice(m_song, operation, std::move(splice))) {
        m_lastRefused = true;
        return false;
    }
    ++m_revision;
    return true;
}

NoteSplice SongEditor::replacingSplice(const std::vector<int32_t>& selection,
                                       std::vector<Note> arriving) const {
    // The notes put in keep the order they came in among equals.
    std::stable_sort(arriving.begin(), arriving.end(), goesBefore);
    NoteSplice splice;
    splice.leaveAt = selection;
    splice.arriveAt.reserve(arriving.size());
    // One pass over the notes that stay: each arriving note goes before the
    // first staying note it goes before, behind the arriving notes before it.
    const int32_t n = heldNotes(m_song);
    size_t leaving = 0;
    int32_t staying = 0; // staying notes passed so far
    int32_t i = 1;
    for (size_t a = 0; a < arriving.size(); ++a) {
        for (; i <= n; ++i) {
            if (leaving < selection.size() && selection[leaving] == i) {
                ++leaving;
                continue;
            }
            if (!goesBefore(m_song.notes[i], arriving[a])) break;
            ++staying;
        }
        splice.arriveAt.push_back(staying + static_cast<int32_t>(a) + 1);
    }
    splice.arriving = std::move(arriving);
    return splice;
}

SongEditor::MoveRefusal SongEditor::moveNotes(std::vector<int32_t>& selection, int64_t steps,
                                              int semitones) {
    if (!isSelection(selection) || (steps == 0 && semitones == 0)) return MoveRefusal::NothingToMove;
    std::vector<Note> moved;
    moved.reserve(selection.size());
    for (const int32_t i : selection) {
        Note note = m_song.notes[i];
        const int64_t pos = int64_t{note.position} + steps;
        const int key = note.key + semitones;
        if (pos < 1 || pos > std::numeric_limits<int32_t>::max())
            return MoveRefusal::BeforeFirstPosition;
        if (!isStorableNote(key)) return MoveRefusal::KeyOutOfRange;
        note.position = static_cast<int32_t>(pos);
        note.key = static_cast<uint8_t>(key);
        moved.push_back(note);
    }
    NoteSplice splice = replacingSplice(selection, std::move(moved));
    std::vector<int32_t> movedTo = splice.arriveAt;
    if (!spliceStep("moveNotes", std::move(splice))) return MoveRefusal::NothingToMove;
    selection = std::move(movedTo);
    return MoveRefusal::None;
}

bool SongEditor::deleteSelectedNotes(const std::vector<int32_t>& selection) {
    if (!isSelection(selection)) return false;
    return spliceStep("deleteSelectedNotes", replacingSplice(selection, {}));
}

std::vector<int32_t> SongEditor::insertNotes(std::vector<Note> notes) {
    if (notes.empty() || heldNotes(m_song) + int64_t(notes.size()) > INT32_MAX / 2) return {};
    for (const Note& note : notes)
        if (!fitsSong(note) || note.part >= kPartCount) return {};
    NoteSplice splice = replacingSplice({}, std::move(notes));
    std::vector<int32_t> placed = splice.arriveAt;
    if (!spliceStep("insertNotes", std::move(splice))) return {};
    return placed;
}

std::vector<int32_t> SongEditor::duplicateNotes(const std::vector<int32_t>& selection) {
    if (!isSelection(selection)) return {};
    int64_t first = std::numeric_limits<int64_t>::max(), end = std::numeric_limits<int64_t>::min();
    for (const int32_t i : selection) {
        const Note& note = m_song.notes[i];
        first = std::min<int64_t>(first, note.position);
        end = std::max<int64_t>(end, int64_t{note.position} + std::max(note.length, 0));
    }
    const int64_t offset = barLineAtOrAfter(end, stepsPerBar()) -
                           barLineAtOrBefore(first, stepsPerBar());
    std::vector<Note> copies;
    copies.reserve(selection.size());
    for (const int32_t i : selection) {
        Note copy = m_song.notes[i];
        const int64_t pos = copy.position + offset;
        if (pos > std::numeric_limits<int32_t>::max()) return {};
        copy.position = static_cast<int32_t>(pos);
        copies.push_back(copy);
    }
    return insertNotes(std::move(copies));
}

bool SongEditor::setSelectedStrength(const std::vector<int32_t>& selection, int velocity) {
    if (!isSelection(selection) || velocity < 0 || velocity > 255) return false;
    std::vector<Note> changed;
    for (const int32_t i : selection) {
        changed.push_back(m_song.notes[i]);
        changed.back().velocity = static_cast<uint8_t>(velocity);
    }
    NoteSplice splice{selection, {}, selection, std::move(changed)};
    return spliceStep("setSelectedStrength", std::move(splice));
}

bool SongEditor::setSelectedBalance(const std::vector<int32_t>& selection, int pan) {
    if (!isSelection(selection) || pan < 0 || pan > kMaxBalance) return false;
    std::vector<Note> changed;
    for (const int32_t i : selection) {
        changed.push_back(m_song.notes[i]);
        changed.back().pan = static_cast<uint8_t>(pan);
    }
    NoteSplice splice{selection, {}, selection, std::move(changed)};
    return spliceStep("setSelectedBalance", std::move(splice));
}

bool SongEditor::setSelectedLength(const std::vector<int32_t>& selection, int32_t length) {
    if (!isSelection(selection) || length < 1) return false;
    std::vector<Note> changed;
    for (const int32_t i : selection) {
        changed.push_back(m_song.notes[i]);
        changed.back().length = length;
    }
    NoteSplice splice{selection, {}, selection, std::move(changed)};
    return spliceStep("setSelectedLength", std::move(splice));
}

} // namespace vako
