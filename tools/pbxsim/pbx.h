#pragma once

#include <cstdint>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/time/clock.h"
#include "provider/link/atd.h"
#include "provider/link/frame_sink.h"
#include "provider/link/frame_writer.h"
#include "provider/link/receiver.h"
#include "provider/link/sender.h"
#include "provider/link/stx_etx.h"
#include "tools/pbxsim/calls.h"
#include "tools/pbxsim/faults.h"
#include "tools/pbxsim/frame_record.h"
#include "tools/pbxsim/pbx_config.h"
#include "tools/pbxsim/schedule.h"
#include "tools/pbxsim/station_settings.h"

namespace velkor::pbxsim {

// Where the PBX's bytes go: the UDP socket of the channel, or the serial
// line for both.
class PbxOutput {
public:
    virtual ~PbxOutput() = default;
    virtual void transmit(link::Channel channel, std::span<const std::uint8_t> bytes) = 0;
};

// Hears every frame the PBX receives or sends (scenarios, tests).
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    virtual void onFrameRecord(const FrameRecord& record) = 0;
};

// A request as the PBX's handlers see it.
struct CtiRequest {
    std::uint16_t station = 0;
    std::uint8_t code = 0;
    std::span<const std::uint8_t> data;
};
struct AtdRequest {
    std::uint16_t code = 0;
    std::span<const std::uint8_t> data;
};

// The PBX without sockets, threads or a timer thread: fed the bytes the
// provider sent, it answers through its PbxOutput; its timers are a Schedule
// the owner runs. Request handling is one table per channel (pbx_cti.cpp,
// pbx_atd.cpp): a new request is one row and one small function.
class Pbx final : private link::FrameSink, private link::FrameWriter {
public:
    struct Options {
        // CTI framing: binary, or STX/ETX in single-station mode.
        link::Framing framing = link::Framing::Binary;
    };

    Pbx(PbxConfig config, PbxOutput& output, platform::Clock& clock, Options options);
    Pbx(PbxConfig config, PbxOutput& output, platform::Clock& clock)
        : Pbx(std::move(config), output, clock, Options{}) {}
    ~Pbx() override;

    // Bytes from the provider. Channel::Serial carries both channels (the
    // type byte tells them apart).
    void receive(link::Channel channel, std::span<const std::uint8_t> bytes);

    std::optional<platform::TimePoint> nextDeadline() const { return m_schedule.nextDeadline(); }
    // Runs the timers due now.
    void runDue() { m_schedule.runDue(m_clock.now()); }
    Schedule& schedule() { return m_schedule; }
    platform::Clock& clock() { return m_clock; }

