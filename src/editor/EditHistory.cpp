#include "editor/EditHistory.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace vako {

namespace {

// Of the `records` a count claims, how many the array (record 0 spare) holds.
int32_t recordsHeld(int32_t records, size_t arraySize) {
    const int64_t held = static_cast<int64_t>(arraySize) - 1;
    return static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(records, held)));
}

int32_t noteRecords(const Song& song) {
    return std::max<int32_t>(0, song.noteCount());
}

int32_t changeRecords(const Song& song) {
    return std::max<int32_t>(0, song.changeCount);
}

// Records first..last-1 (clamped to 1..count) of the span, as the watch keeps them.
template <class T>
void watchSpan(const std::vector<T>& records, int32_t count, RecordSpan& span,
               std::vector<T>& saved) {
    if (records.empty()) {
        span.first = span.last = 1;
        saved.clear();
        return;
    }
    if (span.kind == RecordSpan::kAll) {
        span.first = 1;
        span.last = count + 1;
    } else if (span.kind == RecordSpan::kRange) {
        span.first = std::clamp(span.first, 1, count + 1);
        span.last = std::clamp(span.last, span.first, count + 1);
    } else {
        return;
    }
    saved.assign(records.begin() + span.first, records.begin() + span.last);
}

// Replaces `oldLength` records from `first` by `replacement`; the records
// behind them (the spare ones and an end marker included) move along.
template <class T>
void replaceRecords(std::vector<T>& records, int32_t first, size_t oldLength,
                    const std::vector<T>& replacement) {
    const size_t start = static_cast<size_t>(first);
    if (records.size() < start + oldLength) records.resize(start + oldLength);
    const size_t newLength = replacement.size();
    if (newLength > oldLength) {
        records.insert(records.begin() + static_cast<ptrdiff_t>(start + oldLength),
                       newLength - oldLength, T{});
    } else if (newLength < oldLength) {
        records.erase(records.begin() + static_cast<ptrdiff_t>(start + newLength),
                      records.begin() + static_cast<ptrdiff_t>(start + oldLength));
    }
    std::copy(replacement.begin(), replacement.end(),
              records.begin() + static_cast<ptrdiff_t>(start));
}

// Notes 1..N the song's array holds.
int32_t notesHeld(const Song& song) {
    return recordsHeld(noteRecords(song), song.notes.size());
}

// Whether `indices` ascend strictly within 1..count.
bool ascendWithin(const std::vector<int32_t>& indices, int32_t count) {
    int32_t previous = 0;
    for (const int32_t i : indices) {
        if (i <= previous || i > count) return false;
        previous = i;
    }
    return true;
}

// Takes the notes at `leaveAt` out and puts `arriving` in at `arriveAt` (the
// indices of the result), in one pass; the other notes keep their order.
void spliceNotes(Song& song, const std::vector<int32_t>& leaveAt,
                 const std::vector<int32_t>& arriveAt, const std::vector<Note>& arriving) {
    const int32_t held = notesHeld(song);
    const int32_t count = held - static_cast<int32_t>(leaveAt.size()) +
                          static_cast<int32_t>(arriveAt.size());
    std::vector<Note> result(static_cast<size_t>(count) + 1);
    if (!song.notes.empty()) result[0] = song.notes[0];
    size_t leaving = 0, arrived = 0;
    int32_t from = 1;
    for (int32_t k = 1; k <= count; ++k) {
        if (arrived < arriveAt.size() && arriveAt[arrived] == k) {
            result[k] = arriving[arrived++];
            continue;
        }
        while (leaving < leaveAt.size() && leaveAt[leaving] == from) {
            ++leaving;
            ++from;
        }
        result[k] = song.notes[from++];
    }
    song.notes.swap(result);
    song.twiceNoteCount = 2 * count;
}

void applySplice(Song& song, const NoteSplice& s, bool forward) {
    if (forward)
        spliceNotes(song, s.leaveAt, s.arriveAt, s.arriving);
    else
        spliceNotes(song, s.arriveAt, s.leaveAt, s.leaving);
}

} // namespace

bool EditHistory::recordSplice(Song& song, const char* operation, NoteSplice splice) {
    (void)operation; // the history itself carries it out: it cannot reach outside its notes
    const int32_t held = notesHeld(song);
    if (splice.empty() || splice.arriveAt.size() != splice.arriving.size() ||
        !ascendWithin(splice.leaveAt, held))
        return false;
    const int64_t count = int64_t{held} - static_cast<int64_t>(splice.leaveAt.size()) +
                          static_cast<int64_t>(splice.arriveAt.size());
    if (count > INT32_MAX / 2 || !ascendWithin(splice.arriveAt, static_cast<int32_t>(count)))
        return false;
    splice.leaving.clear();
    splice.leaving.reserve(splice.leaveAt.size());
    for (const int32_t i : splice.leaveAt) splice.leaving.push_back(song.notes[i]);
    if (splice.leaveAt == splice.arriveAt && splice.leaving == splice.arriving) return false;
    applySplice(song, splice, true);
    if (m_pending) return false; // part of the open step, which watches every note
    Step step;
    step.bytes = sizeof(Step) +
                 (splice.leaveAt.size() + splice.arriveAt.size()) * (sizeof(int32_t) + sizeof(Note));
    step.splice = std::move(splice);
    push(std::move(step));
    return true;
}

