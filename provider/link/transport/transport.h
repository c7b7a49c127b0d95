#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "provider/link/frame.h"
#include "provider/link/frame_writer.h"

namespace velkor::link {

// Hands received bytes to the link's receiver; returns whether the channel
// is inside a frame afterwards.
using ByteFeed = std::function<bool(std::span<const std::uint8_t>, Channel)>;

// A way to the PBX: a serial port or the two UDP channels. Bytes written go
// out on the wire; bytes received reach the ByteFeed on the transport's own
// thread(s), never two at a time.
class Transport : public FrameWriter {
public:
    // Opens the port or the sockets and starts receiving; false when the
    // transport cannot be used.
    virtual bool open() = 0;
    // Stops receiving and closes; idempotent.
    virtual void close() = 0;
};

}  // namespace velkor::link
