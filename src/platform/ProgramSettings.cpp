#include "platform/ProgramSettings.h"

#include "platform/AtomicFile.h"
#include "platform/Translation.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vako {
namespace {

std::string readWhole(const std::filesystem::path& file) {
    // Only a regular file: a named pipe there would hold the start-up.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return {};
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool lineHasKey(std::string_view line, std::string_view key) {
    return line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=';
}

} // namespace

std::filesystem::path programSettingsFile() {
    const char* configEnv = std::getenv("XDG_CONFIG_HOME");
    if (configEnv && *configEnv) return std::filesystem::path(configEnv) / "vakomidi" / "vakomidi.conf";
    const char* homeEnv = std::getenv("HOME");
    const std::filesystem::path home = homeEnv && *homeEnv ? homeEnv : "/tmp";
    return home / ".config" / "vakomidi" / "vakomidi.conf";
}

std::string readProgramSetting(const std::filesystem::path& file, std::string_view key) {
    std::istringstream lines(readWhole(file));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineHasKey(line, key)) return line.substr(key.size() + 1);
    }
    return {};
}

bool writeProgramSetting(const std::filesystem::path& file, std::string_view key,
                         std::string_view value) {
    std::istringstream lines(readWhole(file));
    std::string out;
    std::string line;
    bool written = false;
    while (std::getline(lines, line)) {
        if (lineHasKey(line, key)) {
            if (written) continue;
            line = std::string(key) + "=" + std::string(value);
            written = true;
        }
        out += line + "\n";
    }
    if (!written) out += std::string(key) + "=" + std::string(value) + "\n";
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    return writeFileAtomically(file, out).ok;
}

std::string languageOfUser() {
    return chooseLanguage(processEnvironment(),
                          readProgramSetting(programSettingsFile(), kLanguageSetting));
}

} // namespace vako
