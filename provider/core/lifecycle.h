#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/time/clock.h"
#include "provider/config/provider_settings.h"
#include "provider/core/atd_session.h"
#include "provider/core/model.h"
#include "provider/core/model_table.h"
#include "provider/core/session_replies.h"

namespace velkor::core {

// Starting and stopping the PBX link, as enumeration and shutdown need it.
class LinkControl {
public:
    virtual ~LinkControl() = default;
    // Opens the transport for the settings now in the registry.
    virtual bool start() = 0;
    virtual void stop() = 0;
};

// What TAPI asks of the provider as a whole: find the devices (start the
// link, open the PBX session, describe every station), number them, create
// the ones the PBX adds later, open and close lines, and shut down. Every
// entry point runs on TAPI's calling thread and may block on the clock while
// the PBX's answers arrive on the receiving thread.
class ProviderLifecycle {
public:
    static constexpr platform::Duration kSessionWait = std::chrono::milliseconds(9000);
    static constexpr platform::Duration kIdentificationWait = std::chrono::milliseconds(3000);
    static constexpr platform::Duration kDescriptionWait = std::chrono::milliseconds(20000);
    static constexpr platform::Duration kOwnStationWait = std::chrono::milliseconds(15000);
    static constexpr platform::Duration kFailurePause = std::chrono::milliseconds(10000);
    static constexpr platform::Duration kStartupEndWait = std::chrono::milliseconds(5000);
    static constexpr platform::Duration kMonitorWait = std::chrono::milliseconds(12000);
    static constexpr platform::Duration kShutdownPause = std::chrono::milliseconds(1000);
    // Query pacing: a pause after every ten descriptions, and after each one
    // for the small system.
    static constexpr unsigned kQueriesPerPause = 10;
    static constexpr platform::Duration kQueryPause = std::chrono::milliseconds(250);
    static constexpr platform::Duration kSmallSystemPause = std::chrono::milliseconds(100);

    // The box the provider shows when the System value does not fit the PBX.
    static constexpr std::string_view kMismatchNotice =
        "System setting is diffrent from VELKOR system. Specify your system or system settings";

    using Notice = std::function<void(const std::string&)>;
    // Told the station of every line TSPI_lineClose has freed.
    using LineClosed = std::function<void(std::uint16_t station)>;

    ProviderLifecycle(StationModel& model, SessionReplies& replies, AtdSession& atd,
                      LinkControl& link, config::SettingsStore& store, platform::Clock& clock,
                      Notice notice);

    // TSPI_providerEnumDevices.
    LONG enumerateDevices(DWORD permanentProviderId, HPROVIDER provider, DWORD* numLines,
                          DWORD* numPhones);
    // TSPI_providerInit.
    LONG initialize(DWORD permanentProviderId, DWORD lineBase, DWORD phoneBase, DWORD numLines,
                    DWORD numPhones, DWORD* options);
    // TSPI_providerCreateLineDevice.
    LONG createLineDevice(DWORD_PTR temporaryId, DWORD finalId);
    // TSPI_providerShutdown.
    LONG shutdown();

    // TSPI_lineOpen / TSPI_lineClose.
    LONG openLine(DWORD deviceId, HTAPILINE htLine, HDRVLINE* hdLine, LINEEVENT eventProc);
    LONG closeLine(HDRVLINE hdLine);
    void setLineClosedHook(LineClosed hook) { m_lineClosed = std::move(hook); }
    // Whether something else of the station (its open phone) still needs the
    // PBX to monitor it when the line closes.
    using StillMonitored = std::function<bool(std::uint16_t station)>;
    void setStillMonitoredHook(StillMonitored hook) { m_stillMonitored = std::move(hook); }

    SessionReplies::SessionStatus sessionStatus() const { return m_sessionStatus; }
    // The model the identification named; nullptr when none.
    const PbxModel* pbxModel() const { return m_pbxModel; }
    // Shown as switch information: the model's system name, or "UNKNOWN".
    std::string_view systemName() const;
    // Station count N of the model (1 when the PBX did not identify itself).
    std::uint16_t stationCount() const { return m_stationCount; }
    DWORD lineCount() const { return m_lines; }

private:
    LONG enumerateBinary(DWORD* numLines, DWORD* numPhones);
    LONG enumerateSingleStation(DWORD* numLines, DWORD* numPhones);
    void describeStations(std::uint16_t first);
    void checkSystemSetting();
    bool openAtdAfterEnumeration();
    LONG fail();
    bool send(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data) {
        return m_model.sender().sendCti(station, code, data);
    }

    StationModel& m_model;
    SessionReplies& m_replies;
    AtdSession& m_atd;
    LinkControl& m_link;
    config::SettingsStore& m_store;
    platform::Clock& m_clock;
    Notice m_notice;
    StillMonitored m_stillMonitored;
    LineClosed m_lineClosed;

    config::ProviderSettings m_settings;
    SessionReplies::SessionStatus m_sessionStatus = SessionReplies::SessionStatus::Pending;
    const PbxModel* m_pbxModel = nullptr;
    std::uint16_t m_stationCount = 0;
    DWORD m_lines = 0;
};

}  // namespace velkor::core
