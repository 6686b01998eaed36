// Heap accounting for memory figures and memory tests: replaces the global
// operator new and delete, so include it in exactly one file of a binary.
// Every allocation carries its size in front of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace heapcount {

inline std::atomic<int64_t> g_now{0};
inline std::atomic<int64_t> g_peak{0};

inline void* allocate(size_t size) {
    auto* block = static_cast<size_t*>(std::malloc(size + 16));
    if (!block) throw std::bad_alloc();
    *block = size;
    const int64_t now = g_now += static_cast<int64_t>(size);
    int64_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {}
    return reinterpret_cast<char*>(block) + 16;
}

inline void release(void* p) {
    if (!p) return;
    auto* block = reinterpret_cast<size_t*>(static_cast<char*>(p) - 16);
    g_now -= static_cast<int64_t>(*block);
    std::free(block);
}

// Bytes held now; the most held at once since the last startPeak().
inline int64_t inUse() { return g_now.load(); }
inline int64_t peak() { return g_peak.load(); }
inline void startPeak() { g_peak = g_now.load(); }

} // namespace heapcount

void* operator new(size_t size) { return heapcount::allocate(size); }
void* operator new[](size_t size) { return heapcount::allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return heapcount::allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { heapcount::release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { heapcount::release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { heapcount::release(p); }
void operator delete[](void* p) noexcept { heapcount::release(p); }
void operator delete(void* p, size_t) noexcept { heapcount::release(p); }
void operator delete[](void* p, size_t) noexcept { heapcount::release(p); }
