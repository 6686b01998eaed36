// Writing music on the staff with the window model: mouse, keys, panels,
// chords, instruments and undo, against the recording canvas and device.
#include "ViewTestSupport.h"

#include "editor/ControlChanges.h"
#include "editor/KeyCodes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vako::test {
namespace {

constexpr uint32_t pack(int status, int d1, int d2) {
    return status + d1 * 256 + d2 * 65536;
}

// View x of a position on the page with the sixteenth grid (positions that
// are multiples of 3), and with the finest grid.
float xAt(int pos) {
    return 5.0f * (pos + 18) + 7;
}
float xFine(int pos) {
    return 5.0f * (pos + 19) + 2;
}
// View y of a row of the upper (0) or lower (1) band.
float yAt(int staff, int row) {
    return (staff == 0 ? -600.0f : 0.0f) - 10.0f * (row - 6) - 5;
}

struct Editing : ::testing::Test {
    void SetUp() override {
        w.load();
        w.song.bytModified = 0;
        if (w.midi) w.midi->clear();
    }
    Formmain& f() { return *w.form; }
    void click(int button, float X, float Y) {
        f().Picture1_MouseMove(0, 0, X, Y);
        f().Picture1_MouseDown(button, 0, X, Y);
        f().Picture1_MouseUp(button, 0, X, Y);
    }
    void leftClick(float X, float Y) { click(1, X, Y); }
    std::vector<int> notes() const {
        std::vector<int> out;
        for (int32_t i = 1; i <= w.song.noteCount(); ++i) out.push_back(w.song.udtNotes[i].bytNote);
        return out;
    }
    std::vector<uint32_t> sentWithout(uint32_t statusHigh) const {
        std::vector<uint32_t> out;
        for (uint32_t m : w.sent())
            if ((m & 0xF0) != statusHigh) out.push_back(m);
        return out;
    }
    Window w;
};

TEST_F(Editing, AddingIntoAnEmptySongAndTheHoverAfterIt) {
    leftClick(xAt(12), yAt(1, 35));
    ASSERT_EQ(w.song.varNoteCountX2, 2);
    const NoteRec& n = w.song.udtNotes[1];
    EXPECT_EQ(n.lngPos, 12);
    EXPECT_EQ(n.bytNote, 60);
    EXPECT_EQ(n.lngLen, 12);
    EXPECT_EQ(n.bytPart, 9); // the lower band shows the percussion part
    EXPECT_EQ(n.bytVelocity, 120);
    EXPECT_EQ(n.bytPan, 64);
    EXPECT_EQ(n.bytModulation, 0);
    EXPECT_EQ(w.song.bytModified, 1);
    EXPECT_TRUE(f().やり直し.enabled);
    EXPECT_EQ(w.song.lngUndoNoteCount, 0);
    // The move after the release finds the new note under the pointer.
    EXPECT_TRUE(f().Shape3.visible);
    EXPECT_EQ(f().view.varSelNote, 1);
    EXPECT_EQ(f().Label1.caption,
              "全音符数は 1 　　　　　　　　　　　　　カーソル位置は 12 区切り目");
    EXPECT_EQ(f().Label7.caption, "ド");
    // The note is drawn.
    EXPECT_FALSE(w.canvas.ofKind(DrawOp::Circle).empty());
}

TEST_F(Editing, HoverMovesTheCursorLedgerLinesAndMarker) {
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(0, 49)); // two ledger lines above the upper band
    EXPECT_EQ(f().Shape6.left, 150 - 4);
    EXPECT_EQ(f().Shape6.top, -600 - 10 * (49 - 5) - 7);
    EXPECT_TRUE(f().Line2[0].visible);
    EXPECT_TRUE(f().Line2[1].visible);
    EXPECT_FALSE(f().Line2[2].visible);
    EXPECT_EQ(f().Line2[1].y1, -600 - 420 - 20);
    EXPECT_EQ(f().Line2[1].x1, 150 - 15);
    EXPECT_FALSE(f().Line3[0].visible);
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(1, 19)); // below the bass staff
    EXPECT_TRUE(f().Line3[1].visible);
    EXPECT_FALSE(f().Line3[3].visible);
    EXPECT_EQ(f().Line3[0].y1, -180);
    EXPECT_FALSE(f().Line2[0].visible);
    // Off the page on the right nothing follows.
    f().Picture1_MouseMove(0, 0, 830, yAt(1, 30));
    EXPECT_EQ(f().Shape6.left, 150 - 4);
}

