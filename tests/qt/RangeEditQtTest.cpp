// The range window in the real program, off screen: opened from its menu item,
// a range chosen with clicks on the strip, an operation run, the song changed
// and the main window's undo item enabled.
#include "OffscreenApplication.h"
#include "app/MainWindow.h"
#include "app/RangeEditDialog.h"

#include "platform/Clock.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace vako {
namespace {

QAction* findAction(QWidget* window, const QString& text) {
    for (QAction* action : window->findChildren<QAction*>())
        if (action->text() == text) return action;
    return nullptr;
}

void pressOnStrip(RangeEditDialog& dialog, Qt::MouseButton button, double stripX) {
    QWidget* strip = dialog.stripWidget();
    const QPointF at(stripX / dialog.stripUnitsPerPixel(), strip->height() / 2.0);
    QMouseEvent e(QEvent::MouseButtonPress, at, strip->mapToGlobal(at), button, button,
                  Qt::NoModifier);
    QApplication::sendEvent(strip, &e);
}

TEST(RangeEditWindow, MenuOpensItAndAStrengthChangeReachesTheSong) {
    FakeClock clock;
    Song song;
    const auto window =
        test::openMainWindow(song, std::filesystem::temp_directory_path() / "vako-qt-range",
                             [&clock] { return std::make_unique<RecordingMidiOut>(clock); });
    // Notes of part 1 in bars 1 to 3 (4/4: 48 steps a bar).
    song.notes.assign(1, Note{});
    for (const int32_t pos : {1, 30, 60, 100, 130})
        song.notes.push_back(Note{pos, 60, 12, 0, 120, 64, 0});
    song.twiceNoteCount = 10;

    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<RangeEditDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        sawDialog = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("編集補助"));
        EXPECT_EQ(dialog->pos(), window->pos());
        // It fits a 1024 x 600 screen with its title bar and a panel.
        EXPECT_LE(dialog->height(), 540);
        for (QWidget* child : dialog->findChildren<QWidget*>()) {
            if (!child->isVisibleTo(dialog)) continue;
            EXPECT_LE(child->geometry().bottom(), dialog->height())
                << child->metaObject()->className();
        }
        pressOnStrip(*dialog, Qt::RightButton, 50); // bar 2 as the end
        pressOnStrip(*dialog, Qt::LeftButton, 10);  // bar 1 as the start
        EXPECT_EQ(dialog->form().selectedBars, (std::array<int, 2>{1, 2}));
        auto* strengths = dialog->findChildren<QComboBox*>().at(2);
        strengths->setCurrentIndex(20); // "0"
        dialog->runButton(RangeWindowModel::kStrength)->click();
        dialog->accept();
    });
    QAction* action = findAction(window.get(), QStringLiteral("小節単位での処理"));
    ASSERT_NE(action, nullptr);
    action->trigger();
    EXPECT_TRUE(sawDialog);
    std::vector<int> strengths;
    for (int i = 1; i <= 5; ++i) strengths.push_back(song.notes[i].velocity);
    EXPECT_EQ(strengths, (std::vector<int>{0, 0, 0, 120, 120}));
    EXPECT_TRUE(window->form().undoMenu.enabled);
    EXPECT_TRUE(window->form().editor.isModified());
}

} // namespace
} // namespace vako
