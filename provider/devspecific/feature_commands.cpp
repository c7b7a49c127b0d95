// The commands that become feature requests to the station: paging, the
// voice unit, forwarding off the PBX and follow-me, key presses, the
// programmable buttons and short messages. The PBX's replies to these carry
// nothing beyond the completion, except a button read.
#include <algorithm>
#include <cstdio>

#include "provider/devspecific/command_text.h"
#include "provider/devspecific/device_commands.h"
#include "provider/link/catalogue.h"

namespace velkor::devspecific {

namespace code = link::code;
using core::LineContext;

namespace {

constexpr std::size_t kMaxKeys = 30;
constexpr std::size_t kMaxShortMessage = 48;
constexpr unsigned kMaxCo = 300;
constexpr std::size_t kMaxOffnetDestination = 4;

bool isKey(char c) {
    if (text::isDigit(c)) return true;
    constexpr std::string_view keys = "#*<>BCDFHIMNRST";
    return keys.find(c) != std::string_view::npos;
}

// How a programmable button's data is laid down after its type character,
// in a write and in the reply to a read.
enum class Field : std::uint8_t {
    None,
    // 1 to `width` characters, right-justified with blanks.
    Padded,
    // Exactly `width` characters.
    Exact,
};

struct ButtonType {
    std::string_view types;
    Field field;
    std::size_t width;
};

constexpr ButtonType kButtonTypes[] = {
    {"!\"", Field::Padded, 4},    // station, hunt group
    {"#%", Field::Padded, 3},     // CO line, CO group
    {"&", Field::Exact, 3},       // station speed dial
    {"'", Field::Exact, 4},
    {"),/1679", Field::Exact, 1},
};

constexpr std::uint8_t kFirstButtonType = 0x21;
constexpr std::uint8_t kLastButtonType = 0x3B;
// What a read reports for a type the provider does not know.
constexpr std::uint8_t kUnknownButtonType = 0x20;

// nullptr for a type without data; the caller has checked the range.
const ButtonType* buttonType(char type) {
    for (const ButtonType& t : kButtonTypes) {
        if (t.types.find(type) != std::string_view::npos) return &t;
    }
    return nullptr;
}

bool isButtonType(char type) {
    const auto t = static_cast<std::uint8_t>(type);
    return t >= kFirstButtonType && t <= kLastButtonType;
}

}  // namespace

// How a sub-command takes its argument and what it needs.
enum class SubForm : std::uint8_t {
    Plain,
    // The whole sub-command is the word, nothing after it.
    Exact,
    // The word, 'Z', two digits: a zone from 1 to `zones`, added to the byte.
    Zone,
    // Only while a message waits for the station.
    MessageWaiting,
    // Answering a page: the line has a page going.
    MeetMe,
    // Ends a page or a message-waiting call: release (0x5A).
    Drop,
};

struct SubCommand {
    std::string_view word;
    std::uint8_t code;
    std::uint8_t byte;
    SubForm form;
    unsigned zones;
};

// Paging (0x7A): the byte selects internal or external zones or all of them.
constexpr SubCommand kPaging[] = {
    {"int_page_", code::Paging, 0x20, SubForm::Zone, 35},
    {"int_all_call", code::Paging, 0x44, SubForm::Plain, 0},
    {"ext_page_", code::Paging, 0x44, SubForm::Zone, 3},
    {"ext_all_call", code::Paging, 0x48, SubForm::Plain, 0},
    {"all_call", code::Paging, 0x49, SubForm::Plain, 0},
    {"meet_me", code::Paging, 0x4A, SubForm::MeetMe, 0},
    {"drop", code::Release, 0, SubForm::Drop, 0},
};

// The voice unit (0x79) and forwarding to it (0x62). A longer word is tried
// before the word it begins with.
constexpr SubCommand kVoiceUnit[] = {
    {"time", code::VoiceUnit, 0x21, SubForm::Plain, 0},
    {"date", code::VoiceUnit, 0x22, SubForm::Plain, 0},
    {"stano", code::VoiceUnit, 0x23, SubForm::Plain, 0},
    {"outmsg_rec", code::VoiceUnit, 0x24, SubForm::Plain, 0},
    {"outmsg_del", code::VoiceUnit, 0x25, SubForm::Plain, 0},
    {"outmsg_play", code::VoiceUnit, 0x26, SubForm::Plain, 0},
    {"sta_status", code::VoiceUnit, 0x27, SubForm::Plain, 0},
    {"pagemsg_rec", code::VoiceUnit, 0x28, SubForm::Plain, 0},
    {"pagemsg_del", code::VoiceUnit, 0x29, SubForm::Plain, 0},
    {"pagemsg_play", code::VoiceUnit, 0x2A, SubForm::Plain, 0},
    {"msgwait_rec", code::VoiceUnit, 0x2B, SubForm::MessageWaiting, 0},
    {"msgwait_play_next", code::VoiceUnit, 0x2E, SubForm::Plain, 0},
    {"msgwait_play", code::VoiceUnit, 0x2C, SubForm::Plain, 0},
    {"msgwait_del", code::VoiceUnit, 0x2D, SubForm::Plain, 0},
    {"forward_uncond", code::Forward, 0x2C, SubForm::Plain, 0},
    {"forward", code::Forward, 0x2C, SubForm::Exact, 0},
    {"forward_busyna", code::Forward, 0x2F, SubForm::Plain, 0},
    {"forward_busy", code::Forward, 0x2D, SubForm::Plain, 0},
    {"forward_noansw", code::Forward, 0x2E, SubForm::Plain, 0},
    {"drop", code::Release, 0, SubForm::Drop, 0},
};

bool DeviceCommands::subCommand(Request& r, std::span<const SubCommand> table) {
    const std::string_view sub = text::afterSeparator(r.argument);
    for (const SubCommand& s : table) {
        const bool matches = s.form == SubForm::Exact ? equalsWord(sub, s.word)
                                                   : startsWithWord(sub, s.word);
        if (!matches) continue;
        std::uint8_t byte = s.byte;
        switch (s.form) {
        case SubForm::Plain:
        case SubForm::Exact:
            break;
        case SubForm::Zone: {
            const std::string_view zone = sub.substr(s.word.size());
            if (zone.size() != 3 || text::upper(zone[0]) != 'Z') return false;
            const auto nn = text::decimal(zone.substr(1), 2);
            if (!nn || *nn < 1 || *nn > s.zones) return false;
            byte = static_cast<std::uint8_t>(byte + *nn);
            break;
        }
        case SubForm::MessageWaiting:
            if (!r.line.messageWaiting) return false;
            break;
        case SubForm::MeetMe:
            r.line.pagingActive = true;
            break;
        case SubForm::Drop:
            // Only a page or a message-waiting call is there to drop; the PBX
            // then waits for the station to release its side.
            if (!r.line.messageWaiting && !r.line.pagingActive) return false;
            r.line.dropRequested = true;
            return sendToStation(r, code::Release, {});
        }
        if (s.code == code::Forward) r.line.forwardSelector = byte;
        const std::uint8_t data[] = {byte};
        return sendToStation(r, s.code, data);
    }
    return false;
}

bool DeviceCommands::paging(Request& r) { return subCommand(r, kPaging); }

bool DeviceCommands::voiceUnit(Request& r) { return subCommand(r, kVoiceUnit); }

bool DeviceCommands::offnetForward(Request& r) {
    // uncond|noansw, '/', 'C', three CO digits, the destination.
    std::string_view a = text::afterSeparator(r.argument);
    std::uint8_t selector = 0;
    if (startsWithWord(a, "uncond")) selector = '*';
    else if (startsWithWord(a, "noansw")) selector = '+';
    else return false;
    a.remove_prefix(6);
    if (a.size() < 6 || a[0] != '/' || text::upper(a[1]) != 'C') return false;
    const std::string_view co = a.substr(2, 3);
    const auto coValue = text::decimal(co, 3);
    if (!coValue || co.size() != 3 || *coValue > kMaxCo) return false;
    const std::string_view destination = a.substr(5);
    if (destination.empty() || destination.size() > kMaxOffnetDestination) return false;

    std::vector<std::uint8_t> data{selector};
    text::append(data, co);
    text::append(data, destination);
    data.push_back(0);
    r.line.forwardSelector = selector;
    return sendToStation(r, code::Forward, data);
}

bool DeviceCommands::pushButton(Request& r) {
    const std::string_view keys = text::afterSeparator(r.argument);
    if (keys.empty() || keys.size() > kMaxKeys) return false;
    std::vector<std::uint8_t> data;
    for (const char c : keys) {
        const char key = text::upper(c);
        if (!isKey(key)) return false;
        data.push_back(static_cast<std::uint8_t>(key));
    }
    data.push_back(0);
    return sendToStation(r, code::KeyPress, data);
}

bool DeviceCommands::followMe(Request& r) {
    // Two numbers, "a/b": a as a station number in 4 characters, b in the
    // remaining 5 of the 10-byte request.
    const std::string_view a = text::afterSeparator(r.argument);
    const std::size_t slash = a.find('/');
    if (slash == std::string_view::npos) return false;
    const std::string_view first = a.substr(0, slash);
    const std::string_view second = a.substr(slash + 1);
    if (!text::decimal(first, 4) || !text::decimal(second, 5)) return false;
    constexpr std::uint8_t kFollowMe = 0x27;
    std::vector<std::uint8_t> data{kFollowMe};
    text::appendRight(data, first, 4);
    text::appendRight(data, second, 5);
    r.line.forwardSelector = kFollowMe;
    return sendToStation(r, code::Forward, data);
}

bool DeviceCommands::flexButtonRead(Request& r) {
    const auto n = text::decimal(text::afterSeparator(r.argument), 3);
    if (!n) return false;
    char number[16];
    std::snprintf(number, sizeof number, "%03u", *n);
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(core::ButtonOperation::Read)};
    text::append(data, number);
    r.line.buttonOperation = core::ButtonOperation::Read;
    r.line.buttonNumber = *n;
    return sendToStation(r, code::ProgrammableButton, data);
}

