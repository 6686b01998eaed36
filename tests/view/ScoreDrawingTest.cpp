// The full redraw and the note display, checked on the recording canvas.
#include "ViewTestSupport.h"

#include "song/Messages.h"
#include "song/SongWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <tuple>

namespace vako::test {
namespace {

class ScoreDrawing : public ::testing::Test {
protected:
    void SetUp() override { w.load(); }
    MainWindowModel& f() { return *w.form; }
    void draw(const std::vector<Note>& notes) {
        w.setNotes(notes);
        f().redrawScore();
    }
    std::vector<DrawOp> verticalLines(Rgb c, double yTop) const {
        std::vector<DrawOp> out;
        for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line))
            if (op.x1 == op.x2 && op.colour == c && op.y1 == -200 - yTop && op.y2 == -400 - yTop)
                out.push_back(op);
        return out;
    }
    Window w;
};

TEST_F(ScoreDrawing, EmptySongDrawsTheTwoGrandStaves) {
    draw({});
    const auto ops = w.canvas.ops();
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops[0].kind, DrawOp::Clear);
    ASSERT_EQ(ops[1].kind, DrawOp::Line); // the separator, in the fore colour
    EXPECT_EQ(std::tuple(ops[1].x1, ops[1].y1, ops[1].x2, ops[1].colour),
              std::tuple(-200.0, -595.0, 1100.0, colour::kBlack));
    std::vector<double> staffYs;
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line))
        if (op.y1 == op.y2 && op.x1 == 100 && op.x2 == 820) staffYs.push_back(op.y1);
    ASSERT_EQ(staffYs.size(), 20u);
    EXPECT_EQ(std::count(staffYs.begin(), staffYs.end(), -300), 0); // middle C left empty
    EXPECT_EQ(std::count(staffYs.begin(), staffYs.end(), -900), 0);
    EXPECT_EQ(staffYs.front(), -200);
    EXPECT_EQ(staffYs.back(), -1000 - 600 + 600);
    EXPECT_EQ(f().pageLabels[1].caption, "1 / 1 ページ");
    EXPECT_EQ(f().pageScrollBar.max, 1);
    EXPECT_TRUE(w.canvas.ofKind(DrawOp::Circle).empty());
    // Three bar numbers over the upper band.
    const auto texts = w.canvas.texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(std::tuple(texts[0].text, texts[0].x1, texts[0].y1),
              std::tuple(std::string(" 1 "), 215.0, -1175.0));
    EXPECT_EQ(w.canvas.foreColour(), colour::kBlack);
    EXPECT_EQ(w.canvas.drawWidth(), 1);
}

TEST_F(ScoreDrawing, DivisionBeatAndBarLinesFollowGridAndMeter) {
    f().gridQuartersMenu.click();
    EXPECT_TRUE(verticalLines(colour::kLightGrey, 0).empty());
    f().gridEighthsMenu.click();
    EXPECT_EQ(verticalLines(colour::kLightGrey, 0).size(), 18u);
    f().gridFortyEighthsMenu.click();
    EXPECT_EQ(verticalLines(colour::kLightGrey, 0).size(), 18u * 11);
    EXPECT_EQ(verticalLines(colour::kLightGrey, 600).size(), 18u * 11);
    EXPECT_EQ(verticalLines(colour::kGrey, 0).size(), 18u);
    f().meterThreeMenu.click();
    std::vector<double> bars;
    for (const DrawOp& op : verticalLines(colour::kBlack, 0)) bars.push_back(op.x1);
    EXPECT_EQ(bars, (std::vector<double>{100, 280, 460, 640, 820, 1000, 1180}));
    // Bar lines come after the beat lines they cover.
    const auto lines = w.canvas.ofKind(DrawOp::Line);
    const auto lastGrey = std::find_if(lines.rbegin(), lines.rend(),
                                       [](const DrawOp& op) { return op.colour == colour::kGrey; });
    const auto firstBar = std::find_if(lines.begin(), lines.end(), [](const DrawOp& op) {
        return op.colour == colour::kBlack && op.x1 == 280 && op.y1 == -200;
    });
    EXPECT_LT(firstBar - lines.begin(), lines.rend() - lastGrey);
    // Meter 3: bar numbers 1 to 4.
    std::vector<double> xs;
    for (const DrawOp& op : w.canvas.texts()) xs.push_back(op.x1);
    EXPECT_EQ(xs, (std::vector<double>{195, 375, 555, 735}));
}

