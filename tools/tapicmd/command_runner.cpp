#include "tools/tapicmd/command_runner.h"

#include <sstream>

#include "tools/tapicmd/message_json.h"

namespace velkor::tapicmd {

namespace {

constexpr DWORD kDefaultWaitMs = 10000;

std::vector<std::string> splitWords(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
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

}  // namespace

CommandRunner::CommandRunner(Session& session, std::ostream& out)
    : m_session(session), m_out(out) {}

const std::vector<CommandRunner::Command>& CommandRunner::commands() {
    static const std::vector<Command> table{
        {"lines", &CommandRunner::lines, "lines"},
        {"open", &CommandRunner::open, "open <station|#id> [owner|monitor|none]"},
        {"close", &CommandRunner::close, "close <station|#id>"},
        {"wait", &CommandRunner::wait, "wait <MESSAGE> [field=value ...] [timeout=<ms>]"},
        {"sleep", &CommandRunner::sleep, "sleep <ms>"},
        {"quit", &CommandRunner::quit, "quit"},
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

int CommandRunner::fail(const std::string& command, const std::string& error, int code) {
    nlohmann::json out{{"command", command}, {"error", error}};
    for (const Command& c : commands()) {
        if (command == c.name) out["usage"] = c.usage;
    }
    m_out << out.dump() << std::endl;
    return code;
}

void CommandRunner::pump(DWORD timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        LINEMESSAGE message;
        if (!m_session.nextMessage(message, left.count() > 0 ? static_cast<DWORD>(left.count()) : 0)) {
            return;
        }
        m_out << messageToJson(message).dump() << std::endl;
    }
}

int CommandRunner::lines(const Words& words) {
    if (words.size() != 1) return fail("lines", "takes no arguments", kBadCommand);
    for (const auto& device : m_session.lines()) {
        nlohmann::json out{{"command", "lines"}, {"device", device.deviceId}, {"name", device.name}};
        if (!device.station.empty()) out["station"] = device.station;
        m_out << out.dump() << std::endl;
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
    m_out << out.dump() << std::endl;
    return result == 0 ? kOk : kCommandFailed;
}

int CommandRunner::close(const Words& words) {
    if (words.size() != 2) return fail("close", "wrong arguments", kBadCommand);
    const auto device = m_session.findDevice(words[1]);
    if (!device || !m_openLines.count(*device)) return fail("close", words[1] + " is not open", kCommandFailed);
    const LONG result = lineClose(m_openLines[*device]);
    m_openLines.erase(*device);
    nlohmann::json out{{"command", "close"}, {"target", words[1]}, {"device", *device}};
    addResult(out, result);
    m_out << out.dump() << std::endl;
    return result == 0 ? kOk : kCommandFailed;
}

int CommandRunner::wait(const Words& words) {
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
            nlohmann::json out{{"command", "wait"}, {"message", words[1]}, {"timedOut", true}};
            m_out << out.dump() << std::endl;
            return kWaitTimedOut;
        }
        const nlohmann::json json = messageToJson(message);
        m_out << json.dump() << std::endl;
        bool matches = json["message"] == words[1];
        for (const auto& [key, value] : fields) {
            matches = matches && json.contains(key) && fieldMatches(json[key], value);
        }
        if (matches) {
            m_out << nlohmann::json{{"command", "wait"}, {"message", words[1]}, {"matched", true}}.dump()
                  << std::endl;
            return kOk;
        }
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

}  // namespace velkor::tapicmd
