#include "provider/core/station_table.h"

#include "provider/link/catalogue.h"

namespace velkor::core {

namespace {

struct TypeLabel {
    std::uint8_t type;
    std::string_view label;
};

constexpr TypeLabel kTypeLabels[] = {
    {kTypeDkt, " (DKT)"},
    {kTypeEkt, " (EKT)"},
    {kTypeIcmBox, " (ICMBOX)"},
    {kTypeSlt, " (SLT)"},
    {kTypeWkt, " (WKT)"},
    {kTypeUnplugged, " (UNPLUGGED)"},
};

std::uint16_t be16(std::span<const std::uint8_t> b) {
    return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

}  // namespace

std::string_view stationTypeLabel(std::uint8_t type) {
    for (const TypeLabel& t : kTypeLabels) {
        if (t.type == type) return t.label;
    }
    return " (UNKNOWN)";
}

bool isDeviceType(std::uint8_t type) {
    return type == kTypeDkt || type == kTypeSlt || type == kTypeWkt;
}

StationTable::StationTable() { reset(); }

void StationTable::reset() {
    for (std::size_t i = 0; i < kSize; ++i) {
        m_records[i] = StationRecord{};
        m_records[i].index = static_cast<std::uint16_t>(i);
    }
    m_ownNumberValue = 0;
}

StationRecord* StationTable::at(std::uint16_t index) {
    return index < kSize ? &m_records[index] : nullptr;
}

const StationRecord* StationTable::at(std::uint16_t index) const {
    return index < kSize ? &m_records[index] : nullptr;
}

bool StationTable::registerDescription(std::span<const std::uint8_t> data) {
    // 0x22, num4, index (2), type; the PBX adds the 3-digit port value when
    // the payload is 15 bytes long (11 bytes of data).
    if (data.size() < 8) return false;
    const auto number = link::decodeNum4(data.subspan(1));
    StationRecord* record = at(be16(data.subspan(5)));
    if (!number || !record) return false;
    record->number = *number;
    record->portValue = 0;
    if (data.size() >= 11) {
        std::uint16_t port = 0;
        for (std::size_t i = 8; i < 11; ++i) {
            if (data[i] >= '0' && data[i] <= '9') {
                port = static_cast<std::uint16_t>(port * 10 + (data[i] - '0'));
            }
        }
        record->portValue = port;
    }
    const std::uint8_t type = data[7];
    record->type = isDeviceType(type) ? type : kTypeNone;
    return isDeviceType(type);
}

std::optional<link::Dialect> StationTable::registerSingleStation(std::span<const std::uint8_t> data) {
    if (data.size() < 7) return std::nullopt;
    const auto number = link::decodeNum4(data.subspan(1));
    if (!number) return std::nullopt;
    StationRecord& own = m_records[0];
    own.number = *number;
    own.type = isDeviceType(data[6]) ? data[6] : kTypeDkt;
    // Blanks (and anything below '!') of the padded number count as 0.
    std::uint32_t value = 0;
    for (const char c : *number) {
        const std::uint32_t digit = (c >= '0' && c <= '9') ? static_cast<std::uint32_t>(c - '0') : 0;
        value = value * 10 + digit;
    }
    m_ownNumberValue = value;
    return link::dialectFromByte(data[5]);
}

std::size_t StationTable::deviceCount() const {
    std::size_t count = 0;
    for (const StationRecord& r : m_records) count += isDeviceType(r.type) ? 1 : 0;
    return count;
}

void StationTable::assignLineIds(DWORD base, DWORD count) {
    DWORD given = 0;
    for (StationRecord& r : m_records) {
        if (given >= count) break;
        if (r.type == kTypeNone || r.lineDeviceId != kNoDevice) continue;
        r.lineDeviceId = base + given++;
    }
}

void StationTable::assignPhoneIds(DWORD base, DWORD count) {
    DWORD given = 0;
    for (StationRecord& r : m_records) {
        if (given >= count) break;
        if (r.type == kTypeNone || r.phoneDeviceId != kNoDevice) continue;
        r.phoneDeviceId = base + given++;
    }
}

StationRecord* StationTable::bindLineId(DWORD deviceId) {
    if (StationRecord* r = findByLineId(deviceId)) return r;
    for (StationRecord& r : m_records) {
        if (r.type != kTypeNone && r.lineDeviceId == kNoDevice) {
            r.lineDeviceId = deviceId;
            return &r;
        }
    }
    return nullptr;
}

StationRecord* StationTable::findByLineId(DWORD deviceId) {
    if (deviceId == kNoDevice) return nullptr;
    for (StationRecord& r : m_records) {
        if (r.lineDeviceId == deviceId) return &r;
    }
    return nullptr;
}

StationRecord* StationTable::findByPhoneId(DWORD deviceId) {
    if (deviceId == kNoDevice) return nullptr;
    for (StationRecord& r : m_records) {
        if (r.phoneDeviceId == deviceId) return &r;
    }
    return nullptr;
}

StationRecord* StationTable::findByLine(HDRVLINE line) {
    if (!line) return nullptr;
    for (StationRecord& r : m_records) {
        if (r.line && r.line->handle() == line) return &r;
    }
    return nullptr;
}

}  // namespace velkor::core
