#include "tools/tapicmd/command_runner.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <sstream>

#include "tapi_names.h"
#include "tools/tapicmd/message_json.h"
#include "tools/tapicmd/structure_json.h"

namespace velkor::tapicmd {

namespace {

constexpr DWORD kDefaultWaitMs = 10000;
// As the desktop client forwards: every address, five rings.
constexpr DWORD kForwardAllAddresses = 1;
constexpr DWORD kForwardRings = 5;
constexpr DWORD kConferenceParties = 3;
constexpr std::size_t kParkAddressSize = 64;
constexpr std::size_t kStructureRoom = 4096;

std::vector<std::string> splitWords(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string joinWords(const std::vector<std::string>& words, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
    return text;
}

std::optional<DWORD> parseNumber(const std::string& text) {
    try {
        std::size_t used = 0;
        const unsigned long value = std::stoul(text, &used, 0);
        if (used != text.size() || value > 0xFFFFFFFFul) return std::nullopt;
        return static_cast<DWORD>(value);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// A name a script may give a call: not a number (that would be a handle).
bool validCallName(const std::string& name) {
    return !name.empty() && !parseNumber(name) && name[0] != '#' && name != "as";
}

// A field matches when its JSON text, or the text of a string field,
// equals the wanted value; numbers also match in 0x hexadecimal.
bool fieldMatches(const nlohmann::json& value, const std::string& wanted) {
    if (value.is_string()) return value.get<std::string>() == wanted;
    if (value.is_array()) {
        for (const auto& item : value) {
            if (fieldMatches(item, wanted)) return true;
        }
        return false;
    }
    if (value.is_number_unsigned() || value.is_number_integer()) {
        if (value.dump() == wanted) return true;
        const auto number = parseNumber(wanted);
        return number && value.is_number_unsigned() && value.get<std::uint64_t>() == *number;
    }
    return value.dump() == wanted;
}

// Messages whose hDevice is a phone.
bool isPhoneMessage(DWORD message) {
    return message == PHONE_BUTTON || message == PHONE_CLOSE || message == PHONE_DEVSPECIFIC ||
           message == PHONE_STATE;
}

constexpr std::size_t kPhoneDataRoom = 256;

// Messages whose hDevice is a call.
bool isCallMessage(DWORD message) {
    switch (message) {
        case LINE_CALLSTATE:
        case LINE_CALLINFO:
        case LINE_GATHERDIGITS:
        case LINE_GENERATE:
        case LINE_MONITORDIGITS:
        case LINE_MONITORMEDIA:
        case LINE_MONITORTONE:
            return true;
        default:
            return false;
    }
}

// A mode written as a short word, its published name, or a number.
struct ModeWord {
    const char* word;
    DWORD value;
};
constexpr ModeWord kCompletionModes[] = {
    {"campon", LINECALLCOMPLMODE_CAMPON},
    {"callback", LINECALLCOMPLMODE_CALLBACK},
    {"intrude", LINECALLCOMPLMODE_INTRUDE},
    {"message", LINECALLCOMPLMODE_MESSAGE},
};
constexpr ModeWord kForwardModes[] = {
    {"uncond", LINEFORWARDMODE_UNCOND},
    {"busy", LINEFORWARDMODE_BUSY},
    {"noanswer", LINEFORWARDMODE_NOANSW},
    {"busyna", LINEFORWARDMODE_BUSYNA},
};
constexpr ModeWord kDigitModes[] = {
    {"dtmf", LINEDIGITMODE_DTMF},
    {"pulse", LINEDIGITMODE_PULSE},
};

template <std::size_t N, std::size_t M>
std::optional<DWORD> parseMode(const std::string& word, const ModeWord (&words)[N],
                               const TapiCodeName (&names)[M]) {
    for (const ModeWord& w : words) {
        if (word == w.word) return w.value;
    }
    DWORD value = 0;
    if (tapiCodeFromName(names, M, word.c_str(), &value)) return value;
    return parseNumber(word);
}

std::optional<std::vector<std::uint8_t>> parseHex(const std::vector<std::string>& words,
                                                  std::size_t from) {
    std::string digits;
    for (std::size_t i = from; i < words.size(); ++i) digits += words[i];
    if (digits.empty() || digits.size() % 2) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const auto byte = parseNumber("0x" + digits.substr(i, 2));
        if (!byte) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
    }
    return bytes;
}

// Reads a structure of type T into `block`, growing it to the size the
// layer says it needs.
template <typename T, typename Get>
LONG readStructure(std::vector<std::uint8_t>& block, Get get) {
    block.assign(sizeof(T) + kStructureRoom, 0);
    for (int attempt = 0;; ++attempt) {
        std::fill(block.begin(), block.end(), 0);
        const auto total = static_cast<DWORD>(block.size());
        std::memcpy(block.data(), &total, sizeof total);
        const LONG result = get(reinterpret_cast<T*>(block.data()));
        DWORD needed;
        std::memcpy(&needed, block.data() + 4, sizeof needed);
        if ((result != 0 && result != LINEERR_STRUCTURETOOSMALL) || needed <= block.size() ||
            attempt == 2) {
            return result;
        }
        block.resize(needed);
    }
}

}  // namespace

// One command being run: its words without the "as" names, the result
// object it prints, and the request it may start.
class CommandRunner::Request {
public:
    // `maxNames` calls the command creates may be named with "as".
    Request(CommandRunner& runner, const Words& words, std::size_t maxNames = 0)
        : m_runner(runner), m_pending(std::make_unique<Pending>()) {
        m_pending->command = words[0];
        m_out["command"] = words[0];
        const auto as = std::find(words.begin(), words.end(), "as");
        m_args.assign(words.begin(), maxNames ? as : words.end());
        if (!maxNames || as == words.end()) return;
        m_names.assign(as + 1, words.end());
        if (m_names.empty() || m_names.size() > maxNames ||
            !std::all_of(m_names.begin(), m_names.end(), validCallName)) {
            badArguments("\"as\" takes up to " + std::to_string(maxNames) +
                         " call names that are not numbers");
        }
    }

    const Words& args() const { return m_args; }
    const std::vector<std::string>& names() const { return m_names; }
    bool ok() const { return m_code == kOk; }
    int code() const { return m_code; }
    nlohmann::json& out() { return m_out; }
    Pending& pending() { return *m_pending; }

    int badArguments(const std::string& why = "wrong arguments") {
        return failWith(why, kBadCommand);
    }

    // An open line by station number or "#<device ID>".
    std::optional<HLINE> line(const std::string& word) {
        const auto id = device(word);
        if (!id) return std::nullopt;
        const auto it = m_runner.m_openLines.find(*id);
        if (it == m_runner.m_openLines.end()) {
            failWith(word + " is not open", kCommandFailed);
            return std::nullopt;
        }
        m_out["line"] = it->second;
        return it->second;
    }

    // An open phone by station number or "#<phone device ID>".
    std::optional<HPHONE> phone(const std::string& word) {
        Session& session = m_runner.m_session;
        const auto id = session.phoneApp() ? session.findPhone(word) : std::nullopt;
        const auto it = id ? m_runner.m_openPhones.find(*id) : m_runner.m_openPhones.end();
        if (it == m_runner.m_openPhones.end()) {
            failWith(word + " is no open phone", kCommandFailed);
            return std::nullopt;
        }
        m_out["target"] = word;
        m_out["phone"] = it->second;
        return it->second;
    }

    // Any line device, open or not.
    std::optional<DWORD> device(const std::string& word) {
        const auto id = m_runner.m_session.findDevice(word);
        if (!id) {
            failWith("no line " + word, kCommandFailed);
            return std::nullopt;
        }
        m_out["target"] = word;
        m_out["device"] = *id;
        return id;
    }

    // A call by handle or by name, printed under `key`.
    std::optional<HCALL> call(const std::string& word, const std::string& key = "call") {
        HCALL handle;
        if (const auto number = parseNumber(word)) {
            handle = *number;
        } else if (const auto it = m_runner.m_callNames.find(word);
                   it != m_runner.m_callNames.end()) {
            handle = it->second;
        } else {
            failWith("no call named " + word, kCommandFailed);
            return std::nullopt;
        }
        m_out[key] = handle;
        if (const std::string name = m_runner.nameOf(handle); !name.empty()) {
            m_out[key + "Name"] = name;
            m_pending->names.push_back(name);
        }
        return handle;
    }

    // Where the layer writes the handle of a call the request creates; it
    // takes the next name given with "as".
    LPHCALL newCall(const char* role) {
        Pending::Created& created = m_pending->created[m_pending->createdCount];
        created.role = role;
        if (m_pending->createdCount < m_names.size()) {
            created.name = m_names[m_pending->createdCount];
            m_pending->names.push_back(created.name);
        }
        ++m_pending->createdCount;
        return &created.handle;
    }

    // Prints the result. A positive result is a request ID: the request is
    // remembered until its LINE_REPLY and the calls it creates get their
    // names now, since their handles are known.
    int finish(LONG result) {
        addResult(m_out, result);
        if (result > 0) {
            m_out["requestId"] = result;
            for (std::size_t i = 0; i < m_pending->createdCount; ++i) {
                const Pending::Created& created = m_pending->created[i];
                m_out[created.role] = created.handle;
                if (created.name.empty()) continue;
                m_out[created.role + "Name"] = created.name;
                if (created.handle) m_runner.m_callNames[created.name] = created.handle;
            }
            m_runner.m_pending[static_cast<DWORD>(result)] = std::move(m_pending);
        }
        m_runner.print(m_out);
        return result >= 0 ? kOk : kCommandFailed;
    }

private:
    int failWith(const std::string& why, int code) {
        m_code = code;
        return m_runner.fail(m_out["command"].get<std::string>(), why, code);
    }

    CommandRunner& m_runner;
    Words m_args;
    std::vector<std::string> m_names;
    nlohmann::json m_out;
    std::unique_ptr<Pending> m_pending;
    int m_code = kOk;
};

CommandRunner::CommandRunner(Session& session, std::ostream& out)
    : m_session(session), m_out(out) {}

// The layer may still write into what pending requests keep (the address of
// a park); the session ends before that goes.
CommandRunner::~CommandRunner() {
    if (!m_pending.empty()) m_session.shutdown();
}

const std::vector<CommandRunner::Command>& CommandRunner::commands() {
    static const std::vector<Command> table{
        {"lines", &CommandRunner::lines, "lines"},
        {"open", &CommandRunner::open, "open <station|#id> [owner|monitor|none]"},
        {"close", &CommandRunner::close, "close <station|#id>"},
        {"wait", &CommandRunner::wait,
         "wait <MESSAGE> [field=value ...] [timeout=<ms>] [as <name>]"},
        {"sleep", &CommandRunner::sleep, "sleep <ms>"},
        {"quit", &CommandRunner::quit, "quit"},
        {"make", &CommandRunner::make, "make <line> [<destination>] [as <name>]"},
        {"accept", &CommandRunner::accept, "accept <call>"},
        {"answer", &CommandRunner::answer, "answer <call>"},
        {"drop", &CommandRunner::drop, "drop <call>"},
        {"hold", &CommandRunner::hold, "hold <call>"},
        {"unhold", &CommandRunner::unhold, "unhold <call>"},
        {"swaphold", &CommandRunner::swapHold, "swaphold <active call> <held call>"},
        {"redirect", &CommandRunner::redirect, "redirect <call> <destination>"},
        {"dial", &CommandRunner::dial, "dial <call> <digits>"},
        {"blind-transfer", &CommandRunner::blindTransfer, "blind-transfer <call> <destination>"},
        {"transfer-setup", &CommandRunner::transferSetup, "transfer-setup <call> [as <consult>]"},
        {"transfer-complete", &CommandRunner::transferComplete,
         "transfer-complete <call> <consult> [conference [as <conference>]]"},
        {"conference-setup", &CommandRunner::conferenceSetup,
         "conference-setup <call>|line <line> [<parties>] [as <conference> [<consult>]]"},
        {"conference-prepare", &CommandRunner::conferencePrepare,
         "conference-prepare <conference> [as <consult>]"},
        {"conference-add", &CommandRunner::conferenceAdd, "conference-add <conference> <call>"},
        {"conference-remove", &CommandRunner::conferenceRemove, "conference-remove <call>"},
        {"park", &CommandRunner::park, "park <call> [<destination>]"},
        {"unpark", &CommandRunner::unpark, "unpark <line> <destination> [as <name>]"},
        {"pickup", &CommandRunner::pickup, "pickup <line> [<destination>] [as <name>]"},
        {"complete-call", &CommandRunner::completeCall,
         "complete-call <call> campon|callback|intrude|message"},
        {"uncomplete-call", &CommandRunner::uncompleteCall,
         "uncomplete-call <line> <completion ID>"},
        {"forward", &CommandRunner::forward,
         "forward <line> uncond|busy|noanswer|busyna <destination> [as <consult>], or "
         "forward <line> off"},
        {"digits", &CommandRunner::digits, "digits <call> <digits> [dtmf|pulse]"},
        {"uui", &CommandRunner::uui, "uui <call> <text>"},
        {"uui-release", &CommandRunner::uuiRelease, "uui-release <call>"},
        {"calldata", &CommandRunner::callData, "calldata <call> <text>"},
        {"deallocate", &CommandRunner::deallocate, "deallocate <call>"},
        {"callinfo", &CommandRunner::callInfo, "callinfo <call>"},
        {"callstatus", &CommandRunner::callStatus, "callstatus <call>"},
        {"devstatus", &CommandRunner::devStatus, "devstatus <line>"},
        {"addresscaps", &CommandRunner::addressCaps, "addresscaps <line> [<address ID>]"},
        {"addressstatus", &CommandRunner::addressStatus, "addressstatus <line> [<address ID>]"},
        {"getid", &CommandRunner::getId, "getid <line>|call <call> [<device class>]"},
        {"devspecific", &CommandRunner::devSpecific,
         "devspecific <line> <hex bytes>, or devspecific <line> text <text>"},
        {"phone-open", &CommandRunner::phoneOpen, "phone-open <station|#id>"},
        {"phone-close", &CommandRunner::phoneClose, "phone-close <phone>"},
        {"phone-set", &CommandRunner::phoneSet, "phone-set <phone> <setting text>"},
        {"phone-get", &CommandRunner::phoneGet, "phone-get <phone> <data ID>"},
    };
    return table;
}

int CommandRunner::run(std::istream& in) {
    for (std::string line; !m_quit && std::getline(in, line);) {
        if (const int code = runLine(line); code != kOk) return code;
    }
    pump(0);
    return kOk;
}

int CommandRunner::runLine(const std::string& line) {
    const Words words = splitWords(line);
    if (words.empty() || words[0].starts_with("#")) return kOk;
    // Messages stay queued until a wait, a sleep or the end of the run
    // prints them, so that a wait still sees what arrived before it.
    for (const Command& command : commands()) {
        if (words[0] == command.name) return (this->*command.handler)(words);
    }
    return fail(words[0], "unknown command", kBadCommand);
}

// Text from a provider may be anything; what is not UTF-8 is printed as
// replacement characters.
void CommandRunner::print(const nlohmann::json& out) {
    m_out << out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

int CommandRunner::fail(const std::string& command, const std::string& error, int code) {
    nlohmann::json out{{"command", command}, {"error", error}};
    for (const Command& c : commands()) {
        if (command == c.name) out["usage"] = c.usage;
    }
    print(out);
    return code;
}

std::string CommandRunner::nameOf(HCALL call) const {
    for (const auto& [name, handle] : m_callNames) {
        if (handle == call) return name;
    }
    return {};
}

nlohmann::json CommandRunner::describe(const LINEMESSAGE& message) {
    nlohmann::json out = messageToJson(message);
    if (isCallMessage(message.dwMessageID)) {
        out["call"] = message.hDevice;
        if (const std::string name = nameOf(message.hDevice); !name.empty()) out["callName"] = name;
    }
    if (isPhoneMessage(message.dwMessageID)) out["phone"] = message.hDevice;
    if (message.dwMessageID == LINE_REPLY || message.dwMessageID == PHONE_REPLY) {
        describeReply(out, static_cast<DWORD>(message.dwParam1),
                      static_cast<LONG>(static_cast<DWORD>(message.dwParam2)));
    }
    return out;
}

// The command a reply ends, the calls it named, the handles of the calls it
// created (0 where none was needed), and what the layer wrote meanwhile.
void CommandRunner::describeReply(nlohmann::json& out, DWORD requestId, LONG result) {
    const auto it = m_pending.find(requestId);
    if (it == m_pending.end()) return;
    const Pending& pending = *it->second;
    out["request"] = pending.command;
    if (!pending.names.empty()) out["calls"] = pending.names;
    for (std::size_t i = 0; i < pending.createdCount; ++i) {
        const Pending::Created& created = pending.created[i];
        out[created.role] = created.handle;
        if (created.name.empty()) continue;
        out[created.role + "Name"] = created.name;
        if (!created.handle) m_callNames.erase(created.name);
    }
    if (result == 0 && pending.parkAddress) addVarString(out, "parkedAt", pending.block);
    if (result == 0 && pending.hasCompletionId) out["completionId"] = pending.completionId;
    if (pending.command == "devspecific") out["params"] = hexBytes(pending.block);
    if (pending.command == "phone-set") {
        out["setting"] = std::string(pending.block.begin(), pending.block.end());
    }
    m_pending.erase(it);
}

void CommandRunner::pump(DWORD timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        LINEMESSAGE message;
        if (!m_session.nextMessage(message,
                                   left.count() > 0 ? static_cast<DWORD>(left.count()) : 0)) {
            return;
        }
        print(describe(message));
    }
}

// --- the session ------------------------------------------------------------------------

int CommandRunner::lines(const Words& words) {
    if (words.size() != 1) return fail("lines", "takes no arguments", kBadCommand);
    for (const auto& device : m_session.lines()) {
        nlohmann::json out{
            {"command", "lines"}, {"device", device.deviceId}, {"name", device.name}};
        if (!device.station.empty()) out["station"] = device.station;
        print(out);
    }
    return kOk;
}

int CommandRunner::open(const Words& words) {
    if (words.size() < 2 || words.size() > 3) return fail("open", "wrong arguments", kBadCommand);
    const auto device = m_session.findDevice(words[1]);
    if (!device) return fail("open", "no line " + words[1], kCommandFailed);
    DWORD privileges = LINECALLPRIVILEGE_OWNER;
    if (words.size() == 3) {
        if (words[2] == "monitor") {
            privileges = LINECALLPRIVILEGE_MONITOR;
        } else if (words[2] == "none") {
            privileges = LINECALLPRIVILEGE_NONE;
        } else if (words[2] != "owner") {
            return fail("open", "privilege must be owner, monitor or none", kBadCommand);
        }
    }
    DWORD version = 0;
    LINEEXTENSIONID ext;
    LONG result = lineNegotiateAPIVersion(m_session.app(), *device, TAPI_VERSION1_4,
                                          TAPI_CURRENT_VERSION, &version, &ext);
    HLINE line = 0;
    if (result == 0) {
        result = lineOpenA(m_session.app(), *device, &line, version, 0, *device, privileges,
                           LINEMEDIAMODE_INTERACTIVEVOICE, nullptr);
    }
    nlohmann::json out{{"command", "open"}, {"target", words[1]}, {"device", *device}};
    addResult(out, result);
    if (result == 0) {
        out["line"] = line;
        m_openLines[*device] = line;
        // Every status message, so that nothing the provider reports is hidden.
        lineSetStatusMessages(line, 0x00FFFFFF, 0x000001FF);
    }
    print(out);
    return result == 0 ? kOk : kCommandFailed;
}

int CommandRunner::close(const Words& words) {
    if (words.size() != 2) return fail("close", "wrong arguments", kBadCommand);
    const auto device = m_session.findDevice(words[1]);
    if (!device || !m_openLines.count(*device)) {
        return fail("close", words[1] + " is not open", kCommandFailed);
    }
    const LONG result = lineClose(m_openLines[*device]);
    m_openLines.erase(*device);
    nlohmann::json out{{"command", "close"}, {"target", words[1]}, {"device", *device}};
    addResult(out, result);
    print(out);
    return result == 0 ? kOk : kCommandFailed;
}

int CommandRunner::wait(const Words& given) {
    Words words = given;
    std::string name;
    if (words.size() >= 2 && words[words.size() - 2] == "as") {
        name = words.back();
        if (!validCallName(name)) return fail("wait", "a call name is not a number", kBadCommand);
        words.resize(words.size() - 2);
    }
    if (words.size() < 2) return fail("wait", "names no message", kBadCommand);
    DWORD timeoutMs = kDefaultWaitMs;
    std::vector<std::pair<std::string, std::string>> fields;
    for (std::size_t i = 2; i < words.size(); ++i) {
        const std::size_t eq = words[i].find('=');
        if (eq == std::string::npos || eq == 0) {
            return fail("wait", "\"" + words[i] + "\" is not field=value", kBadCommand);
        }
        const std::string key = words[i].substr(0, eq);
        const std::string value = words[i].substr(eq + 1);
        if (key == "timeout") {
            const auto ms = parseNumber(value);
            if (!ms) return fail("wait", "timeout must be milliseconds", kBadCommand);
            timeoutMs = *ms;
        } else {
            fields.emplace_back(key, value);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        LINEMESSAGE message;
        if (left.count() <= 0 ||
            !m_session.nextMessage(message, static_cast<DWORD>(left.count()))) {
            print({{"command", "wait"}, {"message", words[1]}, {"timedOut", true}});
            return kWaitTimedOut;
        }
        const nlohmann::json json = describe(message);
        print(json);
        bool matches = json["message"] == words[1];
        for (const auto& [key, value] : fields) {
            matches = matches && json.contains(key) && fieldMatches(json[key], value);
        }
        if (!matches) continue;
        nlohmann::json out{{"command", "wait"}, {"message", words[1]}, {"matched", true}};
        if (!name.empty()) {
            if (!isCallMessage(message.dwMessageID)) {
                return fail("wait", words[1] + " is not about a call", kBadCommand);
            }
            m_callNames[name] = message.hDevice;
            out["call"] = message.hDevice;
            out["callName"] = name;
        }
        print(out);
        return kOk;
    }
}

int CommandRunner::sleep(const Words& words) {
    const auto ms = words.size() == 2 ? parseNumber(words[1]) : std::nullopt;
    if (!ms) return fail("sleep", "needs milliseconds", kBadCommand);
    pump(*ms);
    return kOk;
}

int CommandRunner::quit(const Words&) {
    m_quit = true;
    return kOk;
}

// --- calls ---------------------------------------------------------------------------------

int CommandRunner::onCall(const Words& words, const std::function<LONG(HCALL)>& function) {
    Request r(*this, words);
    if (r.args().size() != 2) return r.badArguments();
    const auto call = r.call(r.args()[1]);
    return call ? r.finish(function(*call)) : r.code();
}

int CommandRunner::onCallWithText(const Words& words, const char* key,
                                  const std::function<LONG(HCALL, const std::string&)>& function) {
    Request r(*this, words);
    if (r.args().size() < 3) return r.badArguments();
    const auto call = r.call(r.args()[1]);
    if (!call) return r.code();
    const std::string text = joinWords(r.args(), 2);
    r.out()[key] = text;
    return r.finish(function(*call, text));
}

int CommandRunner::make(const Words& words) {
    Request r(*this, words, 1);
    const Words& a = r.args();
    if (!r.ok()) return r.code();
    if (a.size() < 2 || a.size() > 3) return r.badArguments();
    const auto line = r.line(a[1]);
    if (!line) return r.code();
    if (a.size() == 3) r.out()["destination"] = a[2];
    return r.finish(lineMakeCallA(*line, r.newCall("call"), a.size() == 3 ? a[2].c_str() : nullptr,
                                  0, nullptr));
}

int CommandRunner::accept(const Words& words) {
    return onCall(words, [](HCALL call) { return lineAccept(call, nullptr, 0); });
}

int CommandRunner::answer(const Words& words) {
    return onCall(words, [](HCALL call) { return lineAnswer(call, nullptr, 0); });
}

int CommandRunner::drop(const Words& words) {
    return onCall(words, [](HCALL call) { return lineDrop(call, nullptr, 0); });
}

int CommandRunner::hold(const Words& words) { return onCall(words, lineHold); }

int CommandRunner::unhold(const Words& words) { return onCall(words, lineUnhold); }

int CommandRunner::swapHold(const Words& words) {
    Request r(*this, words);
    if (r.args().size() != 3) return r.badArguments();
    const auto active = r.call(r.args()[1]);
    const auto held = active ? r.call(r.args()[2], "held") : std::nullopt;
    return held ? r.finish(lineSwapHold(*active, *held)) : r.code();
}

int CommandRunner::redirect(const Words& words) {
    return onCallWithText(words, "destination", [](HCALL call, const std::string& to) {
        return lineRedirectA(call, to.c_str(), 0);
    });
}

int CommandRunner::dial(const Words& words) {
    return onCallWithText(words, "digits", [](HCALL call, const std::string& digits) {
        return lineDialA(call, digits.c_str(), 0);
    });
}

int CommandRunner::blindTransfer(const Words& words) {
    return onCallWithText(words, "destination", [](HCALL call, const std::string& to) {
        return lineBlindTransferA(call, to.c_str(), 0);
    });
}

int CommandRunner::transferSetup(const Words& words) {
    Request r(*this, words, 1);
    if (!r.ok()) return r.code();
    if (r.args().size() != 2) return r.badArguments();
    const auto call = r.call(r.args()[1]);
    return call ? r.finish(lineSetupTransferA(*call, r.newCall("consult"), nullptr)) : r.code();
}

int CommandRunner::transferComplete(const Words& words) {
    Request r(*this, words, 1);
    const Words& a = r.args();
    if (!r.ok()) return r.code();
    const bool conference = a.size() == 4 && a[3] == "conference";
    if ((a.size() != 3 && !conference) || (!conference && !r.names().empty())) {
        return r.badArguments();
    }
    const auto call = r.call(a[1]);
    const auto consult = call ? r.call(a[2], "consult") : std::nullopt;
    if (!consult) return r.code();
    r.out()["mode"] = conference ? "conference" : "transfer";
    return r.finish(
        conference ? lineCompleteTransfer(*call, *consult, r.newCall("conference"),
                                          LINETRANSFERMODE_CONFERENCE)
                   : lineCompleteTransfer(*call, *consult, nullptr, LINETRANSFERMODE_TRANSFER));
}

int CommandRunner::conferenceSetup(const Words& words) {
    Request r(*this, words, 2);
    const Words& a = r.args();
    if (!r.ok()) return r.code();
    const bool onLine = a.size() >= 3 && a[1] == "line";
    const std::size_t partiesAt = onLine ? 3 : 2;
    if (a.size() < partiesAt || a.size() > partiesAt + 1) return r.badArguments();
    const auto parties = a.size() > partiesAt ? parseNumber(a[partiesAt]) : kConferenceParties;
    if (!parties) return r.badArguments("parties must be a number");
    std::optional<HCALL> call = 0;
    std::optional<HLINE> line = 0;
    if (onLine) {
        line = r.line(a[2]);
    } else {
        call = r.call(a[1]);
    }
    if (!call || !line) return r.code();
    r.out()["parties"] = *parties;
    LPHCALL conference = r.newCall("conference");
    LPHCALL consult = r.newCall("consult");
    return r.finish(lineSetupConferenceA(*call, *line, conference, consult, *parties, nullptr));
}

int CommandRunner::conferencePrepare(const Words& words) {
    Request r(*this, words, 1);
    if (!r.ok()) return r.code();
    if (r.args().size() != 2) return r.badArguments();
    const auto conference = r.call(r.args()[1], "conference");
    return conference
               ? r.finish(linePrepareAddToConferenceA(*conference, r.newCall("consult"), nullptr))
               : r.code();
}

int CommandRunner::conferenceAdd(const Words& words) {
    Request r(*this, words);
    if (r.args().size() != 3) return r.badArguments();
    const auto conference = r.call(r.args()[1], "conference");
    const auto call = conference ? r.call(r.args()[2]) : std::nullopt;
    return call ? r.finish(lineAddToConference(*conference, *call)) : r.code();
}

int CommandRunner::conferenceRemove(const Words& words) {
    return onCall(words, lineRemoveFromConference);
}

// With a destination the call is parked there; without, the switch picks
// the place and the reply tells it ("parkedAt").
int CommandRunner::park(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    if (a.size() < 2 || a.size() > 3) return r.badArguments();
    const auto call = r.call(a[1]);
    if (!call) return r.code();
    if (a.size() == 3) {
        r.out()["destination"] = a[2];
        return r.finish(lineParkA(*call, LINEPARKMODE_DIRECTED, a[2].c_str(), nullptr));
    }
    Pending& pending = r.pending();
    pending.parkAddress = true;
    pending.block.assign(kParkAddressSize, 0);
    auto* address = reinterpret_cast<VARSTRING*>(pending.block.data());
    address->dwTotalSize = kParkAddressSize;
    return r.finish(lineParkA(*call, LINEPARKMODE_NONDIRECTED, nullptr, address));
}

int CommandRunner::unpark(const Words& words) {
    Request r(*this, words, 1);
    const Words& a = r.args();
    if (!r.ok()) return r.code();
    if (a.size() != 3) return r.badArguments();
    const auto line = r.line(a[1]);
    if (!line) return r.code();
    r.out()["destination"] = a[2];
    return r.finish(lineUnparkA(*line, 0, r.newCall("call"), a[2].c_str()));
}

int CommandRunner::pickup(const Words& words) {
    Request r(*this, words, 1);
    const Words& a = r.args();
    if (!r.ok()) return r.code();
    if (a.size() < 2 || a.size() > 3) return r.badArguments();
    const auto line = r.line(a[1]);
    if (!line) return r.code();
    if (a.size() == 3) r.out()["destination"] = a[2];
    return r.finish(
        linePickupA(*line, 0, r.newCall("call"), a.size() == 3 ? a[2].c_str() : nullptr, nullptr));
}

int CommandRunner::completeCall(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    if (a.size() != 3) return r.badArguments();
    const auto mode = parseMode(a[2], kCompletionModes, kLineCallComplModeNames);
    if (!mode) return r.badArguments("mode must be campon, callback, intrude or message");
    const auto call = r.call(a[1]);
    if (!call) return r.code();
    addNamed(r.out(), "mode", *mode, kLineCallComplModeNames);
    Pending& pending = r.pending();
    pending.hasCompletionId = true;
    return r.finish(lineCompleteCall(*call, &pending.completionId, *mode, 0));
}

int CommandRunner::uncompleteCall(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    if (a.size() != 3) return r.badArguments();
    const auto completion = parseNumber(a[2]);
    if (!completion) return r.badArguments("the completion ID is a number");
    const auto line = r.line(a[1]);
    if (!line) return r.code();
    r.out()["completionId"] = *completion;
    return r.finish(lineUncompleteCall(*line, *completion));
}

// One entry, as the desktop client builds it: the destination right after
// the entry.
int CommandRunner::forward(const Words& words) {
    Request r(*this, words, 1);
    const Words& a = r.args();
    if (!r.ok()) return r.code();
    const bool off = a.size() == 3 && a[2] == "off";
    if (!off && a.size() != 4) return r.badArguments();
    const auto mode = off ? DWORD{0} : parseMode(a[2], kForwardModes, kLineForwardModeNames);
    if (!mode) return r.badArguments("mode must be uncond, busy, noanswer or busyna");
    const auto line = r.line(a[1]);
    if (!line) return r.code();
    std::vector<std::uint8_t> block;
    if (!off) {
        const std::string& to = a[3];
        block.assign(sizeof(LINEFORWARDLIST) + to.size() + 1, 0);
        auto* list = reinterpret_cast<LINEFORWARDLIST*>(block.data());
        list->dwTotalSize = static_cast<DWORD>(block.size());
        list->dwNumEntries = 1;
        list->ForwardList[0].dwForwardMode = *mode;
        list->ForwardList[0].dwDestAddressSize = static_cast<DWORD>(to.size() + 1);
        list->ForwardList[0].dwDestAddressOffset = sizeof(LINEFORWARDLIST);
        std::memcpy(block.data() + sizeof(LINEFORWARDLIST), to.c_str(), to.size() + 1);
        addNamed(r.out(), "mode", *mode, kLineForwardModeNames);
        r.out()["destination"] = to;
    } else {
        r.out()["mode"] = "off";
    }
    const auto* list = off ? nullptr : reinterpret_cast<const LINEFORWARDLIST*>(block.data());
    return r.finish(lineForwardA(*line, kForwardAllAddresses, 0, list, kForwardRings,
                                 r.newCall("consult"), nullptr));
}

int CommandRunner::digits(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    if (a.size() < 3 || a.size() > 4) return r.badArguments();
    const auto mode =
        a.size() == 4 ? parseMode(a[3], kDigitModes, kLineDigitModeNames) : LINEDIGITMODE_DTMF;
    if (!mode) return r.badArguments("mode must be dtmf or pulse");
    const auto call = r.call(a[1]);
    if (!call) return r.code();
    r.out()["digits"] = a[2];
    addNamed(r.out(), "mode", *mode, kLineDigitModeNames);
    return r.finish(lineGenerateDigitsA(*call, *mode, a[2].c_str(), 0));
}

int CommandRunner::uui(const Words& words) {
    return onCallWithText(words, "text", [](HCALL call, const std::string& text) {
        return lineSendUserUserInfo(call, text.data(), static_cast<DWORD>(text.size()));
    });
}

int CommandRunner::uuiRelease(const Words& words) { return onCall(words, lineReleaseUserUserInfo); }

int CommandRunner::callData(const Words& words) {
    return onCallWithText(words, "text", [](HCALL call, const std::string& text) {
        std::string data = text;
        return lineSetCallData(call, data.data(), static_cast<DWORD>(data.size()));
    });
}

int CommandRunner::deallocate(const Words& words) {
    Request r(*this, words);
    if (r.args().size() != 2) return r.badArguments();
    const auto call = r.call(r.args()[1]);
    if (!call) return r.code();
    const LONG result = lineDeallocateCall(*call);
    if (result == 0) {
        if (const std::string name = nameOf(*call); !name.empty()) m_callNames.erase(name);
    }
    return r.finish(result);
}

// --- what the layer tells -------------------------------------------------------------------

int CommandRunner::callInfo(const Words& words) {
    Request r(*this, words);
    if (r.args().size() != 2) return r.badArguments();
    const auto call = r.call(r.args()[1]);
    if (!call) return r.code();
    std::vector<std::uint8_t> block;
    const LONG result = readStructure<LINECALLINFO>(
        block, [&](LINECALLINFO* info) { return lineGetCallInfoA(*call, info); });
    if (result == 0) addCallInfo(r.out(), block);
    return r.finish(result);
}

int CommandRunner::callStatus(const Words& words) {
    Request r(*this, words);
    if (r.args().size() != 2) return r.badArguments();
    const auto call = r.call(r.args()[1]);
    if (!call) return r.code();
    std::vector<std::uint8_t> block;
    const LONG result = readStructure<LINECALLSTATUS>(
        block, [&](LINECALLSTATUS* status) { return lineGetCallStatus(*call, status); });
    if (result == 0) addCallStatus(r.out(), block);
    return r.finish(result);
}

int CommandRunner::devStatus(const Words& words) {
    Request r(*this, words);
    if (r.args().size() != 2) return r.badArguments();
    const auto line = r.line(r.args()[1]);
    if (!line) return r.code();
    std::vector<std::uint8_t> block;
    const LONG result = readStructure<LINEDEVSTATUS>(
        block, [&](LINEDEVSTATUS* status) { return lineGetLineDevStatusA(*line, status); });
    if (result == 0) addLineDevStatus(r.out(), block);
    return r.finish(result);
}

int CommandRunner::addressCaps(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    if (a.size() < 2 || a.size() > 3) return r.badArguments();
    const auto address = a.size() == 3 ? parseNumber(a[2]) : DWORD{0};
    if (!address) return r.badArguments("the address ID is a number");
    const auto device = r.device(a[1]);
    if (!device) return r.code();
    r.out()["addressId"] = *address;
    DWORD version = 0;
    LINEEXTENSIONID ext;
    LONG result = lineNegotiateAPIVersion(m_session.app(), *device, TAPI_VERSION1_4,
                                          TAPI_CURRENT_VERSION, &version, &ext);
    std::vector<std::uint8_t> block;
    if (result == 0) {
        result = readStructure<LINEADDRESSCAPS>(block, [&](LINEADDRESSCAPS* caps) {
            return lineGetAddressCapsA(m_session.app(), *device, *address, version, 0, caps);
        });
    }
    if (result == 0) addAddressCaps(r.out(), block);
    return r.finish(result);
}

int CommandRunner::addressStatus(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    if (a.size() < 2 || a.size() > 3) return r.badArguments();
    const auto address = a.size() == 3 ? parseNumber(a[2]) : DWORD{0};
    if (!address) return r.badArguments("the address ID is a number");
    const auto line = r.line(a[1]);
    if (!line) return r.code();
    r.out()["addressId"] = *address;
    std::vector<std::uint8_t> block;
    const LONG result = readStructure<LINEADDRESSSTATUS>(block, [&](LINEADDRESSSTATUS* status) {
        return lineGetAddressStatusA(*line, *address, status);
    });
    if (result == 0) addAddressStatus(r.out(), block);
    return r.finish(result);
}

int CommandRunner::getId(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    const bool ofCall = a.size() >= 3 && a[1] == "call";
    const std::size_t classAt = ofCall ? 3 : 2;
    if (a.size() < classAt || a.size() > classAt + 1) return r.badArguments();
    const std::string deviceClass = a.size() > classAt ? a[classAt] : "tapi/line";
    std::optional<HLINE> line = 0;
    std::optional<HCALL> call = 0;
    if (ofCall) {
        call = r.call(a[2]);
    } else {
        line = r.line(a[1]);
    }
    if (!line || !call) return r.code();
    r.out()["deviceClass"] = deviceClass;
    std::vector<std::uint8_t> block;
    const LONG result = readStructure<VARSTRING>(block, [&](VARSTRING* id) {
        return lineGetIDA(*line, 0, *call, ofCall ? LINECALLSELECT_CALL : LINECALLSELECT_LINE, id,
                          deviceClass.c_str());
    });
    if (result == 0) addVarString(r.out(), "id", block);
    return r.finish(result);
}

// The parameter block stays with the request: the provider may answer in it.
int CommandRunner::devSpecific(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    if (a.size() < 3) return r.badArguments();
    std::vector<std::uint8_t> params;
    if (a[2] == "text") {
        const std::string text = joinWords(a, 3);
        params.assign(text.begin(), text.end());
    } else if (auto bytes = parseHex(a, 2)) {
        params = std::move(*bytes);
    } else {
        return r.badArguments("parameters are hexadecimal bytes, or text after the word text");
    }
    if (params.empty()) return r.badArguments("no parameters");
    const auto line = r.line(a[1]);
    if (!line) return r.code();
    Pending& pending = r.pending();
    pending.block = std::move(params);
    r.out()["params"] = hexBytes(pending.block);
    return r.finish(lineDevSpecific(*line, 0, 0, pending.block.data(),
                                    static_cast<DWORD>(pending.block.size())));
}

}  // namespace velkor::tapicmd

// --- phones ------------------------------------------------------------------------------

namespace velkor::tapicmd {

int CommandRunner::phoneOpen(const Words& words) {
    if (words.size() != 2) return fail("phone-open", "wrong arguments", kBadCommand);
    if (!m_session.phoneApp()) return fail("phone-open", "no phone devices", kCommandFailed);
    const auto device = m_session.findPhone(words[1]);
    if (!device) return fail("phone-open", "no phone " + words[1], kCommandFailed);
    DWORD version = 0;
    PHONEEXTENSIONID ext;
    LONG result = phoneNegotiateAPIVersion(m_session.phoneApp(), *device, TAPI_VERSION1_4,
                                           TAPI_CURRENT_VERSION, &version, &ext);
    HPHONE phone = 0;
    if (result == 0) {
        result = ::phoneOpen(m_session.phoneApp(), *device, &phone, version, 0, *device,
                             PHONEPRIVILEGE_OWNER);
    }
    nlohmann::json out{{"command", "phone-open"}, {"target", words[1]}, {"device", *device}};
    addResult(out, result);
    if (result == 0) {
        out["phone"] = phone;
        m_openPhones[*device] = phone;
    }
    print(out);
    return result == 0 ? kOk : kCommandFailed;
}

int CommandRunner::phoneClose(const Words& words) {
    if (words.size() != 2) return fail("phone-close", "wrong arguments", kBadCommand);
    const auto device = m_session.phoneApp() ? m_session.findPhone(words[1]) : std::nullopt;
    if (!device || !m_openPhones.count(*device)) {
        return fail("phone-close", words[1] + " is not open", kCommandFailed);
    }
    const HPHONE phone = m_openPhones[*device];
    const LONG result = ::phoneClose(phone);
    m_openPhones.erase(*device);
    nlohmann::json out{{"command", "phone-close"}, {"target", words[1]}, {"phone", phone}};
    addResult(out, result);
    print(out);
    return result == 0 ? kOk : kCommandFailed;
}

// The setting text stays with the request until its PHONE_REPLY.
int CommandRunner::phoneSet(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    if (a.size() < 3) return r.badArguments();
    const auto phone = r.phone(a[1]);
    if (!phone) return r.code();
    const std::string text = joinWords(a, 2);
    Pending& pending = r.pending();
    pending.block.assign(text.begin(), text.end());
    r.out()["setting"] = text;
    return r.finish(phoneDevSpecific(*phone, pending.block.data(),
                                     static_cast<DWORD>(pending.block.size())));
}

int CommandRunner::phoneGet(const Words& words) {
    Request r(*this, words);
    const Words& a = r.args();
    const auto dataId = a.size() == 3 ? parseNumber(a[2]) : std::nullopt;
    if (!dataId) return r.badArguments("phone-get <phone> <data ID>");
    const auto phone = r.phone(a[1]);
    if (!phone) return r.code();
    r.out()["dataId"] = *dataId;
    std::vector<char> data(kPhoneDataRoom, 0);
    const LONG result =
        phoneGetData(*phone, *dataId, data.data(), static_cast<DWORD>(data.size()));
    if (result == 0) r.out()["data"] = std::string(data.data(), strnlen(data.data(), data.size()));
    return r.finish(result);
}

}  // namespace velkor::tapicmd
