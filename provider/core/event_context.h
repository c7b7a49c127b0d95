// Private to the event handlers: what a handler gets, and the handlers of
// each event group.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "provider/core/model.h"
#include "provider/core/party.h"

namespace velkor::core::events {

inline constexpr DWORD kIdle = LINECALLSTATE_IDLE;
inline constexpr DWORD kOffering = LINECALLSTATE_OFFERING;
inline constexpr DWORD kDialtone = LINECALLSTATE_DIALTONE;
inline constexpr DWORD kDialing = LINECALLSTATE_DIALING;
inline constexpr DWORD kRingback = LINECALLSTATE_RINGBACK;
inline constexpr DWORD kBusy = LINECALLSTATE_BUSY;
inline constexpr DWORD kSpecialInfo = LINECALLSTATE_SPECIALINFO;
inline constexpr DWORD kConnected = LINECALLSTATE_CONNECTED;
inline constexpr DWORD kOnHold = LINECALLSTATE_ONHOLD;
inline constexpr DWORD kConferenced = LINECALLSTATE_CONFERENCED;
inline constexpr DWORD kPendConf = LINECALLSTATE_ONHOLDPENDCONF;
inline constexpr DWORD kPendTransfer = LINECALLSTATE_ONHOLDPENDTRANSFER;
inline constexpr DWORD kDisconnected = LINECALLSTATE_DISCONNECTED;
inline constexpr DWORD kUnknown = LINECALLSTATE_UNKNOWN;

inline constexpr DWORD kCallerId = LINECALLINFOSTATE_CALLERID;
inline constexpr DWORD kCalledId = LINECALLINFOSTATE_CALLEDID;
inline constexpr DWORD kConnectedId = LINECALLINFOSTATE_CONNECTEDID;
inline constexpr DWORD kRedirectionId = LINECALLINFOSTATE_REDIRECTIONID;
inline constexpr DWORD kRedirectingId = LINECALLINFOSTATE_REDIRECTINGID;

// Key of the call the PBX opens when a station goes off-hook or starts a
// consultation, before any party is known.
inline constexpr std::string_view kDialtoneKey = "000";
inline constexpr std::string_view kPagingKey = "PAGE";

// One received event. The dispatcher has checked the minimum data length of
// the event's row; every accessor still stays inside the data.
struct Event {
    StationModel& model;
    const link::CtiMessage& message;
    StationRecord* station;  // nullptr for the system (0xFFFF)
    LineContext* line;       // nullptr when the station has no open line
    std::span<const std::uint8_t> data;

    std::uint8_t byte(std::size_t at) const { return at < data.size() ? data[at] : 0; }
    // `count` characters at `at`; empty when the data is shorter.
    std::string chars(std::size_t at, std::size_t count) const {
        if (at + count > data.size()) return {};
        return std::string(reinterpret_cast<const char*>(data.data() + at), count);
    }
    std::string num(std::size_t at) const { return chars(at, 4); }
    std::string co3(std::size_t at) const { return chars(at, 3); }
    // The text from `at` to the end of the data.
    std::string rest(std::size_t at) const {
        return at < data.size() ? chars(at, data.size() - at) : std::string{};
    }
    bool isOwnNumber(std::string_view number) const {
        return station && !number.empty() && station->number == number;
    }

    CallContext* call(std::string_view key) const { return StationModel::findCallByKey(*line, key); }
    CallContext* inState(DWORD mask, const CallContext* except = nullptr) const {
        return StationModel::findCallByStateMask(*line, mask, except);
    }
    bool any(DWORD mask, const CallContext* except = nullptr) const {
        return StationModel::hasCallInStates(*line, mask, except);
    }
    // A new call, announced to TAPI; nullptr when TAPI refused it.
    CallContext* newCall(std::string_view key, DWORD origin, DWORD reason) const {
        CallContext* c = model.createCall(*line, true);
        if (c) {
            c->key = std::string(key);
            c->origin = origin;
            c->reason = reason;
        }
        return c;
    }
    // The dial-tone call of a consultation or conference: the call the
    // provider made for TAPI's set-up request when there is one (state 0,
    // not seen by the PBX yet), else a new one.
    CallContext* consultationCall(bool controller) const {
        for (const auto& c : line->calls) {
            if (c->state == 0 && (c->role == kRoleConferenceController) == controller) {
                if (!controller) c->key = std::string(kDialtoneKey);
                return c.get();
            }
        }
        CallContext* c = controller
                             ? newCall({}, LINECALLORIGIN_CONFERENCE, LINECALLREASON_DIRECT)
                             : newCall(kDialtoneKey, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT);
        if (c && controller) c->role = kRoleConferenceController;
        return c;
    }
    void state(CallContext& c, DWORD s, DWORD mode = 0) const { model.setCallState(*line, c, s, mode); }
    // Every call of the line in one of `mask` (but `except`) goes to `s`.
    void allInStates(DWORD mask, DWORD s, DWORD mode = 0, const CallContext* except = nullptr) const;
    void info(CallContext& c, DWORD flags) const { model.raiseCallInfo(*line, c, flags); }
    void devSpecific(DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) const {
        model.raiseDevSpecific(*line, p1, p2, p3);
    }
    // Every open line of the table.
    template <typename F>
    void eachOpenLine(F f) const {
        for (StationRecord& r : model.stations()) {
            if (r.line) f(*r.line);
        }
    }
};

using Handler = void (*)(Event&);

// Call events.
void incomingCall(Event&);         // 0x20
void released(Event&);             // 0x21
void answered(Event&);             // 0x22
void callbackOffer(Event&);        // 0x23
void heldCallAppears(Event&);      // 0x24
void transferredConnected(Event&); // 0x26
void pickedUp(Event&);             // 0x27
void heldCallReleased(Event&);     // 0x29
void releasedWithDrop(Event&);     // 0x2A
void transferTarget(Event&);       // 0x2B
void incomingCoCall(Event&);       // 0x2D
void disconnectedWithCause(Event&);// 0x2E
void coCallConnected(Event&);      // 0x33
void stationCallProgress(Event&);  // 0x35
void pagingProgress(Event&);       // 0x36
void coCallProgress(Event&);       // 0x37
void putOnHold(Event&);            // 0x38
void holdProgress(Event&);         // 0x39
void ringback(Event&);             // 0x3A
void heldCallReconnected(Event&);  // 0x47
// Outgoing results.
void outgoingCallResult(Event&);   // 0x45
void outgoingCoCallResult(Event&); // 0x46
// Conference.
void conferencePartyReleased(Event&); // 0x2C
void conferenceFormed(Event&);     // 0x4B
void conferenceSplit(Event&);      // 0x4C
// Feature status.
void featureStatus(Event&);        // 0x3C
// Station and system.
void stationAdded(Event&);         // 0x3B
void callRecordText(Event&);       // 0x3F
void systemNotice(Event&);         // 0x40
void parkSlotStatus(Event&);       // 0x41
void callInfoUpdate(Event&);       // 0x42
void twoStateIndicator(Event&);    // 0x44
void otherSystemData(Event&);      // 0x48
void shortMessageReceived(Event&); // 0x4A
void noEffect(Event&);             // 0x25, 0x28

}  // namespace velkor::core::events
