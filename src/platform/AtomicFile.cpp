#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vako {
namespace {

// Short, so that a final name of up to 255 bytes still leaves room, and
// recognisable, so that start-up can clear what an interrupted save left.
constexpr std::string_view kTempPrefix = ".vakotmp-";

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

// Opens a file for reading and learns its size; the error names why not.
ReadOutcome openForReading(const std::filesystem::path& path, int& fd) {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
        return failure(ReadError::Failed, err);
    }
    if (S_ISDIR(st.st_mode)) {
        close(fd);
        return failure(ReadError::Folder);
    }
    ReadOutcome outcome;
    outcome.size = S_ISREG(st.st_mode) ? static_cast<uintmax_t>(st.st_size) : 0;
    return outcome;
}

// Appends up to `limit` bytes from `fd`; false with errno set on a read error.
bool readUpTo(int fd, std::string& bytes, uintmax_t limit) {
    char buffer[65536];
    while (bytes.size() < limit) {
        const size_t want =
            static_cast<size_t>(std::min<uintmax_t>(sizeof buffer, limit - bytes.size()));
        const ssize_t n = read(fd, buffer, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& requested)
    : m_path(resolveLinks(requested)) {
    const std::filesystem::path folder = m_path.has_parent_path() ? m_path.parent_path() : ".";
    struct stat old {};
    m_replacing = stat(m_path.c_str(), &old) == 0;
    if (m_replacing && S_ISDIR(old.st_mode)) {
        m_error = std::strerror(EISDIR);
        return;
    }
    // A file nobody may write is one the user protected; writing through the
    // folder would replace it all the same.
    if (m_replacing && ((old.st_mode & 0222) == 0 || access(m_path.c_str(), W_OK) != 0)) {
        m_error = std::strerror(EACCES);
        return;
    }
    m_oldUid = old.st_uid, m_oldGid = old.st_gid, m_oldMode = old.st_mode & 07777;
    m_tempPath = (folder / (std::string(kTempPrefix) + "XXXXXX")).string();
    m_fd = mkostemp(m_tempPath.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_error = std::strerror(errno);
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
    if (m_error.empty()) m_error = std::strerror(err);
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
    if (!ok()) return {false, m_error};
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
        return {false, m_error};
    }
    m_tempPath.clear();
    const int closed = close(m_fd);
    const int closeErr = errno;
    m_fd = -1;
    syncFolder(m_path.has_parent_path() ? m_path.parent_path() : ".");
    if (closed != 0) fail(closeErr);
    return {ok(), m_error};
}

WriteOutcome writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    AtomicFileWriter writer(path);
    writer.append(bytes);
    return writer.commit();
}

bool isTemporaryFileName(std::string_view name) {
    if (name.size() == kTempPrefix.size() + 6 && name.substr(0, kTempPrefix.size()) == kTempPrefix)
        return true;
    // Earlier versions: "." + final name + "." + six characters of mkstemp.
    if (name.size() < 1 + 5 + 7 || name[0] != '.') return false;
    const std::string_view ending = name.substr(name.size() - 11, 4);
    return name[name.size() - 7] == '.' && (ending == ".txt" || ending == ".mid");
}

int removeStaleTemporaryFiles(const std::filesystem::path& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isTemporaryFileName(name)) continue;
        const int fd = openat(dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // Only files a save left; one a running save holds stays locked.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            unlinkat(dirfd(dir), name.c_str(), 0) == 0)
            ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

namespace {

// Reads the file's first `count` bytes; with `wholeOrNothing` a file larger
// than `count` is refused instead, unread.
ReadOutcome readPart(const std::filesystem::path& path, std::string& bytes, uintmax_t count,
                     bool wholeOrNothing) {
    bytes.clear();
    int fd = -1;
    ReadOutcome outcome = openForReading(path, fd);
    if (!outcome.ok()) return outcome;
    if (wholeOrNothing && outcome.size > count) {
        close(fd);
        outcome.error = ReadError::TooLarge;
        return outcome;
    }
    bytes.reserve(static_cast<size_t>(std::min(outcome.size, count)));
    // One byte over the limit tells a file that grew (or a device) from one that fits.
    const bool extra = wholeOrNothing && count != UINTMAX_MAX;
    const bool read = readUpTo(fd, bytes, count + (extra ? 1 : 0));
    const int err = errno;
    close(fd);
    if (!read) return failure(ReadError::Failed, err);
    if (bytes.size() > count) {
        outcome.error = ReadError::TooLarge;
        outcome.size = bytes.size();
        bytes.clear();
    }
    return outcome;
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
