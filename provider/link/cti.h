#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace velkor::link {

// CTI payload: sequence byte, station index (big-endian), code, data.
inline constexpr std::size_t kCtiHeader = 4;

struct CtiMessage {
    // Ignored on receipt; the PBX numbers its frames on its own.
    std::uint8_t sequence = 0;
    std::uint16_t station = 0;
    std::uint8_t code = 0;
    std::span<const std::uint8_t> data;
};

// Writes the payload into `out`; returns its size, or 0 when it would not fit
// into `out` or into one frame.
std::size_t buildCtiPayload(std::uint8_t sequence, std::uint16_t station, std::uint8_t code,
                            std::span<const std::uint8_t> data, std::span<std::uint8_t> out);

// nullopt for a payload shorter than the header. `data` points into `payload`.
std::optional<CtiMessage> decodeCti(std::span<const std::uint8_t> payload);

}  // namespace velkor::link
