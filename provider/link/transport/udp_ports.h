#pragma once

#include <cstdint>
#include <optional>

#include "provider/link/frame.h"

namespace velkor::link {

// UDP ports of the link; the same number is bound locally and addressed on
// the PBX. The small system in single-station mode takes its CTI traffic on
// 5030; the larger systems have no single-station mode over the network.
inline std::optional<std::uint16_t> udpPort(Channel channel, std::uint32_t system,
                                            std::uint32_t connectionMode) {
    if (channel == Channel::Atd) return 5001;
    if (connectionMode == 0) return 5029;
    if (system == 1) return 5030;
    return std::nullopt;
}

}  // namespace velkor::link