TEST_F(Editing, NotesOfTheSamePositionKeepPitchOrderAndBandsKeepTheirParts) {
    leftClick(xAt(24), yAt(1, 37)); // 64
    leftClick(xAt(24), yAt(1, 35)); // 60 goes before it
    leftClick(xAt(24), yAt(1, 39)); // 67 after
    leftClick(xAt(24), yAt(0, 35)); // 60 of the upper band's part 0
    EXPECT_EQ(notes(), (std::vector<int>{60, 60, 64, 67}));
    EXPECT_EQ(w.song.udtNotes[1].bytPart, 0); // an equal note goes before the others
    EXPECT_EQ(w.song.udtNotes[2].bytPart, 9);
    // Each band highlights only its own part's note.
    f().Picture1_MouseMove(0, 0, xAt(24), yAt(0, 35));
    EXPECT_EQ(f().view.varSelNote, 1);
    f().Picture1_MouseMove(0, 0, xAt(24), yAt(1, 35));
    EXPECT_EQ(f().view.varSelNote, 2);
    f().Picture1_MouseMove(0, 0, xAt(24), yAt(0, 37));
    EXPECT_EQ(f().view.varSelNote, 0);
    EXPECT_FALSE(f().Shape3.visible);
}

TEST_F(Editing, ChordsPlacePreviewAndSilenceTheSameKeys) {
    f().和音入力有効.click();
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(0, 35));
    f().Picture1_MouseDown(1, 0, xAt(12), yAt(0, 35));
    EXPECT_EQ(w.sent().back(), pack(0x90, 67, 120));
    f().VScroll3.setValue(3); // transposition changed while the key is held
    f().Picture1_MouseUp(1, 0, xAt(12), yAt(0, 35));
    EXPECT_EQ(notes(), (std::vector<int>{60, 64, 67}));
    EXPECT_EQ(w.song.varNoteCountX2, 6);
    const std::vector<uint32_t> keys = sentWithout(0xE0);
    EXPECT_EQ(keys,
              (std::vector<uint32_t>{pack(0x90, 60, 120), pack(0x90, 64, 120), pack(0x90, 67, 120),
                                     pack(0x80, 60, 0), pack(0x80, 64, 0), pack(0x80, 67, 0)}));

    // A seventh on the top row: the tone 120 is neither sounded nor placed.
    f().セブンス.click();
    EXPECT_EQ(f().view.lngChordCode, 18340);
    EXPECT_TRUE(f().セブンス.checked);
    EXPECT_FALSE(f().メジャー.checked);
    w.midi->clear();
    leftClick(xAt(36), yAt(1, 64));
    EXPECT_EQ(w.song.varNoteCountX2, 12);
    for (int32_t i = 1; i <= w.song.noteCount(); ++i) EXPECT_LT(w.song.udtNotes[i].bytNote, 120);
    // Transposed by 3 (part 9 is never shifted, so go to the upper band for that).
    const std::vector<uint32_t> top = sentWithout(0xE0);
    EXPECT_EQ(top, (std::vector<uint32_t>{pack(0x99, 110, 120), pack(0x99, 114, 120),
                                          pack(0x99, 117, 120), pack(0x89, 110, 0),
                                          pack(0x89, 114, 0), pack(0x89, 117, 0)}));
    w.midi->clear();
    f().Picture1_MouseDown(1, 0, xAt(48), yAt(0, 35));
    f().Picture1_MouseUp(1, 0, xAt(48), yAt(0, 35));
    const std::vector<uint32_t> shifted = sentWithout(0xE0);
    ASSERT_EQ(shifted.size(), 8u);
    EXPECT_EQ(shifted[0], pack(0x90, 57, 120));
    EXPECT_EQ(shifted[4], pack(0x80, 57, 0));
}

TEST_F(Editing, SharpAndFlatOptionsAndDeleting) {
    f().Option1[0].checked = false;
    f().Option1[1].checked = true;
    leftClick(xAt(12), yAt(1, 35));
    EXPECT_EQ(notes(), (std::vector<int>{61}));
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(1, 35));
    EXPECT_TRUE(f().Shape3.visible);
    // Deleting ignores the options: a click on the highlighted note removes it.
    f().Option1[1].checked = false;
    f().Option1[2].checked = true;
    leftClick(xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.varNoteCountX2, 0);
    leftClick(xAt(12), yAt(1, 35));
    EXPECT_EQ(notes(), (std::vector<int>{59}));
    EXPECT_TRUE(w.ui.messages.empty());
}

