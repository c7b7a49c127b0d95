#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velkor::pbxsim {

// Message codes by their catalogue identifiers ("Released", "SessionControl",
// "StationStatus"), compared without regard to case, so that control
// commands and scenarios can name what they send.
std::optional<std::uint8_t> ctiCodeByName(std::string_view name);
std::optional<std::uint16_t> atdCodeByName(std::string_view name);
// The identifier of a CTI or ATD code, empty when it has none.
std::string_view ctiIdentifier(std::uint8_t code);
std::string_view atdIdentifier(std::uint16_t code);

}  // namespace velkor::pbxsim
