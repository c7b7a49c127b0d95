#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velkor::pbxsim {

// The PBX models by the two-digit code in characters 3-4 of their version
// text. The station count is the size of the station table the provider
// walks (indexes 1 .. count - 1); index 0 is never a station of its own.
struct ModelInfo {
    std::string_view code;
    std::string_view systemName;
    std::uint16_t stationCount;
    std::uint8_t parkSlots;
};

std::span<const ModelInfo> modelTable();
// nullptr for a code the table does not hold.
const ModelInfo* findModel(std::string_view code);

}  // namespace velkor::pbxsim
