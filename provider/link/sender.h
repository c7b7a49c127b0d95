#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <span>

#include "provider/link/atd.h"
#include "provider/link/frame.h"
#include "provider/link/frame_writer.h"

namespace velkor::link {

// Builds and writes outgoing frames. Frame building, the write and the
// sequence counter form one critical section, so CTI and ATD frames sent from
// different threads never interleave on the wire and each carries its own
// sequence number.
class Sender {
public:
    explicit Sender(FrameWriter& writer);

    // Back to sequence 0 (link start).
    void reset();

    // One binary CTI frame on the CTI channel. False when the message does not
    // fit into a frame (nothing is written then) or the writer refused it.
    bool sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data);
    // One binary ATD frame (type 0xB0) on the ATD channel.
    bool sendAtd(AtdShape shape, std::uint16_t code, std::span<const std::uint8_t> data);
    // One STX/ETX frame on the CTI channel; it has no sequence byte and does
    // not advance the counter.
    bool sendStxEtx(std::uint8_t code, std::span<const std::uint8_t> data);

    // The sequence byte the next CTI frame will carry.
    std::uint8_t nextSequence() const;

private:
    // Completes the template around the payload already in place and writes it.
    bool writeFrame(std::uint8_t typeByte, std::size_t payloadSize, Channel channel);

    FrameWriter& m_writer;
    mutable std::mutex m_mutex;
    // Shared by CTI and ATD frames; advances after every binary frame handed
    // to the writer, wrapping from 255 to 0.
    std::uint8_t m_sequence = 0;
    std::array<std::uint8_t, kFrameTemplateSize> m_template{};
};

}  // namespace velkor::link
