#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/time/clock.h"
#include "provider/link/frame.h"

namespace velkor::pbxsim {

enum class FrameKind : std::uint8_t {
    Cti,
    Atd,
    // Bytes sent as given by a control command, not a frame the PBX built.
    Raw,
};

// One frame the PBX received or sent, as the log and the scenarios see it.
struct FrameRecord {
    platform::TimePoint time;
    bool received = false;
    FrameKind kind = FrameKind::Cti;
    // STX/ETX framing of single-station mode.
    bool stx = false;
    // The frame's bytes on the wire.
    std::vector<std::uint8_t> raw;
    // CTI: station index and code; ATD: code (station 0).
    std::uint16_t station = 0;
    std::uint16_t code = 0;
    std::uint8_t codeWidth = 1;
    // CTI: the data after the code; ATD: the bytes after the code bytes (for
    // one-byte codes the count byte comes first).
    std::vector<std::uint8_t> data;
    // What happened to a sent frame on its way out ("dropped", "corrupted",
    // "silent"), or why a received one got no answer.
    std::string note;
};

// "cti FFFF 50 SessionControl 23 23" / "atd 0309 DirectoryEntry ..."
std::string describeFrame(const FrameRecord& record);
// One log line: time since `origin`, direction, hex bytes and decoded form.
std::string logLine(const FrameRecord& record, platform::TimePoint origin);

}  // namespace velkor::pbxsim
