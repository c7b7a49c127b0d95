#include "provider/link/atd.h"

#include <algorithm>
#include <cstring>

#include "provider/link/frame.h"

namespace velkor::link {

const AtdShapeInfo& atdShapeInfo(AtdShape shape) {
    for (const AtdShapeInfo& info : kAtdShapes) {
        if (info.shape == shape) return info;
    }
    return kAtdShapes[1];
}

std::size_t buildAtdPayload(AtdShape shape, std::uint16_t code, std::span<const std::uint8_t> data,
                            std::span<std::uint8_t> out) {
    const AtdShapeInfo& info = atdShapeInfo(shape);
    const std::size_t header = info.codeWidth + (info.lengthByte ? 1 : 0);
    const std::size_t size = header + data.size();
    if (info.codeWidth == 1 && code > 0xFF) return 0;
    if (size > kMaxPayload || size > out.size()) return 0;
    std::size_t at = 0;
    if (info.codeWidth == 2) out[at++] = static_cast<std::uint8_t>(code >> 8);
    out[at++] = static_cast<std::uint8_t>(code & 0xFF);
    if (info.lengthByte) out[at++] = static_cast<std::uint8_t>(data.size());
    if (!data.empty()) std::memcpy(&out[at], data.data(), data.size());
    return size;
}

std::optional<AtdMessage> decodeAtd(std::span<const std::uint8_t> payload) {
    if (payload.size() < 2) return std::nullopt;
    AtdMessage m;
    if (payload[0] & 0x80) {
        m.code = payload[0];
        m.codeWidth = 1;
        m.count = payload[1];
    } else {
        m.code = static_cast<std::uint16_t>((payload[0] << 8) | payload[1]);
        m.codeWidth = 2;
    }
    m.data = payload.subspan(2);
    return m;
}

std::size_t atdStatusEntryCount(const AtdMessage& message) {
    return std::min<std::size_t>(message.count, message.data.size() / 3);
}

AtdStatusEntry atdStatusEntry(const AtdMessage& message, std::size_t i) {
    if (i >= atdStatusEntryCount(message)) return {0, 0};
    const auto entry = message.data.subspan(i * 3, 3);
    return {static_cast<std::uint16_t>((entry[0] << 8) | entry[1]), entry[2]};
}

}  // namespace velkor::link