TEST_F(ScoreDrawing, PlaybackLeavesOutTheDivisionLinesAndCountsFromThePlayList) {
    f().gridFortyEighthsMenu.click();
    // The last event is the note-off at 500 + 12.
    w.setNotes({note(10, 60, 12, 0), note(500, 62, 12, 0)});
    f().useClock(w.clock);
    f().togglePlayback();
    ASSERT_FALSE(f().stopped());
    // The page count keeps to what is playing.
    f().redrawScore();
    EXPECT_TRUE(verticalLines(colour::kLightGrey, 0).empty());
    EXPECT_EQ(f().pageScrollBar.max, 512 / 144 + 1);
    EXPECT_TRUE(w.ui.messages.empty()) << "no error path";
}

TEST_F(ScoreDrawing, WholeNoteIsAHollowHeadWithoutStem) {
    draw({note(1, 60, 48, 9)}); // part 9: the lower band
    const auto circles = w.canvas.ofKind(DrawOp::Circle);
    ASSERT_EQ(circles.size(), 1u);
    EXPECT_EQ(std::tuple(circles[0].x1, circles[0].y1, circles[0].radius, circles[0].aspect,
                         circles[0].fillStyle, circles[0].colour),
              std::tuple(98.0, -300.0, 6.0, 0.7, FillStyle::Transparent, colour::kBlack));
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line)) EXPECT_NE(op.x1, 104) << "no stem";
    // Percussion notes have no name labels.
    EXPECT_EQ(w.canvas.texts().size(), 3u);
}

TEST_F(ScoreDrawing, ShapesFollowTheLengthTable) {
    // A dotted eighth (9) of note 64 on the upper band at column 12.
    draw({note(13, 64, 9, 0)});
    const int x = 90 + 5 * 12, y = 43 - 70 * 5 - 10 * 2 - 600;
    const auto circles = w.canvas.ofKind(DrawOp::Circle);
    ASSERT_EQ(circles.size(), 1u);
    EXPECT_EQ(std::tuple(circles[0].x1, circles[0].y1, circles[0].fillStyle, circles[0].fillColour),
              std::tuple(x + 8.0, y + 7.0, FillStyle::Solid, colour::kBlack));
    const auto points = w.canvas.ofKind(DrawOp::Point); // the dot
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(std::tuple(points[0].x1, points[0].drawWidth), std::tuple(x + 20.0, 3.0));
    bool stem = false, flag = false;
    const int top = y + 7 - 50;
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line)) {
        if (op.x1 == x + 14 && op.y1 == y + 7 && op.y2 == top && op.drawWidth == 1) stem = true;
        if (op.x1 == x + 21 && op.y1 == top + 13 && op.x2 == x + 16 && op.y2 == top + 8 &&
            op.drawWidth == 2)
            flag = true;
    }
    EXPECT_TRUE(stem);
    EXPECT_TRUE(flag);

    // Two flags and a short stem for a length of 1.
    draw({note(13, 64, 1, 0)});
    int flags = 0;
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line))
        if (op.drawWidth == 2) ++flags;
    EXPECT_EQ(flags, 2);
}

TEST_F(ScoreDrawing, LengthsOutsideTheTableGetABlueHead) {
    for (int len : {13, 47, 0, 49, 30}) {
        draw({note(1, 60, len, 0)});
        const auto circles = w.canvas.ofKind(DrawOp::Circle);
        ASSERT_EQ(circles.size(), 1u) << len;
        EXPECT_EQ(circles[0].fillColour, colour::kBlue) << len;
        EXPECT_EQ(circles[0].fillStyle, FillStyle::Solid) << len;
        for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line)) EXPECT_NE(op.x1, 104) << len;
    }
}

