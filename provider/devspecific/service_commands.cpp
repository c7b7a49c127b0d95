// The commands that become service requests (code 0x7C to the system):
// their arguments, what must hold before they go, and what the PBX's
// accepting answer switches on. The PBX answers by echoing the request;
// a rejection with the same payload and 9 s of silence count the same.
#include <cstdio>

#include "provider/devspecific/command_text.h"
#include "provider/devspecific/device_commands.h"
#include "provider/link/catalogue.h"

namespace velkor::devspecific {

using core::LineContext;
using K = CommandKind;
using namespace std::chrono_literals;

namespace {

std::uint16_t be16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] << 8 | d[at + 1]);
}

// 'b' begins a subscription (1), 'e' ends it (2).
std::uint8_t beginEnd(std::string_view argument) {
    const std::string_view a = text::afterSeparator(argument);
    if (a.size() != 1) return 0;
    switch (text::upper(a[0])) {
    case 'B': return 1;
    case 'E': return 2;
    default: return 0;
    }
}

}  // namespace

const DeviceCommands::ServiceRow DeviceCommands::kServices[] = {
    // kind, type, subtype, argument, needs, retry pause, flag, notice, accept
    {K::CallRecords, kServiceCallRecords, 0, Argument::SubtypeBeginEnd, Needs::Nothing, 0ms,
     nullptr, 0, 0, &DeviceCommands::acceptCallRecords},
    {K::OtherData, kServiceOtherData, 0, Argument::SubtypeBeginEnd, Needs::Nothing, 0ms,
     nullptr, 0, 0, &DeviceCommands::acceptOtherData},
    {K::GetTime, kServiceStatus, 0, Argument::None, Needs::Nothing, 0ms,
     nullptr, 0, 0, &DeviceCommands::acceptTime},
    {K::CoHold, kServiceStatus, 1, Argument::HoldMode, Needs::Nothing, 0ms,
     nullptr, 0, 0, nullptr},
    {K::AllStationStatus, kServiceStatus, 2, Argument::None, Needs::AtdStationDirectory, 500ms,
     &LineContext::wantsAllStationStatus, 1, 4, nullptr},
    {K::StationStatus, kServiceStatus, 3, Argument::ExtraBeginEnd, Needs::Atd, 0ms,
     nullptr, 0, 0, &DeviceCommands::acceptStationStatus},
    {K::AllCoStatus, kServiceStatus, 4, Argument::None, Needs::AtdCoDirectory, 1000ms,
     &LineContext::wantsAllCoStatus, 1, 5, nullptr},
    {K::CoStatus, kServiceStatus, 5, Argument::ExtraBeginEnd, Needs::Atd, 0ms,
     nullptr, 0, 0, &DeviceCommands::acceptCoStatus},
    {K::StationNumber, kServiceStatus, 6, Argument::StationIndex, Needs::Nothing, 0ms,
     nullptr, 0, 0, &DeviceCommands::acceptStationNumber},
    {K::StationInfo, kServiceStatus, 9, Argument::StationDetails, Needs::Atd, 0ms,
     &LineContext::wantsStationInfo, 1, 9, nullptr},
    {K::CoInfo, kServiceStatus, 10, Argument::CoDetails, Needs::Atd, 0ms,
     &LineContext::wantsCoInfo, 1, 10, nullptr},
    {K::AllStationNumbers, kServiceStatus, 11, Argument::None, Needs::AtdStationDirectory, 1000ms,
     &LineContext::wantsStationNumbers, 1, 8, nullptr},
    {K::AllParkNumbers, kServiceStatus, 12, Argument::None, Needs::Nothing, 0ms,
     &LineContext::wantsParkNumbers, 1, 11, nullptr},
    {K::StationTypes, kServiceStationTypes, 0, Argument::One, Needs::Atd, 0ms,
     &LineContext::wantsStationTypes, 35, 0, nullptr},
    {K::StationFlex, kServiceStationFlex, 0, Argument::One, Needs::Atd, 0ms,
     nullptr, 0, 0, &DeviceCommands::acceptStationFlex},
};

