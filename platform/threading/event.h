#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/time/clock.h"

namespace velkor::platform {

// A waitable event. A manual-reset event stays signalled until reset() and
// releases every waiter; an auto-reset event releases one waiter and resets
// itself. Waits with a time-out run on the event's clock.
class Event {
public:
    enum class Reset {
        Manual,
        Automatic,
    };

    explicit Event(Reset reset, bool initiallySignalled = false, Clock& clock = Clock::real());

    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;

    // True when the event was signalled within `timeout`; false on time-out.
    bool wait(Duration timeout);
    void waitForever();

private:
    bool consumeLocked();

    Clock& m_clock;
    const Reset m_reset;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled;
};

}  // namespace velkor::platform
