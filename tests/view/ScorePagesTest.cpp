// The score on paper: the sheets the page model lays out, and the staff drawn
// there by the window's own drawing.
#include "ViewTestSupport.h"

#include "view/ScorePages.h"
#include "view/StaffPicture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vako::test {
namespace {

// A song with a quarter note of part 0 at the start of each of `pages` pages.
Song songOfPages(int pages) {
    Song song;
    song.notes.resize(1);
    for (int p = 0; p < pages; ++p)
        song.notes.push_back(note(p * kStepsPerPage + 3, 60 + p % 12, 12, 0));
    song.twiceNoteCount = 2 * pages;
    song.sequenceNameText = "Étude";
    song.copyrightText = "© someone";
    return song;
}

std::vector<std::string> footers(const ScoreLayout& layout) {
    std::vector<std::string> out;
    for (const PaperSheet& sheet : layout.sheets) out.push_back(sheet.texts.back().text);
    return out;
}

std::vector<int64_t> songPagesOf(const ScoreLayout& layout) {
    std::vector<int64_t> out;
    for (const PaperSheet& sheet : layout.sheets)
        for (const PlacedStaff& staff : sheet.staves) out.push_back(staff.songPage);
    return out;
}

TEST(ScorePages, EverySongPageGetsASheetWithTheHeaderOnTheFirstAndTheCountOnEach) {
    const Song song = songOfPages(5);
    const ScoreLayout layout = layOutScore(song, kPaperA4, {});
    EXPECT_EQ(layout.songPages, 5);
    ASSERT_EQ(layout.sheets.size(), 5u);
    EXPECT_EQ(songPagesOf(layout), (std::vector<int64_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(footers(layout),
              (std::vector<std::string>{"1 / 5", "2 / 5", "3 / 5", "4 / 5", "5 / 5"}));
    ASSERT_EQ(layout.sheets[0].texts.size(), 3u);
    EXPECT_EQ(layout.sheets[0].texts[0].text, "Étude");
    EXPECT_EQ(layout.sheets[0].texts[1].text, "© someone");
    for (size_t s = 1; s < layout.sheets.size(); ++s)
        EXPECT_EQ(layout.sheets[s].texts.size(), 1u) << "sheet " << s;
}

TEST(ScorePages, StavesStayInsideTheMarginsClearOfHeaderAndFooterOnBothPapers) {
    const Song song = songOfPages(3);
    for (const PaperSize paper : {kPaperA4, kPaperLetter}) {
        for (const int perSheet : {1, 2, 3}) {
            const ScoreLayout layout = layOutScore(song, paper, {}, perSheet);
            ASSERT_FALSE(layout.sheets.empty());
            const PaperSheet& first = layout.sheets[0];
            const PaperText& copyright = first.texts[1];
            const PaperText& footer = first.texts.back();
            double previousBottom = copyright.y + copyright.points;
            for (const PlacedStaff& staff : first.staves) {
                EXPECT_GE(staff.left, kPaperMargin - 1e-9);
                EXPECT_LE(staff.left + staff.width(), paper.width - kPaperMargin + 1e-9);
                EXPECT_GE(staff.top, previousBottom) << "overlaps what stands above it";
                previousBottom = staff.top + staff.height();
                // One staff a sheet is large: over half a point a view unit.
                if (perSheet == 1) EXPECT_GT(staff.pointsPerUnit, 0.5);
            }
            EXPECT_LE(previousBottom, footer.y) << "runs into the footer";
            EXPECT_EQ(layout.sheets.size(), static_cast<size_t>((3 + perSheet - 1) / perSheet));
        }
    }
}

TEST(ScorePages, SeveralStavesASheetAndTheLastSheetHoldsWhatIsLeft) {
    const ScoreLayout layout = layOutScore(songOfPages(5), kPaperA4, {}, 2);
    ASSERT_EQ(layout.sheets.size(), 3u);
    EXPECT_EQ(layout.sheets[2].staves.size(), 1u);
    EXPECT_EQ(songPagesOf(layout), (std::vector<int64_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(footers(layout), (std::vector<std::string>{"1 / 3", "2 / 3", "3 / 3"}));
    // Every sheet places its staves alike.
    EXPECT_EQ(layout.sheets[0].staves[1].top, layout.sheets[1].staves[1].top);
}

TEST(ScorePages, ARangeIsClampedToTheSongAndCountedOnItsOwn) {
    const Song song = songOfPages(6);
    ScoreLayout layout = layOutScore(song, kPaperA4, {2, 3});
    EXPECT_EQ(songPagesOf(layout), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(footers(layout), (std::vector<std::string>{"1 / 2", "2 / 2"}));
    // The header goes on the first sheet printed.
    EXPECT_EQ(layout.sheets[0].texts[0].text, "Étude");

    layout = layOutScore(song, kPaperA4, {5, 99});
    EXPECT_EQ(songPagesOf(layout), (std::vector<int64_t>{4, 5}));
    EXPECT_EQ(layout.printed.last, 6);
    layout = layOutScore(song, kPaperA4, {0, 1});
    EXPECT_EQ(songPagesOf(layout), (std::vector<int64_t>{0}));
    layout = layOutScore(song, kPaperA4, {7, 9});
    EXPECT_TRUE(layout.sheets.empty());
    layout = layOutScore(song, kPaperA4, {4, 3});
    EXPECT_TRUE(layout.sheets.empty());
}

TEST(ScorePages, ANoteFarAwayDoesNotMakeMillionsOfSheetsButARangeOfItPrints) {
    Song song = songOfPages(2);
    song.notes.push_back(note(INT32_MAX - 5, 60, 1, 0));
    song.twiceNoteCount += 2;
    ScoreLayout layout = layOutScore(song, kPaperA4, {});
    EXPECT_TRUE(layout.tooMany);
    EXPECT_TRUE(layout.sheets.empty());
    EXPECT_GT(layout.songPages, 14'000'000);
    layout = layOutScore(song, kPaperA4, {layout.songPages, layout.songPages});
    EXPECT_FALSE(layout.tooMany);
    EXPECT_EQ(songPagesOf(layout), std::vector<int64_t>{layout.songPages - 1});
    layout = layOutScore(song, kPaperA4, {1, kMostPaperSheets});
    EXPECT_EQ(layout.sheets.size(), static_cast<size_t>(kMostPaperSheets));
}

TEST(ScorePages, AnEmptySongIsOnePageAndTheTitleFallsBackToTheSongsName) {
    Song song;
    song.notes.resize(1);
    song.sequenceNameText.clear();
    song.songName = "practice";
    const ScoreLayout layout = layOutScore(song, kPaperLetter, {});
    ASSERT_EQ(layout.sheets.size(), 1u);
    EXPECT_EQ(layout.sheets[0].texts[0].text, "practice");
    EXPECT_EQ(footers(layout), std::vector<std::string>{"1 / 1"});
}

TEST(ScorePages, ANoteCountBeyondTheRecordsCountsTheStoredNotes) {
    Song song = songOfPages(3);
    song.twiceNoteCount = 40; // twenty notes claimed, three stored
    const ScoreLayout layout = layOutScore(song, kPaperA4, {});
    EXPECT_EQ(layout.songPages, 3);
    EXPECT_EQ(layout.sheets.size(), 3u);
}

// One drawing operation as text, for comparing two drawings.
std::string describe(const DrawOp& op) {
    std::ostringstream out;
    out << op.kind << ' ' << op.x1 << ',' << op.y1 << ',' << op.x2 << ',' << op.y2 << " r"
        << op.radius << " c" << op.colour << " w" << op.drawWidth << ' ' << op.text;
    if (op.kind == DrawOp::Circle) // only heads are filled
        out << " f" << op.fillColour << '/' << static_cast<int>(op.fillStyle);
    return out.str();
}

std::vector<std::string> describeAll(const std::vector<DrawOp>& ops) {
    std::vector<std::string> out;
    for (const DrawOp& op : ops) out.push_back(describe(op));
    return out;
}

class PaperStaff : public ::testing::Test {
protected:
    void SetUp() override { w.load(); }
    MainWindowModel& f() { return *w.form; }
    // The staff of the window's page as paper draws it, with the window's choices.
    std::vector<DrawOp> paperDrawing() {
        StaffPageLook look;
        look.page = f().view.page;
        look.bandParts = {f().view.bandParts[0], f().view.bandParts[1]};
        look.noteNames = f().showNoteNamesMenu.checked;
        look.changeMarkers = f().showChangesMenu.checked;
        RecordingCanvas paper;
        EXPECT_TRUE(StaffPicture(paper, w.song, look).drawPage());
        return paper.ops();
    }
    Window w;
};

TEST_F(PaperStaff, PaperDrawsTheStaffExactlyAsTheWindowDoes) {
    w.setNotes({note(3, 60, 12, 0), note(3, 64, 6, 0), note(150, 61, 9, 0), note(150, 36, 3, 9),
                note(200, 50, 7, 0), note(300, 67, 48, 0)});
    for (const int page : {0, 1, 2}) {
        f().view.page = page;
        f().redrawScore();
        EXPECT_EQ(describeAll(paperDrawing()), describeAll(w.canvas.ops())) << "page " << page;
    }
    // With the names and markers hidden too.
    f().showNoteNamesMenu.checked = false;
    f().showChangesMenu.checked = false;
    f().view.page = 1;
    f().redrawScore();
    EXPECT_EQ(describeAll(paperDrawing()), describeAll(w.canvas.ops()));
}

TEST_F(PaperStaff, NoSelectionRingsOrFaintPartsReachThePaper) {
    w.setNotes({note(3, 60, 12, 0), note(15, 62, 12, 0)});
    f().setSelection({1, 2});
    f().setPartMuted(0, true);
    f().redrawScore();
    const std::vector<DrawOp> paper = paperDrawing();
    int rings = 0;
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Circle)) rings += op.radius == 11;
    EXPECT_EQ(rings, 2); // the window shows them
    for (const DrawOp& op : paper) {
        if (op.kind != DrawOp::Circle) continue;
        EXPECT_EQ(op.radius, 6);
        EXPECT_EQ(op.colour, colour::kBlack) << "drawn faint";
    }
}

TEST_F(PaperStaff, AStaffThatCannotBeDrawnWholeSaysSoAndKeepsWhatItCould) {
    w.setNotes({note(3, 60, 12, 0)});
    Song broken = w.song;
    broken.twiceNoteCount = 10; // five notes claimed, one stored
    RecordingCanvas paper;
    StaffPageLook look;
    look.changeMarkers = false;
    EXPECT_FALSE(StaffPicture(paper, broken, look).drawPage());
    EXPECT_EQ(paper.ofKind(DrawOp::Circle).size(), 1u);
    EXPECT_EQ(paper.texts().size(), 4u); // the note's name and the three bar numbers
}

using Answer = WindowSystem::Answer;

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(PaperStaff, TheFileMenuPrintsAndExportsBeforeItsEnd) {
    const std::vector<MenuItem*>& items = f().fileMenu.children;
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[items.size() - 3], &f().exportPdfMenu);
    EXPECT_EQ(items[items.size() - 2], &f().printMenu);
    EXPECT_EQ(f().exportPdfMenu.caption, "PDFに書き出す");
    EXPECT_EQ(f().printMenu.caption, "印刷");
    EXPECT_EQ(f().printMenu.shortcut, "Ctrl+P");
}

TEST_F(PaperStaff, PdfExportWritesWhereTheSaveBoxSaysWithTheBandsOnScreen) {
    w.setNotes({note(3, 60, 12, 0), note(300, 62, 12, 4)});
    f().showNoteNamesMenu.checked = false;
    f().showChangesMenu.checked = true;
    f().setSelection({1});
    f().view.bandParts = {4, 0};
    f().view.page = 2;

    f().exportPdfMenu.click(); // cancelled: nothing made, nothing written
    ASSERT_EQ(w.ui.saveBoxes.size(), 1u);
    EXPECT_EQ(w.ui.saveBoxes[0].prompt, "PDFに書き出す");
    EXPECT_EQ(std::filesystem::path(w.ui.saveBoxes[0].title).extension(), ".pdf");
    EXPECT_EQ(w.ui.saveBoxes[0].defaultText, "PDF (*.pdf)");
    EXPECT_TRUE(w.ui.paperLooks.empty());

    w.ui.saveFileAnswer = (w.folder / "score").string();
    f().exportPdfMenu.click();
    EXPECT_EQ(fileText(w.folder / "score.pdf"), w.ui.pdfAnswer);
    ASSERT_EQ(w.ui.paperLooks.size(), 1u);
    const StaffPageLook& look = w.ui.paperLooks[0];
    EXPECT_EQ(look.bandParts, (std::array<uint8_t, 2>{4, 0}));
    EXPECT_FALSE(look.noteNames);
    EXPECT_TRUE(look.changeMarkers);
    EXPECT_EQ(look.selection, nullptr);
    EXPECT_EQ(look.page, 0) << "every page, not the one on view";
    // Its own file again: no question.
    f().exportPdfMenu.click();
    EXPECT_TRUE(w.ui.questions.empty());
}

TEST_F(PaperStaff, PdfExportKeepsOtherFilesAndSaysWhenNoPdfCouldBeMade) {
    w.setNotes({note(3, 60, 12, 0)});
    std::ofstream(w.folder / "other.pdf") << "the user's own";
    w.ui.saveFileAnswer = (w.folder / "other.pdf").string();
    w.ui.answers = {Answer::No};
    f().exportPdfMenu.click();
    EXPECT_EQ(w.ui.questions.size(), 1u);
    EXPECT_EQ(fileText(w.folder / "other.pdf"), "the user's own");
    EXPECT_TRUE(w.ui.paperLooks.empty());

    w.ui.pdfAnswer.clear();
    w.ui.saveFileAnswer = (w.folder / "fresh.pdf").string();
    f().exportPdfMenu.click();
    EXPECT_FALSE(std::filesystem::exists(w.folder / "fresh.pdf"));
    ASSERT_FALSE(w.ui.messages.empty());
    EXPECT_EQ(w.ui.messages.back(), "PDFを作れませんでした");
}

TEST_F(PaperStaff, PrintOffersTheSongsPagesAndSaysWhenItFailed) {
    w.setNotes({note(3, 60, 12, 0), note(3 + 4 * kStepsPerPage, 62, 12, 0)});
    f().printMenu.click();
    EXPECT_EQ(w.ui.printedPages, std::vector<int64_t>{5});
    EXPECT_TRUE(w.ui.messages.empty());
    w.ui.printAnswer = WindowSystem::PrintOutcome::Cancelled;
    f().printMenu.click();
    EXPECT_TRUE(w.ui.messages.empty());
    w.ui.printAnswer = WindowSystem::PrintOutcome::Failed;
    f().printMenu.click();
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_EQ(w.ui.messages[0], "印刷できませんでした");
}

} // namespace
} // namespace vako::test
