#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/time/clock.h"
#include "tools/pbxsim/frame_record.h"

namespace velkor::pbxsim {

// The two ways out of the PBX; faults pick one or both.
enum class Way : std::uint8_t {
    Cti,
    Atd,
};

// What the PBX does with the next request(s) of a code instead of its usual
// answer.
enum class AnswerAction : std::uint8_t {
    Ignore,  // no answer at all
    Delay,   // the usual answer, later
    Reject,  // CTI: a rejection with the cause; service requests: 0xCC;
             // ATD open: refused (0x0002); other ATD requests: no answer
};

struct AnswerRule {
    Way way = Way::Cti;
    std::uint16_t code = 0;
    AnswerAction action = AnswerAction::Ignore;
    std::uint8_t cause = 0;
    platform::Duration delay{0};
    // Requests the rule still applies to; negative = every one.
    int remaining = 1;
};

enum class Corruption : std::uint8_t {
    Checksum,  // the checksum byte flipped
    Length,    // a guard bit of the length byte flipped
    EndMark,   // the end mark replaced
    Truncate,  // the last two bytes cut off
};

// The faults the PBX is told to show: silence, dropped or corrupted frames
// on the way out, and answer rules for the next requests.
class Faults {
public:
    void setSilent(std::optional<Way> way, bool on);
    bool silent(Way way) const { return m_silent[index(way)]; }
    void dropNext(int count, std::optional<Way> way);
    void corruptNext(int count, Corruption how, std::optional<Way> way);
    void addRule(AnswerRule rule);
    // The rule for a request that just came, used up by one; nullopt = none.
    std::optional<AnswerRule> takeRule(Way way, std::uint16_t code);
    void clear();

    struct Outcome {
        bool send = true;
        std::string note;
    };
    // Applies silence, drop and corruption to one outgoing frame.
    Outcome apply(Way way, std::vector<std::uint8_t>& bytes);

    std::string text() const;

private:
    static std::size_t index(Way way) { return way == Way::Cti ? 0 : 1; }
    struct Pending {
        std::optional<Way> way;
        int count = 0;
        Corruption how = Corruption::Checksum;
    };
    static bool takeOne(Pending& pending, Way way);

    bool m_silent[2] = {false, false};
    Pending m_drop;
    Pending m_corrupt;
    std::vector<AnswerRule> m_rules;
};

}  // namespace velkor::pbxsim
