#include "provider/link/link.h"

#include <algorithm>

namespace velkor::link {

Link::Link(FrameWriter& writer, LinkHandlers handlers)
    : m_sender(writer),
      m_dispatcher(m_tracker, handlers),
      m_receiver(m_dispatcher),
      m_stxEtxReceiver(m_dispatcher) {}

void Link::start(Framing framing) {
    if (m_started.load()) return;
    m_framing.store(framing);
    m_tracker.setFraming(framing);
    m_tracker.clearPending();
    m_tracker.clearServices();
    m_receiver.reset();
    m_stxEtxReceiver.reset();
    m_sender.reset();
    m_started.store(true);
}

void Link::stop() {
    m_started.store(false);
    m_tracker.clearPending();
    m_tracker.clearServices();
    std::lock_guard lock(m_loopbackMutex);
    m_loopbacks.clear();
}

bool Link::sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data,
                   TimePoint now) {
    if (!m_started.load()) return false;
    if (m_framing.load() == Framing::StxEtx) return sendStxEtx(station, code, data, now);
    const RequestTicket ticket = m_tracker.track(station, code, data, now);
    if (m_sender.sendCti(station, code, data)) return true;
    m_tracker.cancel(ticket);
    return false;
}

// Single-station mode has no station index on the wire. The PBX takes no
// service requests: the link records them and echoes them itself a moment
// later. Of the other system requests only session control and queries can
// be sent.
bool Link::sendStxEtx(std::uint16_t station, std::uint8_t code,
                      std::span<const std::uint8_t> data, TimePoint now) {
    if (station == kSystemIndex && code == code::ServiceRequest) {
        if (data.size() + 1 > kMaxStxEtxBody) return false;
        m_tracker.track(station, code, data, now);
        std::lock_guard lock(m_loopbackMutex);
        m_loopbacks.push_back({now + kLoopbackDelay, {data.begin(), data.end()}});
        return true;
    }
    if (station == kSystemIndex && code != code::SessionControl && code != code::Query) {
        return false;
    }
    const RequestTicket ticket = m_tracker.track(station, code, data, now);
    if (m_sender.sendStxEtx(code, data)) return true;
    m_tracker.cancel(ticket);
    return false;
}

bool Link::sendAtd(std::uint16_t code, std::span<const std::uint8_t> data, AtdShape shape) {
    if (!m_started.load()) return false;
    return m_sender.sendAtd(shape, code, data);
}

bool Link::feed(std::span<const std::uint8_t> bytes, Channel channel) {
    if (!m_started.load()) return false;
    if (m_framing.load() == Framing::StxEtx && channel != Channel::Atd) {
        return m_stxEtxReceiver.feed(bytes, channel);
    }
    return m_receiver.feed(bytes, channel);
}

void Link::scan(TimePoint now) {
    if (!m_started.load()) return;
    const ExpiredRequests expired = m_tracker.scan(now);
    for (const Rejection& rejection : expired.rejections) m_dispatcher.handleRejection(rejection);
    for (const ServiceRequestEntry& entry : expired.services) {
        m_dispatcher.acceptTimedOutService(entry.payload);
    }
}

std::optional<TimePoint> Link::nextLoopbackDue() const {
    std::lock_guard lock(m_loopbackMutex);
    if (m_loopbacks.empty()) return std::nullopt;
    return std::min_element(m_loopbacks.begin(), m_loopbacks.end(),
                            [](const Loopback& a, const Loopback& b) { return a.due < b.due; })
        ->due;
}

void Link::runLoopbacks(TimePoint now) {
    std::vector<Loopback> due;
    {
        std::lock_guard lock(m_loopbackMutex);
        const auto split = std::stable_partition(m_loopbacks.begin(), m_loopbacks.end(),
                                                 [&](const Loopback& l) { return l.due > now; });
        due.assign(std::make_move_iterator(split), std::make_move_iterator(m_loopbacks.end()));
        m_loopbacks.erase(split, m_loopbacks.end());
    }
    for (const Loopback& loopback : due) {
        m_dispatcher.handleServiceAnswer(ServiceAnswerSource::LoopBack, loopback.payload);
    }
}

void Link::setOwnStationIndex(std::optional<std::uint16_t> index) {
    m_stxEtxReceiver.setOwnStationIndex(index);
}

}  // namespace velkor::link