TEST_F(Editing, ADeleteWhoseReleaseMissesTheNoteIsRefused) {
    leftClick(xAt(12), yAt(1, 35));
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(1, 35));
    f().Picture1_MouseDown(1, 0, xAt(12), yAt(1, 35));
    f().Picture1_MouseUp(1, 0, xAt(12), yAt(1, 40)); // moved without a move event
    EXPECT_EQ(w.ui.messages, (std::vector<std::string>{"その音符は削除できません。"}));
    EXPECT_EQ(w.song.varNoteCountX2, 2);
    EXPECT_EQ(w.song.lngUndoNoteCount, 2); // the copy was taken all the same
}

TEST_F(Editing, ReleasesOutsideTheRegionOrWhileLockedChangeNothing) {
    for (float y : {-0.5f, -1180.0f}) {
        w.song.bytModified = 0;
        f().やり直し.enabled = false;
        f().Picture1_MouseUp(1, 0, xAt(12), y);
        EXPECT_EQ(w.song.varNoteCountX2, 0) << y;
        EXPECT_EQ(w.song.bytModified, 1);
        EXPECT_TRUE(f().やり直し.enabled);
    }
    f().Picture1_MouseUp(1, 0, 100, yAt(1, 35));     // left of the first step
    f().Picture1_MouseUp(2, 0, xAt(12), yAt(1, 35)); // only the left button edits
    f().編集中.click();
    EXPECT_FALSE(f().編集中.checked);
    f().Picture1_MouseUp(1, 0, xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.varNoteCountX2, 0);
    f().編集中.click();
    f().Picture1_MouseUp(1, 0, xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.varNoteCountX2, 2);
}

TEST_F(Editing, TheFinestGridReachesTheNextPageAtTheRightEdge) {
    f().b48.click();
    f().Picture1_MouseUp(1, 0, 822, yAt(1, 35));
    ASSERT_EQ(w.song.varNoteCountX2, 2);
    EXPECT_EQ(w.song.udtNotes[1].lngPos, 145);
    f().Picture1_MouseUp(1, 0, xFine(1), yAt(1, 30));
    EXPECT_EQ(w.song.udtNotes[1].lngPos, 1);
    // On page 2 with 3/4 time, the third step of the second bar.
    f().h3.click();
    f().HScroll2.setRange(0, 5);
    f().HScroll2.setValue(2);
    leftClick(xFine(36 + 3), yAt(0, 30));
    EXPECT_EQ(w.song.udtNotes[3].lngPos, 327);
}

TEST_F(Editing, UndoGoesBackToBeforeTheLastMouseEdit) {
    leftClick(xAt(12), yAt(1, 35));
    leftClick(xAt(24), yAt(1, 35));
    f().やり直し.click();
    EXPECT_EQ(notes(), (std::vector<int>{60}));
    EXPECT_FALSE(f().やり直し.enabled);
    EXPECT_FALSE(f().Shape3.visible);
    f().やり直し.click(); // one level only
    EXPECT_EQ(w.song.varNoteCountX2, 2);

    // A panel delete is not undone by itself: undo returns to before the last
    // mouse edit and drops the delete as well.
    leftClick(xAt(36), yAt(1, 35));
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(1, 35));
    f().Picture1_MouseDown(2, 0, xAt(12), yAt(1, 35));
    ASSERT_TRUE(f().Picture2.visible);
    f().Command7.click();
    EXPECT_EQ(w.song.varNoteCountX2, 2);
    f().やり直し.click();
    EXPECT_EQ(w.song.varNoteCountX2, 2);
    EXPECT_EQ(w.song.udtNotes[1].lngPos, 12);
}

