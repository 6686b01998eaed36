// The score on paper against the window: page 1 of the PDF, rendered by
// poppler, shows the staff the score view draws.
#include "OffscreenApplication.h"
#include "RunTool.h"
#include "app/MainWindow.h"
#include "platform/qt/ScorePaper.h"
#include "song/SongTestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vako {
namespace {

// Which cells of a `columns` x `rows` grid over `image` hold dark ink (lines,
// heads, black text; not the window's grey background nor its beat lines).
std::vector<bool> darkCells(const QImage& image, int columns, int rows) {
    std::vector<bool> cells(static_cast<size_t>(columns * rows), false);
    const int ink = 100;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < ink)
                cells[static_cast<size_t>((y * rows / image.height()) * columns +
                                          x * columns / image.width())] = true;
    return cells;
}

// How far two ink maps agree: of the cells inked in either, the share whose
// ink the other map has in the same cell or a neighbour (a line on a cell's
// border falls on either side of it).
double agreement(const std::vector<bool>& a, const std::vector<bool>& b, int columns, int rows) {
    const auto near = [&](const std::vector<bool>& m, int c, int r) {
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc) {
                const int cc = c + dc, rr = r + dr;
                if (cc >= 0 && cc < columns && rr >= 0 && rr < rows &&
                    m[static_cast<size_t>(rr * columns + cc)])
                    return true;
            }
        return false;
    };
    size_t same = 0, inked = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const size_t i = static_cast<size_t>(r * columns + c);
            if (!a[i] && !b[i]) continue; // empty in both says nothing
            ++inked;
            same += (a[i] ? near(b, c, r) : true) && (b[i] ? near(a, c, r) : true);
        }
    return inked == 0 ? 0 : double(same) / double(inked);
}

class PaperAgainstWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window = test::openMainWindow(
            song, folder.path() / "songs", [] { return std::make_unique<NullMidiOut>(); },
            std::string(EXAMPLES_DIR) + "/example.txt");
    }
    // The window's staff region of the page it shows, as the canvas drew it.
    QImage windowStaff() {
        QtCanvas& canvas = window->canvas();
        const QPointF a = canvas.toPixel(kPaperStaffLeft, kPaperStaffTop);
        const QPointF b =
            canvas.toPixel(kPaperStaffLeft + kPaperStaffWidth, kPaperStaffTop + kPaperStaffHeight);
        return canvas.image().copy(QRectF(a, b).toRect());
    }
    // Page 1 of the PDF at the window's pixel size, cut to the staff.
    QImage paperStaff(int widthPx) {
        ScoreLayout layout;
        const PdfOutcome pdf =
            scorePdf(song, window->form().paperLook(), {1, 1}, kPaperA4, &layout);
        EXPECT_TRUE(pdf.complete);
        const std::filesystem::path file = folder.path() / "score.pdf";
        std::ofstream(file, std::ios::binary) << pdf.bytes;
        const PlacedStaff& staff = layout.sheets.at(0).staves.at(0);
        const double dpi = 72.0 * widthPx / staff.width();
        const std::string png = (folder.path() / "page").string();
        const ToolRun run =
            runProgram("pdftoppm", "-png -r " + std::to_string(dpi) + " -f 1 -l 1 -singlefile '" +
                                       file.string() + "' '" + png + "'");
        EXPECT_EQ(run.exitCode, 0) << run.output;
        const QImage page(QString::fromStdString(png + ".png"));
        const double perPoint = dpi / 72.0;
        return page.copy(QRectF(staff.left * perPoint, staff.top * perPoint,
                                staff.width() * perPoint, staff.height() * perPoint)
                             .toRect());
    }
    test::TempFolder folder;
    Song song;
    std::unique_ptr<MainWindow> window;
};

TEST_F(PaperAgainstWindow, PageOneShowsTheStaffTheWindowDraws) {
    const QImage onScreen = windowStaff();
    // Paper's lines are finer than a screen pixel: it is rendered three times
    // as large, so that they come out dark.
    const QImage onPaper = paperStaff(onScreen.width() * 3);
    ASSERT_FALSE(onPaper.isNull());
    const int columns = 77, rows = 120; // ten view units a cell
    const std::vector<bool> screenCells = darkCells(onScreen, columns, rows);
    const std::vector<bool> paperCells = darkCells(onPaper, columns, rows);
    const double same = agreement(screenCells, paperCells, columns, rows);
    EXPECT_GT(same, 0.9);

    // The comparison tells pages apart: the window's page 2 (the same staff,
    // a few notes) matches less.
    window->form().view.page = 1;
    window->form().redrawScore();
    const double other =
        agreement(darkCells(windowStaff(), columns, rows), paperCells, columns, rows);
    EXPECT_LT(other, same - 0.015) << "page 1: " << same << ", page 2: " << other;
}

} // namespace
} // namespace vako
