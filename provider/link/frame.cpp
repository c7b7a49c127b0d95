#include "provider/link/frame.h"

#include <cstring>

namespace velkor::link {

std::optional<FrameType> frameTypeOf(std::uint8_t typeByte) {
    switch (typeByte) {
        case kTypeCti:
            return FrameType::Cti;
        case kTypeAtd:
        case kTypeAtdAlt1:
        case kTypeAtdAlt2:
            return FrameType::Atd;
        default:
            return std::nullopt;
    }
}

std::uint8_t encodeLengthByte(std::size_t payloadLength) {
    const auto length = static_cast<std::uint8_t>(payloadLength & 0x3F);
    std::uint8_t byte = length;
    if ((length & 0x01) == 0) byte |= 0x40;
    if ((length & 0x20) == 0) byte |= 0x80;
    return byte;
}

std::optional<std::size_t> decodeLengthByte(std::uint8_t lengthByte) {
    const bool bit0 = lengthByte & 0x01;
    const bool bit5 = lengthByte & 0x20;
    const bool bit6 = lengthByte & 0x40;
    const bool bit7 = lengthByte & 0x80;
    if (bit6 == bit0 || bit7 == bit5) return std::nullopt;
    return lengthByte & 0x3F;
}

std::uint8_t frameChecksum(std::uint8_t typeByte, std::uint8_t lengthByte,
                           std::span<const std::uint8_t> payload) {
    std::uint8_t sum = 0xFF ^ typeByte ^ lengthByte;
    for (std::uint8_t b : payload) sum ^= b;
    return sum;
}

std::size_t encodeFrame(std::uint8_t typeByte, std::span<const std::uint8_t> payload,
                        std::span<std::uint8_t> out) {
    const std::size_t size = payload.size() + kFrameOverhead;
    if (payload.size() > kMaxPayload || out.size() < size) return 0;
    const std::uint8_t lengthByte = encodeLengthByte(payload.size());
    out[0] = kStartMark1;
    out[1] = kStartMark2;
    out[2] = typeByte;
    out[3] = lengthByte;
    if (!payload.empty()) std::memcpy(&out[4], payload.data(), payload.size());
    out[4 + payload.size()] = frameChecksum(typeByte, lengthByte, payload);
    out[5 + payload.size()] = kEndMark;
    return size;
}

}  // namespace velkor::link
