#include "provider/link/sender.h"

#include "provider/link/cti.h"
#include "provider/link/stx_etx.h"

namespace velkor::link {

namespace {
constexpr std::size_t kPayloadOffset = 4;
}

Sender::Sender(FrameWriter& writer) : m_writer(writer) {
    m_template[0] = kStartMark1;
    m_template[1] = kStartMark2;
    m_template[2] = kTypeCti;
}

void Sender::reset() {
    std::lock_guard lock(m_mutex);
    m_sequence = 0;
}

std::uint8_t Sender::nextSequence() const {
    std::lock_guard lock(m_mutex);
    return m_sequence;
}

bool Sender::sendCti(std::uint16_t station, std::uint8_t code,
                     std::span<const std::uint8_t> data) {
    std::lock_guard lock(m_mutex);
    const auto payload = std::span(m_template).subspan(kPayloadOffset, kMaxPayload);
    const std::size_t size = buildCtiPayload(m_sequence, station, code, data, payload);
    if (size == 0) return false;
    return writeFrame(kTypeCti, size, Channel::Cti);
}

bool Sender::sendAtd(AtdShape shape, std::uint16_t code, std::span<const std::uint8_t> data) {
    std::lock_guard lock(m_mutex);
    const auto payload = std::span(m_template).subspan(kPayloadOffset, kMaxPayload);
    const std::size_t size = buildAtdPayload(shape, code, data, payload);
    if (size == 0) return false;
    return writeFrame(kTypeAtd, size, Channel::Atd);
}

bool Sender::sendStxEtx(std::uint8_t code, std::span<const std::uint8_t> data) {
    std::lock_guard lock(m_mutex);
    std::array<std::uint8_t, kMaxStxEtxBody + 2> frame;
    const std::size_t size = encodeStxEtx(code, data, frame);
    if (size == 0) return false;
    return m_writer.write(std::span(frame).first(size), Channel::Cti);
}

bool Sender::writeFrame(std::uint8_t typeByte, std::size_t payloadSize, Channel channel) {
    const std::uint8_t lengthByte = encodeLengthByte(payloadSize);
    const auto payload = std::span<const std::uint8_t>(&m_template[kPayloadOffset], payloadSize);
    m_template[2] = typeByte;
    m_template[3] = lengthByte;
    m_template[kPayloadOffset + payloadSize] = frameChecksum(typeByte, lengthByte, payload);
    m_template[kPayloadOffset + payloadSize + 1] = kEndMark;
    const bool written =
        m_writer.write(std::span(m_template).first(payloadSize + kFrameOverhead), channel);
    ++m_sequence;
    return written;
}

}  // namespace velkor::link
