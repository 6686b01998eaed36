// Writing a whole file so that a reader sees either the old file or the new one,
// never a half-written one, and refusing names that would leave the folder.
// Reading a file whole or piece by piece, with the reason when it cannot be read.
#pragma once

#include "platform/ByteSource.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vako {

struct WriteOutcome {
    bool ok = false;
    std::string error;   // the system's text for what went wrong
    int errorNumber = 0; // its errno, so that the message can name the common causes
};

// Writes `bytes` to a temporary file beside `path` (see temporaryFileName:
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
    int errorNumber() const { return m_errorNumber; }
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
    int m_errorNumber = 0;
};

// The name of the temporary files this process's saves write before they
// rename them into place: ".vakomidi-save-PID@HOST.XXXXXX", where XXXXXX is
// what mkstemp fills in. The process and the machine in the name are what let
// a later start-up prove that the file is a leftover of a save that can no
// longer be running; no user and no other program names a file so.
std::string temporaryFileName();

struct TemporaryFileOwner {
    long pid = 0;
    std::string host; // as temporaryFileName writes it
};
// Whose save a temporary file of this program is, from its name; nullopt for
// any other name.
std::optional<TemporaryFileOwner> temporaryFileOwner(std::string_view name);

// True for a name that temporaryFileName gives.
inline bool isTemporaryFileName(std::string_view name) {
    return temporaryFileOwner(name).has_value();
}

// Removes the temporary files that interrupted saves left in `folder`, and
// nothing else: only names temporaryFileName gives, written by this user on
// this machine by a process that has ended, and not held by a running save.
// Names of earlier versions (".name.txt.XXXXXX", ".vakotmp-XXXXXX") prove
// nothing (a user may name a backup so) and stay. Returns how many were
// removed.
int removeStaleTemporaryFiles(const std::filesystem::path& folder);

enum class ReadError {
    None,
    Missing,      // no such file, or a folder on the way is missing
    Folder,       // the path names a folder
    NotAFile,     // a named pipe, a device or a socket: reading it could wait for ever
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

// A file opened for reading piece by piece. Only a regular file is opened
// (what else carries a song's name, a named pipe say, is refused without
// waiting for a writer). A file larger than the limit is refused before
// anything is read, and one that grows past it while it is read ends there
// with TooLarge.
class FileReader : public ByteSource {
public:
    FileReader() = default;
    ~FileReader() override;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    ReadOutcome open(const std::filesystem::path& path);
    // Refuses the file, unread or read no further, when it is or grows
    // larger than `maxBytes`: the outcome is then TooLarge.
    const ReadOutcome& limitTo(uintmax_t maxBytes);
    // The file's size when it was opened.
    uintmax_t size() const { return m_outcome.size; }
    // Fills `into` as far as the file goes; 0 at its end or after a failure,
    // which outcome() then names.
    size_t read(char* into, size_t count) override;
    const ReadOutcome& outcome() const { return m_outcome; }

private:
    int m_fd = -1;
    uintmax_t m_limit = UINTMAX_MAX;
    uintmax_t m_read = 0; // bytes handed out so far
    ReadOutcome m_outcome;
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