    // Sending on the PBX's own account. False when the message does not fit
    // one frame.
    bool sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data);
    bool sendAtd(std::uint16_t code, std::span<const std::uint8_t> data,
                 link::AtdShape shape = link::AtdShape::Atd2);
    // Bytes exactly as given, on the CTI or ATD channel.
    void sendRaw(link::Channel channel, std::span<const std::uint8_t> bytes);
    // A rejection of `request` with `cause` to `station`.
    void reject(std::uint16_t station, std::uint8_t request, std::uint8_t cause);

    // Status changes, reported at once when status reporting runs.
    // Return what was done, for the control reply.
    std::string setStationStatus(std::uint16_t index, std::uint8_t status);
    std::string setCoStatus(std::uint16_t index, std::uint8_t status);
    std::string setAttendantStatus(std::uint8_t status);
    // The PBX ends the ATD session on its side (0x0007).
    void endAtdSession();

    // The other side of calls, where no provider line is open (control
    // commands; pbx_calls.cpp). Stations by number, CO lines by number.
    struct CallResult {
        bool ok = true;
        std::string text;
    };
    // The station lifts its handset and dials a station number.
    CallResult stationCall(const std::string& from, const std::string& to);
    CallResult stationAnswer(const std::string& number);
    CallResult stationHangUp(const std::string& number);
    // Off-hook without dialling (busy for callers), or back on-hook.
    CallResult stationBusy(const std::string& number, bool on);
    CallResult stationDnd(const std::string& number, bool on);
    // An outside call on the CO line to a station; the caller ID is digits,
    // or 'N' + the caller's name.
    CallResult coCall(const std::string& co, const std::string& to, const std::string& callerId);
    // The outside party of an outgoing CO call answers, or hangs up.
    CallResult coAnswer(const std::string& co);
    CallResult coHangUp(const std::string& co);
    std::string callsText();
    CallTable& callTable() { return m_calls; }

    // Device-specific output (pbx_devspecific.cpp). A call between stations
    // has ended: printed as a call record while call-record output is on.
    void callRecord(std::uint16_t caller, std::uint16_t called);
    bool callRecordOutput() const { return m_callRecordOutput; }
    // Other system data (event 0x48) to the system index. False when it does
    // not fit one frame or is empty.
    bool sendOtherData(std::span<const std::uint8_t> data);
    // What programmable button `button` of station `index` holds: the type
    // character and its data, or nothing when it was never written.
    std::optional<std::vector<std::uint8_t>> button(std::uint16_t index, unsigned button) const;

    // Station settings (pbx_settings.cpp), by station number: every value
    // the station holds, and writes of one setting refused with `cause`
    // (reads are still answered) until the cause is taken back (nullopt).
    CallResult settingsText(const std::string& number);
    CallResult refuseSetting(const std::string& number, const std::string& keyword,
                             std::optional<std::uint8_t> cause);
    // The value of setting `kind` (1..14) at station `index`.
    const SettingBytes& setting(std::uint16_t index, std::uint32_t kind);

    Faults& faults() { return m_faults; }
    // Off: requests are recorded but not answered (a scenario answers them).
    void setAutoAnswer(bool on) { m_autoAnswer = on; }
    bool autoAnswer() const { return m_autoAnswer; }

    void addObserver(FrameObserver* observer);
    void removeObserver(FrameObserver* observer);
    // Every log line goes here (the log of frames received and sent).
    void setLogSink(std::function<void(const std::string&)> sink) { m_logSink = std::move(sink); }
    // Notes that are not frames ("datagram from a foreign address").
    void note(const std::string& text);
    // Every frame received and sent, in order.
    const std::vector<FrameRecord>& records() const { return m_records; }
    std::vector<FrameRecord> receivedRecords() const;
    platform::TimePoint startTime() const { return m_start; }

    const PbxConfig& config() const { return m_config; }
    link::Framing framing() const { return m_options.framing; }
    bool sessionOpen() const { return m_sessionOpen; }
    bool atdOpen() const { return m_atdOpen; }
    bool statusReporting() const { return m_reporting; }
    bool monitored(std::uint16_t index) const { return m_monitored.count(index) != 0; }
    std::uint8_t stationStatus(std::uint16_t index) const;
    std::uint8_t coStatus(std::uint16_t index) const;
    // A readable summary for the control command "state".
    std::string stateText() const;

    // Status byte of an idle station or CO line.
    static constexpr std::uint8_t kIdleStatus = 1;