bool EditHistory::recordEdit(Song& song, const char* operation, const EditScope& scope,
                             const std::function<bool()>& edit) {
    if (m_pending) {
        // Within an open step (a playback's taps, an operation that calls
        // another) the edit joins that step; one that fails is put back
        // within its own scope, as a step of its own would be.
        const Pending inner = watch(song, scope, operation);
        bool ok = false;
        try {
            ok = edit();
        } catch (...) {
            restorePending(song, inner);
            throw;
        }
        if (!ok) {
            restorePending(song, inner);
            return false;
        }
        if (m_checkScopes) failOutsideScope(song, inner);
        return false;
    }
    begin(song, scope, operation);
    bool ok = false;
    try {
        ok = edit();
    } catch (...) {
        abandon(song);
        throw;
    }
    if (!ok) {
        abandon(song);
        return false;
    }
    return commit(song);
}

EditHistory::Pending EditHistory::watch(const Song& song, const EditScope& scope,
                                        const char* operation) const {
    Pending p;
    p.operation = operation;
    p.notes.span = scope.notes;
    p.notes.count = recordsHeld(noteRecords(song), song.notes.size());
    watchSpan(song.notes, p.notes.count, p.notes.span, p.notes.saved);
    p.changes.span = scope.changes;
    p.changes.count = recordsHeld(changeRecords(song), song.changes.size());
    watchSpan(song.changes, p.changes.count, p.changes.span, p.changes.saved);
    p.settings = settingsOf(song);
    p.texts = {song.tempoText, song.copyrightText, song.sequenceNameText};
    if (m_checkScopes) {
        if (!song.notes.empty())
            p.allNotes.assign(song.notes.begin() + 1, song.notes.begin() + 1 + p.notes.count);
        if (!song.changes.empty())
            p.allChanges.assign(song.changes.begin() + 1,
                                song.changes.begin() + 1 + p.changes.count);
    }
    return p;
}

void EditHistory::begin(const Song& song, const EditScope& scope, const char* operation) {
    if (m_pending) return;
    m_pending = watch(song, scope, operation);
}

void EditHistory::failOutsideScope(Song& song, const Pending& p) const {
    const char* what = writeOutsideScope(song, p);
    if (!what) return;
    const std::string operation = p.operation;
    // Put back what the step watched; the rest is the fault's.
    restorePending(song, p);
    throw EditScopeViolation(operation + " changed " + what + " outside its scope");
}

const char* EditHistory::writeOutsideScope(const Song& song, const Pending& p) {
    // Records before the span stand where they stood; records behind it
    // moved along by what the span gained or lost.
    auto outside = [](const auto& records, int32_t nowCount, const auto& watch,
                      const auto& all) {
        if (watch.span.kind == RecordSpan::kAll) return false;
        const int32_t first = watch.span.kind == RecordSpan::kNone ? 1 : watch.span.first;
        const int32_t last = watch.span.kind == RecordSpan::kNone ? 1 : watch.span.last;
        const int32_t delta = nowCount - watch.count;
        for (int32_t i = 1; i < first && i <= watch.count; ++i)
            if (!(records[i] == all[i - 1])) return true;
        for (int32_t i = last; i <= watch.count; ++i)
            if (i + delta < 1 || i + delta > nowCount || !(records[i + delta] == all[i - 1]))
                return true;
        return false;
    };
    const int32_t notesNow = recordsHeld(noteRecords(song), song.notes.size());
    if (outside(song.notes, notesNow, p.notes, p.allNotes)) return "a note";
    const int32_t changesNow = recordsHeld(changeRecords(song), song.changes.size());
    if (outside(song.changes, changesNow, p.changes, p.allChanges)) return "a control change";
    return nullptr;
}

