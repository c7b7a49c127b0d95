#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/link/encodings.h"
#include "tools/pbxsim/station_settings.h"

namespace velkor::pbxsim {

// Station type bytes of the station description.
namespace station_type {
inline constexpr std::uint8_t Dkt = 0x21;
inline constexpr std::uint8_t Ekt = 0x22;
inline constexpr std::uint8_t IcmBox = 0x23;
inline constexpr std::uint8_t Slt = 0x24;
inline constexpr std::uint8_t Wkt = 0x25;
inline constexpr std::uint8_t Unplugged = 0xA1;
}  // namespace station_type

// The type byte for a name of the configuration ("DKT", "unplugged" ...).
std::optional<std::uint8_t> stationTypeByName(std::string_view name);
std::string_view stationTypeName(std::uint8_t type);

struct StationConfig {
    std::uint16_t index = 0;
    std::string number;  // 1 to 4 digits
    std::uint8_t type = station_type::Dkt;
    // The 3-digit port value; a station without one is described without
    // the 3 digits.
    std::optional<std::uint16_t> port;
    std::string name;
    std::uint8_t slot = 0;
    std::uint8_t attribute = 0;
    std::uint16_t attributeValue = 0;
    // Second byte beside the type byte of an extended directory entry.
    std::uint8_t extra = 0;
};

struct CoConfig {
    std::uint16_t index = 0;
    std::string number;  // 1 to 3 digits
    std::string name;
    std::uint8_t attribute = 0;
    std::uint16_t attributeValue = 0;
    // Entry of the name table; 0 = none.
    std::uint16_t nameRef = 0;
};

struct PbxConfig {
    std::string modelCode = "30";
    // 11 characters, the model code at characters 3-4.
    std::string version;
    link::Dialect dialect = link::Dialect::Extended;
    // Size of the station table: the model's unless set.
    std::uint16_t stationCount = 0;
    std::map<std::uint16_t, StationConfig> stations;
    std::map<std::uint16_t, CoConfig> coLines;
    std::map<std::uint16_t, std::string> nameTable;
    std::vector<std::string> parkSlots;
    // The attendant's own station index (ATD 0x0105).
    std::uint16_t attendant = 1;
    // The 4-byte system value of ATD 0x0008.
    std::uint32_t systemValue = 0;
    bool sessionAccepted = true;
    bool atdAccepted = true;
    // The station single-station mode serves; the attendant when unset.
    std::optional<std::uint16_t> singleStation;
    // Cause of the rejection of a request the PBX has no handler for.
    std::uint8_t defaultCause = '!';
    // Cause of the rejection of a request for a station that does not exist.
    std::uint8_t noStationCause = '/';
    // The PBX's own keep-alive (0x8B) period; 0 = never.
    std::uint32_t keepAliveMs = 0;
    // Extended directory entries: type and extra byte before the name (true)
    // or after it.
    bool typeBeforeName = true;
    // Station settings other than the defaults: station number -> kind -> value.
    std::map<std::string, std::map<std::uint32_t, SettingBytes>> settings;

    const StationConfig* station(std::uint16_t index) const;
    const StationConfig* stationByNumber(std::string_view number) const;
    std::uint16_t servedStation() const { return singleStation.value_or(attendant); }
    // Directory sizes of ATD 0x0101 and 0x0102: the highest index in use.
    std::uint16_t stationDirectorySize() const;
    std::uint16_t coDirectorySize() const;
};

struct ConfigResult {
    std::optional<PbxConfig> config;
    // "file:line: what is wrong", one per problem.
    std::vector<std::string> errors;
};

// Reads the configuration text; `origin` names it in error messages.
ConfigResult parseConfig(std::string_view text, std::string_view origin = "config");
ConfigResult loadConfig(const std::filesystem::path& path);

}  // namespace velkor::pbxsim
