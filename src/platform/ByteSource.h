// Where a reader's bytes come from, piece by piece and in order: an open file,
// or in tests a string handed out in small pieces.
#pragma once

#include <cstddef>

namespace vako {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to `count` bytes into `into` and returns how many; 0 only at
    // the end (or when the source failed; it says so itself).
    virtual size_t read(char* into, size_t count) = 0;
};

} // namespace vako