void EditHistory::restorePending(Song& song, const Pending& p) const {
    auto restore = [](auto& records, auto& countField, int scale, const auto& watch) {
        if (watch.span.kind == RecordSpan::kNone) return;
        const int32_t now = std::max<int32_t>(
            0, std::min<int32_t>(countField / scale, static_cast<int32_t>(records.size()) - 1));
        const int32_t delta = now - watch.count;
        const int32_t afterLast = std::max(watch.span.first, watch.span.last + delta);
        replaceRecords(records, watch.span.first, static_cast<size_t>(afterLast - watch.span.first),
                       watch.saved);
        countField += scale * (watch.count - now);
    };
    restore(song.notes, song.twiceNoteCount, 2, p.notes);
    restore(song.changes, song.changeCount, 1, p.changes);
    putSettings(song, p.settings);
    song.tempoText = p.texts.tempo;
    song.copyrightText = p.texts.copyright;
    song.sequenceNameText = p.texts.sequenceName;
}

void EditHistory::abandon(Song& song) {
    if (!m_pending) return;
    restorePending(song, *m_pending);
    m_pending.reset();
}

bool EditHistory::commit(Song& song) {
    if (!m_pending) return false;
    if (m_checkScopes) {
        Pending open = std::move(*m_pending);
        m_pending.reset();
        failOutsideScope(song, open);
        m_pending = std::move(open);
    }
    Pending p = std::move(*m_pending);
    m_pending.reset();

    Step step;
    bool outsideScope = false;
    // The difference within one watched span: the records before and after
    // the edit, less what they share at either end.
    auto compare = [&outsideScope](const auto& records, int32_t nowCount, const auto& watch,
                                   auto& slice) {
        const int32_t delta = nowCount - watch.count;
        if (watch.span.kind == RecordSpan::kNone) {
            if (delta != 0) outsideScope = true;
            return;
        }
        const int32_t afterLast = watch.span.last + delta;
        if (afterLast < watch.span.first || static_cast<size_t>(afterLast) > records.size()) {
            outsideScope = true;
            return;
        }
        const auto& before = watch.saved;
        const auto* after = records.data() + watch.span.first;
        const size_t beforeLength = before.size();
        const size_t afterLength = static_cast<size_t>(afterLast - watch.span.first);
        const size_t shorter = std::min(beforeLength, afterLength);
        size_t head = 0;
        while (head < shorter && before[head] == after[head]) ++head;
        size_t tail = 0;
        while (tail < shorter - head &&
               before[beforeLength - 1 - tail] == after[afterLength - 1 - tail])
            ++tail;
        if (head == beforeLength && head == afterLength) return;
        auto& s = slice.emplace();
        s.first = watch.span.first + static_cast<int32_t>(head);
        s.before.assign(before.begin() + static_cast<ptrdiff_t>(head),
                        before.end() - static_cast<ptrdiff_t>(tail));
        s.after.assign(after + head, after + afterLength - tail);
    };
    const int32_t nowNotes =
        std::min<int32_t>(noteRecords(song), static_cast<int32_t>(song.notes.size()) - 1);
    compare(song.notes, std::max(nowNotes, 0), p.notes, step.notes);
    const int32_t nowChanges =
        std::min<int32_t>(changeRecords(song), static_cast<int32_t>(song.changes.size()) - 1);
    compare(song.changes, std::max(nowChanges, 0), p.changes, step.changes);
    if (outsideScope) {
        // The edit changed the song where it said it would not: the steps
        // kept so far no longer fit the song, and a wrong undo is worse than none.
        forgetSteps();
        return false;
    }
    const Settings settingsNow = settingsOf(song);
    if (!(settingsNow == p.settings))
        step.settings = std::array<Settings, 2>{p.settings, settingsNow};
    Texts textsNow{song.tempoText, song.copyrightText, song.sequenceNameText};
    if (textsNow.tempo != p.texts.tempo || textsNow.copyright != p.texts.copyright ||
        textsNow.sequenceName != p.texts.sequenceName)
        step.texts = std::array<Texts, 2>{std::move(p.texts), std::move(textsNow)};
    if (!step.notes && !step.changes && !step.settings && !step.texts) return false;

    step.bytes = sizeof(Step);
    if (step.notes)
        step.bytes += (step.notes->before.size() + step.notes->after.size()) * sizeof(Note);
    if (step.changes)
        step.bytes +=
            (step.changes->before.size() + step.changes->after.size()) * sizeof(ControlChange);
    if (step.texts)
        for (const Texts& t : *step.texts)
            step.bytes += t.tempo.capacity() + t.copyright.capacity() + t.sequenceName.capacity();
    push(std::move(step));
    return true;
}

void EditHistory::push(Step step) {
    while (m_steps.size() > m_applied) {
        m_bytes -= m_steps.back().bytes;
        m_steps.pop_back();
    }
    if (m_saved && *m_saved > m_applied) m_saved.reset();
    m_bytes += step.bytes;
    m_steps.push_back(std::move(step));
    ++m_applied;
    trim();
}

void EditHistory::trim() {
    while (!m_steps.empty() && (m_steps.size() > m_maxSteps || m_bytes > m_maxBytes)) {
        m_bytes -= m_steps.front().bytes;
        m_steps.pop_front();
        if (m_applied > 0) --m_applied;
        if (m_saved) {
            if (*m_saved == 0)
                m_saved.reset();
            else
                --*m_saved;
        }
    }
}

