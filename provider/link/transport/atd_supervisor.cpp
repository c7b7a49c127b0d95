#include "provider/link/transport/atd_supervisor.h"

#include "provider/link/catalogue.h"

namespace velkor::link {

using platform::TimerQueue;

AtdSupervisor::AtdSupervisor(TimerQueue& timers, Actions actions)
    : m_timers(timers), m_actions(std::move(actions)) {}

AtdSupervisor::~AtdSupervisor() { stop(); }

void AtdSupervisor::start() {
    stop();
    auto alive = m_timers.setEvent(kAlivePeriod, kResolution,
                                   [this](TimerQueue::TimerId) { onAliveTick(); },
                                   TimerQueue::Kind::Periodic);
    // Until the first ATD frame arrives the silence timer runs with the
    // alive period, so a session that never speaks is given up after 9.23 s.
    auto silence = m_timers.setEvent(kAlivePeriod, kResolution,
                                     [this](TimerQueue::TimerId id) { onSilenceTimer(id); },
                                     TimerQueue::Kind::Periodic);
    std::lock_guard lock(m_mutex);
    m_active = true;
    m_aliveTimer = alive;
    m_silenceTimer = silence;
}

void AtdSupervisor::onAtdReceived(std::uint16_t code) {
    if (code == atd::SessionEnded) {
        TimerIds ids;
        {
            std::lock_guard lock(m_mutex);
            if (!m_active) return;
            ids = closeLocked();
        }
        kill(ids);
        if (m_actions.onClosed) m_actions.onClosed();
        return;
    }
    TimerQueue::TimerId replaced;
    {
        std::lock_guard lock(m_mutex);
        if (!m_active) return;
        replaced = m_silenceTimer;
        m_silenceTimer = 0;
    }
    m_timers.killEvent(replaced);
    const auto fresh = m_timers.setEvent(kSilenceLimit, kResolution,
                                         [this](TimerQueue::TimerId id) { onSilenceTimer(id); },
                                         TimerQueue::Kind::OneShot);
    bool keep;
    {
        std::lock_guard lock(m_mutex);
        keep = m_active && m_silenceTimer == 0;
        if (keep) m_silenceTimer = fresh;
    }
    // The session ended while the timer was being replaced.
    if (!keep) m_timers.killEvent(fresh);
}

void AtdSupervisor::stop() {
    TimerIds ids;
    {
        std::lock_guard lock(m_mutex);
        ids = closeLocked();
    }
    kill(ids);
}

bool AtdSupervisor::active() const {
    std::lock_guard lock(m_mutex);
    return m_active;
}

void AtdSupervisor::onAliveTick() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_active) return;
    }
    if (m_actions.sendAtd) m_actions.sendAtd(atd::Alive);
}

void AtdSupervisor::onSilenceTimer(TimerQueue::TimerId id) {
    TimerIds ids;
    {
        std::lock_guard lock(m_mutex);
        // A timer replaced a moment ago may still fire once: it is stale.
        if (!m_active || id != m_silenceTimer) return;
        ids = closeLocked();
    }
    kill(ids);
    if (m_actions.sendAtd) m_actions.sendAtd(atd::Poll);
    if (m_actions.onSilence) m_actions.onSilence();
    if (m_actions.onClosed) m_actions.onClosed();
}

AtdSupervisor::TimerIds AtdSupervisor::closeLocked() {
    m_active = false;
    const TimerIds ids{m_aliveTimer, m_silenceTimer};
    m_aliveTimer = 0;
    m_silenceTimer = 0;
    return ids;
}

void AtdSupervisor::kill(TimerIds ids) {
    // Killing the silence timer from its own callback is allowed.
    if (ids.alive) m_timers.killEvent(ids.alive);
    if (ids.silence) m_timers.killEvent(ids.silence);
}

}  // namespace velkor::link
