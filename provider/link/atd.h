#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace velkor::link {

// The four shapes of an ATD payload. The provider's own requests use Atd2.
enum class AtdShape : std::uint8_t {
    Atd1,  // code (2 bytes, big-endian), length byte, data
    Atd2,  // code (2 bytes, big-endian), data
    Atd3,  // code (1 byte), length byte, data
    Atd4,  // code (1 byte), data
};

struct AtdShapeInfo {
    AtdShape shape;
    std::uint8_t codeWidth;
    bool lengthByte;
};

inline constexpr AtdShapeInfo kAtdShapes[] = {
    {AtdShape::Atd1, 2, true},
    {AtdShape::Atd2, 2, false},
    {AtdShape::Atd3, 1, true},
    {AtdShape::Atd4, 1, false},
};

const AtdShapeInfo& atdShapeInfo(AtdShape shape);

// Writes the payload into `out`; returns its size, or 0 when the code does not
// fit the shape's code width or the payload does not fit into one frame.
std::size_t buildAtdPayload(AtdShape shape, std::uint16_t code, std::span<const std::uint8_t> data,
                            std::span<std::uint8_t> out);

// A received ATD payload. The PBX marks one-byte codes by bit 7 of the first
// byte; such a code is followed by a count byte. Other codes are two bytes,
// big-endian, followed directly by the data.
struct AtdMessage {
    std::uint16_t code = 0;
    std::uint8_t codeWidth = 2;
    // Count byte of a one-byte code; 0 for two-byte codes.
    std::uint8_t count = 0;
    std::span<const std::uint8_t> data;
};

// nullopt when the payload is too short for its own code (and count) bytes.
std::optional<AtdMessage> decodeAtd(std::span<const std::uint8_t> payload);

// One entry of the status change reports 0x83 and 0x84.
struct AtdStatusEntry {
    std::uint16_t index;
    std::uint8_t status;
};

// Number of complete 3-byte status entries: the count byte, but never more
// than the data holds.
std::size_t atdStatusEntryCount(const AtdMessage& message);
// Entry `i` (< atdStatusEntryCount()).
AtdStatusEntry atdStatusEntry(const AtdMessage& message, std::size_t i);

}  // namespace velkor::link
