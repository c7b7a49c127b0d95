#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>

namespace velkor::tapicmd {

// The provider's blocks in the device-specific part of LINEADDRESSSTATUS,
// one JSON object per block in the order they come, each with its "block"
// name and its fields by name:
//
//   SMDR_DATA     records: [{sequence, text}]
//   OTHER_DATA    data (hex), text (printable characters, others as '.')
//   STA_STATUS    stations: [{index, status}]
//   COL_STATUS    cos: [{index, status}]
//   STA_INFO      index, number, slot, status, attribute, value, name
//   COL_INFO      index, status, attribute, value, nameTableText, name
//   STA_NUMBER    stations: [{index, number}]
//   ALL_PARK_NUM  parks: [{slot, number}]
//   SMS_MESSAGE   sender, text
//   STATION_TYPE  stations: [{index, type}]
//
// A block of a name it does not know, or whose size runs outside the area,
// ends the list with {"block": "?", "error": ..., "rest": hex}; a body too
// short for its layout gets "error" and its bytes as "data".
nlohmann::json statusBlocks(std::span<const std::uint8_t> area);

}  // namespace velkor::tapicmd