bool DeviceCommands::flexButtonAction(Request& r) {
    const auto n = text::decimal(text::afterSeparator(r.argument), 3);
    if (!n) return false;
    char number[16];
    std::snprintf(number, sizeof number, "%3u", *n);
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(core::ButtonOperation::Press)};
    text::append(data, number);
    r.line.buttonOperation = core::ButtonOperation::Press;
    r.line.buttonNumber = *n;
    return sendToStation(r, code::ProgrammableButton, data);
}

bool DeviceCommands::flexButtonWrite(Request& r) {
    // NNN, '/', type character, and for most types '/' and the data.
    const std::string_view a = text::afterSeparator(r.argument);
    if (a.size() < 5 || a[3] != '/') return false;
    const std::string_view button = a.substr(0, 3);
    const auto n = text::decimal(button, 3);
    const char type = a[4];
    if (!n || !isButtonType(type)) return false;

    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(core::ButtonOperation::Write)};
    text::append(data, button);
    data.push_back(static_cast<std::uint8_t>(type));
    const ButtonType* t = buttonType(type);
    if (!t) {
        if (a.size() != 5) return false;
    } else {
        if (a.size() < 6 || a[5] != '/') return false;
        const std::string_view value = a.substr(6);
        const bool fits = t->field == Field::Padded ? !value.empty() && value.size() <= t->width
                                                    : value.size() == t->width;
        if (!fits) return false;
        text::appendRight(data, value, t->width);
    }
    r.line.buttonOperation = core::ButtonOperation::Write;
    r.line.buttonNumber = *n;
    return sendToStation(r, code::ProgrammableButton, data);
}