void EditHistory::apply(Song& song, const Step& step, bool forward) const {
    if (step.splice) applySplice(song, *step.splice, forward);
    if (step.notes) {
        const auto& from = forward ? step.notes->before : step.notes->after;
        const auto& to = forward ? step.notes->after : step.notes->before;
        replaceRecords(song.notes, step.notes->first, from.size(), to);
        song.twiceNoteCount +=
            2 * (static_cast<int32_t>(to.size()) - static_cast<int32_t>(from.size()));
    }
    if (step.changes) {
        const auto& from = forward ? step.changes->before : step.changes->after;
        const auto& to = forward ? step.changes->after : step.changes->before;
        replaceRecords(song.changes, step.changes->first, from.size(), to);
        song.changeCount += static_cast<int32_t>(to.size()) - static_cast<int32_t>(from.size());
    }
    if (step.settings) {
        putSettings(song, (*step.settings)[forward ? 1 : 0]);
    }
    if (step.texts) {
        const Texts& t = (*step.texts)[forward ? 1 : 0];
        song.tempoText = t.tempo;
        song.copyrightText = t.copyright;
        song.sequenceNameText = t.sequenceName;
    }
}

bool EditHistory::undo(Song& song) {
    if (m_pending || !canUndo()) return false;
    apply(song, m_steps[m_applied - 1], false);
    --m_applied;
    return true;
}

bool EditHistory::redo(Song& song) {
    if (m_pending || !canRedo()) return false;
    apply(song, m_steps[m_applied], true);
    ++m_applied;
    return true;
}

bool EditHistory::dropFailedEdit(const Song& song, const std::vector<Note>& copy,
                                 int32_t copyTwiceNoteCount) {
    // Notes 1..N of the song now, and of the song the copy will give.
    const int32_t now = std::max<int32_t>(
        0, std::min<int32_t>(song.noteCount(), static_cast<int32_t>(song.notes.size()) - 1));
    const int32_t copied = std::max<int32_t>(0, copyTwiceNoteCount / 2);
    auto copyAt = [&](int32_t i) {
        return static_cast<size_t>(i) < copy.size() ? copy[i] : Note{};
    };
    // Copy records [from, from + count) equal the song's from `songFrom`.
    auto copyMatches = [&](int32_t from, int32_t songFrom, int32_t count) {
        for (int32_t k = 0; k < count; ++k)
            if (!(copyAt(from + k) == song.notes[songFrom + k])) return false;
        return true;
    };
    // The last step leaves the history as if it had never been taken.
    auto forgetLastStep = [this] {
        m_bytes -= m_steps.back().bytes;
        m_steps.pop_back();
        --m_applied;
        if (m_saved && *m_saved > m_applied) m_saved.reset();
        return true;
    };
    const bool open = m_pending.has_value();
    m_pending.reset();
    if (!open && copied == now && copyMatches(1, 1, now)) return true;

    if (!open && !m_steps.empty() && m_applied == m_steps.size()) {
        const Step& last = m_steps.back();
        if (last.splice && !last.changes && !last.settings && !last.texts) {
            // The copy is the song before the splice when undoing it gives the copy.
            Song before;
            if (!song.notes.empty())
                before.notes.assign(song.notes.begin(), song.notes.begin() + now + 1);
            before.twiceNoteCount = 2 * now;
            applySplice(before, *last.splice, false);
            bool matches = before.noteCount() == copied;
            for (int32_t k = 1; matches && k <= copied; ++k) matches = copyAt(k) == before.notes[k];
            if (matches) return forgetLastStep();
        }
        if (last.notes && !last.changes && !last.settings && !last.texts) {
            const Slice<Note>& s = *last.notes;
            const auto before = static_cast<int32_t>(s.before.size());
            const auto after = static_cast<int32_t>(s.after.size());
            bool matches = copied == now - after + before && s.first + after <= now + 1 &&
                           copyMatches(1, 1, s.first - 1);
            for (int32_t k = 0; matches && k < before; ++k)
                matches = copyAt(s.first + k) == s.before[k];
            matches = matches &&
                      copyMatches(s.first + before, s.first + after, now + 1 - s.first - after);
            if (matches) return forgetLastStep();
        }
    }
    forgetSteps();
    return false;
}

void EditHistory::forgetSteps() {
    clear();
    m_saved.reset();
}

void EditHistory::markSaved() {
    m_saved = m_applied;
}

void EditHistory::clear() {
    m_steps.clear();
    m_applied = 0;
    m_saved = 0;
    m_bytes = 0;
    m_pending.reset();
}

} // namespace vako
