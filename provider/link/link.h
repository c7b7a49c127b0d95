#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "platform/time/clock.h"
#include "provider/link/dispatch.h"
#include "provider/link/frame_writer.h"
#include "provider/link/receiver.h"
#include "provider/link/requests.h"
#include "provider/link/sender.h"
#include "provider/link/stx_etx.h"

namespace velkor::link {

// The protocol side of the PBX link, without threads, sockets or timers: the
// transport feeds it received bytes, the provider sends through it, and the
// timer thread calls scan() every RequestTracker::kScanPeriod and
// runLoopbacks() when nextLoopbackDue() comes. Every entry point is safe to
// call from any thread, except that feed() calls must not overlap.
class Link {
public:
    // Single-station mode echoes service requests itself after this delay.
    static constexpr Duration kLoopbackDelay = std::chrono::milliseconds(100);

    Link(FrameWriter& writer, LinkHandlers handlers);

    // Resets receiver, sequence counter and request lists. Does nothing while
    // the link is started.
    void start(Framing framing);
    // Forgets every outstanding request and loop-back.
    void stop();
    bool started() const { return m_started.load(); }
    Framing framing() const { return m_framing.load(); }

    // Sends one CTI message, recording its PendingRequest or
    // ServiceRequestEntry first (the answer may come back before the write
    // returns). False when the link is not started, the message does not fit
    // a frame, the writer refused the bytes, or single-station mode has no way
    // to send it; what was recorded is then taken back, so a request reported
    // as failed never times out later.
    bool sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data,
                 TimePoint now);
    // One ATD message (ATD-2 unless another shape is given) on the ATD channel.
    bool sendAtd(std::uint16_t code, std::span<const std::uint8_t> data,
                 AtdShape shape = AtdShape::Atd2);

    // Runs the receiver of the channel's framing; complete frames are
    // dispatched before this returns. Returns true when the channel is inside
    // a frame afterwards.
    bool feed(std::span<const std::uint8_t> bytes, Channel channel);

    // The time-out scan: expired requests become rejections with their
    // time-out cause, expired service requests count as accepted.
    void scan(TimePoint now);

    // Single-station mode: when the next loop-back is due, if any.
    std::optional<TimePoint> nextLoopbackDue() const;
    // Delivers every loop-back due at `now` as the PBX's echo.
    void runLoopbacks(TimePoint now);

    void setOwnStationIndex(std::optional<std::uint16_t> index);

    const RequestTracker& requests() const { return m_tracker; }
    std::uint8_t nextSequence() const { return m_sender.nextSequence(); }

private:
    struct Loopback {
        TimePoint due;
        std::vector<std::uint8_t> payload;
    };

    bool sendStxEtx(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data,
                    TimePoint now);

    std::atomic<bool> m_started{false};
    std::atomic<Framing> m_framing{Framing::Binary};
    Sender m_sender;
    RequestTracker m_tracker;
    Dispatcher m_dispatcher;
    Receiver m_receiver;
    StxEtxReceiver m_stxEtxReceiver;

    mutable std::mutex m_loopbackMutex;
    std::vector<Loopback> m_loopbacks;
};

}  // namespace velkor::link
