#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vako {

WriteOutcome writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::string tmpl = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(tmpl.data());
    if (fd < 0) return {false, std::strerror(errno)};
    auto fail = [&](int err) {
        close(fd);
        unlink(tmpl.c_str());
        return WriteOutcome{false, std::strerror(err)};
    };
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    // mkstemp creates the file readable by the owner only; a song file is an
    // ordinary document.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (fsync(fd) != 0) return fail(errno);
    if (close(fd) != 0) {
        const int err = errno;
        unlink(tmpl.c_str());
        return {false, std::strerror(err)};
    }
    if (std::rename(tmpl.c_str(), path.c_str()) != 0) {
        const int err = errno;
        unlink(tmpl.c_str());
        return {false, std::strerror(err)};
    }
    return {true, {}};
}

bool readWholeFile(const std::filesystem::path& path, std::string& bytes) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    // Room for the whole file at once (the size is a hint; the loop reads what there is).
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec) bytes.reserve(static_cast<size_t>(size));
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool isUsableFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.size() > 250) return false; // room for the extension within NAME_MAX
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == '"') return false;
    }
    return true;
}

} // namespace vako
