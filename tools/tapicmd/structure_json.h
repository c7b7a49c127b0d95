#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>

#include "tapi.h"

namespace velkor::tapicmd {

// The structures of the 8-bit functions as JSON fields added to `out`:
// each field under its member's name without the type prefix ("origin",
// "callerIdName" …), constants with their names beside them, text as
// text, other data as hexadecimal bytes. `block` is the whole structure as
// filled, its variable part included.
void addCallInfo(nlohmann::json& out, std::span<const std::uint8_t> block);
void addCallStatus(nlohmann::json& out, std::span<const std::uint8_t> block);
void addLineDevStatus(nlohmann::json& out, std::span<const std::uint8_t> block);
void addAddressCaps(nlohmann::json& out, std::span<const std::uint8_t> block);
void addAddressStatus(nlohmann::json& out, std::span<const std::uint8_t> block);
// The string of a VARSTRING: text for an 8-bit format, hexadecimal bytes
// otherwise.
void addVarString(nlohmann::json& out, const char* key, std::span<const std::uint8_t> block);

// Bytes as lowercase hexadecimal digits, two per byte.
std::string hexBytes(std::span<const std::uint8_t> bytes);

}  // namespace velkor::tapicmd
