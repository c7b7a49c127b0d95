#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/time/clock.h"

namespace velkor::platform {

// Periodic and one-shot timers in the shape of the multimedia timers the
// provider was written against: a delay (the period of a periodic timer), a
// resolution, a callback, and an identifier to kill the timer with. Callbacks
// run one at a time on the queue's timer thread.
//
// In manual mode there is no thread: a test moves a VirtualClock and calls
// runDue() (or advance()) so that every callback runs on the test's thread in
// deadline order.
class TimerQueue {
public:
    using TimerId = std::uint32_t;
    using Callback = std::function<void(TimerId)>;

    enum class Kind {
        OneShot,
        Periodic,
    };
    enum class Mode {
        Threaded,
        Manual,
    };

    // The finest period the queue honours, as a device's minimum period.
    static constexpr Duration kMinimumPeriod = milliseconds(1);

    explicit TimerQueue(Clock& clock = Clock::real(), Mode mode = Mode::Threaded);
    ~TimerQueue();

    TimerQueue(const TimerQueue&) = delete;
    TimerQueue& operator=(const TimerQueue&) = delete;

    // Returns the new timer's identifier, never 0; 0 when the delay is shorter
    // than the minimum period or the callback is empty. A periodic timer fires
    // at start + n * delay, so a late tick does not shift the ones after it.
    TimerId setEvent(Duration delay, Duration resolution, Callback callback, Kind kind);

    // Stops the timer. When the callback of this timer is running on another
    // thread, waits for it to return, so that the caller may free what the
    // callback uses; killing a timer from its own callback is allowed. Returns
    // false for an unknown identifier.
    bool killEvent(TimerId id);

    bool isActive(TimerId id) const;
    std::size_t activeCount() const;

    // Earliest deadline of the active timers.
    std::optional<TimePoint> nextDeadline() const;

    // Runs, on the caller's thread, every callback due at the clock's current
    // time, including periodic ticks that fell behind.
    void runDue();

    // Manual mode with a VirtualClock: moves the clock forward by `step`,
    // stopping at every deadline on the way to run the callbacks due there.
    void advance(class VirtualClock& clock, Duration step);

private:
    struct Timer {
        TimePoint deadline;
        Duration period;
        Kind kind;
        Callback callback;
    };

    void threadMain();
    std::optional<TimePoint> earliestLocked() const;
    // Runs one due timer, with the lock held on entry and on return; false
    // when none is due.
    bool runOneDue(std::unique_lock<std::mutex>& lock);

    Clock& m_clock;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::condition_variable m_callbackDone;
    std::map<TimerId, Timer> m_timers;
    TimerId m_nextId = 1;
    TimerId m_running = 0;
    std::thread::id m_runningThread;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace velkor::platform
