#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/pbxsim/byte_text.h"
#include "tools/pbxsim/pbx.h"

namespace velkor::pbxsim {

// A scripted exchange: steps run in order, one line each.
//
//   expect cti <station|*> <code|name> [pattern] [within <ms>]
//   expect atd <code|name> [pattern] [within <ms>]
//   send cti|event|atd|raw ...      as the control commands of that name
//   do <control command>            any control command (silent on, status ...)
//   wait <ms>
//   ignore cti|atd <code|name>      frames of that code never meet an expect
//
// An expect takes the next frame received: it must match or the scenario
// fails there. A pattern is bytes with "??" for any byte and "*" at the end
// for any rest; without "*" the data must end where the pattern ends.
struct ScenarioStep {
    enum class Kind : std::uint8_t {
        Expect,
        Command,
        Wait,
    };
    Kind kind = Kind::Command;
    std::size_t line = 0;
    std::string text;  // the line as written
    // Expect.
    FrameKind frameKind = FrameKind::Cti;
    std::optional<std::uint16_t> station;  // nullopt = any
    std::uint16_t code = 0;
    BytePattern pattern;
    std::chrono::milliseconds within{5000};
    // Command: a control command line.
    std::string command;
    // Wait.
    std::chrono::milliseconds wait{0};
};

struct Scenario {
    std::string name;
    std::vector<ScenarioStep> steps;
    std::vector<std::pair<FrameKind, std::uint16_t>> ignored;
};

struct ScenarioParse {
    std::optional<Scenario> scenario;
    std::vector<std::string> errors;  // "file:line: what is wrong"
};
ScenarioParse parseScenario(std::string_view text, std::string_view origin = "scenario");
ScenarioParse loadScenario(const std::filesystem::path& path);

// Runs one scenario against a PBX, hearing its frames as an observer.
class ScenarioRun final : public FrameObserver {
public:
    enum class State : std::uint8_t {
        Running,
        Passed,
        Failed,
    };

    ScenarioRun(Pbx& pbx, Scenario scenario, std::function<void(const ScenarioRun&)> onFinished = {});
    ~ScenarioRun() override;

    // Runs the steps up to the first expect or wait.
    void start();
    State state() const { return m_state; }
    // "scenario passed: 12 steps" or the failure naming the step, its line
    // and the bytes seen.
    const std::string& message() const { return m_message; }

private:
    void onFrameRecord(const FrameRecord& record) override;
    void advance();
    void meet(const FrameRecord& record);
    void fail(const std::string& why);
    void finish(State state, std::string message);
    std::string stepName() const;
    bool ignored(const FrameRecord& record) const;
    bool matches(const ScenarioStep& step, const FrameRecord& record) const;

    Pbx& m_pbx;
    Scenario m_scenario;
    std::function<void(const ScenarioRun&)> m_onFinished;
    std::size_t m_next = 0;
    bool m_waitingForFrame = false;
    Schedule::Id m_timer = 0;
    std::optional<FrameRecord> m_lastSeen;
    std::deque<FrameRecord> m_backlog;
    State m_state = State::Running;
    std::string m_message;
    bool m_inAdvance = false;
};

}  // namespace velkor::pbxsim