TEST_F(ScoreDrawing, SharpsAreRedAndNamedAfterTheWhiteKeyBelow) {
    draw({note(1, 61, 12, 0)});
    const auto circles = w.canvas.ofKind(DrawOp::Circle);
    ASSERT_EQ(circles.size(), 1u);
    EXPECT_EQ(std::tuple(circles[0].colour, circles[0].y1), std::tuple(colour::kRed, -900.0));
    const auto texts = w.canvas.texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(std::tuple(texts[0].text, texts[0].colour, texts[0].x1, texts[0].y1),
              std::tuple(std::string("ド"), colour::kRed, 92.0, -630.0));
    EXPECT_EQ(texts[1].colour, colour::kBlack); // the bar numbers
    f().showNoteNamesMenu.click();
    EXPECT_EQ(w.canvas.texts().size(), 3u);
}

TEST_F(ScoreDrawing, NamesOfAChordStackUpwards) {
    draw({note(1, 60, 12, 0), note(1, 64, 12, 0), note(1, 67, 12, 0), note(2, 65, 12, 0)});
    const auto texts = w.canvas.texts();
    ASSERT_EQ(texts.size(), 4u + 3u);
    std::vector<std::pair<std::string, double>> names; // a new x starts the stack again
    for (int i = 0; i < 4; ++i) names.emplace_back(texts[i].text, texts[i].y1);
    EXPECT_EQ(names, (std::vector<std::pair<std::string, double>>{
                         {"ド", -630}, {"ミ", -660}, {"ソ", -690}, {"フ", -630}}));
    // On the lower band the first label stands at 10 - 30.
    f().lowerPartButtons[0].click();
    f().upperPartButtons[1].click();
    const auto lower = w.canvas.texts();
    EXPECT_EQ(lower[0].y1, -20);
}

TEST_F(ScoreDrawing, APartOnBothBandsIsDrawnOnTheUpperOne) {
    f().lowerPartButtons[0].click(); // both bands show part 0
    draw({note(1, 60, 12, 0), note(1, 60, 12, 5)});
    const auto circles = w.canvas.ofKind(DrawOp::Circle);
    ASSERT_EQ(circles.size(), 1u); // part 5 is on neither band
    EXPECT_EQ(circles[0].y1, -900);
}

TEST_F(ScoreDrawing, PageCountAndThePlayButtonsFollowTheLastNote) {
    draw({note(143, 60, 12, 0)});
    EXPECT_EQ(f().pageLabels[1].caption, "1 / 1 ページ");
    draw({note(144, 60, 12, 0)});
    EXPECT_EQ(f().pageLabels[1].caption, "1 / 2 ページ");
    EXPECT_EQ(f().pageScrollBar.max, 2);
    draw({});
    EXPECT_FALSE(f().playButton.enabled || f().exportButton.enabled);
    w.setNotes({note(145, 60, 12, 0)});
    f().pageScrollBar.setRange(0, 5);
    f().pageScrollBar.setValue(1);
    EXPECT_TRUE(f().playButton.enabled && f().exportButton.enabled);
    f().pageScrollBar.setValue(2);
    EXPECT_FALSE(f().playButton.enabled || f().exportButton.enabled);
}

TEST_F(ScoreDrawing, ControlChangeMarkers) {
    f().showChangesMenu.click();
    w.song.changeCount = 5;
    w.song.changes.assign(7, ControlChange{});
    w.song.changes[1] = {0, 120, kTempoChange};
    w.song.changes[2] = {10, 40 * 16 + 0, kInstrumentChange}; // part 0: upper band
    w.song.changes[3] = {20, 5 * 16 + 9, kVolumeChange};      // part 9: lower band
    w.song.changes[4] = {30, 2 * 16 + 4, kVolumeChange};      // part 4: on neither band
    w.song.changes[5] = {144, 90, kTempoChange};              // shown on page 1
    w.song.changes[6].position = kEndMarkerPos;
    draw({});
    auto markerTexts = [&] {
        std::vector<DrawOp> out;
        for (const DrawOp& t : w.canvas.texts())
            if (t.text.rfind("■", 0) == 0) out.push_back(t);
        return out;
    };
    auto markers = markerTexts();
    ASSERT_EQ(markers.size(), 4u);
    const auto marker = [&](int i) {
        return std::tuple(markers[i].text, markers[i].colour, markers[i].x1, markers[i].y1);
    };
    // Above the treble staff of their band, a row for each kind from the top.
    EXPECT_EQ(marker(0), std::tuple(std::string("■テンポ120"), colour::kLightCyan, 88.0, -1135.0));
    EXPECT_EQ(marker(1), std::tuple(std::string("■楽器41"), colour::kMagenta, 138.0, -1105.0));
    EXPECT_EQ(marker(2), std::tuple(std::string("■ボリューム5"), colour::kYellow, 188.0, -475.0));
    EXPECT_GT(markers[3].y1, 20) << "below the view";

    // Page 1: the tempo change at step 144 stands at the left edge.
    w.setNotes({note(200, 60, 12, 0)});
    f().pageScrollBar.setRange(0, 2);
    f().pageScrollBar.setValue(1);
    markers = markerTexts();
    ASSERT_FALSE(markers.empty());
    EXPECT_EQ(markers.back().text, "■テンポ90");
    EXPECT_EQ(markers.back().x1, 88);

    // Both bands on part 0: its markers go to the lower band.
    f().pageScrollBar.setValue(0);
    f().lowerPartButtons[0].click();
    markers = markerTexts();
    EXPECT_EQ(markers[1].y1, -1105 + 600);
}

