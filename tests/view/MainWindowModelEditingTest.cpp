// Writing music on the staff with the window model: mouse, keys, panels,
// chords, instruments and undo, against the recording canvas and device.
#include "ViewTestSupport.h"

#include "editor/ControlChanges.h"
#include "editor/KeyCodes.h"
#include "editor/StaffGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace vako::test {
namespace {

struct Editing : ::testing::Test {
    void SetUp() override {
        w.load();
        w.markSaved();
        if (w.midi) w.midi->clear();
    }
    MainWindowModel& f() { return *w.form; }
    std::vector<uint32_t> sentWithout(uint32_t statusHigh) const {
        std::vector<uint32_t> out;
        for (uint32_t m : w.sent())
            if ((m & 0xF0) != statusHigh) out.push_back(m);
        return out;
    }
    Window w;
};

TEST_F(Editing, AddingIntoAnEmptySongAndTheHoverAfterIt) {
    w.click(xAt(12), yAt(1, 35));
    ASSERT_EQ(w.song.twiceNoteCount, 2);
    // The lower band shows the percussion part.
    EXPECT_EQ(w.song.notes[1], (Note{12, 60, 12, 9, 120, 64, 0}));
    EXPECT_TRUE(w.modified());
    EXPECT_TRUE(f().undoMenu.enabled);
    // The move after the release finds the new note under the pointer.
    EXPECT_TRUE(f().noteMarker.visible);
    EXPECT_EQ(f().view.noteUnderCursor, 1);
    EXPECT_EQ(f().statusLine.caption,
              "全音符数は 1 　　　　　　　　　　　　　カーソル位置は 10 区切り目");
    EXPECT_EQ(f().pitchNameLabel.caption, "ド");
    // The note is drawn.
    EXPECT_FALSE(w.canvas.ofKind(DrawOp::Circle).empty());
}

TEST_F(Editing, HoverMovesTheCursorLedgerLinesAndMarker) {
    f().scoreMouseMove(0, 0, xAt(12), yAt(0, 49)); // two ledger lines above the upper band
    // The cursor frames the head of position 12, drawn around x 153, on
    // row 49's place.
    EXPECT_EQ(f().noteCursor.left, 153 - 6);
    EXPECT_EQ(f().noteCursor.top, -600 - 10 * (49 - 5) - 9);
    EXPECT_TRUE(f().ledgerLinesAbove[0].visible);
    EXPECT_TRUE(f().ledgerLinesAbove[1].visible);
    EXPECT_FALSE(f().ledgerLinesAbove[2].visible);
    EXPECT_EQ(f().ledgerLinesAbove[1].y1, -600 - 420 - 20);
    EXPECT_EQ(f().ledgerLinesAbove[1].x1, 150 - 15);
    EXPECT_FALSE(f().ledgerLinesBelow[0].visible);
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 19)); // below the bass staff
    EXPECT_TRUE(f().ledgerLinesBelow[1].visible);
    EXPECT_FALSE(f().ledgerLinesBelow[3].visible);
    EXPECT_EQ(f().ledgerLinesBelow[0].y1, -180);
    EXPECT_FALSE(f().ledgerLinesAbove[0].visible);
    // Off the page on the right nothing follows.
    f().scoreMouseMove(0, 0, 830, yAt(1, 30));
    EXPECT_EQ(f().noteCursor.left, 153 - 6);
}

