#include "tools/pbxsim/faults.h"

#include <algorithm>
#include <cstdio>

namespace velkor::pbxsim {

void Faults::setSilent(std::optional<Way> way, bool on) {
    if (!way || *way == Way::Cti) m_silent[0] = on;
    if (!way || *way == Way::Atd) m_silent[1] = on;
}

void Faults::dropNext(int count, std::optional<Way> way) { m_drop = {way, count, {}}; }

void Faults::corruptNext(int count, Corruption how, std::optional<Way> way) {
    m_corrupt = {way, count, how};
}

void Faults::addRule(AnswerRule rule) {
    // A newer rule for the same request replaces the older one.
    std::erase_if(m_rules, [&](const AnswerRule& r) { return r.way == rule.way && r.code == rule.code; });
    m_rules.push_back(rule);
}

std::optional<AnswerRule> Faults::takeRule(Way way, std::uint16_t code) {
    for (auto it = m_rules.begin(); it != m_rules.end(); ++it) {
        if (it->way != way || it->code != code) continue;
        AnswerRule rule = *it;
        if (it->remaining > 0 && --it->remaining == 0) m_rules.erase(it);
        return rule;
    }
    return std::nullopt;
}

void Faults::clear() {
    m_silent[0] = m_silent[1] = false;
    m_drop = {};
    m_corrupt = {};
    m_rules.clear();
}

bool Faults::takeOne(Pending& pending, Way way) {
    if (pending.count <= 0) return false;
    if (pending.way && *pending.way != way) return false;
    --pending.count;
    return true;
}

Faults::Outcome Faults::apply(Way way, std::vector<std::uint8_t>& bytes) {
    if (silent(way)) return {false, "silent"};
    if (takeOne(m_drop, way)) return {false, "dropped"};
    if (!takeOne(m_corrupt, way) || bytes.size() < 2) return {};
    // Binary frames: BA EC type length ... checksum BC. STX/ETX frames have
    // no checksum or length, so every kind spoils their end mark.
    const bool binary = bytes.size() >= 6 && bytes[0] == 0xBA && bytes[1] == 0xEC;
    switch (m_corrupt.how) {
        case Corruption::Checksum:
            if (binary) {
                bytes[bytes.size() - 2] ^= 0xFF;
                return {true, "corrupted checksum"};
            }
            break;
        case Corruption::Length:
            if (binary) {
                bytes[3] ^= 0x40;
                return {true, "corrupted length byte"};
            }
            break;
        case Corruption::Truncate:
            bytes.resize(bytes.size() - 2);
            return {true, "truncated"};
        case Corruption::EndMark:
            break;
    }
    bytes.back() = 0x55;
    return {true, "corrupted end mark"};
}

std::string Faults::text() const {
    std::string out;
    const auto add = [&](const std::string& part) { out += (out.empty() ? "" : ", ") + part; };
    if (m_silent[0]) add("CTI silent");
    if (m_silent[1]) add("ATD silent");
    if (m_drop.count > 0) add("drop next " + std::to_string(m_drop.count));
    if (m_corrupt.count > 0) add("corrupt next " + std::to_string(m_corrupt.count));
    for (const AnswerRule& r : m_rules) {
        char code[8];
        std::snprintf(code, sizeof code, r.way == Way::Cti ? "%02X" : "%04X", r.code);
        add(std::string(r.way == Way::Cti ? "rule for cti " : "rule for atd ") + code);
    }
    return out.empty() ? "no faults" : out;
}

}  // namespace velkor::pbxsim
