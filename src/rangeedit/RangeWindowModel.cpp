#include "rangeedit/RangeWindowModel.h"

#include "midi/EventList.h"
#include "song/Messages.h"
#include "song/SongWriter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vako {
namespace {

// x rounded to a whole number, halves to the even neighbour.
int64_t roundHalfEven(double x) {
    return static_cast<int64_t>(std::nearbyint(x));
}

bool fitsPosition(int64_t pos) {
    return pos >= std::numeric_limits<int32_t>::min() && pos <= std::numeric_limits<int32_t>::max();
}

std::vector<std::string> strengthItems() {
    std::vector<std::string> items;
    for (int k = 20; k >= 0; --k) items.push_back(std::to_string(k));
    return items;
}

} // namespace

std::vector<std::string> RangeWindowModel::designTexts() const {
    return {
        "を                    の        小節目を開始点としてコピー",
        // A bar is as many steps as the song's meter gives it.
        "        区切り分右にずらす（" + std::to_string(stepsPerBar()) + "区切りで１小節）",
        "削除する",
        "                をすべて",
        "音の強さをすべて　　　       　　　　にする",
        "音のバランスをすべて　        　　　　　　にする",
        "範囲選択・・・開始小節を左クリック　終了小節を右クリック",
        "操作選択・・・範囲選択の後、実行ボタンを押してください。",
    };
}

RangeWindowModel::RangeWindowModel(Song& song, Canvas& strip, SongHost& host, SongFolders folders,
                                   std::function<void()> onUndoCopy, EditHistory* history)
    : m_song(song), m_strip(strip), m_host(host), m_folders(std::move(folders)),
      m_onUndoCopy(std::move(onUndoCopy)), m_history(history) {
    m_strip.setOrigin(kStripLeft, kStripTop);
}

void RangeWindowModel::load() {
    strengthList.items = strengthItems();
    balanceList.items = {"-4 左", "-3", "-2 やや左", "-1", "0", "1", "2 やや右", "3", "4 右"};
    selectedBars = {1, 1};
    targetPartList.items.clear();
    for (int i = 0; i < kPartCount; ++i)
        targetPartList.items.push_back("パート " + std::to_string(i + 1));
    targetPartList.items[kPercussionPart] = "打楽器";
    pitchClassList.items = {"ド",         "ド#、レb", "レ",       "レ#、ミb ", "ミ",       "ファ",
                            "ファ#、ソb", "ソ",       "ソ#、ラb", "ラ",        "ラ#、シb", "シ"};
    targetPartList.listIndex = pitchClassList.listIndex = strengthList.listIndex = 0;
    balanceList.listIndex = 4;
    stripScroll.max = scrollMaximum();
    stripScroll.set(0);
    copyTargetScroll.max = std::max(copyTargetScroll.min, scrollMaximum());
    copyTargetScroll.set(1);
    readOuts[3] = std::to_string(copyTargetScroll.value);
    redrawStrip();
}

int RangeWindowModel::scrollMaximum() const {
    const int64_t max = m_song.lastNotePos() / stepsPerBar() + 5;
    return static_cast<int>(std::clamp<int64_t>(max, 0, 32767));
}

int RangeWindowModel::clampIndex(const ListState& list, int index) const {
    if (list.items.empty()) return -1;
    return std::clamp(index, 0, static_cast<int>(list.items.size()) - 1);
}

void RangeWindowModel::stripMouseDown(int button, double x) {
    if (button != kLeftButton && button != kRightButton) return;
    const int64_t bar = stripScroll.value + roundHalfEven(x) / stepsPerBar() + 1;
    const int clicked = static_cast<int>(std::clamp<int64_t>(bar, -32768, 32767));
    // The left click picks the first bar, the right click the last; a first
    // bar after the last moves the last with it (and a last bar before the
    // first the first), so that start-then-end selects what was clicked.
    if (button == kLeftButton) {
        selectedBars[0] = clicked;
        selectedBars[1] = std::max(selectedBars[1], clicked);
    } else {
        selectedBars[1] = clicked;
        selectedBars[0] = std::min(selectedBars[0], clicked);
    }
    redrawStrip();
}

void RangeWindowModel::setSourcePart(int value) {
    sourcePartScroll.set(value);
    partLabel = sourcePartScroll.value == kPercussionPart
                    ? "打楽器パート"
                    : "パート " + std::to_string(sourcePartScroll.value + 1);
    redrawStrip();
}

void RangeWindowModel::setFirstBarOnStrip(int value) {
    if (stripScroll.set(value)) redrawStrip();
}

void RangeWindowModel::setCopyTargetBar(int value) {
    copyTargetScroll.set(value);
    readOuts[3] = std::to_string(copyTargetScroll.value);
}

void RangeWindowModel::setShiftSteps(int value) {
    shiftScroll.set(value);
    readOuts[2] = std::to_string(shiftScroll.value);
}