// Mended: the quarter and eighth grids placed a note at the end of the drawn
// beat the click was in (position 12 for the first beat), a dotted eighth off
// the beat in a MIDI file; the row under the middle of a drawn head was the
// row above it. On every grid and meter, where the pointer is the cursor and
// the pitch name show the note the click places; the note is drawn in the cell
// the grid draws there (the finest grid: under the pointer), starts a grid
// step of the MIDI file; and a click on its drawn head deletes it.
TEST_F(Editing, EveryGridPlacesTheNoteTheCursorShowsInTheDrawnCellAndItsHeadDeletesIt) {
    const std::pair<MenuItem*, int> grids[] = {{&f().gridQuartersMenu, 60},
                                               {&f().gridEighthsMenu, 30},
                                               {&f().gridSixteenthsMenu, 15},
                                               {&f().gridFortyEighthsMenu, 5}};
    for (auto [gridMenu, units] : grids) {
        for (MenuItem* meter :
             {&f().meterTwoMenu, &f().meterThreeMenu, &f().meterFourMenu, &f().meterSixMenu}) {
            gridMenu->click();
            meter->click();
            for (auto [x, staff, row, dy] : {std::tuple{100.0f, 0, 36, 0.0f},
                                             {129.4f, 1, 35, 4.0f},
                                             {159.6f, 0, 20, -4.0f},
                                             {163.0f, 1, 50, 4.9f},
                                             {401.0f, 0, 47, -4.9f},
                                             {813.0f, 1, 12, 2.0f}}) {
                SCOPED_TRACE(testing::Message()
                             << "grid " << units << ", " << int(w.song.quartersPerBar) << "/4, x "
                             << x << ", row " << row << " + " << dy);
                w.setNotes({});
                f().redrawScore();
                const float y = yAt(staff, row) + dy;
                f().scoreMouseMove(0, 0, x, y);
                const Control cursor = f().noteCursor, name = f().pitchNameLabel;
                const std::string readOut = f().statusLine.caption;
                w.click(x, y);
                ASSERT_EQ(w.song.noteCount(), 1);
                const Note placed = w.song.notes[1];
                ASSERT_EQ(placed.part, w.form->view.bandParts[staff]);
                EXPECT_EQ(rowOfNote(placed.key), row);
                EXPECT_EQ(name.caption, rowName(row));
                EXPECT_EQ(name.top + name.height / 2, cursor.top + cursor.height / 2);

                // Drawn from x, where the MIDI file's tick (x - 100) * 8 lies.
                const int32_t drawnX = 90 + 5 * (placed.position - 1);
                if (units >= 15) {
                    EXPECT_EQ((drawnX - 100) % units, 0) << "on a line of the grid";
                    EXPECT_LE(drawnX, x);
                    EXPECT_LT(x, drawnX + units) << "in the cell the click was in";
                } else {
                    EXPECT_NEAR(drawnX + 8, x, 2.5) << "the head under the pointer";
                }
                // The step in the beat: the two steps before the first bar
                // line end the beat before it.
                const std::string division =
                    std::to_string((placed.position - kFirstBeatPosition + 12) % 12 + 1);
                EXPECT_NE(readOut.find("カーソル位置は " + division + " 区切り目"),
                          std::string::npos)
                    << readOut;

                // The head lies on the cursor, and a click on its middle deletes it.
                const std::vector<DrawOp> heads = w.canvas.ofKind(DrawOp::Circle);
                ASSERT_EQ(heads.size(), 1u);
                const DrawOp& head = heads[0];
                EXPECT_EQ(head.x1, cursor.left + cursor.width / 2);
                EXPECT_EQ(head.y1, cursor.top + cursor.height / 2);
                w.click(static_cast<float>(head.x1), static_cast<float>(head.y1));
                EXPECT_EQ(w.song.noteCount(), 0);
            }
        }
    }
    EXPECT_TRUE(w.ui.messages.empty());
}

TEST_F(Editing, NotesOfTheSamePositionKeepPitchOrderAndBandsKeepTheirParts) {
    w.click(xAt(24), yAt(1, 37)); // 64
    w.click(xAt(24), yAt(1, 35)); // 60 goes before it
    w.click(xAt(24), yAt(1, 39)); // 67 after
    w.click(xAt(24), yAt(0, 35)); // 60 of the upper band's part 0
    EXPECT_EQ(w.keys(), (std::vector<int>{60, 60, 64, 67}));
    EXPECT_EQ(w.song.notes[1].part, 0); // an equal note goes before the others
    EXPECT_EQ(w.song.notes[2].part, 9);
    // Each band highlights only its own part's note.
    f().scoreMouseMove(0, 0, xAt(24), yAt(0, 35));
    EXPECT_EQ(f().view.noteUnderCursor, 1);
    f().scoreMouseMove(0, 0, xAt(24), yAt(1, 35));
    EXPECT_EQ(f().view.noteUnderCursor, 2);
    f().scoreMouseMove(0, 0, xAt(24), yAt(0, 37));
    EXPECT_EQ(f().view.noteUnderCursor, 0);
    EXPECT_FALSE(f().noteMarker.visible);
}

TEST_F(Editing, ChordsPlacePreviewAndSilenceTheSameKeys) {
    f().chordInputMenu.click();
    f().scoreMouseMove(0, 0, xAt(12), yAt(0, 35));
    f().scoreMouseDown(1, 0, xAt(12), yAt(0, 35));
    EXPECT_EQ(w.sent().back(), pack(0x90, 67, 120));
    f().transposeScrollBar.setValue(3); // transposition changed while the key is held
    f().scoreMouseUp(1, 0, xAt(12), yAt(0, 35));
    EXPECT_EQ(w.keys(), (std::vector<int>{60, 64, 67}));
    EXPECT_EQ(w.song.twiceNoteCount, 6);
    const std::vector<uint32_t> keys = sentWithout(0xE0);
    EXPECT_EQ(keys,
              (std::vector<uint32_t>{pack(0x90, 60, 120), pack(0x90, 64, 120), pack(0x90, 67, 120),
                                     pack(0x80, 60, 0), pack(0x80, 64, 0), pack(0x80, 67, 0)}));

    // A seventh on the top row: the tone 120 is neither sounded nor placed.
    f().seventhChordMenu.click();
    EXPECT_EQ(f().view.chordCode, 18340);
    EXPECT_TRUE(f().seventhChordMenu.checked);
    EXPECT_FALSE(f().majorChordMenu.checked);
    w.midi->clear();
    w.click(xAt(36), yAt(1, 64));
    EXPECT_EQ(w.song.twiceNoteCount, 12);
    for (int32_t i = 1; i <= w.song.noteCount(); ++i) EXPECT_LT(w.song.notes[i].key, 120);
    // Transposed by 3 (part 9 is never shifted, so go to the upper band for that).
    const std::vector<uint32_t> top = sentWithout(0xE0);
    EXPECT_EQ(top, (std::vector<uint32_t>{pack(0x99, 110, 120), pack(0x99, 114, 120),
                                          pack(0x99, 117, 120), pack(0x89, 110, 0),
                                          pack(0x89, 114, 0), pack(0x89, 117, 0)}));
    w.midi->clear();
    f().scoreMouseDown(1, 0, xAt(48), yAt(0, 35));
    f().scoreMouseUp(1, 0, xAt(48), yAt(0, 35));
    const std::vector<uint32_t> shifted = sentWithout(0xE0);
    ASSERT_EQ(shifted.size(), 8u);
    EXPECT_EQ(shifted[0], pack(0x90, 57, 120));
    EXPECT_EQ(shifted[4], pack(0x80, 57, 0));
}

