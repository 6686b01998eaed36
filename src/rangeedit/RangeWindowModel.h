// `RangeWindowModel` ("編集補助"), the range editing window: pick a part and a range of
// whole bars on the strip, then shift, copy, delete, move one pitch class by a
// semitone, or set the strength or balance of that part's notes in the range.
// This is the window's logic and control state; the Qt dialog mirrors it.
#pragma once

#include "editor/SongEditor.h"
#include "platform/Canvas.h"
#include "song/Song.h"
#include "song/SongFolders.h"
#include "song/SongHost.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace vako {

// A scroll bar's range and value. Setting the value keeps it within the range.
struct ScrollBarState {
    int min = 0;
    int max = 0;
    int value = 0;
    bool set(int v) {
        const int clamped = v < min ? min : v > max ? max : v;
        const bool changed = clamped != value;
        value = clamped;
        return changed;
    }
};

struct ListState {
    std::vector<std::string> items;
    int listIndex = -1;
};

class RangeWindowModel {
public:
    enum Operation {
        kShift = 0,
        kCopy = 1,
        kDelete = 2,
        kSemitone = 3,
        kStrength = 4,
        kBalance = 5
    };
    enum Button { kLeftButton = 1, kRightButton = 2 };

    // The strip `Picture1` in its own units: x 0 to 576 to the right, y -120
    // (top) to about 2, downwards.
    static constexpr double kStripLeft = 0, kStripTop = -120, kStripWidth = 576, kStripHeight = 122;

    // Each operation is one of the editor's (one step of the edit history).
    RangeWindowModel(SongEditor& editor, Canvas& strip, SongHost& host, SongFolders folders);

    // Load: fills the lists, selects bars 1 to 1 and draws the strip.
    void load();

    void stripMouseDown(int button, double x);
    void redrawClicked() { redrawStrip(); }
    void applyOperation(int index);
    void setSourcePart(int value);      // source part
    void setFirstBarOnStrip(int value); // first bar on the strip, 0-based
    void setCopyTargetBar(int value);   // target start bar of the copy
    void setShiftSteps(int value);      // shift in steps
    void setTargetPart(int index) { targetPartList.listIndex = clampIndex(targetPartList, index); }
    void setPitchClass(int index) { pitchClassList.listIndex = clampIndex(pitchClassList, index); }
    void setStrength(int index) { strengthList.listIndex = clampIndex(strengthList, index); }
    void setBalance(int index) { balanceList.listIndex = clampIndex(balanceList, index); }
    void setSemitoneDirection(int index) { semitoneDirection = {index == 0, index != 0}; }

    // Steps in one bar at the song's meter.
    int stepsPerBar() const { return m_editor.stepsPerBar(); }

    // Control state, under the window's control names.
    std::string caption; // "編集補助"
    std::array<int, 2> selectedBars{1, 1}; // first and last bar of the range, from 1
    ScrollBarState sourcePartScroll{0, 15, 0};
    ScrollBarState stripScroll{0, 5, 0};
    ScrollBarState copyTargetScroll{1, 5, 1};
    ScrollBarState shiftScroll{-48, 48, 0};
    ListState targetPartList, pitchClassList, strengthList, balanceList;
    std::array<bool, 2> semitoneDirection{true, false};
    std::string partLabel; // "パート１" at the start
    std::array<std::string, 4> readOuts{"", "", "0", "1"}; // 1: selection, 2: shift, 3: copy bar
    std::array<std::string, 6> runButtons; // "実行"
    std::string redrawButton = "Command1";

    // The window's texts, in the order they stand beside the operations.
    std::vector<std::string> designTexts() const;

private:
    void redrawStrip();
    int clampIndex(const ListState& list, int index) const;
    int scrollMaximum() const;

    SongEditor& m_editor;
    const Song& m_song;
    Canvas& m_strip;
    SongHost& m_host;
    SongFolders m_folders;
};

} // namespace vako
