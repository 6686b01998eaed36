// The one QApplication of the Qt tests, on the off-screen platform, and the
// main window the tests open on it.
#pragma once

#include "app/MainWindow.h"

#include <QApplication>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

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
inline std::unique_ptr<MainWindow> openMainWindow(
    Song& song, const std::filesystem::path& folder,
    std::function<std::unique_ptr<MidiOut>()> makeDevice, const std::string& commandLine = "",
    bool quiet = true) {
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

} // namespace vako::test