TEST_F(Editing, SharpAndFlatOptionsAndDeleting) {
    f().accidentalOptions[0].checked = false;
    f().accidentalOptions[1].checked = true;
    w.click(xAt(12), yAt(1, 35));
    EXPECT_EQ(w.keys(), (std::vector<int>{61}));
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 35));
    EXPECT_TRUE(f().noteMarker.visible);
    // Deleting ignores the options: a click on the highlighted note removes it.
    f().accidentalOptions[1].checked = false;
    f().accidentalOptions[2].checked = true;
    w.click(xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.twiceNoteCount, 0);
    w.click(xAt(12), yAt(1, 35));
    EXPECT_EQ(w.keys(), (std::vector<int>{59}));
    EXPECT_TRUE(w.ui.messages.empty());
}

TEST_F(Editing, ADeleteWhoseReleaseMissesTheNoteIsRefused) {
    w.click(xAt(12), yAt(1, 35));
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 35));
    f().scoreMouseDown(1, 0, xAt(12), yAt(1, 35));
    f().scoreMouseUp(1, 0, xAt(12), yAt(1, 40)); // moved without a move event
    EXPECT_EQ(w.ui.messages, (std::vector<std::string>{"その音符は削除できません。"}));
    EXPECT_EQ(w.song.twiceNoteCount, 2);
}

TEST_F(Editing, ReleasesOutsideTheRegionOrWhileLockedChangeNothing) {
    for (float y : {-0.5f, -1180.0f}) {
        w.markSaved();
        f().undoMenu.enabled = false;
        f().scoreMouseUp(1, 0, xAt(12), y);
        EXPECT_EQ(w.song.twiceNoteCount, 0) << y;
        EXPECT_FALSE(w.modified()) << "a release that edits nothing is no change";
        EXPECT_FALSE(f().undoMenu.enabled) << "nothing to undo";
    }
    f().scoreMouseUp(1, 0, 99, yAt(1, 35));      // left of the first bar line
    f().scoreMouseUp(2, 0, xAt(12), yAt(1, 35)); // only the left button edits
    f().editingMenu.click();
    EXPECT_FALSE(f().editingMenu.checked);
    f().scoreMouseUp(1, 0, xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.twiceNoteCount, 0);
    f().editingMenu.click();
    f().scoreMouseUp(1, 0, xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.twiceNoteCount, 2);
}

TEST_F(Editing, TheFinestGridReachesTheNextPageAtTheRightEdge) {
    f().gridFortyEighthsMenu.click();
    f().scoreMouseUp(1, 0, 817, yAt(1, 35));
    ASSERT_EQ(w.song.twiceNoteCount, 2);
    EXPECT_EQ(w.song.notes[1].position, 145);
    f().scoreMouseUp(1, 0, xFine(1), yAt(1, 30));
    EXPECT_EQ(w.song.notes[1].position, 1);
    // On page 2 with 3/4 time, the third step of the second bar.
    f().meterThreeMenu.click();
    f().pageScrollBar.setRange(0, 5);
    f().pageScrollBar.setValue(2);
    w.click(xFine(36 + 3), yAt(0, 30));
    EXPECT_EQ(w.song.notes[3].position, 327);
}

TEST_F(Editing, UndoStepsBackOneEditAtATimeAndRedoForward) {
    w.click(xAt(12), yAt(1, 35));
    const std::vector<Note> copy(w.song.notes.begin() + 1, w.song.notes.begin() + 2);
    w.click(xAt(24), yAt(1, 35));
    f().undoMenu.click();
    // The first undo after a click gives the song before the click.
    ASSERT_EQ(w.song.noteCount(), 1);
    EXPECT_EQ(std::vector<Note>(w.song.notes.begin() + 1, w.song.notes.begin() + 2), copy);
    EXPECT_FALSE(f().noteMarker.visible);
    EXPECT_TRUE(f().undoMenu.enabled) << "one more edit to undo";
    EXPECT_TRUE(f().redoStepMenu.enabled);
    f().undoMenu.click();
    EXPECT_EQ(w.song.twiceNoteCount, 0);
    EXPECT_FALSE(f().undoMenu.enabled || f().undoStepMenu.enabled);

    // A new edit drops the redo steps.
    f().redoStepMenu.click();
    w.click(xAt(36), yAt(1, 35));
    EXPECT_FALSE(f().redoStepMenu.enabled);
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{12, 36}));
}

