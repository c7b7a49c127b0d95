#pragma once

#include <cstdint>
#include <span>

#include "provider/link/atd.h"
#include "provider/link/cti.h"

namespace velkor::link {

// What the station and call model implements to hear from the PBX. Every call
// runs on the thread that fed the bytes (or on the timer thread for time-outs
// and loop-backs), never under a lock of the link, so a handler may send.

// CTI events (codes below 0x50).
class EventHandler {
public:
    virtual ~EventHandler() = default;
    virtual void onEvent(const CtiMessage& message) = 0;
};

// Replies (0x50..0x9F) that answered a pending request, and replies the PBX
// sends to the system as a whole (0xFFFF). Service-request echoes go to the
// ServiceAnswerHandler instead.
class ReplyHandler {
public:
    virtual ~ReplyHandler() = default;
    virtual void onReply(const CtiMessage& message) = 0;
};

// Cause given to a rejection that arrived without a cause byte.
inline constexpr std::uint8_t kCauseMissing = 0x00;
// Time-out causes.
inline constexpr std::uint8_t kCauseTimeout = 0x7F;
inline constexpr std::uint8_t kCauseMonitorTimeout = 0x34;
inline constexpr std::uint8_t kCauseSessionTimeout = 0x36;

struct Rejection {
    std::uint16_t station = 0;
    // Rejection code: request code + 0x50.
    std::uint8_t code = 0;
    std::uint8_t cause = kCauseMissing;
    // True for a rejection made up by the link because no answer came in time.
    bool timedOut = false;
};

// Rejections (0xA0 and up) of a pending request or addressed to the system,
// and the time-outs of pending requests.
class RejectionHandler {
public:
    virtual ~RejectionHandler() = default;
    virtual void onRejection(const Rejection& rejection) = 0;
};

// How a service request was answered. All three mean the PBX took it.
enum class ServiceAnswerSource : std::uint8_t {
    Echo,       // the PBX echoed the request (code 0x7C)
    Rejected,   // the PBX answered with 0xCC and the same payload
    TimedOut,   // no answer within the limit
    LoopBack,   // single-station mode: the link echoes the request itself
};

struct ServiceAnswer {
    ServiceAnswerSource source = ServiceAnswerSource::Echo;
    // [type][subtype][station index, 2 bytes][extra], as the request carried it.
    std::span<const std::uint8_t> payload;
};

// Runs the accept action of the service request's type.
class ServiceAnswerHandler {
public:
    virtual ~ServiceAnswerHandler() = default;
    virtual void onServiceAnswer(const ServiceAnswer& answer) = 0;
};

// Every decodable ATD message, whatever its code; unknown codes are the
// handler's to ignore.
class AtdHandler {
public:
    virtual ~AtdHandler() = default;
    virtual void onAtd(const AtdMessage& message) = 0;
};

// The handlers a link dispatches to; a null pointer drops that kind.
struct LinkHandlers {
    EventHandler* events = nullptr;
    ReplyHandler* replies = nullptr;
    RejectionHandler* rejections = nullptr;
    ServiceAnswerHandler* services = nullptr;
    AtdHandler* atd = nullptr;
};

}  // namespace velkor::link
