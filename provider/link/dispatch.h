#pragma once

#include <cstdint>
#include <span>

#include "provider/link/frame_sink.h"
#include "provider/link/handlers.h"
#include "provider/link/requests.h"

namespace velkor::link {

// Routes received frames to the handlers. CTI codes below 0x50 are events,
// 0x50..0x9F replies, 0xA0 and up rejections; before a reply or rejection to a
// station is handled its PendingRequest is taken, and without one the answer
// is a duplicate and dropped. Service answers (0x7C and 0xCC to the system)
// go to the service-answer handler. Frames too short to decode are dropped.
class Dispatcher final : public FrameSink {
public:
    Dispatcher(RequestTracker& tracker, LinkHandlers handlers);

    void onFrame(const Frame& frame) override;

    void dispatchCti(const CtiMessage& message);
    void dispatchAtd(const AtdMessage& message);

    // A time-out, handled like a rejection from the PBX.
    void handleRejection(const Rejection& rejection);
    // A service answer that does not come from the PBX (single-station loop-back).
    void handleServiceAnswer(ServiceAnswerSource source, std::span<const std::uint8_t> payload);
    // A service request whose entry the time-out scan already removed.
    void acceptTimedOutService(std::span<const std::uint8_t> payload);

private:
    RequestTracker& m_tracker;
    LinkHandlers m_handlers;
};

}  // namespace velkor::link
