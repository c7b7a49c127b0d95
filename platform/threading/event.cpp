#include "platform/threading/event.h"

namespace velkor::platform {

Event::Event(Reset reset, bool initiallySignalled, Clock& clock)
    : m_clock(clock), m_reset(reset), m_signalled(initiallySignalled) {}

void Event::set() {
    {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
    }
    if (m_reset == Reset::Manual) {
        m_cv.notify_all();
    } else {
        m_cv.notify_one();
    }
}

void Event::reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

bool Event::isSet() const {
    std::lock_guard lock(m_mutex);
    return m_signalled;
}

bool Event::consumeLocked() {
    if (!m_signalled) return false;
    if (m_reset == Reset::Automatic) m_signalled = false;
    return true;
}

bool Event::wait(Duration timeout) {
    std::unique_lock lock(m_mutex);
    const TimePoint deadline = m_clock.now() + timeout;
    if (!m_clock.waitUntil(m_cv, lock, deadline, [&] { return m_signalled; })) return false;
    return consumeLocked();
}

void Event::waitForever() {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return m_signalled; });
    consumeLocked();
}

}  // namespace velkor::platform
