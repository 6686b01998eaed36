#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vako {
namespace {

// The start of every temporary file name; see temporaryFileName.
constexpr std::string_view kTempPrefix = ".vakomidi-save-";
// What mkstemp fills in: a dot, then six letters and digits.
constexpr size_t kTempRandomPart = 7;
// Host names are cut to this length, so that the temporary's name stays far
// below the 255 bytes a name may take whatever the final name's length.
constexpr size_t kMostHostChars = 64;

bool isLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// This machine's name as a temporary file carries it: letters, digits, '-',
// '.' and '_', anything else as '_'.
std::string thisHost() {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0') return "localhost";
    std::string host;
    for (const char c : std::string_view(buffer).substr(0, kMostHostChars))
        host += isLetterOrDigit(c) || c == '-' || c == '.' || c == '_' ? c : '_';
    return host;
}

// True unless the process is known to have ended: one that exists but that
// this user may not signal is running too.
bool processMayBeRunning(long pid) {
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// Removes the file `name` in the folder `dirFd` when it is a regular file of
// this user that no save holds, as it still was when it was checked.
bool removeLeftover(int dirFd, const char* name) {
    const int fd = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool removed = false;
    struct stat held {};
    // The lock is the last word: a process of this machine in another process
    // namespace may carry the same number as one that ended here.
    if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == geteuid() &&
        flock(fd, LOCK_EX | LOCK_NB) == 0) {
        struct stat named {};
        if (fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
            removed = unlinkat(dirFd, name, 0) == 0;
    }
    close(fd);
    return removed;
}

// The file a save under `path` replaces: symbolic links followed to their
// target (which need not exist yet), so the link itself is kept.
std::filesystem::path resolveLinks(std::filesystem::path path) {
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) break;
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

// Flushes the folder's entries, so that a rename in it is on the disk.
void syncFolder(const std::filesystem::path& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd); // some file systems cannot; the file itself is already flushed
    close(fd);
}

bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

ReadOutcome failure(ReadError error, int err = 0) {
    ReadOutcome outcome;
    outcome.error = error;
    if (error == ReadError::Failed) outcome.detail = std::strerror(err);
    return outcome;
}

// Opens a regular file for reading and learns its size; the error names why not.
ReadOutcome openForReading(const std::filesystem::path& path, int& fd) {
    fd = -1;
    struct stat named {};
    // A named pipe would hold open() until a writer came, and a device might
    // do anything when opened: neither is opened at all.
    if (stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode) && !S_ISDIR(named.st_mode))
        return failure(ReadError::NotAFile);
    // Nor does it wait when the name became a pipe since.
    fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) return failure(ReadError::Missing);
        if (err == EACCES || err == EPERM) return failure(ReadError::NoPermission);
        if (err == EISDIR) return failure(ReadError::Folder);
        return failure(ReadError::Failed, err);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        close(fd);
        fd = -1;
        return failure(ReadError::Failed, err);
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        fd = -1;
        return failure(S_ISDIR(st.st_mode) ? ReadError::Folder : ReadError::NotAFile);
    }
    // A regular file reads the same either way; reads wait for the disk as usual.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ReadOutcome outcome;
    outcome.size = static_cast<uintmax_t>(st.st_size);
    return outcome;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& requested)
    : m_path(resolveLinks(requested)) {
    const std::filesystem::path folder = m_path.has_parent_path() ? m_path.parent_path() : ".";
    struct stat old {};
    m_replacing = stat(m_path.c_str(), &old) == 0;
    if (m_replacing && S_ISDIR(old.st_mode)) {
        fail(EISDIR);
        return;
    }
    // A file on a read-only file system says so (access() tells that first).
    if (m_replacing && access(m_path.c_str(), W_OK) != 0) {
        fail(errno);
        return;
    }
    // A file nobody may write is one the user protected; writing through the
    // folder would replace it all the same.
    if (m_replacing && (old.st_mode & 0222) == 0) {
        fail(EACCES);
        return;
    }
    m_oldUid = old.st_uid, m_oldGid = old.st_gid, m_oldMode = old.st_mode & 07777;
    m_tempPath = (folder / temporaryFileName()).string();
    m_fd = mkostemp(m_tempPath.data(), O_CLOEXEC);
    if (m_fd < 0) {
        fail(errno);
        m_tempPath.clear();
        return;
    }
    // Held until the rename, so that another instance's clearing at start-up
    // leaves this file alone.
    flock(m_fd, LOCK_EX);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (m_fd >= 0) close(m_fd);
    if (!m_tempPath.empty()) unlink(m_tempPath.c_str());
}

void AtomicFileWriter::fail(int err) {
    if (!m_error.empty()) return;
    m_error = std::strerror(err);
    m_errorNumber = err;
}

bool AtomicFileWriter::append(std::string_view bytes) {
    if (!ok()) return false;
    if (!writeAll(m_fd, bytes)) fail(errno);
    return ok();
}

bool AtomicFileWriter::writeAt(uint64_t offset, std::string_view bytes) {
    if (!ok()) return false;
    if (pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
        static_cast<ssize_t>(bytes.size()))
        fail(errno ? errno : EIO);
    return ok();
}

