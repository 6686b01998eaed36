// The edit history: every edit of the song, as a compact record of what it
// changed, so that undo steps back through the edits one at a time and redo
// steps forward again. A step keeps the stretch of notes and of control
// changes the edit replaced (before and after), the part programs and
// volumes, the grid and the meter, and the three song texts when they
// changed; nothing else. Its size grows
// with what the edit changed, never with the song.
//
// Every edit passes through `record`: the caller names what the edit may touch
// (EditScope), the history looks at that much before and after the edit and
// keeps the difference. The editing layer (SongEditor) is its one user.
#pragma once

#include "song/Song.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace vako {

// Which records of notes 1..N (or control changes 1..M) an edit may change.
struct RecordSpan {
    enum Kind : uint8_t { kNone, kRange, kAll };
    Kind kind = kAll;
    // For kRange: records first..last-1 of the song before the edit may be
    // replaced by any number of records; the records behind them move along
    // unchanged. An empty range (first == last) inserts before `first`.
    int32_t first = 1;
    int32_t last = 1;

    static RecordSpan none() { return {kNone, 1, 1}; }
    static RecordSpan all() { return {kAll, 1, 1}; }
    static RecordSpan range(int32_t first, int32_t last) { return {kRange, first, last}; }
    static RecordSpan insertAt(int32_t index) { return range(index, index); }
    static RecordSpan one(int32_t index) { return range(index, index + 1); }
};

// What an edit may change. Part programs, part volumes, the input grid, the
// meter and the three song texts are always watched: they are small.
struct EditScope {
    RecordSpan notes = RecordSpan::all();
    RecordSpan changes = RecordSpan::all();

    // Anything at all: a merge, a range operation, the reverse command.
    static EditScope everything() { return {}; }
    // Notes only, in `span`; control changes stay as they are (a click, a key).
    static EditScope notesIn(RecordSpan span) { return {span, RecordSpan::none()}; }
    // Control changes only, in `span` (the position panel).
    static EditScope changesIn(RecordSpan span) { return {RecordSpan::none(), span}; }
    // Neither notes nor control changes: part settings and song texts.
    static EditScope settingsOnly() { return {RecordSpan::none(), RecordSpan::none()}; }
};

// The records of one kind an edit replaced, and what it watches while it
// runs. Kept outside EditHistory: clang 14 does not compile member templates
// with default member initializers used inside their own class.
namespace edit_history {
template <class T> struct Slice {
    int32_t first = 0;     // index of the first record replaced
    std::vector<T> before; // records first.. before the edit
    std::vector<T> after;  // records first.. after the edit
};
template <class T> struct Watch {
    RecordSpan span;
    int32_t count = 0;    // records 1..count before the edit
    std::vector<T> saved; // records span.first.. of the span before the edit
};
} // namespace edit_history

// An edit of notes scattered over the song (a selection moved, deleted or
// pasted): the notes that leave, by their index before the edit, and the notes
// that arrive, by their index after it; every other note keeps its order. Its
// size grows with the notes it moves, however far apart they lie, where a
// stretch of records would hold every note between the first and the last.
struct NoteSplice {
    std::vector<int32_t> leaveAt; // ascending indices 1..N before the edit
    std::vector<Note> leaving;    // the notes at those indices
    std::vector<int32_t> arriveAt; // ascending indices 1..N' after the edit
    std::vector<Note> arriving;    // the notes at those indices

    bool empty() const { return leaveAt.empty() && arriveAt.empty(); }
};

// An edit wrote outside the scope it declared: a fault of the program, not
// of the song. Thrown by a step when scope checking is on (the sanitizer
// build); the song is put back as it was within the scope.
class EditScopeViolation : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class EditHistory {
public:
    static constexpr size_t kMaxSteps = 10000;
    static constexpr size_t kMaxBytes = size_t{64} << 20;

    explicit EditHistory(size_t maxSteps = kMaxSteps, size_t maxBytes = kMaxBytes)
        : m_maxSteps(maxSteps), m_maxBytes(maxBytes) {}

    // Runs `edit` on `song` and keeps what it changed within `scope` as one
    // step. The redo steps go; an edit that changed nothing adds no step. An
    // edit that returns false failed: the song is put back as it was within
    // the scope and no step is kept. An edit that throws is put back the same
    // way, and the exception goes on. Returns true when a step was added.
    //
    // `operation` names the edit for the scope check (see checkScopes).
    template <class Edit>
    bool record(Song& song, const char* operation, const EditScope& scope, Edit&& edit) {
        if constexpr (std::is_void_v<std::invoke_result_t<Edit&>>) {
            return recordEdit(song, operation, scope, [&] {
                edit();
                return true;
            });
        } else {
            return recordEdit(song, operation, scope, [&] { return static_cast<bool>(edit()); });
        }
    }
    template <class Edit> bool record(Song& song, const EditScope& scope, Edit&& edit) {
        return record(song, "edit", scope, std::forward<Edit>(edit));
    }

    // Scope checking: every step also keeps a copy of all the notes and
    // control changes while its edit runs, and after it throws
    // EditScopeViolation, naming the operation, when a record outside the
    // declared scope changed (a write that keeps the record count, which the
    // compact step alone would not see). It costs a copy of the song a step,
    // so it is on in the sanitizer build, where the tests run, and off in the
    // program.
    void checkScopes(bool on) { m_checkScopes = on; }
    bool checksScopes() const { return m_checkScopes; }

