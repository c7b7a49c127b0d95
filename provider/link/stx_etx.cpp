#include "provider/link/stx_etx.h"

#include <cstring>

#include "provider/link/catalogue.h"

namespace velkor::link {

std::size_t encodeStxEtx(std::uint8_t code, std::span<const std::uint8_t> data,
                         std::span<std::uint8_t> out) {
    const std::size_t size = data.size() + 3;
    if (data.size() + 1 > kMaxStxEtxBody || out.size() < size) return 0;
    out[0] = kStx;
    out[1] = code;
    if (!data.empty()) std::memcpy(&out[2], data.data(), data.size());
    out[size - 1] = kEtx;
    return size;
}

std::uint16_t stxEtxStationIndex(std::uint8_t code, std::optional<std::uint16_t> ownIndex) {
    switch (code) {
        case code::Query:
        case code::ServiceRequest:
        case rejectionCode(code::Query):
        case rejectionCode(code::ServiceRequest):
            return kSystemIndex;
        default:
            return ownIndex.value_or(0);
    }
}

StxEtxReceiver::StxEtxReceiver(FrameSink& sink) : m_sink(sink) {}

void StxEtxReceiver::reset() {
    m_inside = false;
    m_overflow = false;
    m_bodySize = 0;
}

void StxEtxReceiver::setOwnStationIndex(std::optional<std::uint16_t> index) {
    m_ownIndex.store(index ? *index : -1, std::memory_order_relaxed);
}

bool StxEtxReceiver::feed(std::span<const std::uint8_t> bytes, Channel channel) {
    for (std::uint8_t byte : bytes) {
        if (!m_inside) {
            if (byte == kStx) {
                m_inside = true;
                m_overflow = false;
                m_bodySize = 0;
            }
            continue;
        }
        if (byte != kEtx) {
            if (m_bodySize < kMaxStxEtxBody) {
                m_payload[3 + m_bodySize++] = byte;
            } else {
                m_overflow = true;
            }
            continue;
        }
        m_inside = false;
        if (m_overflow || m_bodySize == 0) continue;
        const std::int32_t own = m_ownIndex.load(std::memory_order_relaxed);
        const std::uint16_t station = stxEtxStationIndex(
            m_payload[3],
            own < 0 ? std::nullopt : std::optional<std::uint16_t>(static_cast<std::uint16_t>(own)));
        m_payload[0] = 0;
        m_payload[1] = static_cast<std::uint8_t>(station >> 8);
        m_payload[2] = static_cast<std::uint8_t>(station & 0xFF);
        Frame frame;
        frame.type = FrameType::Cti;
        frame.typeByte = kStx;
        frame.channel = channel;
        frame.payload = std::span<const std::uint8_t>(m_payload.data(), 3 + m_bodySize);
        m_sink.onFrame(frame);
    }
    return m_inside;
}

}  // namespace velkor::link
