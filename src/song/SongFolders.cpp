#include "song/SongFolders.h"

#include "song/OpenFile.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace vako {

std::filesystem::path xdgDesktopFolder() {
    const char* homeEnv = std::getenv("HOME");
    const std::string home = homeEnv && *homeEnv ? homeEnv : "/tmp";
    const char* configEnv = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path config = configEnv && *configEnv
                                             ? std::filesystem::path(configEnv)
                                             : std::filesystem::path(home) / ".config";
    // Read only when it is a file: a named pipe there would hold the start-up.
    std::error_code ec;
    std::ifstream dirs;
    if (std::filesystem::is_regular_file(config / "user-dirs.dirs", ec))
        dirs.open(config / "user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string key = "XDG_DESKTOP_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (!value.empty() && value.front() == '/') return value;
    }
    return std::filesystem::path(home) / "Desktop";
}

std::vector<std::string> songFileNames(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const FileKind kind = fileKindOf(name);
        // A name that leads nowhere (a dangling link) is left out; the listing goes on.
        std::error_code linkEc;
        if ((kind == FileKind::SongText || kind == FileKind::MidiFile) &&
            it->is_regular_file(linkEc))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

SongFolders SongFolders::fromEnvironment() {
    std::error_code ec;
    std::filesystem::path current = std::filesystem::current_path(ec);
    if (ec) current = ".";
    return {current, xdgDesktopFolder()};
}

} // namespace vako
