// A bounded queue between exactly one producing thread and one consuming
// thread. Neither side ever waits or allocates: a full queue refuses the item
// (the producer counts it as dropped), an empty one gives nothing. This is how
// a device thread hands work to the user-interface thread without ever being
// held up by it.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace vako {

// `Capacity` must be a power of two; the queue holds up to Capacity items.
template <typename T, size_t Capacity>
class SpscRing {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "the capacity is a power of two");

public:
    // Producer side. False when the queue is full (the item is not kept).
    bool push(const T& item) {
        const size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail - m_head.load(std::memory_order_acquire) == Capacity) return false;
        m_items[tail & (Capacity - 1)] = item;
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer side. False when the queue is empty.
    bool pop(T& item) {
        const size_t head = m_head.load(std::memory_order_relaxed);
        if (m_tail.load(std::memory_order_acquire) == head) return false;
        item = m_items[head & (Capacity - 1)];
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }

    static constexpr size_t capacity() { return Capacity; }

private:
    // Counters only grow; their difference is the fill. Kept on separate cache
    // lines so the two threads do not fight over one.
    alignas(64) std::atomic<size_t> m_head{0};
    alignas(64) std::atomic<size_t> m_tail{0};
    alignas(64) std::array<T, Capacity> m_items{};
};

} // namespace vako
