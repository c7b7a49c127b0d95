#pragma once

#include <memory>
#include <vector>

#include "platform/time/clock.h"

namespace velkor::platform {

// A clock that stands still until a test moves it. Threads waiting on it wake
// when advance() carries the time past their deadline.
class VirtualClock final : public Clock {
public:
    // Starts at an arbitrary fixed point far from the epoch, so that code
    // subtracting durations from now() never underflows.
    VirtualClock();

    TimePoint now() const override;
    std::cv_status waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                             TimePoint deadline) override;
    using Clock::waitUntil;

    void advance(Duration step);
    void advanceTo(TimePoint target);

    // Number of threads currently blocked in waitUntil; lets a test wait
    // until a worker has reached its wait before moving the clock.
    std::size_t waiterCount() const;
    // Blocks (in real time, up to `limit`) until at least `count` waiters.
    bool awaitWaiters(std::size_t count, std::chrono::milliseconds limit) const;

private:
    struct Waiter;

    void wake(const std::vector<std::shared_ptr<Waiter>>& due);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_waitersChanged;
    TimePoint m_now;
    std::vector<std::shared_ptr<Waiter>> m_waiters;
};

}  // namespace velkor::platform