const DeviceCommands::ServiceRow* DeviceCommands::serviceRow(CommandKind kind) {
    for (const ServiceRow& row : kServices) {
        if (row.kind == kind) return &row;
    }
    return nullptr;
}

const DeviceCommands::ServiceRow* DeviceCommands::answerRow(std::uint8_t type,
                                                            std::uint8_t subtype) {
    for (const ServiceRow& row : kServices) {
        if (row.type != type) continue;
        if (row.argument == Argument::SubtypeBeginEnd || row.subtype == subtype) return &row;
    }
    return nullptr;
}

bool DeviceCommands::service(Request& r) {
    const ServiceRow* row = serviceRow(r.kind);
    if (!row) return false;
    core::AtdDirectory& directory = m_model.directory();
    std::uint8_t subtype = row->subtype;
    std::vector<std::uint8_t> extra;
    std::uint16_t index = 0;
    std::uint8_t holdMode = 0;

    switch (row->argument) {
    case Argument::None:
        break;
    case Argument::SubtypeBeginEnd:
        subtype = beginEnd(r.argument);
        if (!subtype) return false;
        break;
    case Argument::ExtraBeginEnd: {
        const std::uint8_t b = beginEnd(r.argument);
        if (!b) return false;
        extra.push_back(b);
        break;
    }
    case Argument::HoldMode: {
        const std::string_view a = text::afterSeparator(r.argument);
        if (startsWithWord(a, "exc")) holdMode = '$';
        else if (startsWithWord(a, "sys")) holdMode = '#';
        else return false;
        break;
    }
    case Argument::StationIndex:
    case Argument::StationDetails:
    case Argument::CoDetails: {
        // Directory indexes run from 1 to the size the PBX announced (at
        // most 1000, so five digits with leading zeros are plenty).
        const auto n = text::decimal(text::afterSeparator(r.argument), 5);
        const std::uint16_t count = row->argument == Argument::CoDetails ? directory.coCount()
                                                                         : directory.stationCount();
        if (!n || *n < 1 || *n > count) return false;
        index = static_cast<std::uint16_t>(*n);
        if (row->argument == Argument::StationIndex) {
            extra.push_back(static_cast<std::uint8_t>(index >> 8));
            extra.push_back(static_cast<std::uint8_t>(index & 0xFF));
        }
        break;
    }
    case Argument::One:
        extra.push_back(1);
        break;
    }

    if (row->needs != Needs::Nothing) {
        if (!m_atdActive || !m_atdActive()) return false;
        if (row->needs != Needs::Atd && !directoryComplete(r, row->needs, row->retryPause)) {
            return false;
        }
    }
    if (row->argument == Argument::StationDetails) {
        // One station information block at a time: the application has not
        // fetched the last one yet.
        if (r.line.wantsStationInfo) return false;
        r.line.stationInfoIndex = index;
        if (!fetchDetails(r, Details::Station, index)) return false;
    } else if (row->argument == Argument::CoDetails) {
        if (r.line.wantsCoInfo) return false;
        r.line.coInfoIndex = index;
        if (!fetchDetails(r, Details::Co, index)) return false;
    }
    if (holdMode) r.line.coHoldSetting = holdMode;

    const std::uint16_t st = r.station.index;
    std::vector<std::uint8_t> payload{row->type, subtype, static_cast<std::uint8_t>(st >> 8),
                                      static_cast<std::uint8_t>(st & 0xFF)};
    payload.insert(payload.end(), extra.begin(), extra.end());
    return send(r, link::kSystemIndex, link::code::ServiceRequest, payload);
}

// --- accepting answers -----------------------------------------------------------

