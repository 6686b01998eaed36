// The clock and timer seam of timed playback: a monotonic time in milliseconds
// with a fractional part, and a way to wait until a given time. The real clock
// sleeps; the fake clock used by tests and offline rendering jumps.
#pragma once

#include <chrono>
#include <thread>

namespace vako {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed origin; never goes backwards.
    virtual double nowMs() const = 0;
    // Returns no earlier than `deadlineMs` (at once when it has passed).
    virtual void sleepUntil(double deadlineMs) = 0;
};

// std::chrono::steady_clock; the origin is the moment the clock was made.
class SteadyClock final : public Clock {
public:
    double nowMs() const override {
        return std::chrono::duration<double, std::milli>(Base::now() - m_origin).count();
    }
    void sleepUntil(double deadlineMs) override {
        std::this_thread::sleep_until(m_origin +
                                      std::chrono::duration_cast<Base::duration>(
                                          std::chrono::duration<double, std::milli>(deadlineMs)));
    }

private:
    using Base = std::chrono::steady_clock;
    Base::time_point m_origin = Base::now();
};

// Time moves only when told to; sleeping jumps straight to the deadline.
class FakeClock final : public Clock {
public:
    explicit FakeClock(double startMs = 0) : m_now(startMs) {}
    double nowMs() const override { return m_now; }
    void sleepUntil(double deadlineMs) override {
        if (deadlineMs > m_now) m_now = deadlineMs;
    }
    void advance(double ms) { m_now += ms; }
    void set(double ms) { m_now = ms; }

private:
    double m_now;
};

} // namespace vako
