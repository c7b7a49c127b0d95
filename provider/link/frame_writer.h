#pragma once

#include <cstdint>
#include <span>

#include "provider/link/frame.h"

namespace velkor::link {

// Where the sender's bytes go: the serial port (which ignores the channel) or
// the UDP socket of the channel. Returns false when the bytes were not taken,
// e.g. because the channel's socket is not open.
class FrameWriter {
public:
    virtual ~FrameWriter() = default;
    virtual bool write(std::span<const std::uint8_t> bytes, Channel channel) = 0;
};

}  // namespace velkor::link
