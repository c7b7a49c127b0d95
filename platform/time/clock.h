#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velkor::platform {

using Duration = std::chrono::steady_clock::duration;
using TimePoint = std::chrono::steady_clock::time_point;
using std::chrono::milliseconds;

// Every wait with a time-out and every timer goes through a Clock, so that the
// fixed waits of the link (9 s request limit, 18.46 s supervision ...) can be
// driven by a test in microseconds instead of being slept through.
class Clock {
public:
    virtual ~Clock() = default;

    virtual TimePoint now() const = 0;

    // Waits on `cv` with `lock` held, as std::condition_variable::wait_until
    // does, but against this clock. Returns std::cv_status::timeout once the
    // clock has reached `deadline`; a wake-up before that may be spurious, so
    // callers re-check their condition in a loop.
    virtual std::cv_status waitUntil(std::condition_variable& cv,
                                     std::unique_lock<std::mutex>& lock, TimePoint deadline) = 0;

    void sleepFor(Duration duration);
    void sleepUntil(TimePoint deadline);

    // Waits until `ready()` holds or the clock reaches `deadline`; returns the
    // last value of `ready()`.
    template <typename Predicate>
    bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline, Predicate ready) {
        while (!ready()) {
            if (waitUntil(cv, lock, deadline) == std::cv_status::timeout) {
                return ready();
            }
        }
        return true;
    }

    // The process-wide steady clock.
    static Clock& real();
};

class SteadyClock final : public Clock {
public:
    TimePoint now() const override;
    std::cv_status waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                             TimePoint deadline) override;
    using Clock::waitUntil;
};

}  // namespace velkor::platform
