// TSPI_lineDevSpecific itself: the checks in their order, the kind's pending
// slot, and the waits some commands make for the ATD session's data.
#include "provider/devspecific/device_commands.h"

#include <cstring>

#include "provider/link/catalogue.h"

namespace velkor::devspecific {

using core::LineContext;
using K = CommandKind;

namespace {

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::uint16_t be16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] << 8 | d[at + 1]);
}

// A directory is complete once every entry the PBX announced has arrived;
// before its size is known it is not.
template <typename Entry>
bool complete(std::uint16_t count, Entry entry) {
    if (count == 0) return false;
    for (std::uint16_t i = 1; i <= count; ++i) {
        if (!entry(i)->present) return false;
    }
    return true;
}

}  // namespace

// Every kind: who may use it, the line's slot its request ID waits in, and
// the builder that sends its request.
const DeviceCommands::KindRow DeviceCommands::kKinds[] = {
    {K::Paging, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::paging},
    {K::VoiceUnit, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::voiceUnit},
    {K::CallRecords, Restriction::NotSingleStation, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::OtherData, Restriction::NotSingleStation, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::GetTime, Restriction::NotSmallSingleStation, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::CoHold, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::AllStationStatus, Restriction::NotSmallSingleStation, &LineContext::pendingAllStationStatus, &DeviceCommands::service},
    {K::StationStatus, Restriction::NotSmallSingleStation, &LineContext::pendingStationStatus, &DeviceCommands::service},
    {K::AllCoStatus, Restriction::NotSmallSingleStation, &LineContext::pendingAllCoStatus, &DeviceCommands::service},
    {K::CoStatus, Restriction::NotSmallSingleStation, &LineContext::pendingCoStatus, &DeviceCommands::service},
    {K::StationNumber, Restriction::NotSmallSingleStation, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::StationInfo, Restriction::NotSmallSingleStation, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::CoInfo, Restriction::NotSmallSingleStation, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::AllStationNumbers, Restriction::NotSmallSingleStation, &LineContext::pendingAllStationNumbers, &DeviceCommands::service},
    {K::AllParkNumbers, Restriction::NotSmallSingleStation, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::OffnetForward, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::offnetForward},
    {K::PushButton, Restriction::None, &LineContext::pendingKeyPress, &DeviceCommands::pushButton},
    {K::FollowMe, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::followMe},
    {K::FlexButtonRead, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::flexButtonRead},
    {K::FlexButtonWrite, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::flexButtonWrite},
    {K::FlexButtonAction, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::flexButtonAction},
    {K::ShortMessage, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::shortMessage},
    {K::StationTypes, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::service},
    {K::StationFlex, Restriction::None, &LineContext::pendingGeneral, &DeviceCommands::service},
};

DeviceCommands::DeviceCommands(core::StationModel& model, core::AtdSender& atd,
                               AtdActive atdActive, platform::Clock& clock, LocalTime localTime)
    : m_model(model),
      m_atd(atd),
      m_atdActive(std::move(atdActive)),
      m_clock(clock),
      m_localTime(localTime ? std::move(localTime) : LocalTime(localNow)) {}

const DeviceCommands::KindRow* DeviceCommands::kindRow(CommandKind kind) {
    for (const KindRow& row : kKinds) {
        if (row.kind == kind) return &row;
    }
    return nullptr;
}

bool DeviceCommands::refused(Restriction restriction) const {
    const core::ModelSettings& s = m_model.settings();
    switch (restriction) {
    case Restriction::None: return false;
    case Restriction::NotSingleStation: return s.singleStation;
    case Restriction::NotSmallSingleStation: return s.singleStation && !s.system1;
    }
    return true;
}

