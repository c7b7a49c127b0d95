#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "provider/link/cti.h"
#include "provider/link/frame.h"
#include "provider/link/frame_sink.h"
#include "provider/link/frame_writer.h"

namespace velkor::link::testing {

using Bytes = std::vector<std::uint8_t>;

// "BA EC a0" -> bytes; blanks are ignored.
inline Bytes hex(std::string_view text) {
    Bytes out;
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

inline std::string toHex(std::span<const std::uint8_t> bytes) {
    std::string out;
    char buf[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A well-formed binary frame around `payload`.
inline Bytes frame(std::uint8_t type, const Bytes& payload) {
    Bytes out(payload.size() + kFrameOverhead);
    out.resize(encodeFrame(type, payload, out));
    return out;
}

// A CTI frame as the PBX sends it (sequence byte 0).
inline Bytes ctiFrame(std::uint16_t station, std::uint8_t code, const Bytes& data = {}) {
    Bytes payload{0, static_cast<std::uint8_t>(station >> 8),
                  static_cast<std::uint8_t>(station & 0xFF), code};
    return frame(kTypeCti, payload + data);
}

// Records each frame as "TT:PAYLOAD" (type byte and payload in hex).
class RecordingSink final : public FrameSink {
public:
    void onFrame(const Frame& f) override {
        frames.push_back(toHex(std::span(&f.typeByte, 1)) + ":" + toHex(f.payload));
        channels.push_back(f.channel);
    }
    std::vector<std::string> frames;
    std::vector<Channel> channels;
};

// Keeps every write; refuses them all while `accept` is false.
class RecordingWriter final : public FrameWriter {
public:
    bool write(std::span<const std::uint8_t> bytes, Channel channel) override {
        if (!accept) return false;
        writes.emplace_back(bytes.begin(), bytes.end());
        channels.push_back(channel);
        return true;
    }
    bool accept = true;
    std::vector<Bytes> writes;
    std::vector<Channel> channels;
};

}  // namespace velkor::link::testing