TEST_F(Editing, EditingHelpKeysAndTheirLimits) {
    w.setNotes({note(12, 60, 12, 9), note(12, 119, 12, 9), note(24, 62, 12, 9)});
    f().線引き();
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(1, 35));
    ASSERT_EQ(f().view.varSelNote, 1);
    NoteRec& n = w.song.udtNotes[1];
    f().Picture1_KeyDown('Q', 0);
    EXPECT_EQ(n.bytVelocity, 120);
    for (int i = 0; i < 25; ++i) f().Picture1_KeyDown('Z', 0);
    EXPECT_EQ(n.bytVelocity, 0);
    n.bytVelocity = 100; // from an imported file
    for (int i = 0; i < 20; ++i) f().Picture1_KeyDown('Z', 0);
    EXPECT_EQ(n.bytVelocity, 0);
    for (int i = 0; i < 12; ++i) f().Picture1_KeyDown('V', 0);
    EXPECT_EQ(n.bytPan, 128);
    n.bytPan = 70;
    for (int i = 0; i < 12; ++i) f().Picture1_KeyDown('X', 0);
    EXPECT_EQ(n.bytPan, 0);
    f().Picture1_KeyDown('E', 0);
    EXPECT_EQ(n.lngLen, 18);
    f().Picture1_KeyDown('5', 0);
    EXPECT_EQ(n.lngLen, 3);
    f().Picture1_KeyDown('F', 0);
    EXPECT_EQ(n.bytNote, 59);
    f().Picture1_KeyDown('S', 0);
    EXPECT_EQ(n.bytNote, 60);
    // The panel's lists follow the note.
    EXPECT_EQ(f().Combo2.listIndex, 20);
    EXPECT_EQ(f().Combo3.listIndex, 0);

    // Note 119 (its row lies above the band) goes no higher.
    w.song.udtNotes[2].bytNote = 119;
    f().view.varSelNote = 2;
    f().Shape3.visible = true;
    f().Picture1_KeyDown('S', 0);
    EXPECT_EQ(w.song.udtNotes[2].bytNote, 119);

    // Space removes exactly that note; the lists show the one moved into its place.
    w.song.udtNotes[3].bytVelocity = 60;
    f().Picture1_KeyDown(kKeySpace, 0);
    EXPECT_EQ(notes(), (std::vector<int>{60, 62}));
    EXPECT_FALSE(f().Shape3.visible);
    EXPECT_EQ(f().Combo2.listIndex, 10);
}

TEST_F(Editing, KeysMarkTheSongButCtrlBelongsToTheMenus) {
    f().Picture1_KeyDown('Z', kCtrlBit);
    EXPECT_EQ(w.song.bytModified, 0);
    f().Picture1_KeyDown('Z', 0); // nothing under the pointer, still a change
    EXPECT_EQ(w.song.bytModified, 1);
    EXPECT_TRUE(f().scoreFocusRequested);
}

TEST_F(Editing, DrumPadSoundsAndRecordsOnlyWhilePlaying) {
    f().打楽器をたたく.click();
    EXPECT_FALSE(f().編集の助け.checked);
    f().Picture1_KeyDown('Z', 0);
    f().Picture1_KeyDown('Z', kShiftBit);
    f().Picture1_KeyDown(kKeySemicolon, 0);
    f().Picture1_KeyDown('A', 0);               // no drum: note 0 is sounded
    f().Picture1_KeyDown('P', kAltBit);         // 59 + 120 leaves the range
    f().Picture1_KeyDown(kKeyShift, kShiftBit); // the Shift key itself
    EXPECT_EQ(sentWithout(0xE0), (std::vector<uint32_t>{pack(0x99, 24, 120), pack(0x99, 54, 120),
                                                        pack(0x99, 39, 120), pack(0x99, 0, 120)}));
    EXPECT_EQ(f().playback().state().lngTapCount, 0);

    // While playing, a hit is kept and marked at the play cursor.
    f().useClock(w.clock);
    w.setNotes({note(1, 60, 12, 0), note(400, 60, 12, 0)});
    f().Command4_MouseDown();
    ASSERT_FALSE(f().blnStopped());
    w.canvas.forget();
    f().Picture1_KeyDown('M', 0);
    f().Picture1_KeyDown('K', 0); // note 0 is never kept
    EXPECT_EQ(f().playback().state().lngTapCount, 1);
    EXPECT_EQ(f().playback().state().udtTapNotes[1].bytNote, 35);
    const auto lines = w.canvas.ofKind(DrawOp::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].y1, -150);
    EXPECT_EQ(lines[0].y2, -450);
    // A release during playback places nothing.
    f().Picture1_MouseUp(1, 0, xAt(12), yAt(0, 35));
    EXPECT_EQ(w.song.varNoteCountX2, 4);
    // Control changes stay as playback found them: the position panel does
    // not open, and one left open sets nothing but keeps its entry.
    f().Picture1_MouseMove(0, 0, xAt(60), yAt(0, 30));
    f().Picture1_MouseDown(2, 0, xAt(60), yAt(0, 30));
    EXPECT_FALSE(f().Picture3.visible);
    f().Picture3.visible = true;
    f().Text5.setText("90");
    f().Command5.click();
    EXPECT_TRUE(f().Picture3.visible);
    EXPECT_EQ(w.song.varCCCount, 1);
    f().Picture3.visible = false;
    f().Command4_MouseDown();
    EXPECT_TRUE(f().blnStopped());
    EXPECT_EQ(w.song.udtCCs[2].lngPos, kEndMarkerPos);
}

