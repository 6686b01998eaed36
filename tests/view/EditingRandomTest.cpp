// Random mouse moves, presses, releases, keys, panel clicks and menu choices
// against the window model; after each one the song must still be a song:
// notes in position order within 0..119, counts that fit the arrays, and the
// control changes ordered behind the start tempo with the end marker in place.
#include "ViewTestSupport.h"

#include "editor/KeyCodes.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

namespace vako::test {
namespace {

std::string songInvariantFault(const Song& s) {
    std::ostringstream out;
    const int32_t n = s.noteCount();
    if (s.twiceNoteCount < 0 || s.twiceNoteCount % 2 != 0) out << "odd or negative note count; ";
    if (static_cast<int64_t>(s.notes.size()) <= n) out << "note array shorter than the count; ";
    for (int32_t i = 1; i <= n && i < int32_t(s.notes.size()); ++i) {
        const Note& r = s.notes[i];
        if (r.key >= 120) out << "note " << i << " is " << int(r.key) << "; ";
        if (r.part >= kPartCount) out << "part of note " << i << "; ";
        if (i > 1 && s.notes[i - 1].position > r.position) out << "note " << i << " out of order; ";
    }
    const int32_t m = s.changeCount;
    if (m < 1 || static_cast<int64_t>(s.changes.size()) < m + 2) {
        out << "control changes shorter than their count; ";
        return out.str();
    }
    if (s.changes[1].kind != kTempoChange || s.changes[1].position != 0)
        out << "start tempo moved; ";
    for (int32_t j = 2; j <= m; ++j) {
        const ControlChange& c = s.changes[j];
        if (c.position < s.changes[j - 1].position)
            out << "control change " << j << " out of order; ";
        if (c.kind < 1 || c.kind > 3) out << "control change " << j << " type; ";
    }
    if (s.changes[m + 1].position != kEndMarkerPos) out << "end marker missing; ";
    return out.str();
}

TEST(EditingRandom, TwentyThousandActionsKeepTheSongWhole) {
    Window w;
    w.load();
    MainWindowModel& f = *w.form;
    f.useClock(w.clock);
    std::mt19937 rng(20240607);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto real = [&](double lo, double hi) {
        return static_cast<float>(std::uniform_real_distribution<double>(lo, hi)(rng));
    };
    // Points on the staff most of the time, anywhere on the view now and then.
    auto pointX = [&] { return pick(0, 9) == 0 ? real(-140, 830) : real(95, 822); };
    auto pointY = [&] { return pick(0, 9) == 0 ? real(-1180, 20) : real(-1179, -2); };
    const int keys[] = {kKeySpace, '1', '2',           '3',           '4',       '5', 'W', 'E',
                        'R',       'S', 'F',           'Q',           'Z',       'V', 'X', 'M',
                        'P',       '0', kKeySemicolon, kKeyBackslash, kKeyShift, 'A'};
    MenuItem* menus[] = {&f.majorChordMenu,     &f.minorChordMenu,
                         &f.augmentedChordMenu, &f.diminishedChordMenu,
                         &f.seventhChordMenu,   &f.suspendedFourthChordMenu,
                         &f.chordInputMenu,     &f.editingMenu,
                         &f.keyboardEditsMenu,  &f.keyboardDrumsMenu,
                         &f.gridQuartersMenu,   &f.gridEighthsMenu,
                         &f.gridSixteenthsMenu, &f.gridFortyEighthsMenu,
                         &f.meterTwoMenu,       &f.meterThreeMenu,
                         &f.meterFourMenu,      &f.meterSixMenu,
                         &f.undoMenu,           &f.allGrandPianoMenu,
                         &f.allFluteMenu,       &f.allOtherInstrumentMenu,
                         &f.showChangesMenu,    &f.rangeEditingMenu};
    const char* answers[] = {"", "0", "1", "128", "129", "abc", "64"};

    int notesAdded = 0, maxNotes = 0, maxCCs = 0;
    float X = 0, Y = 0;
    const auto click = [&] { // a whole click, now and then released elsewhere
        const int button = pick(0, 5) == 0 ? 2 : 1;
        const int before = w.song.noteCount();
        f.scoreMouseMove(0, 0, X, Y);
        f.scoreMouseDown(button, 0, X, Y);
        f.scoreMouseUp(button, 0, pick(0, 7) == 0 ? pointX() : X, Y);
        notesAdded += w.song.noteCount() > before;
    };
    const auto key = [&] {
        const int shifts[] = {0, 0, 0, kShiftBit, kCtrlBit, kAltBit, kShiftBit | kAltBit};
        f.scoreKeyDown(keys[pick(0, std::size(keys) - 1)], shifts[pick(0, 6)]);
    };
    const std::function<void()> notePanel[] = {
        [&] { f.notePanel.strengthList.setListIndex(pick(-1, 21)); },
        [&] { f.notePanel.balanceList.setListIndex(pick(-1, 9)); },
        [&] {
            const int i = pick(0, 5);
            if (i < 3)
                for (int k = 0; k < 3; ++k) f.accidentalOptions[k].checked = k == i;
            else
                f.accidentalOptions[i].checked = true;
            f.accidentalOptions[i].click();
        },
        [&] { f.notePanel.deleteButton.click(); },
        [&] { f.notePanel.closeButton.click(); },
        [&] { f.lengthTools[pick(10, 17)].click(); },
    };
    const std::function<void()> positionPanel[] = {
        [&] {
            f.positionPanel.kindList.setListIndex(pick(-1, 2));
            f.positionPanel.valueBox.setText(std::to_string(pick(0, 700)));
            f.positionPanel.setButton.click();
        },
        [&] { f.positionPanel.deleteButton.click(); },
        [&] { f.positionPanel.closeButton.click(); },
        [&] {
            f.positionPanel.valueBox.setText(pick(0, 1) ? "" : "12x");
            f.positionPanel.setButton.click();
        },
    };
    const std::function<void()> bandControls[] = {
        [&] { f.bandVolumeScrollBars[pick(0, 1)].setValue(pick(0, 6)); },
        [&] { f.bandInstrumentLists[pick(0, 1)].setListIndex(pick(0, 127)); },
        [&] { f.transposeScrollBar.setValue(pick(-12, 12)); },
        [&] { f.pitchBendMouseMove(0, 0, real(-50, 200), 0.5f); },
    };
    // Each action with its weight out of 20.
    const std::vector<std::pair<int, std::function<void()>>> actions = {
        {3, [&] { f.scoreMouseMove(0, 0, X, Y); }},
        {3, click},
        {1, [&] { f.scoreMouseDown(pick(1, 2), pick(0, 1), X, Y); }},
        {1, [&] { f.scoreMouseUp(pick(1, 2), pick(0, 1), X, Y); }},
        {2, key},
        {1, [&] { notePanel[std::min(pick(0, 6), 5)](); }},
        {1, [&] { positionPanel[pick(0, 3)](); }},
        {2,
         [&] {
             w.ui.inputAnswer = answers[pick(0, std::size(answers) - 1)];
             menus[pick(0, std::size(menus) - 1)]->click();
         }},
        {1, [&] { f.pageScrollBar.setValue(pick(f.pageScrollBar.min, f.pageScrollBar.max)); }},
        {1, [&] { (pick(0, 1) ? f.upperPartButtons : f.lowerPartButtons)[pick(0, 15)].click(); }},
        {1, [&] { bandControls[pick(0, 3)](); }},
        {1,
         [&] {
             if (pick(0, 1))
                 f.lengthTools[pick(0, 8)].click();
             else
                 f.lengthBox.setText(std::to_string(pick(0, 99)));
         }},
        {1,
         [&] { // playback now and then, with time passing
             if (pick(0, 9) == 0) f.togglePlayback();
             w.clock.advance(pick(0, 200));
             f.playbackTick();
         }},
        {1,
         [&] {
             f.scoreMouseMove(0, 0, X, Y);
             f.scoreMouseUp(1, 0, X, Y);
         }},
    };
    std::vector<int> byWeight;
    for (size_t i = 0; i < actions.size(); ++i)
        byWeight.insert(byWeight.end(), actions[i].first, static_cast<int>(i));
    for (int step = 0; step < 20000; ++step) {
        const int action = byWeight[pick(0, static_cast<int>(byWeight.size()) - 1)];
        X = pointX();
        Y = pointY();
        actions[action].second();
        const std::string fault = songInvariantFault(w.song);
        ASSERT_EQ(fault, "") << "after step " << step << ", action " << action;
        maxNotes = std::max(maxNotes, w.song.noteCount());
        maxCCs = std::max(maxCCs, w.song.changeCount);
    }
    if (!f.stopped()) f.togglePlayback();
    EXPECT_EQ(songInvariantFault(w.song), "");
    // The run did write music, not only wander about.
    EXPECT_GT(notesAdded, 400);
    EXPECT_GT(maxNotes, 50);
    EXPECT_GT(maxCCs, 5);
}

} // namespace
} // namespace vako::test