WriteOutcome AtomicFileWriter::commit() {
    if (!ok()) return {false, m_error, m_errorNumber};
    if (m_replacing) {
        // Owner and group first: changing them may clear the set-id bits.
        if (fchown(m_fd, m_oldUid, m_oldGid) != 0)
            (void)!fchown(m_fd, static_cast<uid_t>(-1), m_oldGid);
        fchmod(m_fd, m_oldMode);
    } else {
        // mkstemp creates the file readable by the owner only; a new file is
        // an ordinary document.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(m_fd, 0666 & ~mask);
    }
    if (fsync(m_fd) != 0 || std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        fail(errno);
        return {false, m_error, m_errorNumber};
    }
    m_tempPath.clear();
    const int closed = close(m_fd);
    const int closeErr = errno;
    m_fd = -1;
    syncFolder(m_path.has_parent_path() ? m_path.parent_path() : ".");
    if (closed != 0) fail(closeErr);
    return {ok(), m_error, m_errorNumber};
}

WriteOutcome writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    AtomicFileWriter writer(path);
    writer.append(bytes);
    return writer.commit();
}

std::string temporaryFileName() {
    return std::string(kTempPrefix) + std::to_string(getpid()) + "@" + thisHost() + ".XXXXXX";
}

std::optional<TemporaryFileOwner> temporaryFileOwner(std::string_view name) {
    if (!name.starts_with(kTempPrefix)) return std::nullopt;
    std::string_view rest = name.substr(kTempPrefix.size());
    // PID: one to ten digits, a number the system can give.
    const size_t at = rest.find('@');
    if (at == std::string_view::npos || at == 0 || at > 10) return std::nullopt;
    long pid = 0;
    for (const char c : rest.substr(0, at)) {
        if (c < '0' || c > '9') return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    if (pid <= 0 || pid > INT32_MAX) return std::nullopt;
    rest.remove_prefix(at + 1);
    // HOST, then what mkstemp filled in.
    if (rest.size() <= kTempRandomPart || rest.size() > kMostHostChars + kTempRandomPart)
        return std::nullopt;
    const std::string_view random = rest.substr(rest.size() - kTempRandomPart);
    if (random[0] != '.' || !std::all_of(random.begin() + 1, random.end(), isLetterOrDigit))
        return std::nullopt;
    return TemporaryFileOwner{pid, std::string(rest.substr(0, rest.size() - kTempRandomPart))};
}

int removeStaleTemporaryFiles(const std::filesystem::path& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    const std::string host = thisHost();
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const auto owner = temporaryFileOwner(entry->d_name);
        // Whether a save of another machine still runs, only that machine
        // can tell; a save of a running process may still be writing.
        if (!owner || owner->host != host || processMayBeRunning(owner->pid)) continue;
        if (removeLeftover(dirfd(dir), entry->d_name)) ++removed;
    }
    closedir(dir);
    return removed;
}

FileReader::~FileReader() {
    if (m_fd >= 0) close(m_fd);
}

ReadOutcome FileReader::open(const std::filesystem::path& path) {
    if (m_fd >= 0) close(m_fd);
    m_limit = UINTMAX_MAX;
    m_read = 0;
    m_outcome = openForReading(path, m_fd);
    return m_outcome;
}

const ReadOutcome& FileReader::limitTo(uintmax_t maxBytes) {
    m_limit = maxBytes;
    if (m_outcome.ok() && std::max(m_outcome.size, m_read) > maxBytes)
        m_outcome.error = ReadError::TooLarge;
    return m_outcome;
}

size_t FileReader::read(char* into, size_t count) {
    if (m_fd < 0 || !m_outcome.ok()) return 0;
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_fd, into + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            m_outcome = failure(ReadError::Failed, errno);
            return 0;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    m_read += done;
    // A file that grew past the limit since it was opened.
    if (m_read > m_limit) {
        m_outcome.error = ReadError::TooLarge;
        m_outcome.size = m_read;
        return 0;
    }
    return done;
}

namespace {

// Reads the file's first `count` bytes; with `wholeOrNothing` a file larger
// than `count` is refused instead, unread.
ReadOutcome readPart(const std::filesystem::path& path, std::string& bytes, uintmax_t count,
                     bool wholeOrNothing) {
    bytes.clear();
    FileReader file;
    file.open(path);
    const ReadOutcome opened = wholeOrNothing ? file.limitTo(count) : file.outcome();
    if (!opened.ok()) return opened;
    bytes.reserve(static_cast<size_t>(std::min(opened.size, count)));
    // A whole file is read to its end, so that one that grew is told.
    const uintmax_t stopAt = wholeOrNothing ? UINTMAX_MAX : count;
    char buffer[65536];
    while (bytes.size() < stopAt) {
        const size_t n = file.read(
            buffer, static_cast<size_t>(std::min<uintmax_t>(sizeof buffer, stopAt - bytes.size())));
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    if (!file.outcome().ok()) bytes.clear();
    return file.outcome();
}

} // namespace

ReadOutcome readFile(const std::filesystem::path& path, std::string& bytes, uintmax_t maxBytes) {
    return readPart(path, bytes, maxBytes, true);
}

ReadOutcome readFileStart(const std::filesystem::path& path, std::string& bytes, size_t count) {
    return readPart(path, bytes, count, false);
}

bool readWholeFile(const std::filesystem::path& path, std::string& bytes) {
    return readFile(path, bytes).ok();
}

bool isUsableFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.size() > 251) return false; // room for ".txt" within NAME_MAX (255 bytes)
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == '"') return false;
    }
    return true;
}

} // namespace vako