TEST_F(Editing, NotePanelActions) {
    w.setNotes({note(12, 60, 12, 9), note(24, 64, 12, 9)});
    f().線引き();
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(1, 35));
    f().Picture1_MouseDown(2, 0, xAt(12), yAt(1, 35));
    ASSERT_TRUE(f().Picture2.visible);
    EXPECT_EQ(f().Picture2.left, xAt(12) + 10);
    EXPECT_EQ(f().Picture2.top, yAt(1, 35) + 20 - 400);
    EXPECT_EQ(f().Combo2.listIndex, 0);
    EXPECT_EQ(f().Combo3.listIndex, 4);
    EXPECT_EQ(w.song.bytModified, 0); // showing the note changed nothing

    // While the panel is open the view neither sounds nor edits, and the
    // selection stays.
    w.midi->clear();
    f().Picture1_MouseMove(0, 0, xAt(24), yAt(1, 37));
    f().Picture1_MouseDown(1, 0, xAt(24), yAt(1, 37));
    f().Picture1_MouseUp(1, 0, xAt(24), yAt(1, 37));
    EXPECT_EQ(w.song.varNoteCountX2, 4);
    EXPECT_EQ(f().view.varSelNote, 1);
    EXPECT_EQ(sentWithout(0xE0), std::vector<uint32_t>{});

    f().Combo2.setListIndex(20);
    EXPECT_EQ(w.song.udtNotes[1].bytVelocity, 0);
    EXPECT_FALSE(f().Picture2.visible);
    EXPECT_EQ(w.song.bytModified, 1);
    f().Picture2.visible = true;
    f().Combo3.setListIndex(8);
    EXPECT_EQ(w.song.udtNotes[1].bytPan, 128);
    f().Picture2.visible = true;
    f().Option1[4].checked = true;
    f().Option1[4].click();
    EXPECT_EQ(w.song.udtNotes[1].bytNote, 61);
    EXPECT_FALSE(f().Option1[4].checked);
    f().Picture2.visible = true;
    f().Image4[11].click();
    EXPECT_EQ(w.song.udtNotes[1].lngLen, 18);
    EXPECT_FALSE(f().Picture2.visible);
    f().Picture2.visible = true;
    f().Command8.click();
    EXPECT_FALSE(f().Picture2.visible);
    f().Picture2.visible = true;
    f().Command7.click();
    EXPECT_EQ(notes(), (std::vector<int>{64}));

    // In the right part of the view and on the upper band the panel moves
    // left and up.
    f().Picture1_MouseMove(0, 0, xAt(24), yAt(1, 37));
    f().Picture1_MouseDown(2, 0, xAt(24), yAt(1, 37));
    f().Command8.click();
    w.setNotes({note(120, 60, 12, 0)});
    f().Picture1_MouseMove(0, 0, xAt(120), yAt(0, 35));
    f().Picture1_MouseDown(2, 0, xAt(120), yAt(0, 35));
    EXPECT_EQ(f().Picture2.left, xAt(120) + 10 - 400);
    EXPECT_EQ(f().Picture2.top, yAt(0, 35) + 20);
}

TEST_F(Editing, ANotePanelWithoutANoteDoesNothing) {
    w.setNotes({note(12, 60, 12, 9)});
    f().b48.click();
    f().Picture1_MouseMove(0, 0, xFine(12), yAt(1, 35));
    ASSERT_TRUE(f().Shape3.visible);
    // Off the page on the right: the marker stays up, but no note is chosen.
    f().Picture1_MouseMove(0, 0, 822, yAt(1, 35));
    EXPECT_TRUE(f().Shape3.visible);
    EXPECT_EQ(f().view.varSelNote, 0);
    f().Picture1_MouseDown(2, 0, 822, yAt(1, 35));
    EXPECT_FALSE(f().Picture2.visible);
    f().Picture1_KeyDown(kKeySpace, 0); // would have removed the spare record
    EXPECT_EQ(notes(), (std::vector<int>{60}));
    EXPECT_EQ(w.song.udtNotes[0], NoteRec{});
}

TEST_F(Editing, TheNoteCountReadOutFollowsAnUndoAndAKeyWithoutAHover) {
    leftClick(xAt(12), yAt(1, 35));
    leftClick(xAt(24), yAt(1, 35));
    EXPECT_EQ(f().Label1.caption,
              "全音符数は 2 　　　　　　　　　　　　　カーソル位置は 12 区切り目");
    f().やり直し.click(); // the pointer stays where it was
    EXPECT_EQ(f().Label1.caption,
              "全音符数は 1 　　　　　　　　　　　　　カーソル位置は 12 区切り目");
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(1, 35));
    f().Picture1_KeyDown(' ', 0); // deletes the note under the pointer
    EXPECT_EQ(f().Label1.caption,
              "全音符数は 0 　　　　　　　　　　　　　カーソル位置は 12 区切り目");
}