    // Carries out `splice` on the song's notes as one step (within an open
    // step it joins that one). False, and nothing changes, for a splice whose
    // indices do not fit the song or do not ascend, or that changes nothing.
    bool recordSplice(Song& song, const char* operation, NoteSplice splice);

    // The same in two halves, for an edit that spans several calls (the hits
    // tapped in during a playback become one step when it stops). `commit`
    // returns true when a step was added; `abandon` puts the song back. A
    // `record` between them joins the open step (its scope must lie within
    // the open one: a playback's step watches everything) and adds no step
    // of its own; one that fails is put back within its own scope. Undo and
    // redo wait for the commit. A second `begin` while one is open changes nothing.
    void begin(const Song& song, const EditScope& scope, const char* operation = "edit");
    bool commit(Song& song);
    void abandon(Song& song);
    bool inEdit() const { return m_pending.has_value(); }

    // A fault path (a redraw that failed) is about to put the song's notes
    // back to `copy` (records 0..N with N = copyTwiceNoteCount / 2), a copy
    // taken before the last operation on notes; call this just before, so
    // the history agrees with the song afterwards. When the copy is the song
    // as it stands, nothing changes. When it is the song before the last
    // step (the failed edit, a notes-only step with nothing to redo behind
    // it), that step goes. Otherwise the steps no longer fit the song and the
    // history empties; the song then counts as modified until the next save.
    // Returns true when the history kept its steps (less the failed one).
    bool dropFailedEdit(const Song& song, const std::vector<Note>& copy,
                        int32_t copyTwiceNoteCount);

    bool canUndo() const { return m_applied > 0; }
    bool canRedo() const { return m_applied < m_steps.size(); }
    // Steps back or forward by one edit. False when there is nothing to undo
    // (redo).
    bool undo(Song& song);
    bool redo(Song& song);

    // The song as it is now was saved (or opened).
    void markSaved();
    // Whether the song differs from what was last saved or opened, as far as
    // the history knows: true whenever the history is away from that point.
    bool isAwayFromSaved() const { return m_saved != m_applied; }
    // A song was opened (or New): no steps, and the song as it is counts as saved.
    void clear();

    size_t stepCount() const { return m_steps.size(); }
    size_t undoCount() const { return m_applied; }
    size_t bytes() const { return m_bytes; }

private:
    template <class T> using Slice = edit_history::Slice<T>;
    struct Texts {
        std::string tempo, copyright, sequenceName;
    };
    // What a song file keeps besides notes, changes and texts.
    struct Settings {
        std::array<uint8_t, kPartCount> programs{};
        std::array<int16_t, kPartCount> volumes{};
        uint8_t grid = 0;
        uint8_t quartersPerBar = 0;
        friend bool operator==(const Settings&, const Settings&) = default;
    };
    static Settings settingsOf(const Song& song) {
        return {song.partPrograms, song.partVolumes, song.grid, song.quartersPerBar};
    }
    static void putSettings(Song& song, const Settings& s) {
        song.partPrograms = s.programs;
        song.partVolumes = s.volumes;
        song.grid = s.grid;
        song.quartersPerBar = s.quartersPerBar;
    }
    struct Step {
        std::optional<Slice<Note>> notes;
        std::optional<NoteSplice> splice; // instead of `notes`
        std::optional<Slice<ControlChange>> changes;
        std::optional<std::array<Settings, 2>> settings; // before, after
        std::optional<std::array<Texts, 2>> texts;       // before, after
        size_t bytes = 0;
    };
    template <class T> using Watch = edit_history::Watch<T>;
    struct Pending {
        Watch<Note> notes;
        Watch<ControlChange> changes;
        Settings settings;
        Texts texts;
        const char* operation = "edit";
        // With scope checking: every record 1..count as the edit found them.
        std::vector<Note> allNotes;
        std::vector<ControlChange> allChanges;
    };

    bool recordEdit(Song& song, const char* operation, const EditScope& scope,
                    const std::function<bool()>& edit);
    // With scope checking: the name of the first kind of record that changed
    // outside its watched span, or nullptr.
    static const char* writeOutsideScope(const Song& song, const Pending& p);
    // Throws EditScopeViolation, the song put back within `p`, on such a write.
    void failOutsideScope(Song& song, const Pending& p) const;
    // What a step watches of `song` for an edit within `scope`.
    Pending watch(const Song& song, const EditScope& scope, const char* operation) const;
    void restorePending(Song& song, const Pending& p) const;
    void push(Step step);
    void apply(Song& song, const Step& step, bool forward) const;
    void trim();
    void forgetSteps();

    std::deque<Step> m_steps;
    size_t m_applied = 0;                      // steps 0..m_applied-1 are in the song
    std::optional<size_t> m_saved = size_t{0}; // m_applied at the last save; unset when gone
    size_t m_bytes = 0;
    std::optional<Pending> m_pending;
    size_t m_maxSteps, m_maxBytes;
#ifdef VAKO_CHECK_EDIT_SCOPES
    bool m_checkScopes = true;
#else
    bool m_checkScopes = false;
#endif
};

} // namespace vako