TEST_F(Editing, EditingHelpKeysAndTheirLimits) {
    w.setNotes({note(12, 60, 12, 9), note(12, 119, 12, 9), note(24, 62, 12, 9)});
    f().redrawScore();
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 35));
    ASSERT_EQ(f().view.noteUnderCursor, 1);
    Note& n = w.song.notes[1];
    const auto press = [&](int key, int times = 1) {
        for (int i = 0; i < times; ++i) f().scoreKeyDown(key, 0);
    };
    press('Q');
    EXPECT_EQ(n.velocity, 120);
    press('Z', 25);
    EXPECT_EQ(n.velocity, 0);
    n.velocity = 100; // from an imported file
    press('Z', 20);
    EXPECT_EQ(n.velocity, 0);
    press('V', 12);
    EXPECT_EQ(n.pan, 128);
    n.pan = 70;
    press('X', 12);
    EXPECT_EQ(n.pan, 0);
    press('E');
    EXPECT_EQ(n.length, 18);
    press('5');
    EXPECT_EQ(n.length, 3);
    press('F');
    EXPECT_EQ(n.key, 59);
    press('S');
    EXPECT_EQ(n.key, 60);
    // The panel's lists follow the note.
    EXPECT_EQ(f().notePanel.strengthList.listIndex, 20);
    EXPECT_EQ(f().notePanel.balanceList.listIndex, 0);

    // Note 119 (its row lies above the band) goes no higher.
    w.song.notes[2].key = 119;
    f().view.noteUnderCursor = 2;
    f().noteMarker.visible = true;
    f().scoreKeyDown('S', 0);
    EXPECT_EQ(w.song.notes[2].key, 119);

    // Space removes exactly that note; the lists show the one moved into its place.
    w.song.notes[3].velocity = 60;
    f().scoreKeyDown(kKeySpace, 0);
    EXPECT_EQ(w.keys(), (std::vector<int>{60, 62}));
    EXPECT_FALSE(f().noteMarker.visible);
    EXPECT_EQ(f().notePanel.strengthList.listIndex, 10);
}

TEST_F(Editing, OnlyAKeyThatEditsMarksTheSongAndCtrlBelongsToTheMenus) {
    f().scoreKeyDown('Z', kCtrlBit);
    EXPECT_FALSE(w.modified());
    f().scoreKeyDown('Z', 0); // nothing under the pointer: no change
    EXPECT_FALSE(w.modified());
    EXPECT_TRUE(f().scoreFocusRequested);
    w.click(xAt(12), yAt(1, 35));
    w.markSaved();
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 35));
    f().scoreKeyDown('2', 0); // a half note
    EXPECT_EQ(w.song.notes[1].length, 24);
    EXPECT_TRUE(w.modified());
}

TEST_F(Editing, DrumPadSoundsAndRecordsOnlyWhilePlaying) {
    f().keyboardDrumsMenu.click();
    EXPECT_FALSE(f().keyboardEditsMenu.checked);
    f().scoreKeyDown('Z', 0);
    f().scoreKeyDown('Z', kShiftBit);
    f().scoreKeyDown(kKeySemicolon, 0);
    f().scoreKeyDown('A', 0);               // no drum: note 0 is sounded
    f().scoreKeyDown('P', kAltBit);         // 59 + 120 leaves the range
    f().scoreKeyDown(kKeyShift, kShiftBit); // the Shift key itself
    EXPECT_EQ(sentWithout(0xE0), (std::vector<uint32_t>{pack(0x99, 24, 120), pack(0x99, 54, 120),
                                                        pack(0x99, 39, 120), pack(0x99, 0, 120)}));
    EXPECT_EQ(f().playback().state().tapCount, 0);

    // While playing, a hit is kept.
    f().useClock(w.clock);
    w.setNotes({note(1, 60, 12, 0), note(400, 60, 12, 0)});
    f().togglePlayback();
    ASSERT_FALSE(f().stopped());
    f().scoreKeyDown('M', 0);
    f().scoreKeyDown('K', 0); // note 0 is never kept
    EXPECT_EQ(f().playback().state().tapCount, 1);
    EXPECT_EQ(f().playback().state().tapNotes[1].key, 35);
    // A release during playback places nothing; the position panel does not open.
    f().scoreMouseUp(1, 0, xAt(12), yAt(0, 35));
    EXPECT_EQ(w.song.twiceNoteCount, 4);
    w.rightPress(xAt(60), yAt(0, 30));
    EXPECT_FALSE(f().positionPanel.visible);
    f().togglePlayback();
    EXPECT_TRUE(f().stopped());
    EXPECT_EQ(w.song.changes[2].position, kEndMarkerPos);
}