TEST_F(Editing, PositionPanelSetsChangesAndDeletes) {
    // A tempo at a position without a marker.
    f().Picture1_MouseMove(0, 0, xAt(48), yAt(0, 30));
    f().Picture1_MouseDown(2, 0, xAt(48), yAt(0, 30));
    ASSERT_TRUE(f().Picture3.visible);
    EXPECT_EQ(f().Command5.caption, "設定");
    EXPECT_EQ(f().Text5.text(), "0");
    EXPECT_FALSE(f().Command3.visible);
    EXPECT_EQ(f().view.varCursorPos, 48);
    EXPECT_EQ(f().Picture3.left, 330 + 10);
    f().Text5.setText("90");
    f().Command5.click();
    EXPECT_FALSE(f().Picture3.visible);
    ASSERT_EQ(w.song.varCCCount, 2);
    EXPECT_EQ(w.song.udtCCs[2], (CCRec{48, 90, kTempoChange}));
    EXPECT_EQ(w.song.udtCCs[3].lngPos, kEndMarkerPos);
    EXPECT_EQ(w.song.bytModified, 1);

    // A volume of part 3 on the lower band.
    f().Label12[3].click();
    f().Picture1_MouseMove(0, 0, xAt(24), yAt(1, 30));
    f().Picture1_MouseDown(2, 0, xAt(24), yAt(1, 30));
    f().Combo4.setListIndex(2);
    f().Text5.setText("5");
    f().Command5.click();
    ASSERT_EQ(w.song.varCCCount, 3);
    EXPECT_EQ(w.song.udtCCs[2], (CCRec{24, 5 * 16 + 3, kVolumeChange}));
    EXPECT_EQ(w.song.udtCCs[4].lngPos, kEndMarkerPos);

    // Its marker row: hovering selects it, the panel shows it and changes it in place.
    const float markerY = -75; // snapY -87: the volume row of the lower band
    f().Picture1_MouseMove(0, 0, xAt(24), markerY);
    EXPECT_EQ(f().view.lngSelCC, 2);
    EXPECT_TRUE(f().Shape4.visible);
    f().Picture1_MouseDown(2, 0, xAt(24), markerY);
    EXPECT_EQ(f().Combo4.listIndex, 2);
    EXPECT_EQ(f().Text5.text(), "5");
    EXPECT_EQ(f().Command5.caption, "変更");
    EXPECT_TRUE(f().Command3.visible);
    f().Text5.setText("2");
    f().Command5.click();
    EXPECT_EQ(w.song.varCCCount, 3);
    EXPECT_EQ(w.song.udtCCs[2].lngValue, 2 * 16 + 3);
    EXPECT_EQ(f().view.lngSelCC, 0);

    // Out of range and empty entries: messages, and nothing changes.
    const std::vector<CCRec> before(w.song.udtCCs.begin(), w.song.udtCCs.begin() + 5);
    for (auto [entry, text] : {std::pair{1, "129"}, {1, "0"}, {0, "29"}, {2, "7"}, {0, ""}}) {
        f().Picture1_MouseMove(0, 0, xAt(60), yAt(1, 30));
        f().Picture1_MouseDown(2, 0, xAt(60), yAt(1, 30));
        f().Combo4.setListIndex(entry);
        f().Text5.setText(text);
        f().Command5.click();
        EXPECT_FALSE(f().Picture3.visible);
    }
    EXPECT_EQ(w.ui.messages, (std::vector<std::string>{
                                 "楽器は1～128の数字です。", "楽器は1～128の数字です。",
                                 "テンポは30～600の数字です。", "ボリュームは0～6の数字です。",
                                 "何を何に変更するのか決めてください。"}));
    EXPECT_EQ(std::vector<CCRec>(w.song.udtCCs.begin(), w.song.udtCCs.begin() + 5), before);

    // An instrument typed as 1 on the upper band's part 0 stores 0.
    f().Picture1_MouseMove(0, 0, xAt(60), yAt(0, 30));
    f().Picture1_MouseDown(2, 0, xAt(60), yAt(0, 30));
    f().Combo4.setListIndex(1);
    f().Text5.setText("1");
    f().Command5.click();
    EXPECT_EQ(w.song.udtCCs[4], (CCRec{60, 0, kInstrumentChange}));

    // Deleting them all leaves the start tempo and the end marker behind it.
    for (int32_t pos : {24, 48, 60}) {
        const int32_t j = std::find_if(w.song.udtCCs.begin() + 2, w.song.udtCCs.end(),
                                       [&](const CCRec& c) { return c.lngPos == pos; }) -
                          w.song.udtCCs.begin();
        f().view.lngSelCC = j;
        f().Picture3.visible = true;
        f().Command3.click();
        EXPECT_FALSE(f().Picture3.visible);
    }
    EXPECT_EQ(w.song.varCCCount, 1);
    EXPECT_EQ(w.song.udtCCs[1], (CCRec{0, 120, kTempoChange}));
    EXPECT_EQ(w.song.udtCCs[2].lngPos, kEndMarkerPos);
}

