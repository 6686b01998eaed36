#include "platform/AvailableMemory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace vako {
namespace {

namespace fs = std::filesystem;

// The number a file holds, nullopt for anything else ("max", say).
std::optional<uint64_t> numberIn(const fs::path& path) {
    std::ifstream in(path);
    uint64_t value = 0;
    if (in >> value) return value;
    return std::nullopt;
}

// The number after `key` on the line that starts with it, in a statistics file.
std::optional<uint64_t> statistic(const fs::path& path, std::string_view key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with(key) || line.size() == key.size() || line[key.size()] != ' ')
            continue;
        std::istringstream value(line.substr(key.size()));
        uint64_t number = 0;
        if (value >> number) return number;
    }
    return std::nullopt;
}

// Where a control group version keeps its memory limit and what is used of it.
struct GroupFiles {
    const char* root;
    const char* limit;
    const char* usage;
    const char* inactiveFileStatistic; // page cache the system drops before it runs out
};
constexpr GroupFiles kUnifiedGroups{"/sys/fs/cgroup", "memory.max", "memory.current",
                                    "inactive_file"};
constexpr GroupFiles kMemoryGroups{"/sys/fs/cgroup/memory", "memory.limit_in_bytes",
                                   "memory.usage_in_bytes", "total_inactive_file"};

constexpr uint64_t kNoLimit = uint64_t{1} << 62;

// The least room under the limits of `group` and of the groups above it.
std::optional<uint64_t> roomInGroups(const GroupFiles& files, fs::path group) {
    std::optional<uint64_t> least;
    for (;;) {
        const fs::path folder = fs::path(files.root) / group.relative_path();
        // No limit reads as "max", or in the older version as a number near 2^63.
        const auto limit = numberIn(folder / files.limit);
        std::optional<uint64_t> used;
        if (limit && *limit < kNoLimit) used = numberIn(folder / files.usage);
        if (limit && used) {
            if (const auto inactive =
                    statistic(folder / "memory.stat", files.inactiveFileStatistic))
                *used -= std::min(*used, *inactive);
            const uint64_t room = *limit > *used ? *limit - *used : 0;
            least = std::min(least.value_or(room), room);
        }
        if (!group.has_relative_path()) return least;
        group = group.parent_path();
    }
}

std::optional<uint64_t> systemAvailable() {
    const auto kib = statistic("/proc/meminfo", "MemAvailable:");
    if (!kib) return std::nullopt;
    return *kib * 1024;
}

} // namespace

std::optional<uint64_t> availableMemoryBytes() {
    std::optional<uint64_t> room = systemAvailable();
    const auto lower = [&room](std::optional<uint64_t> other) {
        if (other) room = std::min(room.value_or(*other), *other);
    };
    // Lines "id:controllers:path"; id 0 with no controllers is the unified hierarchy.
    std::ifstream groups("/proc/self/cgroup");
    std::string line;
    while (std::getline(groups, line)) {
        const size_t first = line.find(':');
        const size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const fs::path path = line.substr(second + 1);
        if (line.compare(0, first, "0") == 0 && controllers.empty()) {
            lower(roomInGroups(kUnifiedGroups, path));
        } else {
            std::istringstream names(controllers);
            std::string name;
            while (std::getline(names, name, ','))
                if (name == "memory") lower(roomInGroups(kMemoryGroups, path));
        }
    }
    return room;
}

} // namespace vako
