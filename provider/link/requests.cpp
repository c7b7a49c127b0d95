#include "provider/link/requests.h"

#include <algorithm>

namespace velkor::link {

namespace {

// Time-out cause of a request: opening the session ('#') and starting to
// monitor a station ('!') have causes of their own.
std::uint8_t timeoutCauseOf(std::uint8_t code, std::span<const std::uint8_t> data) {
    if (code == code::SessionControl && !data.empty()) {
        if (data[0] == '!') return kCauseMonitorTimeout;
        if (data[0] == '#') return kCauseSessionTimeout;
    }
    return kCauseTimeout;
}

// Answer code -> the expectedCode of its request.
std::uint8_t expectedCodeOf(std::uint8_t answerCode) {
    return answerCode >= kFirstRejectionCode ? answerCode : rejectionCode(answerCode);
}

// Service answers match their request by the first 3 payload bytes; call-data
// relays (type 5) by 6, since several run at once for one station.
std::span<const std::uint8_t> serviceKey(std::span<const std::uint8_t> payload) {
    const std::size_t length = !payload.empty() && payload[0] == 5 ? 6 : 3;
    return payload.first(std::min(length, payload.size()));
}

}  // namespace

bool RequestTracker::tracksService(std::span<const std::uint8_t> payload) {
    return !payload.empty() && payload[0] <= 0xE0;
}

void RequestTracker::setFraming(Framing framing) {
    std::lock_guard lock(m_pendingMutex);
    m_framing = framing;
}

RequestTicket RequestTracker::track(std::uint16_t station, std::uint8_t code,
                                    std::span<const std::uint8_t> data, TimePoint now) {
    RequestTicket ticket;
    if (code == code::ServiceRequest && station == kSystemIndex) {
        if (!tracksService(data)) return ticket;
        std::lock_guard lock(m_serviceMutex);
        ServiceRequestEntry entry;
        entry.stamp = now;
        entry.payload.assign(data.begin(), data.end());
        entry.id = m_nextId++;
        ticket = {RequestTicket::Kind::Service, station, entry.id};
        m_services.push_back(std::move(entry));
        return ticket;
    }
    if (station > kMaxStationIndex) return ticket;

    std::lock_guard lock(m_pendingMutex);
    PendingRequest entry;
    entry.stamp = now;
    entry.station = station;
    entry.expectedCode = rejectionCode(code);
    entry.timeoutCause = timeoutCauseOf(code, data);
    // In single-station mode every station request times out; in binary mode
    // only those below the limit.
    entry.timesOut = m_framing == Framing::StxEtx || station < kTimeoutStationLimit;
    entry.id = m_nextId++;
    m_pending[station].push_back(entry);
    return {RequestTicket::Kind::Pending, station, entry.id};
}

void RequestTracker::cancel(const RequestTicket& ticket) {
    switch (ticket.kind) {
        case RequestTicket::Kind::None:
            return;
        case RequestTicket::Kind::Pending: {
            if (ticket.station > kMaxStationIndex) return;
            std::lock_guard lock(m_pendingMutex);
            std::erase_if(m_pending[ticket.station],
                          [&](const PendingRequest& p) { return p.id == ticket.id; });
            return;
        }
        case RequestTicket::Kind::Service: {
            std::lock_guard lock(m_serviceMutex);
            std::erase_if(m_services,
                          [&](const ServiceRequestEntry& s) { return s.id == ticket.id; });
            return;
        }
    }
}

bool RequestTracker::takeAnswer(std::uint16_t station, std::uint8_t answerCode) {
    if (station > kMaxStationIndex) return true;
    const std::uint8_t expected = expectedCodeOf(answerCode);
    std::lock_guard lock(m_pendingMutex);
    auto& list = m_pending[station];
    const auto it = std::find_if(list.begin(), list.end(), [&](const PendingRequest& p) {
        return p.expectedCode == expected;
    });
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

bool RequestTracker::takeServiceAnswer(std::span<const std::uint8_t> payload) {
    if (payload.empty()) return false;
    if (!tracksService(payload)) return true;
    const auto key = serviceKey(payload);
    std::lock_guard lock(m_serviceMutex);
    const auto it = std::find_if(m_services.begin(), m_services.end(),
                                 [&](const ServiceRequestEntry& s) {
                                     return std::ranges::equal(serviceKey(s.payload), key);
                                 });
    if (it == m_services.end()) return false;
    m_services.erase(it);
    return true;
}

bool RequestTracker::stale(TimePoint stamp, TimePoint now) {
    return now - stamp > kLimit || stamp - now > kLimit;
}

// Every entry is looked at, not only up to the first fresh one: stamps are
// taken by the senders' threads and need not arrive in order.
ExpiredRequests RequestTracker::scan(TimePoint now) {
    ExpiredRequests expired;
    {
        std::lock_guard lock(m_pendingMutex);
        for (auto& list : m_pending) {
            if (list.empty()) continue;
            std::erase_if(list, [&](const PendingRequest& p) {
                if (!stale(p.stamp, now)) return false;
                if (p.timesOut) {
                    expired.rejections.push_back({p.station, p.expectedCode, p.timeoutCause, true});
                }
                return true;
            });
        }
    }
    {
        std::lock_guard lock(m_serviceMutex);
        std::erase_if(m_services, [&](const ServiceRequestEntry& s) {
            if (!stale(s.stamp, now)) return false;
            expired.services.push_back(s);
            return true;
        });
    }
    return expired;
}

void RequestTracker::clearPending() {
    std::lock_guard lock(m_pendingMutex);
    for (auto& list : m_pending) list.clear();
}

void RequestTracker::clearServices() {
    std::lock_guard lock(m_serviceMutex);
    m_services.clear();
}

std::size_t RequestTracker::pendingCount(std::uint16_t station) const {
    if (station > kMaxStationIndex) return 0;
    std::lock_guard lock(m_pendingMutex);
    return m_pending[station].size();
}

std::size_t RequestTracker::serviceCount() const {
    std::lock_guard lock(m_serviceMutex);
    return m_services.size();
}

}  // namespace velkor::link
