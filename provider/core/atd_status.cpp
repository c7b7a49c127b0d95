// The ATD channel as the model hears it: the directory replies and the busy /
// idle status reports of stations and CO lines.
#include "provider/core/model.h"
#include "provider/link/catalogue.h"

namespace velkor::core {

void StationModel::onAtd(const link::AtdMessage& message) {
    if (message.codeWidth == 1) {
        onAtdStatus(message);
    } else {
        const DirectoryResult result = m_directory.apply(message, m_dialect);
        if (result.followUp && m_atdSender) {
            const std::uint8_t value[] = {static_cast<std::uint8_t>(result.followUp->value >> 8),
                                          static_cast<std::uint8_t>(result.followUp->value & 0xFF)};
            m_atdSender->sendAtd(result.followUp->code, value);
        }
    }
    if (m_atdSession) m_atdSession->onAtd(message);
}

void StationModel::onAtdStatus(const link::AtdMessage& message) {
    platform::ScopedLock lock(m_callLock);
    switch (message.code) {
    case link::atd::StationStatus:
        for (std::size_t i = 0; i < link::atdStatusEntryCount(message); ++i) {
            const link::AtdStatusEntry entry = link::atdStatusEntry(message, i);
            StaDirectoryEntry* sta = m_directory.station(entry.index);
            if (!sta) continue;
            sta->present = true;
            if (sta->status != entry.status) {
                sta->status = entry.status;
                notifyStationStatus(entry.index, entry.status);
            } else if (m_settings.singleStation && m_settings.system1 &&
                       m_directory.repeatedNotices < kMaxRepeatedNotices) {
                // The small system's single station sees its status again
                // after it reopens; the count keeps a chattering PBX in bounds.
                ++m_directory.repeatedNotices;
                notifyStationStatus(entry.index, entry.status);
            }
        }
        break;
    case link::atd::CoStatus:
        for (std::size_t i = 0; i < link::atdStatusEntryCount(message); ++i) {
            const link::AtdStatusEntry entry = link::atdStatusEntry(message, i);
            ColDirectoryEntry* co = m_directory.co(entry.index);
            if (!co) continue;
            co->present = true;
            co->index = entry.index;
            if (co->status == entry.status) continue;
            co->status = entry.status;
            for (StationRecord& r : m_stations) {
                if (r.line && r.line->subscribedCoStatus) {
                    raiseDevSpecific(*r.line, 9, entry.index, entry.status);
                }
            }
        }
        break;
    case link::atd::AttendantStatus: {
        // One status byte; the PBX sends it after a count byte of 1, or as
        // the byte after the code when it leaves the count out.
        const std::uint8_t status = message.data.empty() ? message.count : message.data[0];
        const auto own = m_directory.ownIndex();
        StaDirectoryEntry* sta = own ? m_directory.station(*own) : nullptr;
        if (!sta || sta->status == status) break;
        sta->status = status;
        notifyStationStatus(*own, status);
        break;
    }
    default:
        break;
    }
}

void StationModel::notifyStationStatus(std::uint16_t index, std::uint8_t status) {
    if (m_settings.singleStation) {
        LineContext* own = findLine(0);
        if (!own) return;
        const StaDirectoryEntry* sta = m_directory.station(index);
        if (sta && sta->number == m_stations.ownNumberValue()) {
            raiseDevSpecific(*own, 11, status, 0);
            // Status 1: the own station is gone from the PBX.
            if (status == 1) m_events.lineEvent(*own, nullptr, LINE_CLOSE, 0, 0, 0);
        }
        raiseDevSpecific(*own, 8, index, status);
        return;
    }
    const std::uint16_t count = m_directory.stationCount();
    for (std::uint16_t i = 1; i <= count && i < StationTable::kSize; ++i) {
        StationRecord* r = m_stations.at(i);
        if (!r->line) continue;
        if (i == index) raiseDevSpecific(*r->line, 11, status, 0);
        if (r->line->subscribedStationStatus) raiseDevSpecific(*r->line, 8, index, status);
    }
}

}  // namespace velkor::core
