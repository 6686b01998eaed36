// `FileCommands`, the main window's commands on files: opening a song from the
// file list or by a drop, the background picture, new, save, save as, export,
// and the question before the window closes. No command throws away unsaved
// notes without asking. The controls they serve are the window's own
// (`fileList`, `clearBackgroundButton`, the file menu, `exportButton`).
#pragma once

#include "view/WindowSystem.h"

#include <string>
#include <vector>

namespace vako {

class MainWindowModel;

class FileCommands {
public:
    explicit FileCommands(MainWindowModel& window) : m_window(window) {}

    // The file list, files dropped on the score view (first file only), the
    // background button and the file menu.
    void openSelectedFile();
    void dropFiles(const std::vector<std::string>& paths);
    void clearBackground();
    void newSong();
    bool saveAs(); // true when the song file was written
    void save();
    void quit();
    // The export button: the Standard MIDI File under a name the user types.
    void exportMidiFile();
    // Closing the main window; false when the close is cancelled.
    bool queryClose();

private:
    bool askToSaveBeforeReplacing();
    bool saveAnswered(WindowSystem::Answer answer);
    // False when a merge could not read its file: the open song, its name and
    // the caption stay as they were.
    bool openFromWindow(const std::string& path, const std::string& shownPath);

    MainWindowModel& m_window;
};

} // namespace vako