TEST_F(Editing, PitchBendStripLimitedToTheDataRange) {
    f().Picture4_MouseMove(0, 0, 100, 0.5f);
    EXPECT_EQ(w.sent().back(), pack(0xE0, 0, 100));
    EXPECT_EQ(f().Line4.x1, 100);
    f().Picture4_MouseMove(0, 0, 300, 0.5f);
    EXPECT_EQ(w.sent().back(), pack(0xE0, 0, 127));
    f().Picture4_MouseMove(0, 0, -20, 0.5f);
    EXPECT_EQ(w.sent().back(), pack(0xE0, 0, 0));
    f().Label6[4].click();
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(1, 30));
    EXPECT_EQ(w.sent().back(), pack(0xE4, 0, 64));
    EXPECT_EQ(f().Line4.x1, 64);
    EXPECT_EQ(f().Line4.x2, 64);
}

TEST_F(Editing, OneInstrumentForEveryPartButPercussion) {
    w.song.udtCCs = {CCRec{},
                     CCRec{0, 120, kTempoChange},
                     CCRec{10, 5 * 16 + 3, kInstrumentChange},
                     CCRec{20, 7 * 16 + 9, kInstrumentChange},
                     CCRec{30, 5 * 16 + 9, kVolumeChange},
                     CCRec{kEndMarkerPos, 0, 0}};
    w.song.varCCCount = 4;
    w.song.bytPartInstrument[9] = 7;
    f().フルートに変更.click();
    for (int i = 0; i < kPartCount; ++i)
        EXPECT_EQ(w.song.bytPartInstrument[i], i == 9 ? 7 : 73) << i;
    EXPECT_EQ(w.song.udtCCs[2].lngValue, 73 * 16 + 3);
    EXPECT_EQ(w.song.udtCCs[3].lngValue, 7 * 16 + 9);
    EXPECT_EQ(w.song.udtCCs[4].lngValue, 5 * 16 + 9);
    EXPECT_EQ(f().Combo1[0].listIndex, 73);
    EXPECT_EQ(f().Combo1[0].items[73], "74: フルート");
    EXPECT_EQ(f().Combo1[1].listIndex, 0); // the lower band shows part 9
    const auto sent = w.sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), pack(0xC5, 73, 0)), sent.end());
    EXPECT_EQ(std::find(sent.begin(), sent.end(), pack(0xC9, 73, 0)), sent.end());
    EXPECT_EQ(w.song.bytModified, 1);

    w.ui.inputAnswer = "128";
    f().その他の楽器に変更.click();
    EXPECT_EQ(w.song.bytPartInstrument[0], 127);
    for (const char* bad : {"0", "129", "abc", "", "1.5"}) {
        w.ui.inputAnswer = bad;
        f().その他の楽器に変更.click();
    }
    EXPECT_EQ(w.ui.messages.size(), 5u);
    EXPECT_EQ(w.ui.messages[0], "1～128の範囲で数字を入れてください。");
    EXPECT_EQ(w.song.bytPartInstrument[0], 127);
}

TEST_F(Editing, BandVolumeAndInstrumentMarkTheSongOnlyWhenTheUserChangesThem) {
    f().Label6[3].click(); // showing a part's settings is no change
    EXPECT_EQ(w.song.bytModified, 0);
    f().VScroll4[0].setValue(6);
    EXPECT_EQ(w.song.intPartVolume[3], 6);
    EXPECT_EQ(w.sent().back(), pack(0xB3, 7, 120));
    EXPECT_EQ(f().Text9[0].text(), "6");
    EXPECT_EQ(w.song.bytModified, 1);
    f().Text9[0].setText("3"); // takes no typing
    EXPECT_EQ(f().Text9[0].text(), "6");
    EXPECT_EQ(w.song.intPartVolume[3], 6);

    w.song.bytModified = 0;
    f().selectBandInstrument(0, 40); // a load or playback sets the list
    f().setBandVolume(0, 2);
    EXPECT_EQ(w.song.bytModified, 0);
    f().Combo1[0].setListIndex(41);
    EXPECT_EQ(w.song.bytPartInstrument[3], 41);
    EXPECT_EQ(w.song.bytModified, 1);
}