private:
    void onFrame(const link::Frame& frame) override;
    bool write(std::span<const std::uint8_t> bytes, link::Channel channel) override;

    void record(FrameRecord record);
    void dispatch(const FrameRecord& record);
    void emit(link::Channel channel, std::vector<std::uint8_t> bytes, FrameRecord record);
    void startKeepAlive();

    // CTI requests (pbx_cti.cpp).
    void handleCti(const CtiRequest& request);
    void ctiSessionControl(const CtiRequest& request);
    void ctiQuery(const CtiRequest& request);
    void ctiServiceRequest(const CtiRequest& request);
    void ctiKeepAlive(const CtiRequest& request);
    void describeStation(std::uint16_t index);
    // Call requests (pbx_calls.cpp).
    void ctiCallStation(const CtiRequest& request);
    void ctiCallViaCo(const CtiRequest& request);
    void ctiAnswerStation(const CtiRequest& request);
    void ctiAnswerCo(const CtiRequest& request);
    void ctiRelease(const CtiRequest& request);
    void ctiHold(const CtiRequest& request);
    void ctiRetrieve(const CtiRequest& request);
    void ctiPark(const CtiRequest& request);
    void ctiUnpark(const CtiRequest& request);
    void ctiDirectedPickup(const CtiRequest& request);
    void ctiGroupPickup(const CtiRequest& request);
    void ctiForward(const CtiRequest& request);
    void ctiDnd(const CtiRequest& request);
    void ctiCampOn(const CtiRequest& request);
    void ctiCallback(const CtiRequest& request);
    void ctiMessage(const CtiRequest& request);
    void ctiIntrude(const CtiRequest& request);
    void ctiCancelCampOn(const CtiRequest& request);
    void ctiCancelMessage(const CtiRequest& request);
    void ctiCancelCallback(const CtiRequest& request);
    void ctiSwap(const CtiRequest& request);
    void ctiTransferSetup(const CtiRequest& request);
    void ctiTransferComplete(const CtiRequest& request);
    void ctiConference(const CtiRequest& request);
    void ctiPrepareAdd(const CtiRequest& request);
    void ctiConferenceAdd(const CtiRequest& request);
    void ctiConferenceRemove(const CtiRequest& request);
    void ctiDialDigits(const CtiRequest& request);
    void ctiRedirect(const CtiRequest& request);
    void ctiKeyPress(const CtiRequest& request);
    void ctiDtmf(const CtiRequest& request);
    // Station settings 0x7D..0x8A (pbx_settings.cpp).
    void ctiSetting(const CtiRequest& request);
    void sendParkSlots();
    // Device-specific requests (pbx_devspecific.cpp).
    void ctiOneByteFunction(const CtiRequest& request);
    void ctiProgrammableButton(const CtiRequest& request);
    void ctiShortMessage(const CtiRequest& request);
    struct CtiRow {
        std::uint8_t code;
        void (Pbx::*handle)(const CtiRequest&);
    };
    static const CtiRow kCtiRows[];

    // ATD requests (pbx_atd.cpp).
    void handleAtd(const AtdRequest& request);
    void atdOpen(const AtdRequest& request);
    void atdSystemValue(const AtdRequest& request);
    void atdVersion(const AtdRequest& request);
    void atdOwnStation(const AtdRequest& request);
    void atdStationCount(const AtdRequest& request);
    void atdCoCount(const AtdRequest& request);
    void atdDirectory(const AtdRequest& request);
    void atdStartStatus(const AtdRequest& request);
    void atdStatusOptions(const AtdRequest& request);
    void atdStationName(const AtdRequest& request);
    void atdStationAttributes(const AtdRequest& request);
    void atdCoAttributes(const AtdRequest& request);
    void atdCoName(const AtdRequest& request);
    void atdCoNameReference(const AtdRequest& request);
    void atdNameTableEntry(const AtdRequest& request);
    void atdClose(const AtdRequest& request);
    void atdPoll(const AtdRequest& request);
    void atdAlive(const AtdRequest& request);
    void atdEnded(const AtdRequest& request);
    void atdCheckAnswer(const AtdRequest& request);
    void sendDirectoryEntry(std::uint16_t index);
    void sendFullStatus();
    struct AtdRow {
        std::uint16_t code;
        // Answered only while the session is open.
        bool needsSession;
        void (Pbx::*handle)(const AtdRequest&);
    };
    static const AtdRow kAtdRows[];

    PbxConfig m_config;
    PbxOutput& m_output;
    platform::Clock& m_clock;
    Options m_options;
    platform::TimePoint m_start;
    Schedule m_schedule;
    Faults m_faults;

    link::Receiver m_receiver;
    link::StxEtxReceiver m_stxReceiver;
    link::Sender m_sender;
    // The frame the sender is building, its record filled by sendCti/sendAtd.
    FrameRecord* m_building = nullptr;
    // Answers to the request in hand go out this much later.
    platform::Duration m_answerDelay{0};

    bool m_autoAnswer = true;
    bool m_sessionOpen = false;
    bool m_atdOpen = false;
    bool m_reporting = false;
    std::set<std::uint16_t> m_monitored;
    std::map<std::uint16_t, std::uint8_t> m_stationStatus;
    std::map<std::uint16_t, std::uint8_t> m_coStatus;
    std::uint8_t m_attendantStatus = kIdleStatus;
    std::vector<std::uint8_t> m_statusOptions;
    CallTable m_calls;
    // Each station's settings, from the configuration on first use.
    std::map<std::uint16_t, std::array<SettingBytes, kSettingKinds>> m_settings;
    std::map<std::pair<std::uint16_t, std::uint32_t>, std::uint8_t> m_settingRefusals;
    // Programmable buttons by station and button number: type, then data.
    std::map<std::pair<std::uint16_t, unsigned>, std::vector<std::uint8_t>> m_buttons;
    bool m_callRecordOutput = false;

    std::vector<FrameObserver*> m_observers;
    std::function<void(const std::string&)> m_logSink;
    std::vector<FrameRecord> m_records;
};

}  // namespace velkor::pbxsim