bool DeviceCommands::shortMessage(Request& r) {
    // R or W, '/', the other station's 4 characters, '/', the text.
    const std::string_view a = text::afterSeparator(r.argument);
    if (a.size() <= 5) return false;
    const char what = text::upper(a[0]);
    if ((what != 'R' && what != 'W') || a[1] != '/') return false;
    if (a.size() < 8 || a[6] != '/') return false;
    const std::string_view message = a.substr(7);
    if (message.empty() || message.size() > kMaxShortMessage) return false;
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(what)};
    text::append(data, a.substr(2, 4));
    text::append(data, message);
    return sendToStation(r, code::ShortMessage, data);
}

void DeviceCommands::onReply(const link::CtiMessage& message) {
    if (message.code != code::ProgrammableButton) return;
    platform::ScopedLock lock(m_model.callLock());
    LineContext* line = m_model.findLine(message.station);
    if (!line) return;
    const core::ButtonOperation operation = line->buttonOperation;
    line->buttonOperation = core::ButtonOperation::None;
    if (operation != core::ButtonOperation::Read) return;

    // The reply to a read: the button's type character, then its data laid
    // down as in a write.
    const auto d = message.data;
    if (d.empty() || !isButtonType(static_cast<char>(d[0]))) {
        m_model.raiseDevSpecific(*line, 33, kUnknownButtonType, 0);
        return;
    }
    std::uint32_t value = 0;
    if (const ButtonType* t = buttonType(static_cast<char>(d[0]))) {
        const auto field = d.subspan(1, std::min(t->width, d.size() - 1));
        if (t->width == 1) value = field.empty() ? 0 : field[0];
        else value = text::numeric(field);
    }
    m_model.raiseDevSpecific(*line, 33, d[0], value);
}

}  // namespace velkor::devspecific
