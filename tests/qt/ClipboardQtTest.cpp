// Copy and paste through the system clipboard between two real windows, off
// screen: the shortcuts of the menu "選択", the program's own form that keeps
// strength and balance, and a MIDI file another program put there.
#include "OffscreenApplication.h"
#include "app/MainWindow.h"

#include "midi/MidiFileWriter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include <gtest/gtest.h>

#include <filesystem>

namespace vako {
namespace {

double xAt(int pos) {
    return 5.0 * (pos + 18) + 3;
}
double yAt(int staff, int row) {
    return (staff == 0 ? -600.0 : 0.0) - 10.0 * (row - 5);
}

void pressShortcut(QWidget& window, const QString& keys) {
    for (QAction* a : window.findChildren<QAction*>())
        if (a->shortcuts().contains(QKeySequence(keys)) && a->isEnabled()) {
            a->trigger();
            QApplication::processEvents();
            return;
        }
    FAIL() << keys.toStdString() << " is no action's";
}

std::unique_ptr<MainWindow> openWindow(Song& song, const char* folder) {
    return test::openMainWindow(song, std::filesystem::temp_directory_path() / folder,
                                [] { return std::make_unique<NullMidiOut>(); });
}

void hover(MainWindow& window, double x, double y) {
    test::sendMouse(window.scoreView(), QEvent::MouseMove, Qt::NoButton, x, y);
}

TEST(ClipboardWindows, APhraseCopiedInOneWindowIsPastedInAnotherWithItsStrengthAndBalance) {
    Song first, second;
    auto copying = openWindow(first, "vako-qt-clip-a");
    auto pasting = openWindow(second, "vako-qt-clip-b");
    Song phrase = first;
    Note soft{3, 60, 12, 0, 54, 32, 0}, loud{15, 64, 6, 0, 114, 112, 50};
    phrase.notes = {Note{}, soft, loud};
    phrase.twiceNoteCount = 4;
    copying->form().editor.replaceSong(phrase);
    pressShortcut(*copying, QStringLiteral("Ctrl+Shift+Up"));
    pressShortcut(*copying, QStringLiteral("Ctrl+C"));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->hasFormat(QStringLiteral("audio/midi")));
    EXPECT_TRUE(data->data(QStringLiteral("audio/midi")).startsWith("MThd"));

    hover(*pasting, xAt(27), yAt(1, 30)); // the lower band: part 10
    pressShortcut(*pasting, QStringLiteral("Ctrl+V"));
    ASSERT_EQ(second.noteCount(), 2);
    EXPECT_EQ(second.notes[1], (Note{27, 60, 12, 9, 54, 32, 0}));
    EXPECT_EQ(second.notes[2], (Note{39, 64, 6, 9, 114, 112, 50}));
    EXPECT_EQ(pasting->form().selectionReadOut.caption, "2 個選択中");

    // Another program's MIDI file, alone on the clipboard.
    Song other;
    other.notes = {Note{}, Note{3, 72, 12, 0, 100, 64, 0}};
    other.twiceNoteCount = 2;
    bool faulted = false;
    const std::string image = buildMidiFileImage(other, 0, faulted);
    auto* midi = new QMimeData;
    midi->setData(QStringLiteral("audio/midi"), QByteArray(image.data(), qsizetype(image.size())));
    QGuiApplication::clipboard()->setMimeData(midi);
    hover(*pasting, xAt(99), yAt(0, 30));
    pressShortcut(*pasting, QStringLiteral("Ctrl+V"));
    ASSERT_EQ(second.noteCount(), 3);
    EXPECT_EQ(second.notes[3].position, 99);
    EXPECT_EQ(second.notes[3].key, 72);
    EXPECT_EQ(second.notes[3].part, 0);
}

} // namespace
} // namespace vako
