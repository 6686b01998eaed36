// Starts the real main window off screen, grabs the score view and checks that
// staff and notes are drawn where the model says.
#include "OffscreenApplication.h"
#include "app/MainWindow.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>

namespace vako {
namespace {

class RealWindow : public ::testing::Test {
protected:
    void open(const std::string& commandLine) {
        window = test::openMainWindow(
            song, std::filesystem::temp_directory_path() / "vako-qt-test",
            [] { return std::make_unique<NullMidiOut>(); }, commandLine);
        shot = window->scoreView().grab().toImage();
    }
    // The darkest grey level in the 3 x 3 pixels around a view point.
    int darkestAround(double x, double y) const {
        const QPointF p = window->scoreView().toWidget(x, y) * shot.devicePixelRatio();
        int darkest = 255;
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                darkest = std::min(darkest, qGray(shot.pixel(int(p.x()) + dx, int(p.y()) + dy)));
        return darkest;
    }
    QRgb at(double x, double y) const {
        const QPointF p = window->scoreView().toWidget(x, y) * shot.devicePixelRatio();
        return shot.pixel(int(p.x()), int(p.y()));
    }
    Song song;
    std::unique_ptr<MainWindow> window;
    QImage shot;
};

TEST_F(RealWindow, DrawsTheEmptyGrandStaves) {
    open("");
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(window->form().pageLabels[1].caption, "1 / 1 ページ");
    for (int y0 : {0, 600}) {
        for (int j = 0; j <= 10; ++j) {
            const double y = -200 - 20 * j - y0;
            if (j == 5)
                EXPECT_GT(darkestAround(407, y), 150) << "middle C stays empty, band " << y0;
            else
                EXPECT_LT(darkestAround(407, y), 90) << "staff line " << j << " band " << y0;
        }
        // Between two staff lines: the light grey background.
        EXPECT_EQ(qGray(at(407, -210 - y0)), qGray(qRgb(192, 192, 192)));
    }
    // The view keeps its proportions: 962 x 1200 units.
    const ScoreView& view = window->scoreView();
    EXPECT_NEAR(view.toWidget(822, 20).x() / view.toWidget(822, 20).y(), 962.0 / 1200.0, 0.01);
}

TEST_F(RealWindow, DrawsTheNotesOfTheFileWhereTheModelPutsThem) {
    open(std::string(EXAMPLES_DIR) + "/example.txt");
    ASSERT_GT(song.noteCount(), 0);
    int checked = 0;
    for (int i = 1; i <= song.noteCount(); ++i) {
        const Note& n = song.notes[i];
        if ((n.position - 1) / 144 != 0) continue;
        const bool upper = n.part == window->form().view.bandParts[0];
        if (!upper && n.part != window->form().view.bandParts[1]) continue;
        if (n.length > 18 || n.length < 1) continue; // filled heads only
        // The middle of the head, by the staff's geometry that the model draws with.
        const double x = xOfStep((n.position - 1) % 144 + 1) + 8;
        const double y = 43 - 10 * rowOfNote(n.key) + 7 - (upper ? 600 : 0);
        EXPECT_LT(qGray(at(x, y)), 80) << "note " << i << " at " << x << ", " << y;
        ++checked;
    }
    EXPECT_GE(checked, 5);
    EXPECT_TRUE(window->form().playButton.enabled);
    EXPECT_TRUE(window->widgetFor("fileList")->isVisible()) << "the list shows where Ctrl+S saves";
}

} // namespace
} // namespace vako