// Mended: the tempo marks stood on the first row of note names, instrument and
// volume marks on the second and third, and neither could be read.
TEST_F(ScoreDrawing, ChangeMarksAndNoteNamesDoNotOverlapAndTheHoverFindsEachMark) {
    f().showChangesMenu.click();
    ASSERT_TRUE(f().showNoteNamesMenu.checked);
    f().lowerPartButtons[3].click(); // a part with names on the lower band too
    // Four-note chords on both bands at every beat, and every kind of change
    // at the same beats for both bands' parts.
    std::vector<Note> notes;
    std::vector<ControlChange> changes{{}, {0, 120, kTempoChange}};
    for (int32_t pos = 3; pos <= 144; pos += 12) {
        for (int key : {40, 60, 64, 67, 71}) {
            notes.push_back(note(pos, key, 12, 0));
            notes.push_back(note(pos, key, 12, 3));
        }
        changes.push_back({pos, 90 + pos, kTempoChange});
        for (int part : {0, 3}) {
            changes.push_back({pos, 40 * 16 + part, kInstrumentChange});
            changes.push_back({pos, 4 * 16 + part, kVolumeChange});
        }
    }
    w.song.changeCount = static_cast<int32_t>(changes.size() - 1);
    changes.push_back({kEndMarkerPos, 0, 0});
    w.song.changes = changes;
    draw(notes);

    struct Box {
        double left, top, right, bottom;
    };
    std::vector<Box> names, marks;
    std::vector<DrawOp> markOps;
    for (const DrawOp& t : w.canvas.texts()) {
        const Box box{t.x1, t.y1, t.x1 + w.canvas.textWidth(t.text), t.y1 + w.canvas.textHeight()};
        if (t.text.rfind("■", 0) == 0) {
            marks.push_back(box);
            markOps.push_back(t);
        } else if (t.text.find(' ') == std::string::npos) {
            names.push_back(box);
        }
    }
    ASSERT_EQ(names.size(), notes.size());
    ASSERT_EQ(marks.size(), changes.size() - 2);
    const auto overlap = [](const Box& a, const Box& b) {
        // Text lines are 30 units apart and their boxes 30.5 high.
        return a.left < b.right && b.left < a.right && a.top < b.bottom - 1 && b.top < a.bottom - 1;
    };
    for (const Box& m : marks) {
        for (const Box& n : names) EXPECT_FALSE(overlap(m, n)) << m.left << ", " << m.top;
        // Between the bar numbers and the treble staff of its band.
        const double band = m.top < -600 ? -600 : 0;
        EXPECT_GT(m.top, band - 600 + 30) << m.top;
        EXPECT_LT(m.bottom, band - 400) << m.top;
    }

    // The pointer on a mark's text finds that change, on either band.
    for (size_t i = 0; i < markOps.size(); ++i) {
        const DrawOp& t = markOps[i];
        if (t.x1 < 95) continue; // the start tempo: the tempo box's, never picked
        f().scoreMouseMove(0, 0, static_cast<float>(t.x1 + 10),
                           static_cast<float>(t.y1 + w.canvas.textHeight() / 2));
        ASSERT_TRUE(f().changeMarker.visible) << t.text << " at " << t.x1 << ", " << t.y1;
        const ControlChange& cc = w.song.changes[f().view.changeUnderCursor];
        EXPECT_EQ(88 + 5 * cc.position, t.x1) << t.text;
        const char* kinds[] = {"", "テンポ", "楽器", "ボリューム"};
        EXPECT_EQ(t.text.find(kinds[cc.kind]), std::string("■").size()) << t.text;
        if (cc.kind != kTempoChange) {
            EXPECT_EQ(cc.value % 16, t.y1 < -600 ? 0 : 3) << t.text;
        }
    }
}