TEST_F(Editing, NotePanelActions) {
    w.setNotes({note(12, 60, 12, 9), note(24, 64, 12, 9)});
    f().redrawScore();
    w.rightPress(xAt(12), yAt(1, 35));
    ASSERT_TRUE(f().notePanel.visible);
    EXPECT_EQ(f().notePanel.left, xAt(12) + 10);
    EXPECT_EQ(f().notePanel.top, yAt(1, 35) + 20 - 400);
    EXPECT_EQ(f().notePanel.strengthList.listIndex, 0);
    EXPECT_EQ(f().notePanel.balanceList.listIndex, 4);
    EXPECT_FALSE(w.modified()); // showing the note changed nothing

    // While the panel is open the view neither sounds nor edits, and the
    // selection stays.
    w.midi->clear();
    w.click(xAt(24), yAt(1, 37));
    EXPECT_EQ(w.song.twiceNoteCount, 4);
    EXPECT_EQ(f().view.noteUnderCursor, 1);
    EXPECT_EQ(sentWithout(0xE0), std::vector<uint32_t>{});

    f().notePanel.strengthList.setListIndex(20);
    EXPECT_EQ(w.song.notes[1].velocity, 0);
    EXPECT_FALSE(f().notePanel.visible);
    EXPECT_TRUE(w.modified());
    f().notePanel.visible = true;
    f().notePanel.balanceList.setListIndex(8);
    EXPECT_EQ(w.song.notes[1].pan, 128);
    f().notePanel.visible = true;
    f().accidentalOptions[4].checked = true;
    f().accidentalOptions[4].click();
    EXPECT_EQ(w.song.notes[1].key, 61);
    EXPECT_FALSE(f().accidentalOptions[4].checked);
    f().notePanel.visible = true;
    f().lengthTools[11].click();
    EXPECT_EQ(w.song.notes[1].length, 18);
    EXPECT_FALSE(f().notePanel.visible);
    f().notePanel.visible = true;
    f().notePanel.closeButton.click();
    EXPECT_FALSE(f().notePanel.visible);
    f().notePanel.visible = true;
    f().notePanel.deleteButton.click();
    EXPECT_EQ(w.keys(), (std::vector<int>{64}));

    // In the right part of the view and on the upper band the panel moves
    // left and up.
    w.rightPress(xAt(24), yAt(1, 37));
    f().notePanel.closeButton.click();
    w.setNotes({note(120, 60, 12, 0)});
    w.rightPress(xAt(120), yAt(0, 35));
    EXPECT_EQ(f().notePanel.left, xAt(120) + 10 - 400);
    EXPECT_EQ(f().notePanel.top, yAt(0, 35) + 20);
}

TEST_F(Editing, TheHoverMarksGoWhenThePointerLeavesTheStaff) {
    EXPECT_FALSE(f().noteCursor.visible) << "no cursor where the pointer never was";
    w.setNotes({note(12, 60, 12, 9)});
    f().redrawScore();
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 35));
    ASSERT_TRUE(f().noteMarker.visible && f().noteCursor.visible);
    // Off the staff within the view (left of its first step), then out of the view.
    f().scoreMouseMove(0, 0, 20, yAt(1, 35));
    EXPECT_FALSE(f().noteMarker.visible || f().noteCursor.visible || f().pitchNameLabel.visible);
    EXPECT_EQ(f().view.noteUnderCursor, 0);
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 35));
    EXPECT_TRUE(f().noteMarker.visible && f().noteCursor.visible);
    f().scoreMouseLeft();
    EXPECT_FALSE(f().noteMarker.visible || f().noteCursor.visible);
    // A key after the pointer left edits nothing.
    f().scoreKeyDown('1', 0);
    EXPECT_EQ(w.song.notes[1].length, 12);
    // An open panel keeps its note marked.
    w.rightPress(xAt(12), yAt(1, 35));
    f().scoreMouseLeft();
    EXPECT_TRUE(f().noteMarker.visible);
}

TEST_F(Editing, ThePressOnAPanelsLengthToolNeverReachesTheStaff) {
    w.setNotes({note(12, 60, 12, 9)});
    f().redrawScore();
    for (int tool = 10; tool <= 17; ++tool) {
        w.rightPress(xAt(12), yAt(1, 35));
        f().scoreMouseUp(2, 0, xAt(12), yAt(1, 35));
        ASSERT_TRUE(f().notePanel.visible) << tool;
        // The tool acts on the press and closes the panel; the release then
        // comes to the staff, over the note.
        f().lengthTools[tool].click();
        f().scoreMouseMove(0, 0, xAt(12), yAt(1, 35));
        f().scoreMouseUp(1, 0, xAt(12), yAt(1, 35));
        EXPECT_TRUE(w.ui.messages.empty()) << tool;
        EXPECT_EQ(w.song.noteCount(), 1) << tool;
    }
    // The next click on the staff is the user's again.
    w.click(xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.noteCount(), 0);
}

