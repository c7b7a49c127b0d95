#include "provider/core/lifecycle.h"

#include "provider/link/catalogue.h"

namespace velkor::core {

namespace code = link::code;

namespace {

constexpr std::uint8_t kOpenSession[] = {'#', '#'};
constexpr std::uint8_t kCloseSession[] = {'$'};
constexpr std::uint8_t kStartMonitoring[] = {'!', '#'};
constexpr std::uint8_t kStopMonitoring[] = {0x22};
constexpr std::uint8_t kIdentify[] = {'!'};
constexpr std::uint8_t kDescribe = 0x22;

}  // namespace

ProviderLifecycle::ProviderLifecycle(StationModel& model, SessionReplies& replies,
                                     AtdSession& atd, LinkControl& link,
                                     config::SettingsStore& store, platform::Clock& clock,
                                     Notice notice)
    : m_model(model),
      m_replies(replies),
      m_atd(atd),
      m_link(link),
      m_store(store),
      m_clock(clock),
      m_notice(std::move(notice)) {}

std::string_view ProviderLifecycle::systemName() const {
    return m_pbxModel ? m_pbxModel->systemName : kUnknownSystemName;
}

LONG ProviderLifecycle::fail() {
    m_link.stop();
    return LINEERR_OPERATIONFAILED;
}

LONG ProviderLifecycle::enumerateDevices(DWORD permanentProviderId, HPROVIDER provider,
                                         DWORD* numLines, DWORD* numPhones) {
    if (!numLines || !numPhones) return LINEERR_INVALPOINTER;
    *numLines = *numPhones = 0;
    m_model.providerIds() = ProviderIds{};
    m_model.providerIds().permanentProviderId = permanentProviderId;
    m_model.providerIds().providerHandle = provider;
    m_sessionStatus = SessionReplies::SessionStatus::Pending;
    m_pbxModel = nullptr;
    m_stationCount = 0;
    m_lines = 0;

    m_settings = m_store.readAll();
    m_model.setSettings({m_settings.connectionMode == 1, m_settings.system == 1});
    // A new enumeration starts from an empty station table.
    m_model.stations().reset();
    m_model.directory().reset();
    if (!m_link.start()) return fail();

    const LONG result = m_model.settings().singleStation ? enumerateSingleStation(numLines, numPhones)
                                                         : enumerateBinary(numLines, numPhones);
    m_lines = *numLines;
    return result;
}

LONG ProviderLifecycle::enumerateBinary(DWORD* numLines, DWORD* numPhones) {
    m_replies.armSession();
    send(link::kSystemIndex, code::SessionControl, kOpenSession);
    m_sessionStatus = m_replies.waitSession(kSessionWait);
    if (m_sessionStatus != SessionReplies::SessionStatus::Open) return fail();

    m_replies.armIdentification();
    send(link::kSystemIndex, code::Query, kIdentify);
    const std::optional<std::string> version = m_replies.waitIdentification(kIdentificationWait);
    std::uint16_t first = 0;
    m_stationCount = 1;
    if (version) {
        m_store.writeVersionText(*version);
        m_pbxModel = findPbxModel(modelCode(*version));
        if (!m_pbxModel) {
            m_stationCount = 0;
            return fail();
        }
        m_stationCount = m_pbxModel->stationCount;
        first = 1;
        checkSystemSetting();
    }
    describeStations(first);

    *numLines = *numPhones = static_cast<DWORD>(m_replies.deviceCount());
    openAtdAfterEnumeration();
    send(link::kSystemIndex, code::KeepAlive, {});
    return 0;
}

void ProviderLifecycle::checkSystemSetting() {
    const bool smallSystem = m_pbxModel->code == kSmallSystemCode;
    if (m_model.settings().system1 == smallSystem || !m_notice) return;
    // The two cases are told apart by the blanks around the text.
    m_notice(smallSystem ? " " + std::string(kMismatchNotice) + " " : std::string(kMismatchNotice));
}

void ProviderLifecycle::describeStations(std::uint16_t first) {
    const std::uint16_t last = static_cast<std::uint16_t>(m_stationCount - 1);
    m_replies.armDescriptions(last);
    unsigned sent = 0;
    for (std::uint32_t index = first; index < m_stationCount; ++index) {
        const std::uint8_t data[] = {kDescribe, static_cast<std::uint8_t>(index >> 8),
                                     static_cast<std::uint8_t>(index & 0xFF)};
        send(link::kSystemIndex, code::Query, data);
        // The PBX takes the queries at its own pace and drops what overruns it.
        if (++sent % kQueriesPerPause == 0) m_clock.sleepFor(kQueryPause);
        if (m_model.settings().system1) m_clock.sleepFor(kSmallSystemPause);
    }
    // A time-out keeps whatever was described.
    m_replies.waitDescriptions(kDescriptionWait);
}

bool ProviderLifecycle::openAtdAfterEnumeration() {
    // The value is written first, so the session opens after every
    // enumeration on binary framing; what the registry then holds decides.
    config::ProviderSettings written = m_settings;
    written.atdEnable = 1;
    m_store.write(written, config::kAtdEnable);
    config::ProviderSettings readBack;
    m_store.read(readBack, config::kAtdEnable);
    if (readBack.atdEnable == 0) return false;
    return m_atd.open();
}

LONG ProviderLifecycle::enumerateSingleStation(DWORD* numLines, DWORD* numPhones) {
    m_replies.armOwnStation();
    send(0, code::SessionControl, kStartMonitoring);
    if (!m_replies.waitOwnStation(kOwnStationWait)) {
        m_model.closeLine(0);
        m_clock.sleepFor(kFailurePause);
        return fail();
    }
    m_stationCount = 1;
    *numLines = *numPhones = 1;
    send(0, code::SessionControl, kStopMonitoring);
    // The PBX ends its start-up with '5', or the provider goes on after 5 s.
    m_replies.waitStartupEnd(kStartupEndWait);
    m_model.clearParkSlots();
    return 0;
}

LONG ProviderLifecycle::initialize(DWORD permanentProviderId, DWORD lineBase, DWORD phoneBase,
                                   DWORD numLines, DWORD numPhones, DWORD* options) {
    ProviderIds& ids = m_model.providerIds();
    ids.permanentProviderId = permanentProviderId;
    ids.lineBase = lineBase;
    ids.lineCount = numLines;
    ids.phoneBase = phoneBase;
    ids.phoneCount = numPhones;
    if (options) *options = LINETSPIOPTION_NONREENTRANT;
    m_model.stations().assignLineIds(lineBase, numLines);
    m_model.stations().assignPhoneIds(phoneBase, numPhones);
    return 0;
}

LONG ProviderLifecycle::createLineDevice(DWORD_PTR temporaryId, DWORD finalId) {
    StationTable& stations = m_model.stations();
    if (m_model.settings().singleStation) {
        stations.at(0)->lineDeviceId = finalId;
        return 0;
    }
    for (std::uint16_t index = 1; index <= link::kMaxStationIndex; ++index) {
        StationRecord* record = stations.at(index);
        // A record without a device must not match a temporary ID of -1.
        if (record->lineDeviceId != kNoDevice && record->lineDeviceId == temporaryId) {
            record->lineDeviceId = finalId;
            return 0;
        }
    }
    return LINEERR_OPERATIONUNAVAIL;
}

LONG ProviderLifecycle::shutdown() {
    m_clock.sleepFor(kShutdownPause);
    if (!m_model.settings().singleStation) {
        m_atd.close();
        send(link::kSystemIndex, code::SessionControl, kCloseSession);
    }
    m_link.stop();
    return 0;
}

LONG ProviderLifecycle::openLine(DWORD deviceId, HTAPILINE htLine, HDRVLINE* hdLine,
                                 LINEEVENT eventProc) {
    if (!hdLine) return LINEERR_INVALPOINTER;
    StationRecord* record = m_model.findStationForDevice(deviceId);
    if (!record) return LINEERR_OPERATIONFAILED;
    if (record->line) return LINEERR_ALLOCATED;
    LineContext* line = m_model.openLine(record->index, htLine, eventProc);
    if (!line) return LINEERR_NOMEM;
    if (!record->monitored) {
        m_replies.armMonitoring(record->index);
        if (!send(record->index, code::SessionControl, kStartMonitoring) ||
            !m_replies.waitMonitoring(record->index, kMonitorWait)) {
            m_model.closeLine(record->index);
            return LINEERR_OPERATIONFAILED;
        }
    }
    *hdLine = line->handle();
    const ModelSettings& settings = m_model.settings();
    if (settings.singleStation && settings.system1 && !m_atd.active() && !m_atd.open()) {
        m_atd.close();
    }
    return 0;
}

LONG ProviderLifecycle::closeLine(HDRVLINE hdLine) {
    StationRecord* record = m_model.findStationForLine(hdLine);
    if (!record) return LINEERR_INVALLINEHANDLE;
    m_model.closeLine(record->index);
    if (m_lineClosed) m_lineClosed(record->index);
    // The station's open phone keeps its monitoring.
    if (!m_stillMonitored || !m_stillMonitored(record->index)) {
        m_replies.forgetMonitoring(record->index);
        send(record->index, code::SessionControl, kStopMonitoring);
    }
    const ModelSettings& settings = m_model.settings();
    if (settings.singleStation && settings.system1) m_atd.close();
    return 0;
}

}  // namespace velkor::core
