// Writing a whole file so that a reader sees either the old file or the new one,
// never a half-written one, and refusing names that would leave the folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vako {

struct WriteOutcome {
    bool ok = false;
    std::string error; // what went wrong, for the message shown to the user
};

// Writes `bytes` to a temporary file beside `path`, flushes it and renames it
// over `path`. On failure the old file is untouched and no temporary is left.
WriteOutcome writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Reads a whole file; false when it cannot be opened or read.
bool readWholeFile(const std::filesystem::path& path, std::string& bytes);

// True when `name` can be a file name inside a folder: not empty, no path
// separator ('/' or '\\'), no double quote, no control character, not "." or
// "..", and not longer than the file system allows.
bool isUsableFileName(std::string_view name);

} // namespace vako
