#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "provider/link/frame.h"
#include "provider/link/frame_sink.h"

namespace velkor::link {

// Single-station mode frames the CTI messages as STX code data ETX, without
// sequence byte, station index or checksum.
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
// Longest body (code + data) between the marks that the PBX sends and accepts.
inline constexpr std::size_t kMaxStxEtxBody = 59;

// Writes STX code data ETX into `out`; returns the size, or 0 when code + data
// exceed 59 bytes or `out` is too small.
std::size_t encodeStxEtx(std::uint8_t code, std::span<const std::uint8_t> data,
                         std::span<std::uint8_t> out);

// Station index a frame of this framing is addressed to: the system (0xFFFF)
// for the codes the PBX only ever sends system-wide, otherwise the own station.
std::uint16_t stxEtxStationIndex(std::uint8_t code, std::optional<std::uint16_t> ownIndex);

// Receiver of the STX/ETX framing. Bytes outside a frame are ignored; an STX
// inside a frame is data (the frame has no escaping, only ETX ends it). Bodies
// longer than 59 bytes and empty bodies are dropped. Every accepted frame is
// passed on as a CTI frame: its payload is laid out as a binary CTI payload
// (sequence byte 0, station index, code, data), so one decoder serves both
// framings.
class StxEtxReceiver {
public:
    explicit StxEtxReceiver(FrameSink& sink);

    // Returns true when the receiver is inside a frame afterwards.
    bool feed(std::span<const std::uint8_t> bytes, Channel channel);
    bool insideFrame() const { return m_inside; }
    void reset();

    // The own station's index, once the PBX has registered it; frames for the
    // own station are addressed to index 0 until then. May be set from another
    // thread.
    void setOwnStationIndex(std::optional<std::uint16_t> index);

private:
    FrameSink& m_sink;
    std::atomic<std::int32_t> m_ownIndex{-1};
    bool m_inside = false;
    bool m_overflow = false;
    std::size_t m_bodySize = 0;
    // Sequence byte, station index, then the body.
    std::array<std::uint8_t, 3 + kMaxStxEtxBody> m_payload{};
};

}  // namespace velkor::link