LONG DeviceCommands::lineDevSpecific(DRV_REQUESTID id, HDRVLINE hdLine, DWORD addressId,
                                     const void* params, DWORD size) {
    if (size == 0 || !params) return LINEERR_OPERATIONFAILED;
    // The block need not hold a terminating NUL: nothing past `size` is read.
    const char* bytes = static_cast<const char*>(params);
    const std::string_view text(bytes, strnlen(bytes, size));

    std::unique_lock lock(m_model.callLock());
    core::StationRecord* station = m_model.findStationForLine(hdLine);
    if (!station) return LINEERR_INVALLINEHANDLE;
    if (addressId != 0) return LINEERR_INVALADDRESSID;
    if (!station->line) return LINEERR_OPERATIONFAILED;
    if (text.size() > kMaxCommand) return LINEERR_OPERATIONFAILED;

    const Command command = matchCommand(text);
    const KindRow* row = kindRow(command.kind);
    if (!row || refused(row->restriction)) return LINEERR_OPERATIONFAILED;

    Request request{command.kind, id, row->slot, *station, *station->line, command.argument, lock};
    if (!(this->*row->build)(request)) return LINEERR_OPERATIONFAILED;
    return static_cast<LONG>(id);
}

bool DeviceCommands::send(Request& r, std::uint16_t station, std::uint8_t code,
                          std::span<const std::uint8_t> data) {
    // A newer request of the same slot takes the place of one still waiting.
    // One the link refuses gives the place back, so that the earlier request
    // still completes when its answer comes.
    const DRV_REQUESTID previous = r.line.*r.slot;
    r.line.*r.slot = r.id;
    if (m_model.sender().sendCti(station, code, data)) return true;
    if (r.line.*r.slot == r.id) r.line.*r.slot = previous;
    return false;
}

bool DeviceCommands::directoryComplete(Request& r, Needs needs, platform::Duration pause) {
    core::AtdDirectory& directory = m_model.directory();
    for (int attempt = 1;; ++attempt) {
        const bool done =
            needs == Needs::AtdStationDirectory
                ? complete(directory.stationCount(), [&](std::uint16_t i) { return directory.station(i); })
                : complete(directory.coCount(), [&](std::uint16_t i) { return directory.co(i); });
        if (done) return true;
        if (attempt == kDirectoryAttempts) return false;
        // The directory fills on the receiving thread, which needs the lock.
        r.lock.unlock();
        m_clock.sleepFor(pause);
        r.lock.lock();
    }
}

bool DeviceCommands::fetchDetails(Request& r, Details details, std::uint16_t index) {
    {
        std::lock_guard guard(m_detailsMutex);
        m_awaited = details;
        m_awaitedIndex = index;
        m_detailsDone = false;
    }
    const std::uint8_t data[] = {static_cast<std::uint8_t>(index >> 8),
                                 static_cast<std::uint8_t>(index & 0xFF)};
    const std::uint16_t code =
        details == Details::Station ? link::atd::StationDetails : link::atd::CoDetails;
    r.lock.unlock();
    bool done = false;
    if (m_atd.sendAtd(code, data)) {
        std::unique_lock wait(m_detailsMutex);
        done = m_clock.waitUntil(m_detailsChanged, wait, m_clock.now() + kDetailsWait,
                                 [this] { return m_detailsDone; });
    }
    {
        std::lock_guard guard(m_detailsMutex);
        m_awaited = Details::None;
    }
    r.lock.lock();
    return done;
}

void DeviceCommands::onAtd(const link::AtdMessage& m) {
    if (m.codeWidth != 2) return;
    const auto d = m.data;
    std::lock_guard guard(m_detailsMutex);
    bool done = false;
    switch (m_awaited) {
    case Details::None:
        return;
    case Details::Station:
        // The attributes are the last of a station's details.
        done = m.code == link::atd::StationAttributes && d.size() >= 5 &&
               be16(d, 0) == m_awaitedIndex;
        break;
    case Details::Co: {
        // A CO's details end with its name-table reference when that is 0,
        // otherwise with the name-table entry the reference points to (the
        // directory has stored the reference by the time the entry comes).
        if (m.code == link::atd::CoNameReference && d.size() >= 4) {
            done = be16(d, 0) == m_awaitedIndex && be16(d, 2) == 0;
        } else if (m.code == link::atd::NameTableEntry && d.size() >= 3) {
            const core::ColDirectoryEntry* co = m_model.directory().co(m_awaitedIndex);
            done = co && co->nameReference != 0 && be16(d, 1) == co->nameReference;
        }
        break;
    }
    }
    if (done) {
        m_detailsDone = true;
        m_detailsChanged.notify_all();
    }
}

}  // namespace velkor::devspecific
