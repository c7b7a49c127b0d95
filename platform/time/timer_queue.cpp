#include "platform/time/timer_queue.h"

#include <algorithm>

#include "platform/time/virtual_clock.h"

namespace velkor::platform {

TimerQueue::TimerQueue(Clock& clock, Mode mode) : m_clock(clock) {
    if (mode == Mode::Threaded) {
        m_thread = std::thread([this] { threadMain(); });
    }
}

TimerQueue::~TimerQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_timers.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

TimerQueue::TimerId TimerQueue::setEvent(Duration delay, Duration /*resolution*/,
                                         Callback callback, Kind kind) {
    // The resolution only allows the system to be late; every tick here is
    // as punctual as the thread scheduler makes it, so it needs no storage.
    if (delay < kMinimumPeriod || !callback) return 0;
    TimerId id;
    {
        std::lock_guard lock(m_mutex);
        id = m_nextId++;
        if (m_nextId == 0) m_nextId = 1;
        m_timers[id] = Timer{m_clock.now() + delay, delay, kind, std::move(callback)};
    }
    m_changed.notify_all();
    return id;
}

bool TimerQueue::killEvent(TimerId id) {
    std::unique_lock lock(m_mutex);
    bool found = m_timers.erase(id) > 0;
    // A running callback has already been taken out of its slot only for a
    // one-shot timer; treat its identifier as known until it returns.
    if (m_running == id) {
        found = true;
        if (m_runningThread != std::this_thread::get_id()) {
            m_callbackDone.wait(lock, [&] { return m_running != id; });
        }
    }
    lock.unlock();
    m_changed.notify_all();
    return found;
}

bool TimerQueue::isActive(TimerId id) const {
    std::lock_guard lock(m_mutex);
    return m_timers.count(id) > 0;
}

std::size_t TimerQueue::activeCount() const {
    std::lock_guard lock(m_mutex);
    return m_timers.size();
}

std::optional<TimePoint> TimerQueue::nextDeadline() const {
    std::lock_guard lock(m_mutex);
    return earliestLocked();
}

std::optional<TimePoint> TimerQueue::earliestLocked() const {
    std::optional<TimePoint> next;
    for (const auto& [id, timer] : m_timers) {
        if (!next || timer.deadline < *next) next = timer.deadline;
    }
    return next;
}

bool TimerQueue::runOneDue(std::unique_lock<std::mutex>& lock) {
    const TimePoint now = m_clock.now();
    auto due = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second.deadline <= now &&
            (due == m_timers.end() || it->second.deadline < due->second.deadline)) {
            due = it;
        }
    }
    if (due == m_timers.end()) return false;

    const TimerId id = due->first;
    Callback callback = due->second.callback;
    if (due->second.kind == Kind::Periodic) {
        due->second.deadline += due->second.period;
    } else {
        m_timers.erase(due);
    }
    m_running = id;
    m_runningThread = std::this_thread::get_id();
    lock.unlock();
    callback(id);
    lock.lock();
    m_running = 0;
    m_runningThread = {};
    m_callbackDone.notify_all();
    return true;
}

void TimerQueue::runDue() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping && runOneDue(lock)) {
    }
}

void TimerQueue::advance(VirtualClock& clock, Duration step) {
    const TimePoint target = clock.now() + step;
    for (;;) {
        runDue();
        const auto next = nextDeadline();
        if (!next || *next > target) break;
        clock.advanceTo(*next);
    }
    clock.advanceTo(target);
    runDue();
}

void TimerQueue::threadMain() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (runOneDue(lock)) continue;
        if (const auto next = earliestLocked()) {
            m_clock.waitUntil(m_changed, lock, *next);
        } else {
            m_changed.wait(lock);
        }
    }
}

}  // namespace velkor::platform
