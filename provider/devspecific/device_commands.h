#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <span>
#include <string_view>

#include "platform/time/clock.h"
#include "provider/core/model.h"
#include "provider/devspecific/command_keywords.h"
#include "provider/devspecific/data_subscriptions.h"
#include "provider/link/handlers.h"

namespace velkor::devspecific {

// A row of the paging and voice-unit sub-command tables.
struct SubCommand;

// TSPI_lineDevSpecific: the text commands applications send for the PBX
// features TAPI has no function for. A command is parsed on TAPI's thread and
// becomes one CTI request (a feature request to the station, or a service
// request to the system); the PBX's answer completes it on the receiving
// thread. Call-control replies (0x79, 0x7A, 0x62, 0x8F, 0x96, 0x98) are
// completed by the line operations; the service requests of the commands
// (types 1, 2, 4, 0xE1, 0xE2) are completed here, with what they switch on.
class DeviceCommands final : public link::ServiceAnswerHandler, public link::AtdHandler {
public:
    // No command is longer than the largest request it turns into.
    static constexpr std::size_t kMaxCommand = 64;
    // The PBX's station or CO details (ATD) a sta_info or col_info waits for.
    static constexpr platform::Duration kDetailsWait = std::chrono::milliseconds(5000);
    // A directory still being loaded is looked at this many times.
    static constexpr int kDirectoryAttempts = 5;

    // Service request types of the commands.
    static constexpr std::uint8_t kServiceCallRecords = 1;
    static constexpr std::uint8_t kServiceOtherData = 2;
    static constexpr std::uint8_t kServiceStatus = 4;
    static constexpr std::uint8_t kServiceStationTypes = 0xE1;
    static constexpr std::uint8_t kServiceStationFlex = 0xE2;

    // Whether the ATD session is open.
    using AtdActive = std::function<bool()>;
    // The computer's local time, for gettime.
    using LocalTime = std::function<std::tm()>;

    DeviceCommands(core::StationModel& model, core::AtdSender& atd, AtdActive atdActive,
                   platform::Clock& clock, LocalTime localTime = {});

    // Where the call-record and other-data subscriptions go; none drops them.
    void setDataSubscriptions(DataSubscriptions* subscriptions) { m_subscriptions = subscriptions; }

    // `params` holds `size` bytes of command text, a NUL ending it early.
    // The request ID, or a LINEERR_* value; nothing is sent on a failure.
    LONG lineDevSpecific(DRV_REQUESTID id, HDRVLINE hdLine, DWORD addressId, const void* params,
                         DWORD size);

    // The accepting answers of the commands' service requests.
    void onServiceAnswer(const link::ServiceAnswer& answer) override;
    // Replies to 0x96: a button read reports the button (LINE_DEVSPECIFIC 33).
    // Completion is the line operations' business.
    void onReply(const link::CtiMessage& message);
    // The ATD messages that end a station or CO details request.
    void onAtd(const link::AtdMessage& message) override;

private:
    enum class Restriction : std::uint8_t {
        None,
        // Not in single-station mode.
        NotSingleStation,
        // Not in single-station mode on System 0.
        NotSmallSingleStation,
    };

    struct Request {
        CommandKind kind;
        DRV_REQUESTID id;
        DRV_REQUESTID core::LineContext::*slot;
        core::StationRecord& station;
        core::LineContext& line;
        // After the keyword: separator, then arguments.
        std::string_view argument;
        // The call-state lock, let go while the command waits for the PBX.
        std::unique_lock<platform::CriticalSection>& lock;
    };
    using Builder = bool (DeviceCommands::*)(Request&);

    struct KindRow {
        CommandKind kind;
        Restriction restriction;
        DRV_REQUESTID core::LineContext::*slot;
        Builder build;
    };
    static const KindRow kKinds[];
    static const KindRow* kindRow(CommandKind kind);
    bool refused(Restriction restriction) const;

