// `FileCommands`, the main window's commands on files: opening a song from the
// file list or by a drop, the background picture, new, save, save as, export,
// and the question before the window closes. No command throws away unsaved
// notes without asking. The controls they serve are the window's own
// (`fileList`, `clearBackgroundButton`, the file menu, `exportButton`).
#pragma once

#include "song/SongWriter.h"
#include "view/WindowSystem.h"

#include <filesystem>
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
    // "MusicXMLに書き出す": the score for notation programs, where the save box says.
    void exportMusicXml();
    // "印刷": the print dialog, then the printer. "PDFに書き出す": every page
    // of the score as a PDF file, where the save box says.
    void printScore();
    void exportPdf();
    // Closing the main window; false when the close is cancelled.
    bool queryClose();
    // The file named on the command line, opened at start-up.
    void openAtStartup(const std::string& path);

    // A save or the export is about to write `path`: true when nothing is
    // there, or the file is this song's own (opened from, last saved to or
    // last exported to); otherwise the user is asked, and No keeps the file.
    bool mayReplaceFile(const std::filesystem::path& path);

private:
    bool askToSaveBeforeReplacing();
    bool saveAnswered(WindowSystem::Answer answer);
    // Opens what `path` names: a picture as the background, a song or MIDI
    // file as the song (asking first about unsaved changes), anything else
    // refused with a message. `shownPath` is the name the caption shows and
    // the song is named after.
    void openPath(const std::string& path, const std::string& shownPath);
    // Opens a song or MIDI file in the window. False when nothing was
    // opened: the song, its name and the caption stay as they were.
    bool openFromWindow(const std::string& path, const std::string& shownPath);
    void showBackground(const std::string& path);
    bool isOwnFile(const std::filesystem::path& path) const;
    // Writes the song under its file name (SaveSong); a written file is the
    // song's own and its saved point.
    SaveStatus writeSong();

    MainWindowModel& m_window;
    // The files that hold this song, which its saves and exports replace
    // without a question; empty where there is none.
    std::filesystem::path m_openedFrom, m_savedTo, m_exportedTo, m_scoreExportedTo,
        m_pdfExportedTo;
};

} // namespace vako
