#pragma once

#include <cstdint>
#include <string_view>

namespace velkor::core {

// The PBX models by the two-digit code in characters 3-4 of the version text
// the PBX answers the identification query with. The station count is the
// size of the PBX's station table: the provider describes indexes 1 .. N-1.
struct PbxModel {
    std::string_view code;
    std::string_view systemName;
    std::uint16_t stationCount;
    std::uint8_t parkSlots;
};

// System name shown for a PBX whose model the table does not know.
inline constexpr std::string_view kUnknownSystemName = "UNKNOWN";
// The small office system, the one the registry value System = 1 describes.
inline constexpr std::string_view kSmallSystemCode = "24";

// The model code of a version text ("VK30-0105A1" → "30"); empty when the
// text is shorter than four characters.
std::string_view modelCode(std::string_view versionText);
// nullptr for a code the table does not hold.
const PbxModel* findPbxModel(std::string_view code);

}  // namespace velkor::core