TEST_F(Editing, ANotePanelWithoutANoteDoesNothing) {
    w.setNotes({note(12, 60, 12, 9)});
    f().gridFortyEighthsMenu.click();
    f().scoreMouseMove(0, 0, xFine(12), yAt(1, 35));
    ASSERT_TRUE(f().noteMarker.visible);
    // Off the page on the right: the marker goes, and no note is chosen.
    f().scoreMouseMove(0, 0, 822, yAt(1, 35));
    EXPECT_FALSE(f().noteMarker.visible);
    EXPECT_EQ(f().view.noteUnderCursor, 0);
    f().scoreMouseDown(2, 0, 822, yAt(1, 35));
    EXPECT_FALSE(f().notePanel.visible);
    f().scoreKeyDown(kKeySpace, 0); // would have removed the spare record
    EXPECT_EQ(w.keys(), (std::vector<int>{60}));
    EXPECT_EQ(w.song.notes[0], Note{});
}

TEST_F(Editing, TheNoteCountReadOutFollowsAnUndoAndAKeyWithoutAHover) {
    const auto readOut = [](int n) {
        return "全音符数は " + std::to_string(n) +
               " 　　　　　　　　　　　　　カーソル位置は 10 区切り目";
    };
    w.click(xAt(12), yAt(1, 35));
    w.click(xAt(24), yAt(1, 35));
    EXPECT_EQ(f().statusLine.caption, readOut(2));
    f().undoMenu.click(); // the pointer stays where it was
    EXPECT_EQ(f().statusLine.caption, readOut(1));
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 35));
    f().scoreKeyDown(' ', 0); // deletes the note under the pointer
    EXPECT_EQ(f().statusLine.caption, readOut(0));
}

TEST_F(Editing, PositionPanelSetsChangesAndDeletes) {
    // A tempo at a position without a marker.
    w.rightPress(xAt(48), yAt(0, 30));
    ASSERT_TRUE(f().positionPanel.visible);
    EXPECT_EQ(f().positionPanel.setButton.caption, "設定");
    EXPECT_EQ(f().positionPanel.valueBox.text(), "0");
    EXPECT_FALSE(f().positionPanel.deleteButton.visible);
    EXPECT_EQ(f().view.cursorPosition, 48);
    EXPECT_EQ(f().positionPanel.left, 330 + 10);
    f().positionPanel.valueBox.setText("90");
    f().positionPanel.setButton.click();
    EXPECT_FALSE(f().positionPanel.visible);
    ASSERT_EQ(w.song.changeCount, 2);
    EXPECT_EQ(w.song.changes[2], (ControlChange{48, 90, kTempoChange}));
    EXPECT_EQ(w.song.changes[3].position, kEndMarkerPos);
    EXPECT_TRUE(w.modified());

    // A volume of part 3 on the lower band.
    f().lowerPartButtons[3].click();
    w.rightPress(xAt(24), yAt(1, 30));
    f().positionPanel.kindList.setListIndex(2);
    f().positionPanel.valueBox.setText("5");
    f().positionPanel.setButton.click();
    ASSERT_EQ(w.song.changeCount, 3);
    EXPECT_EQ(w.song.changes[2], (ControlChange{24, 5 * 16 + 3, kVolumeChange}));
    EXPECT_EQ(w.song.changes[4].position, kEndMarkerPos);

    // Its marker row: hovering selects it, the panel shows it and changes it in place.
    const float markerY = -460; // snapY -467: the volume row of the lower band
    f().scoreMouseMove(0, 0, xAt(24), markerY);
    EXPECT_EQ(f().view.changeUnderCursor, 2);
    EXPECT_TRUE(f().changeMarker.visible);
    f().scoreMouseDown(2, 0, xAt(24), markerY);
    EXPECT_EQ(f().positionPanel.kindList.listIndex, 2);
    EXPECT_EQ(f().positionPanel.valueBox.text(), "5");
    EXPECT_EQ(f().positionPanel.setButton.caption, "変更");
    EXPECT_TRUE(f().positionPanel.deleteButton.visible);
    f().positionPanel.valueBox.setText("2");
    f().positionPanel.setButton.click();
    EXPECT_EQ(w.song.changeCount, 3);
    EXPECT_EQ(w.song.changes[2].value, 2 * 16 + 3);
    EXPECT_EQ(f().view.changeUnderCursor, 0);

    // Out of range and empty entries: messages, and nothing changes.
    const std::vector<ControlChange> before(w.song.changes.begin(), w.song.changes.begin() + 5);
    for (auto [entry, text] : {std::pair{1, "129"}, {1, "0"}, {0, "29"}, {2, "7"}, {0, ""}}) {
        w.rightPress(xAt(60), yAt(1, 30));
        f().positionPanel.kindList.setListIndex(entry);
        f().positionPanel.valueBox.setText(text);
        f().positionPanel.setButton.click();
        EXPECT_FALSE(f().positionPanel.visible);
    }
    EXPECT_EQ(w.ui.messages, (std::vector<std::string>{
                                 "楽器は1～128の数字です。", "楽器は1～128の数字です。",
                                 "テンポは30～600の数字です。", "ボリュームは0～6の数字です。",
                                 "何を何に変更するのか決めてください。"}));
    EXPECT_EQ(std::vector<ControlChange>(w.song.changes.begin(), w.song.changes.begin() + 5),
              before);

    // An instrument typed as 1 on the upper band's part 0 stores 0.
    w.rightPress(xAt(60), yAt(0, 30));
    f().positionPanel.kindList.setListIndex(1);
    f().positionPanel.valueBox.setText("1");
    f().positionPanel.setButton.click();
    EXPECT_EQ(w.song.changes[4], (ControlChange{60, 0, kInstrumentChange}));

    // Deleting them all leaves the start tempo and the end marker behind it.
    for (int32_t pos : {24, 48, 60}) {
        const int32_t j = std::find_if(w.song.changes.begin() + 2, w.song.changes.end(),
                                       [&](const ControlChange& c) { return c.position == pos; }) -
                          w.song.changes.begin();
        f().view.changeUnderCursor = j;
        f().positionPanel.visible = true;
        f().positionPanel.deleteButton.click();
        EXPECT_FALSE(f().positionPanel.visible);
    }
    EXPECT_EQ(w.song.changeCount, 1);
    EXPECT_EQ(w.song.changes[1], (ControlChange{0, 120, kTempoChange}));
    EXPECT_EQ(w.song.changes[2].position, kEndMarkerPos);
}

