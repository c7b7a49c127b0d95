#pragma once

#include <cstdint>

namespace velkor::platform {

// Communication events a wait can report, as a bit mask. The values are those
// of the Windows event mask, so the link code keeps its constants.
struct SerialEvent {
    // At least one byte arrived since the previous wait.
    static constexpr std::uint32_t ReceiveChar = 0x0001;
    // The configured event character was among the bytes that arrived.
    static constexpr std::uint32_t EventChar = 0x0002;

    static constexpr std::uint32_t All = ReceiveChar | EventChar;
};

// What purge() discards.
struct SerialPurge {
    static constexpr std::uint32_t Input = 0x1;
    static constexpr std::uint32_t Output = 0x2;
    static constexpr std::uint32_t Both = Input | Output;
};

}  // namespace velkor::platform
