#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "provider/core/contexts.h"
#include "provider/link/encodings.h"

namespace velkor::core {

// Station types as the PBX reports them in a station description.
inline constexpr std::uint8_t kTypeNone = 0x00;
inline constexpr std::uint8_t kTypeDkt = 0x21;
inline constexpr std::uint8_t kTypeEkt = 0x22;
inline constexpr std::uint8_t kTypeIcmBox = 0x23;
inline constexpr std::uint8_t kTypeSlt = 0x24;
inline constexpr std::uint8_t kTypeWkt = 0x25;
inline constexpr std::uint8_t kTypeUnplugged = 0xA1;

inline constexpr DWORD kNoDevice = 0xFFFFFFFF;

// " (DKT)" ... " (UNKNOWN)", appended to the line name of the device capabilities.
std::string_view stationTypeLabel(std::uint8_t type);
// Only digital, single-line and wireless telephones carry a line and a phone device.
bool isDeviceType(std::uint8_t type);

struct StationRecord {
    std::uint16_t index = 0;
    // The directory number as the PBX reports it: 4 characters, blank-padded.
    std::string number;
    std::uint8_t type = kTypeNone;
    std::uint16_t portValue = 0;
    DWORD lineDeviceId = kNoDevice;
    DWORD phoneDeviceId = kNoDevice;
    std::unique_ptr<LineContext> line;
    bool monitored = false;
    bool waiting = false;
};

class StationTable {
public:
    static constexpr std::size_t kSize = 1001;

    StationTable();

    // Link start: every record empty, no IDs, no flags. Open lines are dropped.
    void reset();

    StationRecord* at(std::uint16_t index);
    const StationRecord* at(std::uint16_t index) const;

    // Reply 0x51 0x22: num4, index (2, big-endian), type byte, and 3 digits of
    // port value when the PBX sends them. Returns true when the station
    // carries devices (and so counts for enumeration). Nothing is stored for
    // a short reply or an index outside the table.
    bool registerDescription(std::span<const std::uint8_t> data);
    // Reply 0x50 '4' in single-station mode: '4', num4, dialect byte, type
    // byte. The own station is entered at index 0. nullopt for a short reply.
    std::optional<link::Dialect> registerSingleStation(std::span<const std::uint8_t> data);
    // The own number as a decimal value (single-station mode), for ATD status.
    std::uint32_t ownNumberValue() const { return m_ownNumberValue; }

    // Number of stations that carry devices.
    std::size_t deviceCount() const;

    // Provider initialisation: consecutive IDs in index order to the records
    // with a type and no ID yet, until `count` are given.
    void assignLineIds(DWORD base, DWORD count);
    void assignPhoneIds(DWORD base, DWORD count);
    // A capabilities request for an ID no record holds: the first record with
    // a type and no line ID takes it. nullptr when there is none.
    StationRecord* bindLineId(DWORD deviceId);

    StationRecord* findByLineId(DWORD deviceId);
    StationRecord* findByPhoneId(DWORD deviceId);
    StationRecord* findByLine(HDRVLINE line);

    auto begin() { return m_records.begin(); }
    auto end() { return m_records.end(); }

private:
    std::array<StationRecord, kSize> m_records;
    std::uint32_t m_ownNumberValue = 0;
};

}  // namespace velkor::core
