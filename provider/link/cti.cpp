#include "provider/link/cti.h"

#include <cstring>

#include "provider/link/frame.h"

namespace velkor::link {

std::size_t buildCtiPayload(std::uint8_t sequence, std::uint16_t station, std::uint8_t code,
                            std::span<const std::uint8_t> data, std::span<std::uint8_t> out) {
    const std::size_t size = kCtiHeader + data.size();
    if (size > kMaxPayload || size > out.size()) return 0;
    out[0] = sequence;
    out[1] = static_cast<std::uint8_t>(station >> 8);
    out[2] = static_cast<std::uint8_t>(station & 0xFF);
    out[3] = code;
    if (!data.empty()) std::memcpy(&out[kCtiHeader], data.data(), data.size());
    return size;
}

std::optional<CtiMessage> decodeCti(std::span<const std::uint8_t> payload) {
    if (payload.size() < kCtiHeader) return std::nullopt;
    CtiMessage m;
    m.sequence = payload[0];
    m.station = static_cast<std::uint16_t>((payload[1] << 8) | payload[2]);
    m.code = payload[3];
    m.data = payload.subspan(kCtiHeader);
    return m;
}

}  // namespace velkor::link
