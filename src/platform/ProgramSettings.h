// The program's settings that outlive a run (for now the language chosen in
// the window): lines "key=value" in $XDG_CONFIG_HOME/vakomidi/vakomidi.conf
// (~/.config/... without it). The window writes them; the window and the tool
// read them, the tool without any toolkit.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vako {

inline constexpr std::string_view kLanguageSetting = "language";

// Where the settings live for this user.
std::filesystem::path programSettingsFile();

// The value of `key`, "" when the file or the key is missing or unreadable.
std::string readProgramSetting(const std::filesystem::path& file, std::string_view key);

// Sets `key` to `value` and keeps the other lines; the folder is made when
// missing. False when the file cannot be written.
bool writeProgramSetting(const std::filesystem::path& file, std::string_view key,
                         std::string_view value);

// The language this user's program speaks (chooseLanguage with the process's
// environment and the choice kept in the settings file).
std::string languageOfUser();

} // namespace vako
