#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "provider/link/frame.h"
#include "provider/link/frame_sink.h"

namespace velkor::link {

// Receiver of the binary framing. Fed arbitrary chunks, it reassembles frames
// and hands each complete one to its sink; corrupt input is never an error, the
// receiver just looks for the next start mark.
//
// One instance serves every channel, but each channel keeps its own partial
// frame: bytes of the CTI and the ATD socket never mix even when a datagram of
// one channel is cut short. Calls to feed() must not overlap (the receive pump
// hands the turn from one channel thread to the other).
//
// When a candidate frame turns out corrupt (wrong second start byte, unknown
// type, bad guard bits, checksum or end mark), the bytes after its 0xBA are
// examined again for a start mark. A frame cut short by a lost byte therefore
// costs only itself, not the good frame that follows it.
class Receiver {
public:
    explicit Receiver(FrameSink& sink);

    // Feeds bytes that arrived on `channel`. Returns true when that channel is
    // inside a frame afterwards, false when it is between frames.
    bool feed(std::span<const std::uint8_t> bytes, Channel channel);

    bool insideFrame(Channel channel) const;
    // True when any channel is inside a frame.
    bool insideFrame() const;

    // Drops every partial frame (link start).
    void reset();

private:
    enum class State : std::uint8_t {
        Idle,
        StartMark2,
        Type,
        Length,
        Payload,
        Checksum,
        EndMark,
    };

    struct Slot {
        State state = State::Idle;
        std::size_t length = 0;
        // Bytes of the candidate frame so far, from its 0xBA on.
        std::size_t count = 0;
        std::array<std::uint8_t, kMaxFrame> raw{};
    };

    void run(Slot& slot, const std::uint8_t* data, std::size_t size, Channel channel);
    void emit(Slot& slot, Channel channel);

    FrameSink& m_sink;
    std::array<Slot, kChannelCount> m_slots;
};

}  // namespace velkor::link
