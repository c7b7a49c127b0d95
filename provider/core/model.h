#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/threading/lock.h"
#include "platform/time/clock.h"
#include "provider/core/atd_directory.h"
#include "provider/core/contexts.h"
#include "provider/core/station_table.h"
#include "provider/core/tapi_events.h"
#include "provider/link/handlers.h"

namespace velkor::core {

struct ModelSettings {
    // ConnectionMode 1: one station on STX/ETX framing.
    bool singleStation = false;
    // Registry value System = 1 (the small office system).
    bool system1 = false;
};

// What TAPI told the provider at enumeration and initialisation.
struct ProviderIds {
    DWORD permanentProviderId = 0;
    HPROVIDER providerHandle = nullptr;
    DWORD lineBase = 0;
    DWORD lineCount = 0;
    DWORD phoneBase = 0;
    DWORD phoneCount = 0;
};

// Park slots as event 0x41 reports them.
struct ParkSlot {
    std::string number;  // 4 characters
    bool occupied = false;
};

// The station table, the open lines with their calls, the ATD directory, and
// the processing of PBX events into TAPI call states and events. Fed CTI
// events and ATD messages; raises TAPI events and sends through interfaces.
class StationModel final : public link::EventHandler, public link::AtdHandler {
public:
    // Pause between the steps of a call-completion report (100 ms on the PBX's pace).
    using Pause = std::function<void(platform::Duration)>;

    StationModel(TapiEvents& events, CtiSender& sender, Pause pause = {});

    void setSettings(ModelSettings settings) { m_settings = settings; }
    const ModelSettings& settings() const { return m_settings; }
    void setDialect(link::Dialect dialect) { m_dialect = dialect; }
    link::Dialect dialect() const { return m_dialect; }
    ProviderIds& providerIds() { return m_ids; }
    void setAtdSender(AtdSender* sender) { m_atdSender = sender; }
    void setRecordSink(RecordSink* sink) { m_records = sink; }
    // The ATD session sees every ATD message after the directory has.
    void setAtdSession(link::AtdHandler* session) { m_atdSession = session; }

    StationTable& stations() { return m_stations; }
    AtdDirectory& directory() { return m_directory; }
    platform::CriticalSection& callLock() { return m_callLock; }
    TapiEvents& events() { return m_events; }
    CtiSender& sender() { return m_sender; }

    // link::EventHandler / link::AtdHandler.
    void onEvent(const link::CtiMessage& message) override;
    void onAtd(const link::AtdMessage& message) override;

    // Lines (TSPI_lineOpen / TSPI_lineClose).
    LineContext* openLine(std::uint16_t station, HTAPILINE htLine, LINEEVENT eventProc);
    void closeLine(std::uint16_t station);

    // Lookups.
    LineContext* findLine(std::uint16_t station);
    StationRecord* findStationForDevice(DWORD deviceId) { return m_stations.findByLineId(deviceId); }
    StationRecord* findStationForLine(HDRVLINE line) { return m_stations.findByLine(line); }
    LineContext* findLineForCall(HDRVCALL call);
    static CallContext* findCallByKey(LineContext& line, std::string_view key);
    static CallContext* findCallByState(LineContext& line, DWORD state);
    static CallContext* findCallByStateMask(LineContext& line, DWORD mask,
                                            const CallContext* except = nullptr);
    static CallContext* findCallByRole(LineContext& line, std::uint32_t role);
    static bool hasCallInStates(LineContext& line, DWORD mask, const CallContext* except = nullptr);

    // A new call on the line. Announced: LINE_NEWCALL first; a call TAPI
    // refuses is discarded and nullptr returned.
    CallContext* createCall(LineContext& line, bool announce);
    void releaseCall(LineContext& line, CallContext* call);

    // The one place a call changes state. Nothing happens when the state is
    // unchanged; otherwise LINE_CALLSTATE(state, mode, INTERACTIVEVOICE)
    // under the call-state lock, and: IDLE or DISCONNECTED clears key and
    // role (a conference controller takes its CONFERENCED calls to IDLE);
    // CONNECTED sends the line's DIALTONE, RINGBACK and BUSY calls to IDLE.
    void setCallState(LineContext& line, CallContext& call, DWORD state, DWORD mode = 0);
    void raiseCallInfo(LineContext& line, CallContext& call, DWORD flags);
    void raiseDevSpecific(LineContext& line, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3);
    void raiseAddressState(LineContext& line, DWORD state);

    // TSPI_lineSetStatusMessages: the notices an application opening the
    // line has missed: the station's port value, the call-completion numbers
    // collected (then cleared) and a pending message count.
    void replayLineNotices(StationRecord& station);

    // Conference clean-up after a member left.
    void conferenceCleanUp(LineContext& line);

    // Station added (event 0x3B): temporary device ID announced with LINE_CREATE.
    void stationAdded(StationRecord& station);

    std::span<const ParkSlot> parkSlots() const { return {m_parkSlots.data(), m_parkSlotCount}; }
    void clearParkSlots() { m_parkSlotCount = 0; }
    // Event 0x41: the slot's position, creating it in the table when new.
    void updateParkSlot(std::string_view number, bool occupied);

    // Part of a call record held until its second half arrives (event 0x3F).
    std::string& pendingCallRecord() { return m_pendingRecord; }
    RecordSink* recordSink() { return m_records; }
    void pause(platform::Duration d) {
        if (m_pause) m_pause(d);
    }

    static constexpr std::size_t kMaxParkSlots = 20;
    static constexpr std::size_t kMaxCallRecordPart = 64;
    static constexpr std::uint32_t kMaxRepeatedNotices = 100;

private:
    void notifyStationStatus(std::uint16_t index, std::uint8_t status);
    void onAtdStatus(const link::AtdMessage& message);

    TapiEvents& m_events;
    CtiSender& m_sender;
    Pause m_pause;
    AtdSender* m_atdSender = nullptr;
    RecordSink* m_records = nullptr;
    link::AtdHandler* m_atdSession = nullptr;
    ModelSettings m_settings;
    link::Dialect m_dialect = link::Dialect::Legacy;
    ProviderIds m_ids;
    DWORD m_createdLines = 0;
    std::uint32_t m_lastCallReference = 0;
    StationTable m_stations;
    AtdDirectory m_directory;
    platform::CriticalSection m_callLock;
    std::array<ParkSlot, kMaxParkSlots> m_parkSlots{};
    std::size_t m_parkSlotCount = 0;
    std::string m_pendingRecord;
};

}  // namespace velkor::core
