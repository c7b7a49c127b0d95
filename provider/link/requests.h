#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "platform/time/clock.h"
#include "provider/link/catalogue.h"
#include "provider/link/frame.h"
#include "provider/link/handlers.h"

namespace velkor::link {

using platform::Duration;
using platform::TimePoint;

// An outstanding CTI request to one station. The PBX answers every request
// with a reply (same code) or a rejection (code + 0x50); whichever comes
// first removes the entry, and an answer that finds no entry is a duplicate.
struct PendingRequest {
    TimePoint stamp;
    std::uint16_t station = 0;
    // Request code + 0x50: the rejection code, and the reply code + 0x50.
    std::uint8_t expectedCode = 0;
    std::uint8_t timeoutCause = kCauseTimeout;
    // False for stations above the time-out range: the entry only filters
    // duplicate answers and expires without a rejection.
    bool timesOut = true;
    std::uint64_t id = 0;
};

// An outstanding service request (0x7C to the system).
struct ServiceRequestEntry {
    TimePoint stamp;
    std::vector<std::uint8_t> payload;
    std::uint64_t id = 0;
};

// What track() created, so that a request that could not be sent can be
// taken back.
struct RequestTicket {
    enum class Kind : std::uint8_t {
        None,
        Pending,
        Service,
    };
    Kind kind = Kind::None;
    std::uint16_t station = 0;
    std::uint64_t id = 0;
};

// Requests that expired in one scan, to be handled outside the tracker's locks.
struct ExpiredRequests {
    std::vector<Rejection> rejections;
    std::vector<ServiceRequestEntry> services;
};

// Bookkeeping of outstanding requests and their time-outs. Thread-safe: senders
// track, the receiving thread takes answers, the timer thread scans. It calls
// nothing; the caller handles what it returns.
class RequestTracker {
public:
    // No answer within this limit counts as a time-out.
    static constexpr Duration kLimit = std::chrono::milliseconds(9000);
    // Period at which the link's timer calls scan().
    static constexpr Duration kScanPeriod = std::chrono::milliseconds(4000);
    // Requests to stations below this index time out with a rejection.
    static constexpr std::uint16_t kTimeoutStationLimit = 375;

    void setFraming(Framing framing);

    // Records a CTI request about to be sent.
    RequestTicket track(std::uint16_t station, std::uint8_t code,
                        std::span<const std::uint8_t> data, TimePoint now);
    // Takes back what track() recorded (the request was not sent after all).
    void cancel(const RequestTicket& ticket);

    // For a reply or rejection from the PBX: true when it is to be handled.
    // Answers to the system (index above 1000) always are; an answer to a
    // station is handled only if it removes a matching PendingRequest.
    bool takeAnswer(std::uint16_t station, std::uint8_t answerCode);

    // For a service answer (echo, 0xCC, loop-back): true when the accept action
    // is to run. It removes the entry whose first 3 payload bytes (6 for type
    // 5) match; a tracked type without an entry was answered already.
    bool takeServiceAnswer(std::span<const std::uint8_t> payload);

    // Removes every entry older than the limit (or further than the limit in
    // the future) and returns what expired.
    ExpiredRequests scan(TimePoint now);

    void clearPending();
    void clearServices();

    std::size_t pendingCount(std::uint16_t station) const;
    std::size_t serviceCount() const;

    // Service requests whose type is at most 0xE0 are tracked.
    static bool tracksService(std::span<const std::uint8_t> payload);

private:
    static bool stale(TimePoint stamp, TimePoint now);

    mutable std::mutex m_pendingMutex;
    std::array<std::vector<PendingRequest>, kMaxStationIndex + 1> m_pending;
    Framing m_framing = Framing::Binary;

    mutable std::mutex m_serviceMutex;
    std::vector<ServiceRequestEntry> m_services;

    std::atomic<std::uint64_t> m_nextId{1};
};

}  // namespace velkor::link