TEST_F(Editing, PitchBendStripLimitedToTheDataRange) {
    f().pitchBendMouseMove(0, 0, 100, 0.5f);
    EXPECT_EQ(w.sent().back(), pack(0xE0, 0, 100));
    EXPECT_EQ(f().pitchBendIndicator.x1, 100);
    f().pitchBendMouseMove(0, 0, 300, 0.5f);
    EXPECT_EQ(w.sent().back(), pack(0xE0, 0, 127));
    f().pitchBendMouseMove(0, 0, -20, 0.5f);
    EXPECT_EQ(w.sent().back(), pack(0xE0, 0, 0));
    f().upperPartButtons[4].click();
    f().scoreMouseMove(0, 0, xAt(12), yAt(1, 30));
    EXPECT_EQ(w.sent().back(), pack(0xE4, 0, 64));
    EXPECT_EQ(f().pitchBendIndicator.x1, 64);
    EXPECT_EQ(f().pitchBendIndicator.x2, 64);
}

TEST_F(Editing, OneInstrumentForEveryPartButPercussion) {
    w.song.changes = {ControlChange{},
                      ControlChange{0, 120, kTempoChange},
                      ControlChange{10, 5 * 16 + 3, kInstrumentChange},
                      ControlChange{20, 7 * 16 + 9, kInstrumentChange},
                      ControlChange{30, 5 * 16 + 9, kVolumeChange},
                      ControlChange{kEndMarkerPos, 0, 0}};
    w.song.changeCount = 4;
    w.song.partPrograms[9] = 7;
    f().allFluteMenu.click();
    for (int i = 0; i < kPartCount; ++i) EXPECT_EQ(w.song.partPrograms[i], i == 9 ? 7 : 73) << i;
    EXPECT_EQ(w.song.changes[2].value, 73 * 16 + 3);
    EXPECT_EQ(w.song.changes[3].value, 7 * 16 + 9);
    EXPECT_EQ(w.song.changes[4].value, 5 * 16 + 9);
    EXPECT_EQ(f().bandInstrumentLists[0].listIndex, 73);
    EXPECT_EQ(f().bandInstrumentLists[0].items[73], "74: フルート");
    EXPECT_EQ(f().bandInstrumentLists[1].listIndex, 0); // the lower band shows part 9
    const auto sent = w.sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), pack(0xC5, 73, 0)), sent.end());
    EXPECT_EQ(std::find(sent.begin(), sent.end(), pack(0xC9, 73, 0)), sent.end());
    EXPECT_TRUE(w.modified());

    w.ui.inputAnswer = "128";
    f().allOtherInstrumentMenu.click();
    EXPECT_EQ(w.song.partPrograms[0], 127);
    for (const char* bad : {"0", "129", "abc", "", "1.5"}) {
        w.ui.inputAnswer = bad;
        f().allOtherInstrumentMenu.click();
    }
    EXPECT_EQ(w.ui.messages.size(), 5u);
    EXPECT_EQ(w.ui.messages[0], "1～128の範囲で数字を入れてください。");
    EXPECT_EQ(w.song.partPrograms[0], 127);
}