TEST_F(Editing, NotesOutOfPositionOrderAreDrawnHoveredDeletedAndAddedOnALaterPage) {
    // Part 1's notes, then part 10's, as a script might write a song file.
    w.setNotes({note(12, 60, 12, 0), note(156, 60, 12, 0), note(300, 60, 12, 0),
                note(12, 64, 12, 9), note(156, 64, 12, 9), note(300, 64, 12, 9)});
    f().線引き();
    f().HScroll2.setValue(2);
    EXPECT_EQ(w.canvas.ofKind(DrawOp::Circle).size(), 2u) << "both parts' notes of page 3";

    // The upper band's note is found under the pointer, and a click deletes it.
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(0, 35));
    EXPECT_TRUE(f().Shape3.visible);
    EXPECT_EQ(f().view.varSelNote, 3);
    leftClick(xAt(12), yAt(0, 35));
    EXPECT_TRUE(w.ui.messages.empty());
    std::vector<std::pair<int32_t, int>> left;
    for (int32_t i = 1; i <= w.song.noteCount(); ++i)
        left.emplace_back(w.song.udtNotes[i].lngPos, w.song.udtNotes[i].bytPart);
    EXPECT_EQ(left, (std::vector<std::pair<int32_t, int>>{{12, 0}, {156, 0}, {12, 9}, {156, 9},
                                                          {300, 9}}));
    EXPECT_EQ(w.canvas.ofKind(DrawOp::Circle).size(), 1u);

    // A new note goes where counting every note puts it: behind the four
    // earlier ones, before part 10's higher note at its position.
    leftClick(xAt(12), yAt(0, 36));
    ASSERT_EQ(w.song.noteCount(), 6);
    EXPECT_EQ(w.song.udtNotes[5].lngPos, 300);
    EXPECT_EQ(w.song.udtNotes[5].bytNote, 62);
    EXPECT_EQ(w.song.udtNotes[5].bytPart, 0);
    EXPECT_EQ(w.song.udtNotes[6].bytPart, 9);
    EXPECT_EQ(w.canvas.ofKind(DrawOp::Circle).size(), 2u);
}

TEST_F(Editing, DigitOnlyBoxes) {
    f().Image4[8].click();
    EXPECT_TRUE(f().Text4.visible);
    f().Text4.setText("240");
    EXPECT_EQ(f().view.intNoteLen, 240);
    f().Text4.setText("2400"); // a fourth digit is refused
    EXPECT_EQ(f().Text4.text(), "240");
    EXPECT_EQ(f().view.intNoteLen, 240);
    f().Text4.setText("9x"); // pasted text keeps its digits
    EXPECT_EQ(f().Text4.text(), "9");
    EXPECT_EQ(f().view.intNoteLen, 9);
    f().Text4.setText("");
    EXPECT_EQ(f().view.intNoteLen, 9);
    f().Text4.setText("7");
    for (const char* zero : {"0", "00", "000"}) { // a note lasts at least one step
        f().Text4.setText(zero);
        EXPECT_EQ(f().Text4.text(), "7") << zero;
        EXPECT_EQ(f().view.intNoteLen, 7) << zero;
    }
    f().Text4.setText("240");
    leftClick(xAt(12), yAt(1, 35));
    EXPECT_EQ(w.song.udtNotes[1].lngLen, 240);
    f().Image4[3].click();
    EXPECT_FALSE(f().Text4.visible);
    EXPECT_EQ(f().view.intNoteLen, 6);

    w.song.bytModified = 0;
    f().Text1.setText("1a5O");
    EXPECT_EQ(f().Text1.text(), "15");
    EXPECT_EQ(w.song.tempoText, "15");
    EXPECT_EQ(w.song.bytModified, 1);
    f().Picture1_MouseMove(0, 0, xAt(12), yAt(0, 30));
    f().Picture1_MouseDown(2, 0, xAt(12), yAt(0, 30));
    f().Text5.setText("6-0");
    EXPECT_EQ(f().Text5.text(), "60");
    f().Text5.setText("99999999999999999999");
    f().Command5.click();
    EXPECT_EQ(w.ui.messages, (std::vector<std::string>{"テンポは30～600の数字です。"}));
}

} // namespace
} // namespace vako::test