    // What a service request's argument is and what must hold before it goes.
    enum class Argument : std::uint8_t {
        None,
        SubtypeBeginEnd,  // b / e as subtype 1 / 2
        ExtraBeginEnd,    // b / e as extra byte 1 / 2
        HoldMode,         // exc / sys
        StationIndex,     // directory index n, 2 bytes of extra
        StationDetails,   // directory index n, station details fetched first
        CoDetails,        // CO index n, CO details fetched first
        One,              // extra byte 1
    };
    enum class Needs : std::uint8_t {
        Nothing,
        Atd,
        AtdStationDirectory,
        AtdCoDirectory,
    };
    using Accept = void (DeviceCommands::*)(core::LineContext&, std::span<const std::uint8_t>);
    struct ServiceRow {
        CommandKind kind;
        std::uint8_t type;
        std::uint8_t subtype;
        Argument argument;
        Needs needs;
        platform::Duration retryPause;
        // What the accepting answer switches on: a flag of the line, the
        // LINE_DEVSPECIFIC (p1, p2, 0) announcing it (p1 0: none), the rest.
        bool core::LineContext::*flag;
        DWORD notice1;
        DWORD notice2;
        Accept accept;
    };
    static const ServiceRow kServices[];
    static const ServiceRow* serviceRow(CommandKind kind);
    static const ServiceRow* answerRow(std::uint8_t type, std::uint8_t subtype);

    // Builders: true when the request went to the PBX.
    bool paging(Request& r);
    bool voiceUnit(Request& r);
    bool service(Request& r);
    bool offnetForward(Request& r);
    bool pushButton(Request& r);
    bool followMe(Request& r);
    bool flexButtonRead(Request& r);
    bool flexButtonWrite(Request& r);
    bool flexButtonAction(Request& r);
    bool shortMessage(Request& r);

    // Parks the request ID in its slot and sends; the slot is given back
    // when the link does not take the request.
    bool send(Request& r, std::uint16_t station, std::uint8_t code,
              std::span<const std::uint8_t> data);
    bool sendToStation(Request& r, std::uint8_t code, std::span<const std::uint8_t> data) {
        return send(r, r.station.index, code, data);
    }
    // Paging and voice-unit sub-commands share their table form.
    bool subCommand(Request& r, std::span<const SubCommand> table);

    // Looks at the directory up to kDirectoryAttempts times, `pause` apart.
    bool directoryComplete(Request& r, Needs needs, platform::Duration pause);
    // Asks the PBX for a station's or CO's details and waits for the last of them.
    enum class Details : std::uint8_t { None, Station, Co };
    bool fetchDetails(Request& r, Details details, std::uint16_t index);

    // Accepting answers beyond flag and notice.
    void acceptCallRecords(core::LineContext& line, std::span<const std::uint8_t> payload);
    void acceptOtherData(core::LineContext& line, std::span<const std::uint8_t> payload);
    void acceptTime(core::LineContext& line, std::span<const std::uint8_t> payload);
    void acceptStationStatus(core::LineContext& line, std::span<const std::uint8_t> payload);
    void acceptCoStatus(core::LineContext& line, std::span<const std::uint8_t> payload);
    void acceptStationNumber(core::LineContext& line, std::span<const std::uint8_t> payload);
    void acceptStationFlex(core::LineContext& line, std::span<const std::uint8_t> payload);
    void subscription(DataKind kind, core::LineContext& line, std::span<const std::uint8_t> payload);
    // The directory entry of the line's own station.
    const core::StaDirectoryEntry* ownEntry(const core::LineContext& line);

    core::StationModel& m_model;
    core::AtdSender& m_atd;
    AtdActive m_atdActive;
    platform::Clock& m_clock;
    LocalTime m_localTime;
    DataSubscriptions* m_subscriptions = nullptr;

    // The details request in progress (one at a time: TAPI's calls are
    // serialised) and whether its last answer has come.
    std::mutex m_detailsMutex;
    std::condition_variable m_detailsChanged;
    Details m_awaited = Details::None;
    std::uint16_t m_awaitedIndex = 0;
    bool m_detailsDone = false;
};

}  // namespace velkor::devspecific
