#include "rangeedit/RangeWindowModel.h"

#include "editor/NoteEdits.h"
#include "song/Messages.h"
#include "song/SongWriter.h"
#include "platform/Translation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vako {
namespace {

// x rounded to a whole number, halves to the even neighbour.
int64_t roundHalfEven(double x) {
    return static_cast<int64_t>(std::nearbyint(x));
}

std::vector<std::string> strengthItems() {
    std::vector<std::string> items;
    for (int k = 20; k >= 0; --k) items.push_back(std::to_string(k));
    return items;
}

} // namespace

std::vector<std::string> RangeWindowModel::designTexts() const {
    // Runs of three or more blanks are where the window puts its controls: a
    // translation keeps them, in the same order.
    return {
        translated("を                    の        小節目を開始点としてコピー"),
        // A bar is as many steps as the song's meter gives it.
        translated("        区切り分右にずらす（{steps}区切りで１小節）",
                   {{"steps", std::to_string(stepsPerBar())}}),
        translated("削除する"),
        translated("                をすべて"),
        translated("音の強さをすべて　　　       　　　　にする"),
        translated("音のバランスをすべて　        　　　　　　にする"),
        translated("範囲選択・・・開始小節を左クリック　終了小節を右クリック"),
        translated("操作選択・・・範囲選択の後、実行ボタンを押してください。"),
    };
}

RangeWindowModel::RangeWindowModel(SongEditor& editor, Canvas& strip, SongHost& host,
                                   SongFolders folders)
    : m_editor(editor), m_song(editor.song()), m_strip(strip), m_host(host),
      m_folders(std::move(folders)) {
    caption = translated("編集補助");
    partLabel = translated("パート１");
    runButtons.fill(translated("実行"));
    m_strip.setOrigin(kStripLeft, kStripTop);
}

void RangeWindowModel::load() {
    strengthList.items = strengthItems();
    balanceList.items = {translated("-4 左"), "-3", translated("-2 やや左"), "-1", "0", "1",
                         translated("2 やや右"), "3", translated("4 右")};
    selectedBars = {1, 1};
    targetPartList.items.clear();
    for (int i = 0; i < kPartCount; ++i)
        targetPartList.items.push_back(translated("パート {part}", {{"part", std::to_string(i + 1)}}));
    targetPartList.items[kPercussionPart] = translated("打楽器");
    pitchClassList.items.clear();
    for (const char* pitchClass :
         {markForTranslation("ド"), markForTranslation("ド#、レb"), markForTranslation("レ"),
          markForTranslation("レ#、ミb "), markForTranslation("ミ"), markForTranslation("ファ"),
          markForTranslation("ファ#、ソb"), markForTranslation("ソ"), markForTranslation("ソ#、ラb"),
          markForTranslation("ラ"), markForTranslation("ラ#、シb"), markForTranslation("シ")})
        pitchClassList.items.push_back(translated(pitchClass));
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
                    ? translated("打楽器パート")
                    : translated("パート {part}", {{"part", std::to_string(sourcePartScroll.value + 1)}});
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
    // One unit a step to the right, one unit a semitone upwards, the bars
    // as the staff draws them: a bar's first step (its bar line) at the
    // bar's left edge; the steps before the first bar line belong to bar 1.
    // Notes in position order: the strip's are found by binary search;
    // otherwise every note is looked at.
    const int64_t firstShown = m_editor.firstPositionOfBar(static_cast<int>(first + 1));
    const int64_t origin = L * first + kFirstBeatPosition; // position at x = 0
    const int64_t n = std::min<int64_t>(m_song.noteCount(), int64_t(m_song.notes.size()) - 1);
    const auto begin = m_song.notes.begin() + 1, end = m_song.notes.begin() + 1 + n;
    const bool ordered = notesInPositionOrder(m_song);
    auto it = begin;
    if (ordered)
        it = std::lower_bound(begin, end, firstShown,
                              [](const Note& note, int64_t pos) { return note.position < pos; });
    for (; it != end && (!ordered || it->position - origin <= 576); ++it) {
        if (it->position < firstShown || it->position - origin > 576) continue;
        if (it->part != sourcePartScroll.value) continue;
        m_strip.circle(static_cast<double>(it->position - origin), -it->key, 2, colour::kBlack,
                       0.7);
    }
    readOuts[1] = translated("現在　{first}小節目　から　{last}小節目　を選択中",
                             {{"first", std::to_string(selectedBars[0])},
                              {"last", std::to_string(selectedBars[1])}});
}

void RangeWindowModel::applyOperation(int index) {
    if (index < kShift || index > kBalance) return;
    const BarRange range{selectedBars[0], selectedBars[1], sourcePartScroll.value};
    switch (index) {
    case kShift:
        m_editor.shiftNotes(range, shiftScroll.value);
        break;
    case kCopy:
        m_editor.copyNotes(range, copyTargetScroll.value, std::max(0, targetPartList.listIndex));
        break;
    case kDelete:
        m_editor.deleteNotes(range);
        break;
    case kSemitone:
        m_editor.moveSemitone(range, pitchClassList.listIndex, semitoneDirection[0]);
        break;
    case kStrength:
        m_editor.setStrength(range, strengthOfEntry(strengthList.listIndex));
        break;
    case kBalance:
        m_editor.setBalance(range, balanceOfEntry(balanceList.listIndex));
        break;
    }
    // An operation that met what it cannot do (a position no song holds, a
    // key past 0..119) changed nothing; the song is dumped for a report.
    if (m_editor.lastOperationRefused()) errorDump(m_song, m_folders, m_host);
    redrawStrip();
}

} // namespace vako
