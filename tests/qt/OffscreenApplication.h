// The one QApplication of the Qt tests, on the off-screen platform, and the
// main window the tests open on it.
#pragma once

#include "app/MainWindow.h"

#include <QApplication>
#include <QMouseEvent>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vako::test {

inline QApplication& application() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The main window at its designed size, with `folder` as song folder and
// desktop, started on the device `makeDevice` gives, opened with
// `commandLine`, shown and drawn once.
inline std::unique_ptr<MainWindow>
openMainWindow(Song& song, const std::filesystem::path& folder,
               std::function<std::unique_ptr<MidiOut>()> makeDevice,
               const std::string& commandLine = "", bool quiet = true) {
    application();
    std::filesystem::create_directories(folder);
    auto window = std::make_unique<MainWindow>(
        song,
        [makeDevice] {
            MidiStartup s;
            s.device = makeDevice();
            return s;
        },
        SongFolders{folder, folder}, quiet);
    window->resize(kDesignWidth, kDesignHeight + 30);
    window->load(commandLine);
    window->show();
    QApplication::processEvents();
    return window;
}

// A mouse event at a point of the score view, in view units.
inline void sendMouse(ScoreView& view, QEvent::Type type, Qt::MouseButton button, double x,
                      double y) {
    const QPointF at = view.toWidget(x, y);
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons();
    QMouseEvent e(type, at, view.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&view, &e);
}

// The pointer comes over the place first, as a hand would bring it, then
// presses and lets go.
inline void clickStaff(ScoreView& view, double x, double y,
                       Qt::MouseButton button = Qt::LeftButton) {
    sendMouse(view, QEvent::MouseMove, Qt::NoButton, x, y);
    sendMouse(view, QEvent::MouseButtonPress, button, x, y);
    sendMouse(view, QEvent::MouseButtonRelease, button, x, y);
    QApplication::processEvents();
}

inline std::vector<int32_t> positionsOf(const Song& song) {
    std::vector<int32_t> out;
    for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.notes[i].position);
    return out;
}

} // namespace vako::test
