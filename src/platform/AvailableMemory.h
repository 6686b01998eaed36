// How much more memory the program may take before the system runs out, so
// that a load too large for it is refused instead of the program being ended
// by the system with the song lost.
#pragma once

#include <cstdint>
#include <optional>

namespace vako {

// Bytes the system can still give: its own estimate of available memory
// (page cache that can be dropped included, swap not), lowered by the limit of
// every control group the process runs in. nullopt when the system does not
// say.
std::optional<uint64_t> availableMemoryBytes();

} // namespace vako
