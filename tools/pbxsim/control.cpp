#include "tools/pbxsim/control.h"

#include <algorithm>
#include <span>
#include <vector>

#include "provider/link/catalogue.h"
#include "tools/pbxsim/byte_text.h"
#include "tools/pbxsim/message_names.h"
#include "tools/pbxsim/pbx.h"

namespace velkor::pbxsim {

namespace {

using Args = std::span<const std::string>;

constexpr std::string_view kHelp =
    "cti <station> <code|name> [bytes]     send a CTI frame (station: index, 0x.., sys, @number)\n"
    "event <station> <code|name> [bytes]   send a CTI event (code below 0x50)\n"
    "atd <code|name> [bytes]               send an ATD frame\n"
    "raw cti|atd <bytes>                   send bytes exactly as given\n"
    "status station|co <index> <byte>      change a status and report it\n"
    "status attendant <byte>               change the attendant's status\n"
    "silent on|off [cti|atd]               stop or resume sending\n"
    "drop <n> [cti|atd]                    drop the next n frames sent\n"
    "corrupt <n> [checksum|length|end|truncate] [cti|atd]\n"
    "next cti|atd <code|name> ignore|reject <cause>|delay <ms> [times <n>|always]\n"
    "clear-faults                          forget silence, drops, corruption and rules\n"
    "keepalive | poll | alive | end-atd    send 0x8B, ATD 0x0005, 0x0006, 0x0007\n"
    "answers auto|scripted                 answer requests, or leave them to a scenario\n"
    "call <from> <to>                      station <from> lifts its handset and dials <to>\n"
    "answer <number>                       the station answers its ringing call\n"
    "hangup <number>                       the station puts down its call, or goes on-hook\n"
    "busy <number> [on|off]                the station goes off-hook without dialling (or back)\n"
    "dnd <number> on|off                   do-not-disturb at the station\n"
    "co-call <co> <to> [number|-] [name]   an outside call on CO line <co> to station <to>,\n"
    "                                      with the caller's number or name as caller ID\n"
    "co-answer <co> | co-hangup <co>       the outside party answers or hangs up\n"
    "settings <number>                     the station's settings as the PBX answers them\n"
    "refuse-setting <number> <keyword> <cause>|off\n"
    "                                      reject writes of a setting (wu, pmp ...) with a cause\n"
    "other-data <bytes>                    other system data (event 0x48) to the system index\n"
    "calls | state | help | quit\n"
    "bytes: hex (2123), \"text\", num:21, numl:21, co:99, be16:300";

struct Failure {
    std::string text;
};

ControlReply ok(std::string text = {}) { return {true, "ok" + (text.empty() ? "" : " " + text), false}; }
ControlReply error(std::string text) { return {false, "error: " + text, false}; }

std::uint16_t stationArg(const Pbx& pbx, const std::string& word) {
    if (word == "sys" || word == "system") return link::kSystemIndex;
    if (!word.empty() && word[0] == '@') {
        const StationConfig* s = pbx.config().stationByNumber(word.substr(1));
        if (!s) throw Failure{"no station has number " + word.substr(1)};
        return s->index;
    }
    const auto n = parseNumber(word, 0xFFFF);
    if (!n) throw Failure{"'" + word + "' is not a station (index, 0x.., sys or @number)"};
    return static_cast<std::uint16_t>(*n);
}

std::uint8_t ctiCodeArg(const std::string& word) {
    if (const auto code = ctiCodeByName(word)) return *code;
    const auto n = parseNumber(word, 0xFF);
    if (!n) throw Failure{"'" + word + "' is neither a CTI code nor a message name"};
    return static_cast<std::uint8_t>(*n);
}

std::uint16_t atdCodeArg(const std::string& word) {
    if (const auto code = atdCodeByName(word)) return *code;
    const auto n = parseNumber(word, 0xFFFF);
    if (!n) throw Failure{"'" + word + "' is neither an ATD code nor a message name"};
    return static_cast<std::uint16_t>(*n);
}

std::uint32_t numberArg(const std::string& word, std::uint32_t max, std::string_view what) {
    const auto n = parseNumber(word, max);
    if (!n) throw Failure{"'" + word + "' is not " + std::string(what)};
    return *n;
}

std::vector<std::uint8_t> bytesArg(Args words) {
    BytesResult bytes = parseBytes(words);
    if (!bytes.error.empty()) throw Failure{bytes.error};
    return bytes.bytes;
}

std::optional<Way> wayArg(Args a, std::size_t i) {
    if (i >= a.size()) return std::nullopt;
    if (a[i] == "cti") return Way::Cti;
    if (a[i] == "atd") return Way::Atd;
    throw Failure{"'" + a[i] + "' is not cti or atd"};
}

void need(Args a, std::size_t count, std::string_view usage) {
    if (a.size() < count) throw Failure{"usage: " + std::string(usage)};
}

ControlReply sendCti(Pbx& pbx, Args a, bool eventOnly) {
    need(a, 2, eventOnly ? "event <station> <code|name> [bytes]" : "cti <station> <code|name> [bytes]");
    const std::uint16_t station = stationArg(pbx, a[0]);
    const std::uint8_t code = ctiCodeArg(a[1]);
    if (eventOnly && code >= link::kFirstReplyCode) throw Failure{"an event has a code below 0x50"};
    if (!pbx.sendCti(station, code, bytesArg(a.subspan(2)))) throw Failure{"too long for one frame"};
    return ok();
}

ControlReply sendAtd(Pbx& pbx, Args a) {
    need(a, 1, "atd <code|name> [bytes]");
    const std::uint16_t code = atdCodeArg(a[0]);
    // One-byte codes (bit 7 set) carry their count byte in the data.
    const auto shape = code <= 0xFF && (code & 0x80) ? link::AtdShape::Atd4 : link::AtdShape::Atd2;
    if (!pbx.sendAtd(code, bytesArg(a.subspan(1)), shape)) throw Failure{"too long for one frame"};
    return ok();
}

ControlReply otherData(Pbx& pbx, Args a) {
    need(a, 1, "other-data <bytes>");
    const std::vector<std::uint8_t> data = bytesArg(a);
    if (data.empty()) throw Failure{"other data has at least one byte"};
    if (!pbx.sendOtherData(data)) throw Failure{"too long for one frame"};
    return ok();
}

ControlReply sendRaw(Pbx& pbx, Args a) {
    need(a, 2, "raw cti|atd <bytes>");
    const auto way = wayArg(a, 0);
    pbx.sendRaw(*way == Way::Atd ? link::Channel::Atd : link::Channel::Cti, bytesArg(a.subspan(1)));
    return ok();
}

ControlReply status(Pbx& pbx, Args a) {
    need(a, 2, "status station|co <index> <byte> | status attendant <byte>");
    if (a[0] == "attendant") {
        return ok(pbx.setAttendantStatus(static_cast<std::uint8_t>(numberArg(a[1], 0xFF, "a byte"))));
    }
    need(a, 3, "status station|co <index> <byte>");
    const auto value = static_cast<std::uint8_t>(numberArg(a[2], 0xFF, "a byte"));
    if (a[0] == "station") return ok(pbx.setStationStatus(stationArg(pbx, a[1]), value));
    if (a[0] == "co") {
        return ok(pbx.setCoStatus(static_cast<std::uint16_t>(numberArg(a[1], 999, "a CO index")), value));
    }
    throw Failure{"status of station, co or attendant"};
}

ControlReply silent(Pbx& pbx, Args a) {
    need(a, 1, "silent on|off [cti|atd]");
    if (a[0] != "on" && a[0] != "off") throw Failure{"silent on or silent off"};
    pbx.faults().setSilent(wayArg(a, 1), a[0] == "on");
    return ok();
}

ControlReply drop(Pbx& pbx, Args a) {
    need(a, 1, "drop <n> [cti|atd]");
    pbx.faults().dropNext(static_cast<int>(numberArg(a[0], 100000, "a count")), wayArg(a, 1));
    return ok();
}

ControlReply corrupt(Pbx& pbx, Args a) {
    need(a, 1, "corrupt <n> [checksum|length|end|truncate] [cti|atd]");
    const int count = static_cast<int>(numberArg(a[0], 100000, "a count"));
    Corruption how = Corruption::Checksum;
    std::size_t next = 1;
    if (a.size() > 1 && a[1] != "cti" && a[1] != "atd") {
        if (a[1] == "checksum") how = Corruption::Checksum;
        else if (a[1] == "length") how = Corruption::Length;
        else if (a[1] == "end") how = Corruption::EndMark;
        else if (a[1] == "truncate") how = Corruption::Truncate;
        else throw Failure{"'" + a[1] + "' is not checksum, length, end or truncate"};
        next = 2;
    }
    pbx.faults().corruptNext(count, how, wayArg(a, next));
    return ok();
}

ControlReply next(Pbx& pbx, Args a) {
    constexpr std::string_view usage =
        "next cti|atd <code|name> ignore|reject <cause>|delay <ms> [times <n>|always]";
    need(a, 3, usage);
    AnswerRule rule;
    rule.way = *wayArg(a, 0);
    rule.code = rule.way == Way::Cti ? ctiCodeArg(a[1]) : atdCodeArg(a[1]);
    std::size_t i = 3;
    if (a[2] == "ignore") {
        rule.action = AnswerAction::Ignore;
    } else if (a[2] == "reject") {
        need(a, 4, usage);
        rule.action = AnswerAction::Reject;
        rule.cause = static_cast<std::uint8_t>(numberArg(a[3], 0xFF, "a cause byte"));
        i = 4;
    } else if (a[2] == "delay") {
        need(a, 4, usage);
        rule.action = AnswerAction::Delay;
        rule.delay = std::chrono::milliseconds(numberArg(a[3], 3600000, "a delay in ms"));
        i = 4;
    } else {
        throw Failure{"'" + a[2] + "' is not ignore, reject or delay"};
    }
    if (i < a.size()) {
        if (a[i] == "always") {
            rule.remaining = -1;
        } else if (a[i] == "times" && i + 1 < a.size()) {
            rule.remaining = static_cast<int>(numberArg(a[i + 1], 100000, "a count"));
            if (rule.remaining == 0) throw Failure{"times is at least 1"};
        } else {
            throw Failure{"usage: " + std::string(usage)};
        }
    }
    pbx.faults().addRule(rule);
    return ok();
}

ControlReply answers(Pbx& pbx, Args a) {
    need(a, 1, "answers auto|scripted");
    if (a[0] != "auto" && a[0] != "scripted") throw Failure{"answers auto or answers scripted"};
    pbx.setAutoAnswer(a[0] == "auto");
    return ok();
}

std::string unquoted(const std::string& word) {
    if (word.size() < 2 || word.front() != '"' || word.back() != '"') return word;
    std::string out;
    for (std::size_t i = 1; i + 1 < word.size(); ++i) {
        if (word[i] == '\\' && i + 2 < word.size()) ++i;
        out += word[i];
    }
    return out;
}

ControlReply callReply(const Pbx::CallResult& result) {
    return result.ok ? ok(result.text) : error(result.text);
}

bool onOffArg(Args a, std::size_t i, bool byDefault, std::string_view usage) {
    if (i >= a.size()) return byDefault;
    if (a[i] == "on") return true;
    if (a[i] == "off") return false;
    throw Failure{"usage: " + std::string(usage)};
}

ControlReply call(Pbx& pbx, Args a) {
    need(a, 2, "call <from> <to>");
    return callReply(pbx.stationCall(a[0], a[1]));
}

ControlReply answer(Pbx& pbx, Args a) {
    need(a, 1, "answer <number>");
    return callReply(pbx.stationAnswer(a[0]));
}

ControlReply hangup(Pbx& pbx, Args a) {
    need(a, 1, "hangup <number>");
    return callReply(pbx.stationHangUp(a[0]));
}

ControlReply busy(Pbx& pbx, Args a) {
    constexpr std::string_view usage = "busy <number> [on|off]";
    need(a, 1, usage);
    return callReply(pbx.stationBusy(a[0], onOffArg(a, 1, true, usage)));
}

ControlReply dnd(Pbx& pbx, Args a) {
    constexpr std::string_view usage = "dnd <number> on|off";
    need(a, 2, usage);
    return callReply(pbx.stationDnd(a[0], onOffArg(a, 1, true, usage)));
}

// The longest caller ID an incoming CO call event carries.
constexpr std::size_t kMaxCallerId = 50;

ControlReply coCall(Pbx& pbx, Args a) {
    constexpr std::string_view usage = "co-call <co> <to> [caller-number|-] [caller-name]";
    need(a, 2, usage);
    if (a.size() > 4) throw Failure{"usage: " + std::string(usage) + " (quote a name with blanks)"};
    const std::string number = a.size() > 2 && a[2] != "-" ? unquoted(a[2]) : std::string{};
    const std::string name = a.size() > 3 ? unquoted(a[3]) : std::string{};
    if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        throw Failure{"the caller's number is digits ('-' for none)"};
    }
    // The PBX shows one caller ID: the caller's name when it has one.
    const std::string callerId = name.empty() ? number : "N" + name;
    if (callerId.size() > kMaxCallerId) throw Failure{"a caller ID has at most 50 characters"};
    return callReply(pbx.coCall(a[0], a[1], callerId));
}

ControlReply coAnswer(Pbx& pbx, Args a) {
    need(a, 1, "co-answer <co>");
    return callReply(pbx.coAnswer(a[0]));
}

ControlReply coHangup(Pbx& pbx, Args a) {
    need(a, 1, "co-hangup <co>");
    return callReply(pbx.coHangUp(a[0]));
}

ControlReply settings(Pbx& pbx, Args a) {
    need(a, 1, "settings <number>");
    return callReply(pbx.settingsText(a[0]));
}

ControlReply refuseSetting(Pbx& pbx, Args a) {
    need(a, 3, "refuse-setting <number> <keyword> <cause>|off");
    std::optional<std::uint8_t> cause;
    if (a[2] != "off") cause = static_cast<std::uint8_t>(numberArg(a[2], 0xFF, "a cause byte"));
    return callReply(pbx.refuseSetting(a[0], a[1], cause));
}

ControlReply simple(Pbx& pbx, const std::string& command) {
    if (command == "keepalive") pbx.sendCti(link::kSystemIndex, link::code::KeepAlive, {});
    else if (command == "poll") pbx.sendAtd(link::atd::Poll, {});
    else if (command == "alive") pbx.sendAtd(link::atd::Alive, {});
    else if (command == "end-atd") pbx.endAtdSession();
    else if (command == "clear-faults") pbx.faults().clear();
    else if (command == "state") return ok(pbx.stateText());
    else if (command == "calls") return ok(pbx.callsText());
    else if (command == "help") return {true, std::string(kHelp), false};
    else if (command == "quit") return {true, "ok bye", true};
    else throw Failure{"unknown command '" + command + "' (try help)"};
    return ok();
}

struct Command {
    std::string_view name;
    ControlReply (*run)(Pbx&, Args);
};

constexpr Command kCommands[] = {
    {"cti", [](Pbx& p, Args a) { return sendCti(p, a, false); }},
    {"event", [](Pbx& p, Args a) { return sendCti(p, a, true); }},
    {"atd", sendAtd},
    {"raw", sendRaw},
    {"status", status},
    {"silent", silent},
    {"drop", drop},
    {"corrupt", corrupt},
    {"next", next},
    {"answers", answers},
    {"call", call},
    {"answer", answer},
    {"hangup", hangup},
    {"busy", busy},
    {"dnd", dnd},
    {"co-call", coCall},
    {"co-answer", coAnswer},
    {"co-hangup", coHangup},
    {"settings", settings},
    {"refuse-setting", refuseSetting},
    {"other-data", otherData},
};

}  // namespace

std::string_view controlHelp() { return kHelp; }

ControlReply executeControl(Pbx& pbx, std::string_view line) {
    const SplitResult split = splitWords(line);
    if (!split.error.empty()) return error(split.error);
    if (split.words.empty()) return {true, "", false};
    const Args words(split.words);
    try {
        for (const Command& c : kCommands) {
            if (c.name == words[0]) return c.run(pbx, words.subspan(1));
        }
        if (words.size() > 1) throw Failure{"'" + words[0] + "' takes no arguments or is unknown (try help)"};
        return simple(pbx, words[0]);
    } catch (const Failure& failure) {
        return error(failure.text);
    }
}

}  // namespace velkor::pbxsim
