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

    // With auto-advance on, a wait that nothing has ended moves the clock to
    // its own deadline at once. Suits single-threaded tests whose peer
    // answers inside the call that sent the request: every wait then either
    // is already satisfied or would run out, and the clock shows exactly how
    // long the code under test would have waited.
    void setAutoAdvance(bool on);

    // Number of threads currently blocked in waitUntil; lets a test wait
    // until a worker has reached its wait before moving the clock.
    std::size_t waiterCount() const;
    // Blocks (in real time, up to `limit`) until at least `count` waiters.
    bool awaitWaiters(std::size_t count, std::chrono::milliseconds limit) const;

private:
    struct Waiter;

    void wake(const std::vector<std::shared_ptr<Waiter>>& due, std::mutex* held = nullptr);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_waitersChanged;
    TimePoint m_now;
    bool m_autoAdvance = false;
    std::vector<std::shared_ptr<Waiter>> m_waiters;
};

}  // namespace velkor::platform
