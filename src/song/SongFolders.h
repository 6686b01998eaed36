// The two folders songs are saved in: the song folder (the folder the file list
// shows, which is the current folder when the program starts) and the user's
// desktop folder, used while "save to desktop" is checked.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vako {

struct SongFolders {
    std::filesystem::path songFolder;
    std::filesystem::path desktopFolder;
    // Saves go to the desktop folder while the window's desktop option is checked.
    bool saveToDesktop = false;

    // The folder a save writes into.
    const std::filesystem::path& saveFolder() const {
        return saveToDesktop ? desktopFolder : songFolder;
    }

    // The current folder and the XDG desktop folder of this user.
    static SongFolders fromEnvironment();
};

// $XDG_DESKTOP_DIR as the user's user-dirs.dirs sets it, or ~/Desktop.
std::filesystem::path xdgDesktopFolder();

// The file list's items: the names of the regular files in `folder` that open
// as songs (song text files and MIDI files, as fileKindOf tells them), in
// byte order.
std::vector<std::string> songFileNames(const std::filesystem::path& folder);

} // namespace vako
