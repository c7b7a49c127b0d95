#include "platform/time/virtual_clock.h"

#include <algorithm>

namespace velkor::platform {

// A blocked waiter. `guard` and `active` let advance() notify a waiter without
// racing its return: once the waiter has cleared `active` under `guard`, its
// mutex and condition variable are never touched again.
struct VirtualClock::Waiter {
    std::mutex* mutex;
    std::condition_variable* cv;
    TimePoint deadline;
    std::mutex guard;
    bool active = true;
};

VirtualClock::VirtualClock() : m_now(TimePoint{} + std::chrono::hours(24 * 365)) {}

TimePoint VirtualClock::now() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

std::cv_status VirtualClock::waitUntil(std::condition_variable& cv,
                                       std::unique_lock<std::mutex>& lock, TimePoint deadline) {
    auto waiter = std::make_shared<Waiter>();
    waiter->mutex = lock.mutex();
    waiter->cv = &cv;
    waiter->deadline = deadline;
    std::vector<std::shared_ptr<Waiter>> due;
    bool jumped = false;
    {
        std::lock_guard clockLock(m_mutex);
        if (m_now >= deadline) {
            return std::cv_status::timeout;
        }
        jumped = m_autoAdvance;
        if (jumped) {
            m_now = deadline;
            for (const auto& w : m_waiters) {
                if (w->deadline <= m_now) due.push_back(w);
            }
        } else {
            m_waiters.push_back(waiter);
        }
    }
    if (jumped) {
        wake(due, lock.mutex());
        return std::cv_status::timeout;
    }
    m_waitersChanged.notify_all();

    // The caller's lock has been held since the deadline check, and advance()
    // takes it before notifying, so no wake-up can fall between the check and
    // the wait.
    cv.wait(lock);

    lock.unlock();
    {
        std::lock_guard guard(waiter->guard);
        waiter->active = false;
    }
    bool timedOut;
    {
        std::lock_guard clockLock(m_mutex);
        std::erase(m_waiters, waiter);
        timedOut = m_now >= deadline;
    }
    m_waitersChanged.notify_all();
    lock.lock();
    return timedOut ? std::cv_status::timeout : std::cv_status::no_timeout;
}

void VirtualClock::advance(Duration step) {
    std::vector<std::shared_ptr<Waiter>> due;
    {
        std::lock_guard clockLock(m_mutex);
        m_now += step;
        for (const auto& w : m_waiters) {
            if (w->deadline <= m_now) due.push_back(w);
        }
    }
    wake(due);
}

void VirtualClock::advanceTo(TimePoint target) {
    Duration step{};
    {
        std::lock_guard clockLock(m_mutex);
        if (target > m_now) step = target - m_now;
    }
    advance(step);
}

void VirtualClock::wake(const std::vector<std::shared_ptr<Waiter>>& due, std::mutex* held) {
    for (const auto& w : due) {
        std::lock_guard guard(w->guard);
        if (!w->active) continue;
        if (w->mutex == held) {
            // The caller holds this waiter's mutex already.
            w->cv->notify_all();
            continue;
        }
        std::lock_guard lock(*w->mutex);
        w->cv->notify_all();
    }
}

void VirtualClock::setAutoAdvance(bool on) {
    std::lock_guard clockLock(m_mutex);
    m_autoAdvance = on;
}

std::size_t VirtualClock::waiterCount() const {
    std::lock_guard clockLock(m_mutex);
    return m_waiters.size();
}

bool VirtualClock::awaitWaiters(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock clockLock(m_mutex);
    return m_waitersChanged.wait_for(clockLock, limit,
                                     [&] { return m_waiters.size() >= count; });
}

}  // namespace velkor::platform
