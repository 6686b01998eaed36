#include "song/SongFolders.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace vako {

std::filesystem::path xdgDesktopFolder() {
    const char* homeEnv = std::getenv("HOME");
    const std::string home = homeEnv && *homeEnv ? homeEnv : "/tmp";
    const char* configEnv = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path config = configEnv && *configEnv
                                             ? std::filesystem::path(configEnv)
                                             : std::filesystem::path(home) / ".config";
    std::ifstream dirs(config / "user-dirs.dirs");
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

SongFolders SongFolders::fromEnvironment() {
    std::error_code ec;
    std::filesystem::path current = std::filesystem::current_path(ec);
    if (ec) current = ".";
    return {current, xdgDesktopFolder()};
}

} // namespace vako
