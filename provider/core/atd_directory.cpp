#include "provider/core/atd_directory.h"

#include <algorithm>

#include "provider/link/catalogue.h"

namespace velkor::core {

namespace {

std::uint16_t be16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

// `count` bytes of text at `at`, never past the data nor above `limit`.
std::string text(std::span<const std::uint8_t> data, std::size_t at, std::size_t count,
                 std::size_t limit) {
    if (at >= data.size()) return {};
    count = std::min({count, data.size() - at, limit});
    return std::string(reinterpret_cast<const char*>(data.data() + at), count);
}

}  // namespace

void AtdDirectory::reset() {
    for (StaDirectoryEntry& e : m_stations) {
        e.present = false;
        e.status = 1;
    }
    for (ColDirectoryEntry& e : m_cos) {
        e.present = false;
        e.status = 1;
    }
    repeatedNotices = 0;
}

void AtdDirectory::resetStations(std::uint16_t count) {
    m_stations.assign(std::min(count, kMaxEntries), StaDirectoryEntry{});
    repeatedNotices = 0;
}

void AtdDirectory::resetCos(std::uint16_t count) {
    m_cos.assign(std::min(count, kMaxEntries), ColDirectoryEntry{});
    m_names.clear();
}

StaDirectoryEntry* AtdDirectory::station(std::uint16_t index) {
    return index >= 1 && index <= m_stations.size() ? &m_stations[index - 1] : nullptr;
}

ColDirectoryEntry* AtdDirectory::co(std::uint16_t index) {
    return index >= 1 && index <= m_cos.size() ? &m_cos[index - 1] : nullptr;
}

const NameTableEntry* AtdDirectory::nameTable(std::uint16_t reference) const {
    const auto it = m_names.find(reference);
    return it == m_names.end() ? nullptr : &it->second;
}

DirectoryResult AtdDirectory::apply(const link::AtdMessage& m, link::Dialect dialect) {
    const auto d = m.data;
    DirectoryResult r;
    if (m.codeWidth != 2) return r;
    switch (m.code) {
    case link::atd::StationDirectorySize:
        if (d.size() < 2) return r;
        resetStations(be16(d, 0));
        r.event = DirectoryEvent::StationCount;
        return r;
    case link::atd::CoDirectorySize:
        if (d.size() < 2) return r;
        resetCos(be16(d, 0));
        r.event = DirectoryEvent::CoCount;
        return r;
    case link::atd::OwnStationIndex:
        if (d.size() < 2) return r;
        m_ownIndex = be16(d, 0);
        r.event = DirectoryEvent::OwnIndex;
        r.index = *m_ownIndex;
        return r;
    case link::atd::DirectoryEntry: {
        // length, index (2), slot, number (2 BCD bytes), name. The length
        // counts everything after itself. In the extended dialect the PBX puts
        // the type byte and an extra byte in front of the name, which is then
        // two characters shorter.
        if (d.size() < 6) return r;
        StaDirectoryEntry* e = station(be16(d, 1));
        if (!e) return r;
        const std::size_t length = d[0];
        e->present = true;
        e->index = be16(d, 1);
        e->slot = d[3];
        e->number = link::decodeBcd4(d.subspan(4, 2)).value_or(0);
        if (dialect == link::Dialect::Extended) {
            e->type = d.size() > 6 ? d[6] : 0;
            e->extra = d.size() > 7 ? d[7] : 0;
            e->name = text(d, 8, length >= 7 ? length - 7 : 0, StaDirectoryEntry::kMaxName);
        } else {
            e->name = text(d, 6, length >= 5 ? length - 5 : 0, StaDirectoryEntry::kMaxName);
        }
        r.event = DirectoryEvent::Entry;
        r.index = e->index;
        return r;
    }
    case link::atd::StationDetails: {
        // Station name: length (2 + name length), index (2), name.
        if (d.size() < 3) return r;
        const std::uint16_t index = be16(d, 1);
        if (StaDirectoryEntry* e = station(index)) {
            e->name = text(d, 3, d[0] >= 2 ? d[0] - 2 : 0, StaDirectoryEntry::kMaxName);
        }
        r.followUp = AtdFollowUp{link::atd::StationAttributes, index};
        return r;
    }
    case link::atd::StationAttributes: {
        if (d.size() < 5) return r;
        const std::uint16_t index = be16(d, 0);
        if (StaDirectoryEntry* e = station(index)) {
            e->attribute = d[2];
            e->value = be16(d, 3);
        }
        r.event = DirectoryEvent::StationDetailsDone;
        r.index = index;
        return r;
    }
    case link::atd::CoDetails: {
        if (d.size() < 5) return r;
        const std::uint16_t index = be16(d, 0);
        if (ColDirectoryEntry* e = co(index)) {
            e->present = true;
            e->index = index;
            e->attribute = d[2];
            e->value = be16(d, 3);
        }
        r.followUp = AtdFollowUp{link::atd::CoName, index};
        return r;
    }
    case link::atd::CoName: {
        if (d.size() < 3) return r;
        const std::uint16_t index = be16(d, 1);
        if (ColDirectoryEntry* e = co(index)) {
            e->name = text(d, 3, d[0] >= 2 ? d[0] - 2 : 0, ColDirectoryEntry::kMaxName);
        }
        r.followUp = AtdFollowUp{link::atd::CoNameReference, index};
        return r;
    }
    case link::atd::CoNameReference: {
        if (d.size() < 4) return r;
        const std::uint16_t index = be16(d, 0);
        const std::uint16_t reference = be16(d, 2);
        if (ColDirectoryEntry* e = co(index)) e->nameReference = reference;
        if (reference == 0) {
            r.event = DirectoryEvent::CoDetailsDone;
            r.index = index;
        } else {
            r.followUp = AtdFollowUp{link::atd::NameTableEntry, reference};
        }
        return r;
    }
    case link::atd::NameTableEntry: {
        if (d.size() < 3) return r;
        const std::uint16_t reference = be16(d, 1);
        m_names[reference].name = text(d, 3, d[0] >= 2 ? d[0] - 2 : 0, NameTableEntry::kMaxName);
        r.event = DirectoryEvent::CoDetailsDone;
        r.index = reference;
        return r;
    }
    default:
        return r;
    }
}

}  // namespace velkor::core
