#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::pbxsim {

// The settings the PBX keeps for every station, one per request code
// 0x7D..0x8A (kind 1..14 = code - 0x7C). Each is held as the data the PBX
// answers with: a request with the setting's fixed read data is answered
// with it, any other request writes the setting and is answered with the
// new value.
using SettingBytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t kSettingKinds = 14;
inline constexpr std::uint8_t kFirstSettingCode = 0x7D;

// "wu", "acp" ... for 1..14; kind 0 for an unknown keyword.
std::uint32_t settingKindByKeyword(std::string_view keyword);
std::string_view settingKeyword(std::uint32_t kind);

// A station's value before anything is configured or written.
SettingBytes defaultSetting(std::uint32_t kind);

// The value a configuration gives as text: "0730S" or "none" (wu), five
// characters (acp), one character (tscc, iam, dr ... dls), two (bgm), up to
// 24 (pmp), "N" or "N/value" (pms: selector and value). nullopt when the
// text is not such a value.
std::optional<SettingBytes> settingFromText(std::uint32_t kind, std::string_view text);

// Whether a request of the kind with `data` only reads the setting.
bool isSettingRead(std::uint32_t kind, std::span<const std::uint8_t> data);

// A request of the kind with `data`: the new value (`stored` updated), or
// nullopt when the PBX refuses it (a password that does not match, a
// request it cannot read).
std::optional<SettingBytes> applySetting(std::uint32_t kind, SettingBytes& stored,
                                         std::span<const std::uint8_t> data);

}  // namespace velkor::pbxsim
