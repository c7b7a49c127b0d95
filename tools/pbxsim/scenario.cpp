#include "tools/pbxsim/text_file.h"
#include "tools/pbxsim/scenario.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "provider/link/catalogue.h"
#include "tools/pbxsim/control.h"
#include "tools/pbxsim/message_names.h"

namespace velkor::pbxsim {

namespace {

using Args = std::span<const std::string>;

std::optional<std::uint16_t> codeOf(FrameKind kind, const std::string& word) {
    if (kind == FrameKind::Cti) {
        if (const auto code = ctiCodeByName(word)) return *code;
        return parseNumber(word, 0xFF);
    }
    if (const auto code = atdCodeByName(word)) return *code;
    return parseNumber(word, 0xFFFF);
}

std::optional<FrameKind> kindOf(const std::string& word) {
    if (word == "cti") return FrameKind::Cti;
    if (word == "atd") return FrameKind::Atd;
    return std::nullopt;
}

// One line into a step; an error text when it cannot be read.
std::string parseStep(Args w, ScenarioStep& step, Scenario& scenario) {
    if (w[0] == "wait") {
        if (w.size() != 2) return "usage: wait <ms>";
        const auto ms = parseNumber(w[1], 3600000);
        if (!ms) return "'" + w[1] + "' is not a time in ms";
        step.kind = ScenarioStep::Kind::Wait;
        step.wait = std::chrono::milliseconds(*ms);
        return {};
    }
    if (w[0] == "send" || w[0] == "do") {
        if (w.size() < 2) return "usage: " + w[0] + " <command>";
        static constexpr std::string_view kSendable[] = {"cti", "event", "atd", "raw"};
        if (w[0] == "send" && std::find(std::begin(kSendable), std::end(kSendable), w[1]) == std::end(kSendable)) {
            return "send is followed by cti, event, atd or raw";
        }
        step.kind = ScenarioStep::Kind::Command;
        for (std::size_t i = 1; i < w.size(); ++i) step.command += (i > 1 ? " " : "") + w[i];
        return {};
    }
    if (w[0] == "ignore") {
        if (w.size() != 3 || !kindOf(w[1])) return "usage: ignore cti|atd <code|name>";
        const auto code = codeOf(*kindOf(w[1]), w[2]);
        if (!code) return "'" + w[2] + "' is not a code or message name";
        scenario.ignored.emplace_back(*kindOf(w[1]), *code);
        step.kind = ScenarioStep::Kind::Wait;  // no step; dropped by the caller
        step.line = 0;
        return {};
    }
    if (w[0] != "expect") return "unknown step '" + w[0] + "' (expect, send, do, wait, ignore)";
    if (w.size() < 3 || !kindOf(w[1])) return "usage: expect cti <station|*> <code> ... | expect atd <code> ...";
    step.kind = ScenarioStep::Kind::Expect;
    step.frameKind = *kindOf(w[1]);
    std::size_t at = 2;
    if (step.frameKind == FrameKind::Cti) {
        if (w.size() < 4) return "usage: expect cti <station|*> <code|name> [pattern]";
        if (w[2] != "*") {
            const auto station = w[2] == "sys" ? std::optional<std::uint32_t>(link::kSystemIndex)
                                               : parseNumber(w[2], 0xFFFF);
            if (!station) return "'" + w[2] + "' is not a station index, sys or *";
            step.station = static_cast<std::uint16_t>(*station);
        }
        at = 3;
    }
    const auto code = codeOf(step.frameKind, w[at]);
    if (!code) return "'" + w[at] + "' is not a code or message name";
    step.code = *code;
    std::size_t end = w.size();
    if (end >= at + 3 && w[end - 2] == "within") {
        const auto ms = parseNumber(w[end - 1], 3600000);
        if (!ms) return "'" + w[end - 1] + "' is not a time in ms";
        step.within = std::chrono::milliseconds(*ms);
        end -= 2;
    }
    PatternResult pattern = parsePattern(w.subspan(at + 1, end - at - 1));
    if (!pattern.error.empty()) return pattern.error;
    step.pattern = std::move(pattern.pattern);
    return {};
}

}  // namespace

ScenarioParse parseScenario(std::string_view text, std::string_view origin) {
    ScenarioParse result;
    Scenario scenario;
    scenario.name = std::string(origin);
    forEachWordLine(text, origin, result.errors,
                    [&](std::size_t lineNumber, std::string_view line,
                        const std::vector<std::string>& words) {
                        ScenarioStep step;
                        step.line = lineNumber;
                        const std::string error = parseStep(words, step, scenario);
                        if (error.empty() && words[0] != "ignore") {
                            std::string written(line);
                            while (!written.empty() &&
                                   (written.back() == '\r' || written.back() == ' ')) {
                                written.pop_back();
                            }
                            step.text = written.substr(written.find_first_not_of(" \t"));
                            scenario.steps.push_back(std::move(step));
                        }
                        return error;
                    });
    if (result.errors.empty()) result.scenario = std::move(scenario);
    return result;
}

ScenarioParse loadScenario(const std::filesystem::path& path) {
    const auto text = readTextFile(path);
    if (!text) {
        ScenarioParse result;
        result.errors.push_back(path.string() + ": cannot be read");
        return result;
    }
    return parseScenario(*text, path.string());
}

ScenarioRun::ScenarioRun(Pbx& pbx, Scenario scenario, std::function<void(const ScenarioRun&)> onFinished)
    : m_pbx(pbx), m_scenario(std::move(scenario)), m_onFinished(std::move(onFinished)) {
    m_pbx.addObserver(this);
}

ScenarioRun::~ScenarioRun() {
    m_pbx.removeObserver(this);
    if (m_timer) m_pbx.schedule().cancel(m_timer);
}

void ScenarioRun::start() { advance(); }

std::string ScenarioRun::stepName() const {
    const ScenarioStep& step = m_scenario.steps[m_next];
    return m_scenario.name + ": step " + std::to_string(m_next + 1) + " (line " +
           std::to_string(step.line) + ": " + step.text + ")";
}

bool ScenarioRun::ignored(const FrameRecord& r) const {
    for (const auto& [kind, code] : m_scenario.ignored) {
        if (kind == r.kind && code == r.code) return true;
    }
    return false;
}

bool ScenarioRun::matches(const ScenarioStep& step, const FrameRecord& r) const {
    if (r.kind != step.frameKind || r.code != step.code) return false;
    if (step.station && r.kind == FrameKind::Cti && *step.station != r.station) return false;
    return step.pattern.matches(r.data);
}

void ScenarioRun::onFrameRecord(const FrameRecord& r) {
    if (!r.received || m_state != State::Running) return;
    if (ignored(r)) return;
    m_lastSeen = r;
    if (!m_waitingForFrame) {
        // Frames that come during a wait or a send meet the next expect.
        m_backlog.push_back(r);
        return;
    }
    meet(r);
}

void ScenarioRun::meet(const FrameRecord& r) {
    const ScenarioStep& step = m_scenario.steps[m_next];
    if (!matches(step, r)) {
        fail("got " + describeFrame(r) + " [" + hexText(r.raw) + "]");
        return;
    }
    m_waitingForFrame = false;
    if (m_timer) m_pbx.schedule().cancel(m_timer);
    m_timer = 0;
    ++m_next;
    advance();
}

void ScenarioRun::advance() {
    if (m_inAdvance) return;
    m_inAdvance = true;
    while (m_state == State::Running && !m_waitingForFrame && m_timer == 0) {
        if (m_next >= m_scenario.steps.size()) {
            finish(State::Passed, m_scenario.name + ": scenario passed, " +
                                      std::to_string(m_scenario.steps.size()) + " steps");
            break;
        }
        const ScenarioStep& step = m_scenario.steps[m_next];
        switch (step.kind) {
            case ScenarioStep::Kind::Expect: {
                m_waitingForFrame = true;
                if (!m_backlog.empty()) {
                    const FrameRecord r = m_backlog.front();
                    m_backlog.pop_front();
                    m_inAdvance = false;
                    meet(r);
                    return;
                }
                const auto limit = step.within;
                m_timer = m_pbx.schedule().at(m_pbx.clock().now() + limit, [this, limit] {
                    m_timer = 0;
                    fail("nothing received within " + std::to_string(limit.count()) + " ms" +
                         (m_lastSeen ? "; last frame seen: " + describeFrame(*m_lastSeen) + " [" +
                                           hexText(m_lastSeen->raw) + "]"
                                     : "; no frame seen"));
                });
                break;
            }
            case ScenarioStep::Kind::Command: {
                const ControlReply reply = executeControl(m_pbx, step.command);
                if (!reply.ok) {
                    fail(reply.text);
                    break;
                }
                ++m_next;
                break;
            }
            case ScenarioStep::Kind::Wait:
                m_timer = m_pbx.schedule().at(m_pbx.clock().now() + step.wait, [this] {
                    m_timer = 0;
                    ++m_next;
                    advance();
                });
                break;
        }
    }
    m_inAdvance = false;
}

void ScenarioRun::fail(const std::string& why) {
    if (m_state != State::Running) return;
    finish(State::Failed, stepName() + " failed: " + why);
}

void ScenarioRun::finish(State state, std::string message) {
    m_state = state;
    m_message = std::move(message);
    m_waitingForFrame = false;
    if (m_timer) m_pbx.schedule().cancel(m_timer);
    m_timer = 0;
    m_pbx.note(m_message);
    if (m_onFinished) m_onFinished(*this);
}

}  // namespace velkor::pbxsim