TEST_F(ScoreDrawing, StaffLinesAndNoteNamesStayOnTopOfTheGridAndTheMarkers) {
    f().gridFortyEighthsMenu.click(); // the finest grid: eleven light lines in every beat
    f().showChangesMenu.click();
    w.song.changeCount = 2;
    w.song.changes.assign(4, ControlChange{});
    w.song.changes[1] = {0, 120, kTempoChange};
    w.song.changes[2] = {1, 90, kTempoChange}; // its marker stands at the first name's place
    w.song.changes[3].position = kEndMarkerPos;
    draw({note(1, 60, 12, 0)});
    const auto ops = w.canvas.ops();
    auto lastIndex = [&](auto pred) {
        int64_t at = -1;
        for (size_t i = 0; i < ops.size(); ++i)
            if (pred(ops[i])) at = static_cast<int64_t>(i);
        return at;
    };
    auto firstIndex = [&](auto pred) {
        for (size_t i = 0; i < ops.size(); ++i)
            if (pred(ops[i])) return static_cast<int64_t>(i);
        return int64_t{-1};
    };
    for (const double y0 : {0.0, 600.0}) {
        const auto band = [y0](const DrawOp& op) {
            return op.kind == DrawOp::Line && op.y1 <= -200 - y0 && op.y1 >= -400 - y0;
        };
        const int64_t lastVertical = lastIndex([&](const DrawOp& op) {
            return band(op) && op.x1 == op.x2 && op.y1 == -200 - y0 && op.y2 == -400 - y0;
        });
        const int64_t firstStaffLine = firstIndex(
            [&](const DrawOp& op) { return band(op) && op.y1 == op.y2 && op.x1 == 100; });
        EXPECT_LT(lastVertical, firstStaffLine) << "band " << y0;
    }
    const int64_t marker = firstIndex(
        [](const DrawOp& op) { return op.kind == DrawOp::Text && op.text == "■テンポ90"; });
    const int64_t name =
        firstIndex([](const DrawOp& op) { return op.kind == DrawOp::Text && op.text == "ド"; });
    ASSERT_GE(marker, 0);
    ASSERT_GE(name, 0);
    EXPECT_LT(marker, name) << "the name is drawn over the marker";
    // A chord tall enough to put names inside the staff: they come after the grid.
    draw({note(1, 60, 12, 0), note(1, 62, 12, 0), note(1, 64, 12, 0), note(1, 65, 12, 0),
          note(1, 67, 12, 0), note(1, 69, 12, 0), note(1, 71, 12, 0)});
    const auto chordOps = w.canvas.ops();
    int64_t lastGrid = -1, firstName = -1;
    for (size_t i = 0; i < chordOps.size(); ++i) {
        const DrawOp& op = chordOps[i];
        if (op.kind == DrawOp::Line && op.colour == colour::kLightGrey) lastGrid = int64_t(i);
        if (op.kind == DrawOp::Text && op.y1 <= -800 && firstName < 0) firstName = int64_t(i);
    }
    ASSERT_GE(firstName, 0) << "the seventh name stands inside the upper staff";
    EXPECT_LT(lastGrid, firstName);
}

TEST_F(ScoreDrawing, AFailureRestoresTheUndoCopyAndWritesTheErrorDump) {
    draw({note(1, 60, 12, 0)});
    w.song.twiceNoteCount = 8; // four notes claimed, one stored
    w.ui.messages.clear();
    f().redrawScore();
    // The staves are drawn, the message shown once, the undo copy restored.
    EXPECT_FALSE(w.canvas.ofKind(DrawOp::Line).empty());
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{msg::errorSaved("err.txt")});
    EXPECT_EQ(w.song.twiceNoteCount, 2);
    EXPECT_TRUE(std::filesystem::exists(w.folder / "err.txt"));
    EXPECT_NE(w.song.fileName, "err") << "the dump is no save of the song";
}

