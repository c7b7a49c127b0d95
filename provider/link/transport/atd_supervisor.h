#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/time/timer_queue.h"

namespace velkor::link {

// Watches the ATD session once it is open. The PBX expects an alive message
// (0x0006) every 9.23 s, and the provider expects some ATD traffic from the
// PBX at least every 18.46 s: every ATD frame received pushes the expiry
// back. When the PBX stays silent the provider polls once (0x0005) and takes
// the session as closed. A session-ended message (0x0007) from the PBX ends
// the supervision too.
class AtdSupervisor {
public:
    static constexpr platform::Duration kAlivePeriod = std::chrono::milliseconds(9230);
    static constexpr platform::Duration kSilenceLimit = std::chrono::milliseconds(18460);
    // The timers' resolution: the device's minimum period, but at least 1 s.
    static constexpr platform::Duration kResolution = std::chrono::milliseconds(1000);

    struct Actions {
        // Sends one ATD message with no data.
        std::function<void(std::uint16_t code)> sendAtd;
        // The session was given up after silence (after the poll was sent);
        // single-station mode closes the own station's line here.
        std::function<void()> onSilence;
        // The session is closed, by silence or by the PBX.
        std::function<void()> onClosed;
    };

    AtdSupervisor(platform::TimerQueue& timers, Actions actions);
    ~AtdSupervisor();

    AtdSupervisor(const AtdSupervisor&) = delete;
    AtdSupervisor& operator=(const AtdSupervisor&) = delete;

    // The session is open: start both timers. A second start restarts them.
    void start();
    // Call for every ATD frame received while the session may be active.
    void onAtdReceived(std::uint16_t code);
    // Stops supervising without sending anything (session closed by us).
    void stop();

    bool active() const;

private:
    void onAliveTick();
    void onSilenceTimer(platform::TimerQueue::TimerId id);
    struct TimerIds {
        platform::TimerQueue::TimerId alive = 0;
        platform::TimerQueue::TimerId silence = 0;
    };
    // Ends the session and hands back its timers, with the lock held. They
    // are killed outside the lock: a kill waits for a running callback,
    // which may itself be waiting for the lock.
    TimerIds closeLocked();
    void kill(TimerIds ids);

    platform::TimerQueue& m_timers;
    Actions m_actions;
    mutable std::mutex m_mutex;
    bool m_active = false;
    platform::TimerQueue::TimerId m_aliveTimer = 0;
    platform::TimerQueue::TimerId m_silenceTimer = 0;
};

}  // namespace velkor::link
