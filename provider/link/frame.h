#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace velkor::link {

// The link carries two logical channels. Over a serial port both share one
// byte stream (Channel::Serial, the type byte tells them apart); over UDP each
// has its own socket.
enum class Channel : std::uint8_t {
    Serial = 0,
    Cti = 1,
    Atd = 2,
};
inline constexpr std::size_t kChannelCount = 3;

// Binary frame: BA EC type length payload checksum BC.
inline constexpr std::uint8_t kStartMark1 = 0xBA;
inline constexpr std::uint8_t kStartMark2 = 0xEC;
inline constexpr std::uint8_t kEndMark = 0xBC;
inline constexpr std::uint8_t kTypeCti = 0xA0;
// ATD frames go out as 0xB0; the PBX may also send 0x90 or 0x9F.
inline constexpr std::uint8_t kTypeAtd = 0xB0;
inline constexpr std::uint8_t kTypeAtdAlt1 = 0x90;
inline constexpr std::uint8_t kTypeAtdAlt2 = 0x9F;

inline constexpr std::size_t kMaxPayload = 63;
inline constexpr std::size_t kFrameOverhead = 6;
inline constexpr std::size_t kMaxFrame = kMaxPayload + kFrameOverhead;
// Size of the sender's frame template; a little more than the largest frame.
inline constexpr std::size_t kFrameTemplateSize = 72;

enum class FrameType : std::uint8_t {
    Cti,
    Atd,
};

// Maps a received type byte to its channel kind; nullopt for any other byte.
std::optional<FrameType> frameTypeOf(std::uint8_t typeByte);

// One complete received frame. `payload` points into the receiver's buffer
// and is valid only during the sink call that carries it.
struct Frame {
    FrameType type = FrameType::Cti;
    // The type byte as received (0xA0, 0x90, 0x9F, 0xB0), or 0x02 for a
    // frame of the STX/ETX framing.
    std::uint8_t typeByte = kTypeCti;
    // The channel whose bytes carried the frame.
    Channel channel = Channel::Serial;
    std::span<const std::uint8_t> payload;
};

// Length byte: bits 0-5 the payload length, bit 6 = NOT bit 0, bit 7 = NOT
// bit 5. The two guard bits let the receiver reject a shifted or noisy byte.
std::uint8_t encodeLengthByte(std::size_t payloadLength);
// The payload length the byte announces, or nullopt when a guard bit is wrong.
std::optional<std::size_t> decodeLengthByte(std::uint8_t lengthByte);

// 0xFF XOR the type byte, the length byte and every payload byte.
std::uint8_t frameChecksum(std::uint8_t typeByte, std::uint8_t lengthByte,
                           std::span<const std::uint8_t> payload);

// Writes one complete frame into `out`; returns its size (6 + payload size),
// or 0 when the payload is longer than 63 bytes or `out` is too small.
std::size_t encodeFrame(std::uint8_t typeByte, std::span<const std::uint8_t> payload,
                        std::span<std::uint8_t> out);

}  // namespace velkor::link

namespace velkor::link {

// Framing of the CTI channel: binary frames, or STX/ETX in single-station
// mode. The ATD channel always uses binary frames.
enum class Framing : std::uint8_t {
    Binary,
    StxEtx,
};

}  // namespace velkor::link
