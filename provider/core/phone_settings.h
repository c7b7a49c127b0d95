#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::core {

// The station settings the PBX keeps for each telephone, reached through the
// phone device: fourteen requests 0x7D..0x8A, one per setting. An
// application writes a setting with a short text command ("wu/0730",
// "pmp/In a meeting") and reads one by its number, the setting's kind 1..14
// (request code - 0x7C). The PBX answers a write or a read with the
// setting's value; the provider passes values through without judging them.

inline constexpr std::uint8_t kFirstSettingCode = 0x7D;
inline constexpr std::uint8_t kLastSettingCode = 0x8A;
inline constexpr std::uint32_t kSettingKinds = kLastSettingCode - kFirstSettingCode + 1;

constexpr bool isSettingCode(std::uint8_t code) {
    return code >= kFirstSettingCode && code <= kLastSettingCode;
}
// 1..14 for a setting code.
constexpr std::uint32_t settingKind(std::uint8_t code) { return code - (kFirstSettingCode - 1); }
constexpr std::uint8_t settingCode(std::uint32_t kind) {
    return static_cast<std::uint8_t>(kind + (kFirstSettingCode - 1));
}

// A request to send: the code and the data after the CTI header.
struct SettingRequest {
    std::uint8_t code = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const SettingRequest&) const = default;
};

// The request of a write command. Keywords are matched without regard to
// case as prefixes, in table order; the character after the keyword is a
// separator that is skipped unexamined. nullopt when no keyword matches, the
// command is too short for its keyword, or its argument is not one the
// setting takes.
std::optional<SettingRequest> settingCommand(std::string_view command);

// The fixed read request of a setting kind; nullopt outside 1..14.
std::optional<SettingRequest> settingQuery(std::uint32_t kind);

// The value text of the PBX's answer to a setting request of `code`. Data
// shorter than the answer's layout gives what is there.
std::string settingAnswerText(std::uint8_t code, std::span<const std::uint8_t> data);

// The keyword of a kind ("wu" for 1), empty outside 1..14.
std::string_view settingKeyword(std::uint32_t kind);

}  // namespace velkor::core