void DeviceCommands::onServiceAnswer(const link::ServiceAnswer& answer) {
    const auto p = answer.payload;
    if (p.size() < 4) return;
    const ServiceRow* row = answerRow(p[0], p[1]);
    if (!row) return;
    const KindRow* kind = kindRow(row->kind);
    platform::ScopedLock lock(m_model.callLock());
    LineContext* line = m_model.findLine(be16(p, 2));
    if (!line) return;

    const DRV_REQUESTID id = line->*kind->slot;
    line->*kind->slot = 0;
    if (id != 0) m_model.events().complete(id, 0);

    if (row->flag) line->*row->flag = true;
    if (row->notice1) m_model.raiseDevSpecific(*line, row->notice1, row->notice2, 0);
    if (row->accept) (this->*row->accept)(*line, p);
}

void DeviceCommands::subscription(DataKind kind, LineContext& line,
                                  std::span<const std::uint8_t> p) {
    if (!m_subscriptions) return;
    if (p[1] == 1) m_subscriptions->join(kind, line.station);
    else if (p[1] == 2) m_subscriptions->leave(kind, line.station);
}

void DeviceCommands::acceptCallRecords(LineContext& line, std::span<const std::uint8_t> p) {
    subscription(DataKind::CallRecords, line, p);
}

void DeviceCommands::acceptOtherData(LineContext& line, std::span<const std::uint8_t> p) {
    subscription(DataKind::OtherData, line, p);
}

void DeviceCommands::acceptTime(LineContext& line, std::span<const std::uint8_t>) {
    const std::tm t = m_localTime();
    const auto date = static_cast<DWORD>((t.tm_year + 1900) * 0x10000 + (t.tm_mon + 1));
    const auto time = static_cast<DWORD>(t.tm_mday) << 24 | static_cast<DWORD>(t.tm_hour) << 16 |
                      static_cast<DWORD>(t.tm_min) << 8 | static_cast<DWORD>(t.tm_sec);
    m_model.raiseDevSpecific(line, 3, date, time);
}

void DeviceCommands::acceptStationStatus(LineContext& line, std::span<const std::uint8_t> p) {
    if (p.size() > 4) line.subscribedStationStatus = p[4] == 1;
}

void DeviceCommands::acceptCoStatus(LineContext& line, std::span<const std::uint8_t> p) {
    if (p.size() > 4) line.subscribedCoStatus = p[4] == 1;
}

void DeviceCommands::acceptStationNumber(LineContext& line, std::span<const std::uint8_t> p) {
    if (p.size() < 6) return;
    const std::uint16_t n = be16(p, 4);
    const core::StaDirectoryEntry* entry = m_model.directory().station(n);
    // The number travels as its 4 characters ("%4d") packed into the DWORD,
    // first character lowest, so that it survives the way to the application.
    char digits[16];
    std::snprintf(digits, sizeof digits, "%4u", entry ? entry->number % 10000 : 0u);
    DWORD packed = 0;
    for (int i = 0; i < 4; ++i) {
        packed |= static_cast<DWORD>(static_cast<std::uint8_t>(digits[i])) << (8 * i);
    }
    m_model.raiseDevSpecific(line, 7, n, packed);
}

const core::StaDirectoryEntry* DeviceCommands::ownEntry(const LineContext& line) {
    core::AtdDirectory& directory = m_model.directory();
    if (!m_model.settings().singleStation) return directory.station(line.station);
    // The single station sits at index 0; the directory knows it by number.
    const std::uint32_t own = m_model.stations().ownNumberValue();
    for (std::uint16_t i = 1; i <= directory.stationCount(); ++i) {
        const core::StaDirectoryEntry* e = directory.station(i);
        if (e->present && e->number == own) return e;
    }
    return nullptr;
}

void DeviceCommands::acceptStationFlex(LineContext& line, std::span<const std::uint8_t>) {
    const core::StaDirectoryEntry* entry = ownEntry(line);
    m_model.raiseDevSpecific(line, 36, entry ? entry->extra : 0, 0);
}

}  // namespace velkor::devspecific
