#include "tools/pbxsim/frame_record.h"

#include <cstdio>

#include "provider/link/catalogue.h"
#include "tools/pbxsim/byte_text.h"
#include "tools/pbxsim/message_names.h"

namespace velkor::pbxsim {

std::string describeFrame(const FrameRecord& r) {
    char head[64];
    std::string out;
    if (r.kind == FrameKind::Raw) return "raw " + hexText(r.raw);
    if (r.kind == FrameKind::Cti) {
        std::snprintf(head, sizeof head, "cti %04X %02X ", r.station, r.code);
        out = head;
        std::string_view name = ctiIdentifier(static_cast<std::uint8_t>(r.code));
        if (name.empty() && r.code >= link::kFirstRejectionCode) {
            out += "rejected:";
            name = ctiIdentifier(link::requestOfRejection(static_cast<std::uint8_t>(r.code)));
        }
        out += name.empty() ? "unknown" : std::string(name);
    } else {
        std::snprintf(head, sizeof head, r.codeWidth == 1 ? "atd %02X " : "atd %04X ", r.code);
        out = head;
        const std::string_view name = atdIdentifier(r.code);
        out += name.empty() ? "unknown" : std::string(name);
    }
    if (!r.data.empty()) out += " | " + hexText(r.data) + " \"" + printableText(r.data) + "\"";
    return out;
}

std::string logLine(const FrameRecord& r, platform::TimePoint origin) {
    const double seconds =
        std::chrono::duration<double>(r.time - origin).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.3f ", seconds);
    std::string line = stamp;
    line += r.received ? "rx " : "tx ";
    line += describeFrame(r);
    line += "  [" + hexText(r.raw) + "]";
    if (!r.note.empty()) line += "  (" + r.note + ")";
    return line;
}

}  // namespace velkor::pbxsim