TEST_F(Editing, BandVolumeAndInstrumentMarkTheSongOnlyWhenTheUserChangesThem) {
    f().upperPartButtons[3].click(); // showing a part's settings is no change
    EXPECT_FALSE(w.modified());
    f().bandVolumeScrollBars[0].setValue(6);
    EXPECT_EQ(w.song.partVolumes[3], 6);
    EXPECT_EQ(w.sent().back(), pack(0xB3, 7, 120));
    EXPECT_EQ(f().bandVolumeBoxes[0].text(), "6");
    EXPECT_TRUE(w.modified());
    f().bandVolumeBoxes[0].setText("3"); // takes no typing
    EXPECT_EQ(f().bandVolumeBoxes[0].text(), "6");
    EXPECT_EQ(w.song.partVolumes[3], 6);

    w.markSaved();
    f().partSettingsLoaded(); // a load sets the lists
    EXPECT_FALSE(w.modified());
    f().bandInstrumentLists[0].setListIndex(41);
    EXPECT_EQ(w.song.partPrograms[3], 41);
    EXPECT_TRUE(w.modified());
}

TEST_F(Editing, NotesOutOfPositionOrderAreDrawnHoveredDeletedAndAddedOnALaterPage) {
    // Part 1's notes, then part 10's, as a script might write a song file.
    w.setNotes({note(12, 60, 12, 0), note(156, 60, 12, 0), note(300, 60, 12, 0),
                note(12, 64, 12, 9), note(156, 64, 12, 9), note(300, 64, 12, 9)});
    f().redrawScore();
    f().pageScrollBar.setValue(2);
    EXPECT_EQ(w.canvas.ofKind(DrawOp::Circle).size(), 2u) << "both parts' notes of page 3";

    // The upper band's note is found under the pointer, and a click deletes it.
    f().scoreMouseMove(0, 0, xAt(12), yAt(0, 35));
    EXPECT_TRUE(f().noteMarker.visible);
    EXPECT_EQ(f().view.noteUnderCursor, 3);
    w.click(xAt(12), yAt(0, 35));
    EXPECT_TRUE(w.ui.messages.empty());
    std::vector<std::pair<int32_t, int>> left;
    for (int32_t i = 1; i <= w.song.noteCount(); ++i)
        left.emplace_back(w.song.notes[i].position, w.song.notes[i].part);
    EXPECT_EQ(left, (std::vector<std::pair<int32_t, int>>{
                        {12, 0}, {156, 0}, {12, 9}, {156, 9}, {300, 9}}));
    EXPECT_EQ(w.canvas.ofKind(DrawOp::Circle).size(), 1u);

    // A new note goes where counting every note puts it: behind the four
    // earlier ones, before part 10's higher note at its position.
    w.click(xAt(12), yAt(0, 36));
    ASSERT_EQ(w.song.noteCount(), 6);
    EXPECT_EQ(w.song.notes[5].position, 300);
    EXPECT_EQ(w.song.notes[5].key, 62);
    EXPECT_EQ(w.song.notes[5].part, 0);
    EXPECT_EQ(w.song.notes[6].part, 9);
    EXPECT_EQ(w.canvas.ofKind(DrawOp::Circle).size(), 2u);
}

TEST_F(Editing, DigitOnlyBoxes) {
    f().lengthTools[8].click();
    EXPECT_TRUE(f().lengthBox.visible);
    f().lengthBox.setText("240");
    EXPECT_EQ(f().view.newNoteLength, 240);
    f().lengthBox.setText("2400"); // a fourth digit is refused
    EXPECT_EQ(f().lengthBox.text(), "240");
    EXPECT_EQ(f().view.newNoteLength, 240);
    f().lengthBox.setText("9x"); // pasted text keeps its digits
    EXPECT_EQ(f().lengthBox.text(), "9");
    EXPECT_EQ(f().view.newNoteLength, 9);
    f().lengthBox.setText("");
    EXPECT_EQ(f().view.newNoteLength, 9);
    f().lengthBox.setText("7");
    for (const char* zero : {"0", "00", "000"}) { // a note lasts at least one step
        f().lengthBox.setText(zero);
        EXPECT_EQ(f().lengthBox.text(), "7") << zero;
        EXPECT_EQ(f().view.newNoteLength, 7) << zero;
    }
    f().lengthBox.setText("240");
    w.click(xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.notes[1].length, 240);
    f().lengthTools[3].click();
    EXPECT_FALSE(f().lengthBox.visible);
    EXPECT_EQ(f().view.newNoteLength, 6);

    w.markSaved();
    f().tempoBox.setText("1a5O");
    EXPECT_EQ(f().tempoBox.text(), "15");
    f().tempoBox.commit();
    EXPECT_EQ(w.song.tempoText, "15");
    EXPECT_TRUE(w.modified());
    w.rightPress(xAt(12), yAt(0, 30));
    f().positionPanel.valueBox.setText("6-0");
    EXPECT_EQ(f().positionPanel.valueBox.text(), "60");
    f().positionPanel.valueBox.setText("99999999999999999999");
    f().positionPanel.setButton.click();
    EXPECT_EQ(w.ui.messages, (std::vector<std::string>{"テンポは30～600の数字です。"}));
}

} // namespace
} // namespace vako::test
