#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "provider/link/atd.h"
#include "provider/link/encodings.h"

namespace velkor::core {

struct StaDirectoryEntry {
    bool present = false;
    std::uint16_t index = 0;
    std::uint32_t number = 0;  // decimal, from 4 BCD digits
    std::uint8_t slot = 0;
    std::uint8_t status = 1;
    std::string name;          // up to kMaxName
    std::uint8_t attribute = 0;
    std::uint16_t value = 0;
    // Extended dialect only.
    std::uint8_t type = 0;
    std::uint8_t extra = 0;
    static constexpr std::size_t kMaxName = 100;
};

struct ColDirectoryEntry {
    bool present = false;
    std::uint16_t index = 0;
    std::uint8_t status = 1;
    std::uint16_t nameReference = 0;
    std::uint8_t attribute = 0;
    std::uint16_t value = 0;
    std::string name;  // up to kMaxName
    static constexpr std::size_t kMaxName = 96;
};

struct NameTableEntry {
    std::string name;  // up to kMaxName
    static constexpr std::size_t kMaxName = 50;
};

// A request the directory asks the ATD session to send next (code + 2-byte value).
struct AtdFollowUp {
    std::uint16_t code;
    std::uint16_t value;
    bool operator==(const AtdFollowUp&) const = default;
};

// What the directory tells the ATD session about the replies it stored.
enum class DirectoryEvent : std::uint8_t {
    None,
    StationCount,        // 0x0101 stored; directory reset
    CoCount,             // 0x0102 stored; directory reset
    Entry,               // a 0x0309 entry stored (index in `index`)
    StationDetailsDone,  // 0x0301 ended a station details request
    CoDetailsDone,       // 0x0405 with reference 0, or 0x0404
    OwnIndex,            // 0x0105 stored
};

struct DirectoryResult {
    DirectoryEvent event = DirectoryEvent::None;
    std::uint16_t index = 0;
    std::optional<AtdFollowUp> followUp;
};

// The station and CO directories of the ATD session, their name table and the
// attendant's own index. Entries are numbered from 1; the tables live for one
// ATD session.
class AtdDirectory {
public:
    // Directory sizes are capped to the station table.
    static constexpr std::uint16_t kMaxEntries = 1000;

    // Every entry back to not present with status 1 (session close).
    void reset();
    void resetStations(std::uint16_t count);
    void resetCos(std::uint16_t count);

    // Stores what a directory message carries; other codes give None.
    DirectoryResult apply(const link::AtdMessage& message, link::Dialect dialect);

    std::uint16_t stationCount() const { return static_cast<std::uint16_t>(m_stations.size()); }
    std::uint16_t coCount() const { return static_cast<std::uint16_t>(m_cos.size()); }
    // Entry 1..count, nullptr outside.
    StaDirectoryEntry* station(std::uint16_t index);
    ColDirectoryEntry* co(std::uint16_t index);
    const NameTableEntry* nameTable(std::uint16_t reference) const;

    std::optional<std::uint16_t> ownIndex() const { return m_ownIndex; }

    // Repeated single-station notifications of an unchanged status, per session.
    std::uint32_t repeatedNotices = 0;

private:
    std::vector<StaDirectoryEntry> m_stations;
    std::vector<ColDirectoryEntry> m_cos;
    std::map<std::uint16_t, NameTableEntry> m_names;
    std::optional<std::uint16_t> m_ownIndex;
};

}  // namespace velkor::core