void RangeWindowModel::redrawStrip() {
    const int L = stepsPerBar();
    const int64_t first = stripScroll.value;
    stripScroll.max = scrollMaximum();
    m_strip.clear();
    for (int i = 1; i <= 23; ++i) {
        if (first + i >= selectedBars[0] && first + i <= selectedBars[1])
            m_strip.box(L * i, 0, L * (i - 1), -300, colour::kLightRed, true);
    }
    // The ranges of the treble staff (notes 63-77) and the bass staff (43-57).
    m_strip.box(-10, -63, 600, -77, m_strip.foreColour(), false);
    m_strip.box(-10, -57, 600, -43, m_strip.foreColour(), false);
    for (int i = 1; i <= 23; ++i) {
        m_strip.line(L * i, 0, L * i, -300, colour::kBlack);
        m_strip.setCurrentX(L * (i - 1) + 4 * m_song.quartersPerBar);
        m_strip.setCurrentY(-100);
        m_strip.print(std::to_string(first + i));
    }
    // One unit a step to the right, one unit a semitone upwards. Notes in
    // position order: the strip's are found by binary search; otherwise every
    // note is looked at.
    const int64_t n = std::min<int64_t>(m_song.noteCount(), int64_t(m_song.notes.size()) - 1);
    const auto begin = m_song.notes.begin() + 1, end = m_song.notes.begin() + 1 + n;
    const bool ordered = notesInPositionOrder(m_song);
    auto it = begin;
    if (ordered)
        it = std::lower_bound(begin, end, L * first,
                              [](const Note& note, int64_t pos) { return note.position < pos; });
    for (; it != end && (!ordered || it->position - L * first <= 576); ++it) {
        if (it->position < L * first || it->position - L * first > 576) continue;
        if (it->part != sourcePartScroll.value) continue;
        m_strip.circle(static_cast<double>(it->position - L * first), -it->key, 2, colour::kBlack,
                       0.7);
    }
    readOuts[1] = "現在　" + std::to_string(selectedBars[0]) + "小節目　から　" +
                  std::to_string(selectedBars[1]) + "小節目　を選択中";
}

void RangeWindowModel::applyOperation(int index) {
    if (index < kShift || index > kBalance) return;
    bool ok = true;
    if (m_history) {
        // A failed operation stays a step until the fault path below lets it
        // go: `errorDump` tells the host (the main window) before it puts the
        // notes back, and the host drops the step from its history.
        m_history->record(m_song, EditScope::everything(), [&] { ok = runOperation(index); });
    } else {
        ok = runOperation(index);
    }
    if (ok) {
        m_song.modified = 1;
    } else {
        errorDump(m_song, m_folders, m_host);
    }
    redrawStrip();
}

bool RangeWindowModel::runOperation(int op) {
    m_song.takeUndoCopy();
    if (m_onUndoCopy) m_onUndoCopy();

    const int64_t L = stepsPerBar();
    const int64_t S = (int64_t{selectedBars[0]} - 1) * L + 1;
    const int64_t E = int64_t{selectedBars[1]} * L;
    const int part = sourcePartScroll.value;
    std::vector<Note>& notes = m_song.notes;
    const int64_t n = std::min<int64_t>(m_song.noteCount(), int64_t(notes.size()) - 1);
    auto selected = [&](const Note& note) {
        return note.part == part && note.position >= S && note.position <= E;
    };

    bool ok = true;
    switch (op) {
    case kShift:
        for (int64_t i = 1; i <= n; ++i) {
            if (!selected(notes[i])) continue;
            const int64_t pos = int64_t{notes[i].position} + shiftScroll.value;
            if (fitsPosition(pos))
                notes[i].position = static_cast<int32_t>(pos);
            else
                ok = false;
        }
        SortNotes(notes, 1, m_song.noteCount());
        break;
    case kCopy: {
        // Copies go behind the notes the loop visits, so an overlapping target ends.
        const int64_t offset = (int64_t{copyTargetScroll.value} - selectedBars[0]) * L;
        for (int64_t i = 1; i <= n; ++i) {
            if (!selected(notes[i])) continue;
            Note copy = notes[i];
            const int64_t pos = int64_t{copy.position} + offset;
            if (!fitsPosition(pos)) {
                ok = false;
                continue;
            }
            copy.position = static_cast<int32_t>(pos);
            copy.part = static_cast<uint8_t>(std::max(0, targetPartList.listIndex));
            m_song.twiceNoteCount += 2;
            ensureNoteRoom(notes, m_song.noteCount());
            notes[m_song.noteCount()] = copy;
        }
        SortNotes(notes, 1, m_song.noteCount());
        break;
    }
    case kDelete: {
        // One pass; the remaining notes keep their order.
        int64_t kept = 0, removed = 0;
        for (int64_t i = 1; i <= n; ++i) {
            if (selected(notes[i]))
                ++removed;
            else
                notes[++kept] = notes[i];
        }
        m_song.twiceNoteCount -= static_cast<int32_t>(2 * removed);
        notes.resize(static_cast<size_t>(kept + 1));
        break;
    }
    case kSemitone: {
        const int pitchClass = pitchClassList.listIndex;
        const int step = semitoneDirection[0] ? 1 : -1;
        for (int64_t i = 1; i <= n; ++i) {
            Note& note = notes[i];
            if (!selected(note) || note.key % 12 != pitchClass || note.part == kPercussionPart)
                continue;
            // Values from 120 up mean note ends; a note must stay below them.
            const int moved = note.key + step;
            if (moved >= 0 && moved < 120)
                note.key = static_cast<uint8_t>(moved);
            else
                ok = false;
        }
        break;
    }
    case kStrength:
        for (int64_t i = 1; i <= n; ++i)
            if (selected(notes[i]))
                notes[i].velocity = static_cast<uint8_t>((20 - strengthList.listIndex) * 6);
        break;
    case kBalance:
        for (int64_t i = 1; i <= n; ++i)
            if (selected(notes[i])) notes[i].pan = static_cast<uint8_t>(balanceList.listIndex * 16);
        break;
    }
    return ok;
}

} // namespace vako
