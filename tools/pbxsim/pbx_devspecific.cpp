// The PBX's side of the device-specific functions: paging and voice-unit
// functions, programmable buttons, short messages between stations, call
// records and other system data.
#include <chrono>
#include <cstdio>

#include "provider/link/catalogue.h"
#include "provider/link/encodings.h"
#include "tools/pbxsim/pbx.h"

namespace velkor::pbxsim {

namespace {

namespace code = link::code;
namespace ev = link::event;

// Programmable button requests: read, write and press, each with the button
// number in three characters (zero-padded for a read and a write, blank-
// padded for a press).
constexpr std::uint8_t kButtonRead = '!';
constexpr std::uint8_t kButtonWrite = 0x22;
constexpr std::uint8_t kButtonPress = '#';
constexpr std::uint8_t kFirstButtonType = 0x21;
constexpr std::uint8_t kLastButtonType = 0x3B;
// The type a button that was never written reads back as.
constexpr std::uint8_t kUnprogrammed = ' ';
// Longest button data the PBX keeps: a station number in 4 characters.
constexpr std::size_t kMaxButtonData = 4;

// A short message: 'W' sends it to the addressed station; 'R' is answered
// alike, but the PBX passes nothing on.
constexpr std::uint8_t kMessageWrite = 'W';
constexpr std::uint8_t kMessageRead = 'R';
constexpr std::size_t kMaxMessageText = 48;

// The call record comes in two frames, the first flagged ' '.
constexpr std::uint8_t kRecordFirst = ' ';
constexpr std::uint8_t kRecordLast = '!';

std::optional<unsigned> buttonNumber(std::span<const std::uint8_t> digits) {
    unsigned n = 0;
    bool any = false;
    for (const std::uint8_t c : digits) {
        if (c == ' ' && !any) continue;
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
        any = true;
    }
    if (!any) return std::nullopt;
    return n;
}

std::string trimmedText(std::span<const std::uint8_t> bytes) {
    std::string s(bytes.begin(), bytes.end());
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

void Pbx::ctiOneByteFunction(const CtiRequest& r) {
    // Paging (0x7A) and the voice unit (0x79) take one function byte; the PBX
    // starts the function and answers by echoing the byte.
    if (!m_config.station(r.station)) {
        reject(r.station, r.code, m_config.noStationCause);
        return;
    }
    if (r.data.size() != 1) {
        reject(r.station, r.code, m_config.defaultCause);
        return;
    }
    sendCti(r.station, r.code, r.data);
}

void Pbx::ctiProgrammableButton(const CtiRequest& r) {
    if (!m_config.station(r.station)) {
        reject(r.station, r.code, m_config.noStationCause);
        return;
    }
    const auto n = r.data.size() >= 4 ? buttonNumber(r.data.subspan(1, 3)) : std::nullopt;
    if (!n) {
        reject(r.station, r.code, m_config.defaultCause);
        return;
    }
    switch (r.data[0]) {
    case kButtonRead: {
        if (r.data.size() != 4) break;
        const auto stored = button(r.station, *n);
        const std::vector<std::uint8_t> reply = stored.value_or(std::vector<std::uint8_t>{kUnprogrammed});
        sendCti(r.station, r.code, reply);
        return;
    }
    case kButtonWrite: {
        if (r.data.size() < 5) break;
        const std::uint8_t type = r.data[4];
        const auto data = r.data.subspan(5);
        if (type < kFirstButtonType || type > kLastButtonType || data.size() > kMaxButtonData) break;
        std::vector<std::uint8_t> stored{type};
        stored.insert(stored.end(), data.begin(), data.end());
        m_buttons[{r.station, *n}] = std::move(stored);
        sendCti(r.station, r.code, r.data);
        return;
    }
    case kButtonPress:
        if (r.data.size() != 4) break;
        sendCti(r.station, r.code, r.data);
        return;
    default:
        break;
    }
    reject(r.station, r.code, m_config.defaultCause);
}

std::optional<std::vector<std::uint8_t>> Pbx::button(std::uint16_t index, unsigned number) const {
    const auto it = m_buttons.find({index, number});
    if (it == m_buttons.end()) return std::nullopt;
    return it->second;
}

void Pbx::ctiShortMessage(const CtiRequest& r) {
    // 'W' or 'R', the other station's number in 4 characters, the text.
    const StationConfig* sender = m_config.station(r.station);
    if (!sender) {
        reject(r.station, r.code, m_config.noStationCause);
        return;
    }
    if (r.data.size() < 6 || r.data.size() > 5 + kMaxMessageText ||
        (r.data[0] != kMessageWrite && r.data[0] != kMessageRead)) {
        reject(r.station, r.code, m_config.defaultCause);
        return;
    }
    const StationConfig* to = m_config.stationByNumber(trimmedText(r.data.subspan(1, 4)));
    if (!to) {
        reject(r.station, r.code, m_config.noStationCause);
        return;
    }
    sendCti(r.station, r.code, r.data);
    if (r.data[0] != kMessageWrite) return;
    // The addressed station gets the sender's number and the text, when the
    // provider watches it.
    if (!monitored(to->index)) return;
    const auto from = link::encodeNum4(sender->number);
    if (!from) return;
    std::vector<std::uint8_t> event(from->begin(), from->end());
    const auto text = r.data.subspan(5);
    event.insert(event.end(), text.begin(), text.end());
    sendCti(to->index, ev::ShortMessageReceived, event);
}

void Pbx::callRecord(std::uint16_t caller, std::uint16_t called) {
    if (!m_callRecordOutput) return;
    const StationConfig* a = m_config.station(caller);
    const StationConfig* b = m_config.station(called);
    if (!a || !b) return;
    // "STA  201  202" in the first frame, the time the call ended (as the
    // PBX's clock has run since it started) in the second.
    const auto na = link::encodeNum4(a->number);
    const auto nb = link::encodeNum4(b->number);
    if (!na || !nb) return;
    std::vector<std::uint8_t> first{kRecordFirst, 'S', 'T', 'A', ' '};
    first.insert(first.end(), na->begin(), na->end());
    first.push_back(' ');
    first.insert(first.end(), nb->begin(), nb->end());
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(m_clock.now() - m_start).count();
    char end[16];
    std::snprintf(end, sizeof end, " %02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600 % 100),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    std::vector<std::uint8_t> last{kRecordLast};
    last.insert(last.end(), end, end + std::char_traits<char>::length(end));
    sendCti(link::kSystemIndex, ev::CallRecordText, first);
    sendCti(link::kSystemIndex, ev::CallRecordText, last);
}

bool Pbx::sendOtherData(std::span<const std::uint8_t> data) {
    if (data.empty()) return false;
    return sendCti(link::kSystemIndex, ev::OtherSystemData, data);
}

}  // namespace velkor::pbxsim
