// `Form2` ("編集補助"), the range editing window: pick a part and a range of
// whole bars on the strip, then shift, copy, delete, move one pitch class by a
// semitone, or set the strength or balance of that part's notes in the range.
// This is the window's logic and control state; the Qt dialog mirrors it.
#pragma once

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

class Form2 {
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

    // `onUndoCopy` enables the main window's `undoMenu` after each operation's undo copy.
    Form2(Song& song, Canvas& strip, SongHost& host, SongFolders folders,
          std::function<void()> onUndoCopy);

    // Load: fills the lists, selects bars 1 to 1 and draws the strip.
    void load();

    void Picture1_MouseDown(int button, double x);
    void Command1_Click() { redrawStrip(); }
    void Command3_Click(int index);
    void setVScroll1(int value); // source part
    void setHScroll1(int value); // first bar on the strip, 0-based
    void setHScroll3(int value); // target start bar of the copy
    void setHScroll4(int value); // shift in steps
    void setCombo1(int index) { Combo1.listIndex = clampIndex(Combo1, index); }
    void setCombo2(int index) { Combo2.listIndex = clampIndex(Combo2, index); }
    void setCombo3(int index) { Combo3.listIndex = clampIndex(Combo3, index); }
    void setCombo4(int index) { Combo4.listIndex = clampIndex(Combo4, index); }
    void setOption2(int index) { Option2 = {index == 0, index != 0}; }

    // Steps in one bar at the song's meter.
    int stepsPerBar() const { return 12 * m_song.quartersPerBar; }

    // Control state, under the window's control names.
    std::string caption = "編集補助";
    std::array<int, 2> intSelBar{1, 1}; // first and last bar of the range, from 1
    ScrollBarState VScroll1{0, 15, 0};
    ScrollBarState HScroll1{0, 5, 0};
    ScrollBarState HScroll3{1, 5, 1};
    ScrollBarState HScroll4{-48, 48, 0};
    ListState Combo1, Combo2, Combo3, Combo4;
    std::array<bool, 2> Option2{true, false};
    std::string Label1 = "パート１";
    std::array<std::string, 4> Label3{"", "", "0", "1"}; // 1: selection, 2: shift, 3: copy bar
    std::array<std::string, 6> Command3{"実行", "実行", "実行", "実行", "実行", "実行"};
    std::string Command1 = "Command1";

    // The window's fixed texts, in the order they stand beside the operations.
    static const std::vector<std::string>& designTexts();

private:
    void redrawStrip();
    int clampIndex(const ListState& list, int index) const;
    int scrollMaximum() const;
    bool runOperation(int op); // false when a step failed

    Song& m_song;
    Canvas& m_strip;
    SongHost& m_host;
    SongFolders m_folders;
    std::function<void()> m_onUndoCopy;
};

} // namespace vako
