// Writing a whole file so that a reader sees either the old file or the new one,
// never a half-written one, and refusing names that would leave the folder.
// Reading a file whole, with the reason when it cannot be read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vako {

struct WriteOutcome {
    bool ok = false;
    std::string error; // what went wrong, for the message shown to the user
};

// Writes `bytes` to a temporary file beside `path` (named ".vakotmp-XXXXXX",
// short whatever the final name's length), flushes it and renames it over
// `path`, then flushes the folder so that the new name survives a power cut.
// Saving over an existing file keeps its permission bits (and its owner and
// group where the process may set them); a read-only file is refused. A
// symbolic link is followed: its target is replaced and the link stays. On
// failure the old file is untouched and no temporary is left.
WriteOutcome writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// The same, for a file written piece by piece (a long rendering): the pieces
// go to the temporary file, and `commit` puts it in place as
// writeFileAtomically does. A writer destroyed without a commit removes its
// temporary, and the old file stays.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const std::filesystem::path& path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False once anything failed; error() then says what.
    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    bool append(std::string_view bytes);
    // Overwrites bytes already appended (a header whose sizes are known at the end).
    bool writeAt(uint64_t offset, std::string_view bytes);
    WriteOutcome commit();

private:
    void fail(int err);

    std::filesystem::path m_path; // the file replaced, links resolved
    std::string m_tempPath;
    int m_fd = -1;
    bool m_replacing = false;
    unsigned m_oldUid = 0, m_oldGid = 0, m_oldMode = 0;
    std::string m_error;
};

// Removes the temporary files that interrupted saves left in `folder`: those
// writeFileAtomically names, and the ".name.txt.XXXXXX" of earlier versions.
// A temporary that a running save still holds is left alone. Returns how many
// were removed.
int removeStaleTemporaryFiles(const std::filesystem::path& folder);

// True for a name writeFileAtomically (or an earlier version of it) gives its
// temporary files.
bool isTemporaryFileName(std::string_view name);

enum class ReadError {
    None,
    Missing,      // no such file, or a folder on the way is missing
    Folder,       // the path names a folder
    NoPermission, // the file may not be read
    TooLarge,     // larger than the caller's limit
    Failed,       // any other error of the system; `detail` says which
};

struct ReadOutcome {
    ReadError error = ReadError::None;
    uintmax_t size = 0; // the file's size in bytes, once known
    std::string detail; // the system's text for ReadError::Failed
    bool ok() const { return error == ReadError::None; }
};

// Reads the whole file into `bytes`; a file larger than `maxBytes` is refused
// before anything is read.
ReadOutcome readFile(const std::filesystem::path& path, std::string& bytes,
                     uintmax_t maxBytes = UINTMAX_MAX);

// Reads at most the first `count` bytes of the file into `bytes` (fewer when the
// file is shorter); `size` is the whole file's size.
ReadOutcome readFileStart(const std::filesystem::path& path, std::string& bytes, size_t count);

// Reads a whole file; false when it cannot be opened or read.
bool readWholeFile(const std::filesystem::path& path, std::string& bytes);

// True when `name` can be a file name inside a folder: not empty, no path
// separator ('/' or '\\'), no double quote, no control character, not "." or
// "..", and not longer than the file system allows.
bool isUsableFileName(std::string_view name);

} // namespace vako