TEST_F(ScoreDrawing, EveryPageOfTheLongestSongIsReachableAndShown) {
    // A note at the last position a song can hold: page 14,913,080 (0-based).
    const int32_t lastPos = INT32_MAX;
    const int lastPage = (lastPos - 1) / 144;
    draw({note(1, 60, 12, 0), note(lastPos, 62, 12, 0)});
    EXPECT_EQ(f().pageLabels[1].caption, "1 / 14913081 ページ");
    EXPECT_EQ(f().pageScrollBar.max, 14913081);
    w.ui.messages.clear();
    f().pageScrollBar.setValue(lastPage);
    EXPECT_EQ(f().view.page, lastPage);
    EXPECT_EQ(f().pageScrollBar.value, lastPage);
    EXPECT_EQ(f().pageLabels[1].caption, "14913081 / 14913081 ページ");
    EXPECT_EQ(w.canvas.ofKind(DrawOp::Circle).size(), 1u);
    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_TRUE(f().playButton.enabled);
    const auto texts = w.canvas.texts(); // the page's first bar number
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const DrawOp& t) {
        return t.text == " " + std::to_string(lastPage * 3 + 1) + " ";
    }));
    // The step of the note is found by the hover; the steps after it on the
    // page lie past what a song holds, and a click there places nothing.
    f().gridFortyEighthsMenu.click();
    const int column = lastPos - lastPage * 144; // 127
    const float y = yAt(0, 36);                  // the row of note 62
    f().scoreMouseMove(0, 0, xFine(column), y);
    EXPECT_TRUE(f().noteMarker.visible);
    const int32_t before = w.song.twiceNoteCount;
    const float past = xFine(130);
    w.click(past, y);
    EXPECT_EQ(w.song.twiceNoteCount, before);
    EXPECT_TRUE(w.ui.messages.empty());
    // One page further still, as for every song.
    f().pageScrollBar.setValue(lastPage + 1);
    EXPECT_EQ(f().pageLabels[1].caption, "14913082 / 14913081 ページ");
}

TEST_F(ScoreDrawing, TheSaveConfirmationIsTheStatusLineWholeNotADrawingOverTheStaff) {
    w.song.fileName = "a much longer name of a song";
    ASSERT_EQ(SaveSong(w.song, f().folders, f()), SaveStatus::Written);
    EXPECT_EQ(f().statusLine.caption, "a much longer name of a song.txt にデータを保存しました");
    // A shorter one after it replaces it whole; nothing is drawn on the staff.
    w.song.fileName = "song1";
    w.canvas.forget();
    ASSERT_EQ(SaveSong(w.song, f().folders, f()), SaveStatus::Written);
    EXPECT_EQ(f().statusLine.caption, "song1.txt にデータを保存しました");
    EXPECT_TRUE(w.canvas.texts().empty());
    EXPECT_EQ(f().fileList.items,
              (std::vector<std::string>{"a much longer name of a song.txt", "song1.txt"}));
}

TEST_F(ScoreDrawing, FindsThePagesNotesAsAFullVisitWould) {
    std::mt19937 rng(5);
    std::vector<Note> notes;
    int32_t pos = -5;
    for (int i = 0; i < 3000; ++i) {
        pos += static_cast<int32_t>(rng() % 4);
        notes.push_back(note(pos, 40 + rng() % 40, 12, rng() % 2 ? 0 : 9));
    }
    w.setNotes(notes);
    const int pages = notes.back().position / 144 + 1;
    f().pageScrollBar.setRange(0, pages);
    for (int page = 0; page <= pages; ++page) {
        f().pageScrollBar.setValue(page);
        f().redrawScore();
        size_t expected = 0;
        for (const Note& n : notes)
            if ((n.position - 1) / 144 == page) ++expected; // truncating, as the view counts pages
        EXPECT_EQ(w.canvas.ofKind(DrawOp::Circle).size(), expected) << page;
    }
}

} // namespace
} // namespace vako::test
