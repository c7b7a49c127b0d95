// Call events: incoming calls, answers, releases, holds and the progress of
// outgoing calls.
#include <cstring>

#include "provider/core/event_context.h"
#include "provider/link/catalogue.h"

namespace velkor::core::events {

namespace {

bool oneOf(std::uint8_t c, const char* set) {
    return c != 0 && std::strchr(set, c) != nullptr;
}

// Event 0x20: the sub-code says why the call comes in.
enum class Offer : std::uint8_t {
    Offering,            // OFFERING
    OfferingOrRingback,  // OFFERING, or RINGBACK when the call was ONHOLD
    None,                // no state change
};

struct IncomingRow {
    const char* subs;
    DWORD reason;
    Offer offer;
    bool dropProgress;  // DIALTONE/RINGBACK/BUSY calls go IDLE first
    bool redirecting;   // redirecting party = num2
    DWORD info;
    bool connect;       // answered at once: connected = num, CONNECTED
    bool inUse;
};

constexpr DWORD kForwarded = LINECALLREASON_FWDBUSY | LINECALLREASON_FWDNOANSWER | LINECALLREASON_FWDUNCOND;

//   subs        reason                        offer                      drop   redir  info                      connect inUse
constexpr IncomingRow kIncoming[] = {
    {"!%'()*1@", LINECALLREASON_DIRECT,         Offer::OfferingOrRingback, false, false, kCallerId,                false, true},
    {"\"",       LINECALLREASON_DIRECT,         Offer::OfferingOrRingback, false, false, 0,                        true,  true},
    {"$",        LINECALLREASON_REMINDER,       Offer::Offering,           true,  false, 0,                        false, false},
    {"+",        LINECALLREASON_CALLCOMPLETION, Offer::Offering,           false, false, kCallerId,                false, false},
    {"-",        kForwarded,                    Offer::Offering,           false, true,  kCallerId | kRedirectingId, false, false},
    {"6",        LINECALLREASON_DIRECT,         Offer::Offering,           false, false, kCallerId,                false, false},
    {"=",        LINECALLREASON_TRANSFER,       Offer::None,               false, true,  kCallerId | kRedirectingId, false, false},
    {"P",        LINECALLREASON_TRANSFER,       Offer::Offering,           false, true,  kCallerId | kRedirectingId, false, false},
    {"T",        LINECALLREASON_REDIRECT,       Offer::Offering,           false, true,  kCallerId | kRedirectingId, false, false},
};

constexpr DWORD kProgress = kDialtone | kRingback | kBusy;

}  // namespace

void incomingCall(Event& e) {
    const std::uint8_t sub = e.byte(0);
    const std::string num = e.num(1);
    const std::string num2 = e.num(5);
    // The PBX also reports the station's own calls back to it.
    if (e.isOwnNumber(num)) return;
    const IncomingRow* row = nullptr;
    for (const IncomingRow& r : kIncoming) {
        if (oneOf(sub, r.subs)) row = &r;
    }
    if (!row) return;
    if (row->dropProgress) e.allInStates(kProgress, kIdle);
    CallContext* c = e.call(num);
    const bool wasHeld = c && c->state == kOnHold;
    if (!c) c = e.newCall(num, LINECALLORIGIN_INTERNAL, row->reason);
    if (!c) return;
    c->origin = LINECALLORIGIN_INTERNAL;
    c->reason = row->reason;
    c->partyKind = PartyKind::Station;
    c->caller = stationParty(num);
    if (row->redirecting && !num2.empty()) c->redirecting = stationParty(num2);
    if (row->offer == Offer::OfferingOrRingback) e.state(*c, wasHeld ? kRingback : kOffering);
    if (row->offer == Offer::Offering) e.state(*c, kOffering);
    if (row->info) e.info(*c, row->info);
    if (row->connect) {
        c->connected = stationParty(num);
        e.info(*c, kCallerId | kConnectedId);
        e.state(*c, kConnected);
    }
    if (row->inUse) e.line->inUse = true;
}

void released(Event& e) {
    const std::uint8_t sub = e.byte(0);
    if (sub == 0x80) {
        e.line->messageWaiting = false;
        e.line->doNotDisturb = false;
        return;
    }
    const std::string num = e.num(1);
    if (num.empty()) return;
    if (sub == 'M') {
        CallContext* paging = e.call(kPagingKey);
        if (!paging) paging = e.call(num);
        if (paging) e.state(*paging, kIdle);
        return;
    }
    CallContext* c = e.call(num);
    if (!c) {
        // The own number: the station itself left a conference it controls.
        if (!e.isOwnNumber(num)) return;
        CallContext* controller = StationModel::findCallByRole(*e.line, kRoleConferenceController);
        if (!controller) return;
        if (controller->state == kConnected) {
            e.state(*controller, kPendConf);
        } else if (controller->state == kPendConf) {
            e.allInStates(kDialtone | kBusy, kDisconnected, LINEDISCONNECTMODE_NORMAL);
        }
        return;
    }
    constexpr DWORD kActive = kOffering | kDialtone | kRingback | kBusy | kConnected | kOnHold | kPendTransfer;
    if (c->state & kActive) {
        switch (sub) {
        case '7':
        case '?':
            e.state(*c, kIdle);
            break;
        case ':':
            e.state(*c, kIdle);
            e.line->inUse = false;
            break;
        case '=':
            if (e.line->releasedByConference) e.state(*c, kIdle);
            else e.state(*c, kDisconnected, LINEDISCONNECTMODE_NORMAL);
            break;
        default:
            e.state(*c, kDisconnected, LINEDISCONNECTMODE_NORMAL);
            break;
        }
    } else if (c->state == kDisconnected) {
        e.state(*c, kIdle);
    } else if (c->state == kConferenced) {
        e.state(*c, kIdle);
        e.model.conferenceCleanUp(*e.line);
    }
}

void answered(Event& e) {
    const std::string num = e.num(0);
    CallContext* c = e.call(num);
    if (!c) {
        // Answered before the provider saw it offered: announce it first.
        c = e.newCall(num, LINECALLORIGIN_UNKNOWN, LINECALLREASON_DIRECT);
        if (!c) return;
        c->caller = stationParty(num);
        e.info(*c, kCallerId);
    }
    constexpr DWORD kAnswerable = kOffering | kRingback | kBusy | kConnected | kOnHold | kPendTransfer;
    if (c->state & kAnswerable) {
        e.allInStates(kDialtone | kRingback | kBusy | kOnHold | kDisconnected, kIdle, 0, c);
    }
    c->connected = stationParty(num);
    e.state(*c, kConnected);
    e.info(*c, kConnectedId);
}

void callbackOffer(Event& e) {
    const bool named = e.byte(0) == 'N';
    const std::string num = named ? std::string{} : e.num(0);
    if (!named && num.empty()) return;
    std::erase(e.line->pendingCallbacks, num);
    CallContext* c = e.newCall(named ? std::string{} : num, named ? 0 : LINECALLORIGIN_INTERNAL,
                               LINECALLREASON_CALLCOMPLETION);
    if (!c) return;
    c->callback = true;
    c->completionMode = kCompletionCallback;
    if (named) {
        c->partyKind = PartyKind::CoWithName;
        c->called.name = trimmed(e.rest(1));
    } else {
        c->called = stationParty(num);
    }
    e.state(*c, kOffering);
    e.info(*c, kCalledId);
}

void heldCallAppears(Event& e) {
    if (!e.any(kConnected)) return;
    const std::string num = e.num(1);
    CallContext* c = e.call(num);
    if (!c) c = e.newCall(num, LINECALLORIGIN_INTERNAL, LINECALLREASON_CAMPEDON);
    if (!c) return;
    c->reason = LINECALLREASON_CAMPEDON;
    c->origin = LINECALLORIGIN_INTERNAL;
    c->caller = stationParty(num);
    e.state(*c, kOnHold);
    e.info(*c, kCallerId);
    e.line->campedOnCall = c;
}

void heldCallReleased(Event& e) {
    CallContext* held = e.line->campedOnCall;
    if (!held || held->key != e.num(1)) return;
    e.line->campedOnCall = nullptr;
    e.state(*held, kIdle);
    if (CallContext* active = e.inState(kConnected)) {
        // Announced again so that TAPI sees the active call take the line back.
        active->state = kUnknown;
        e.state(*active, kConnected);
        e.info(*active, kConnectedId);
    }
}

void transferredConnected(Event& e) {
    CallContext* c = e.call(e.num(0));
    if (!c || c->state != kConnected) return;
    const std::string num2 = e.num(4);
    c->key = num2;
    c->reason = LINECALLREASON_TRANSFER;
    c->origin = LINECALLORIGIN_INTERNAL;
    c->partyKind = PartyKind::Station;
    c->connected = stationParty(num2);
    e.info(*c, kConnectedId);
}

void pickedUp(Event& e) {
    const std::string num = e.num(0);
    CallContext* c = e.call(num);
    if (!c || !(c->state & (kRingback | kConnected))) return;
    c->reason = LINECALLREASON_PICKUP;
    c->connected = stationParty(num);
    e.info(*c, kConnectedId);
}

void releasedWithDrop(Event& e) {
    const std::string num = e.num(0);
    CallContext* c = e.call(num);
    if (!c) return;
    if (c->state == kConnected) {
        // The PBX waits for the station to release its side.
        e.line->dropRequested = true;
        e.model.sender().sendCti(e.message.station, link::code::Release, {});
    }
    e.state(*c, kDisconnected, LINEDISCONNECTMODE_NORMAL);
}

void transferTarget(Event& e) {
    const std::string num = e.num(0);
    if (e.isOwnNumber(num)) return;
    if (CallContext* c = e.call(num)) c->role = kRoleTransferTarget;
}

void incomingCoCall(Event& e) {
    const std::uint8_t sub = e.byte(0);
    const std::string num = e.num(1);
    const std::string co3 = e.co3(5);
    CallContext* c = sub == '=' ? e.call(num) : e.call(co3);
    if (!c) c = e.newCall(co3, LINECALLORIGIN_EXTERNAL, LINECALLREASON_DIRECT);
    if (!c) return;
    c->key = co3;
    c->trunk = coTrunk(co3);
    c->caller = coParty(co3, e.rest(8), &c->partyKind);
    DWORD info = kCallerId;
    switch (sub) {
    case '=':
        c->reason = LINECALLREASON_TRANSFER;
        break;
    case 'P':
    case 'T':
    case 'V':
        c->redirecting = stationParty(num);
        info = kCallerId | kRedirectingId;
        break;
    case 'Q':
    case 'R':
        c->reason = LINECALLREASON_REMINDER;
        break;
    case 'S':
        c->reason = LINECALLREASON_REMINDER;
        e.allInStates(kBusy | kRingback, kDisconnected, LINEDISCONNECTMODE_NORMAL, c);
        break;
    default:
        break;
    }
    e.state(*c, kOffering);
    e.info(*c, info);
}

namespace {

// Event 0x2E: what a cause does to a CO call, by the state the call is in.
// State 0 marks the rows the code below decides.
struct CauseRow {
    const char* causes;
    DWORD state;
    DWORD mode;
};

constexpr CauseRow kCausesSettingUp[] = {
    {"7?", 0, 0},  // IDLE while a transfer is held, else DISCONNECTED
    {"89:", kIdle, 0},
    {";<=B", kDisconnected, LINEDISCONNECTMODE_NORMAL},
};

constexpr CauseRow kCausesConnected[] = {
    {"789;=B", kDisconnected, LINEDISCONNECTMODE_NORMAL},
    {"?", 0, 0},  // IDLE when a conference or transfer took the call, else DISCONNECTED
};

const CauseRow* findCause(std::span<const CauseRow> rows, std::uint8_t cause) {
    for (const CauseRow& r : rows) {
        if (oneOf(cause, r.causes)) return &r;
    }
    return nullptr;
}

}  // namespace

void disconnectedWithCause(Event& e) {
    const std::uint8_t cause = e.byte(0);
    CallContext* c = e.call(e.co3(1));
    if (!c) return;
    constexpr DWORD kSettingUp = kDialtone | kDialing | kRingback | kBusy | kSpecialInfo | kOnHold | kPendTransfer;
    if (c->state & kSettingUp) {
        const CauseRow* row = findCause(kCausesSettingUp, cause);
        if (!row) {
            e.state(*c, kDisconnected, LINEDISCONNECTMODE_UNKNOWN);
        } else if (row->state == 0) {
            if (e.any(kPendTransfer, c)) e.state(*c, kIdle);
            else e.state(*c, kDisconnected, 0);
        } else {
            e.state(*c, row->state, row->mode);
        }
    } else if (c->state == kOffering) {
        e.state(*c, kIdle);
    } else if (c->state == kConnected) {
        const CauseRow* row = findCause(kCausesConnected, cause);
        if (!row) {
            e.state(*c, kDisconnected, LINEDISCONNECTMODE_UNKNOWN);
        } else if (row->state == 0) {
            if (e.line->releasedByConference || e.line->pendingTransfer != 0) e.state(*c, kIdle);
            else e.state(*c, kDisconnected, LINEDISCONNECTMODE_NORMAL);
        } else {
            e.state(*c, row->state, row->mode);
        }
    } else if (c->state == kConferenced) {
        e.state(*c, kIdle);
        e.model.conferenceCleanUp(*e.line);
    }
}

void coCallConnected(Event& e) {
    const std::string num = e.num(0);
    const std::string co3 = e.co3(4);
    CallContext* c = e.call(num);
    if (!c) return;
    if (c->state == kConnected) {
        // A station handed the call over to a CO line.
        c->key = co3;
        c->trunk = coTrunk(co3);
        c->reason = LINECALLREASON_TRANSFER;
        c->caller = coParty(co3, e.rest(7), &c->partyKind);
        c->connected = c->caller;
        e.info(*c, kCallerId | kConnectedId);
    } else if (c->state == kOnHold) {
        c->redirecting = stationParty(num);
        c->connected = coParty(co3, e.rest(7), nullptr);
        e.state(*c, kConnected);
        e.info(*c, kConnectedId | kRedirectingId);
    }
}

namespace {

// The outgoing call a progress event without a matching key is about.
CallContext* outgoingCall(Event& e, std::string_view key) {
    if (CallContext* c = e.call(key)) return c;
    if (CallContext* c = StationModel::findCallByState(*e.line, 0)) return c;
    return e.inState(kDialtone | kRingback | kBusy);
}

}  // namespace

void stationCallProgress(Event& e) {
    const std::uint8_t sub = e.byte(0);
    const std::string num = e.num(1);
    CallContext* c = outgoingCall(e, num);
    if (!c) return;
    switch (sub) {
    case '1':
    case ':':
        if (!(c->state & (kRingback | kBusy))) return;
        c->origin = LINECALLORIGIN_OUTBOUND;
        e.state(*c, kConnected);
        break;
    case '<':
        c->key = num;
        break;
    case '!':
    case '&':
    case '-':
    case '?':
    case 0x40:
        c->redirection = stationParty(num);
        e.info(*c, kRedirectionId);
        break;
    case '=':
        if (c->state & (kIdle | kDisconnected)) return;
        c->reason = LINECALLREASON_TRANSFER;
        e.state(*c, kRingback);
        break;
    case 'O': {
        // The station call went out on a CO line: the first three characters carry it.
        const std::string co3 = e.co3(1);
        c->key = co3;
        c->trunk = coTrunk(co3);
        c->called = coParty(co3, {}, &c->partyKind);
        e.state(*c, kRingback);
        break;
    }
    default:
        break;
    }
}

void pagingProgress(Event& e) {
    const std::uint8_t sub = e.byte(0);
    const std::string num = e.num(1);
    const std::string num2 = e.num(5);
    if (sub == 'M') {
        e.line->pagingActive = true;
        CallContext* c = e.call(kPagingKey);
        if (!c) c = e.newCall(kPagingKey, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT);
        if (!c) return;
        e.state(*c, kConnected);
        e.info(*c, kConnectedId);
        return;
    }
    CallContext* c = e.call(kPagingKey);
    if (!c) c = e.call(num);
    if (!c) c = e.call(num2);
    if (!c) {
        if (num.empty()) return;
        c = e.newCall(num, LINECALLORIGIN_UNKNOWN, LINECALLREASON_DIRECT);
        if (!c) return;
        c->caller = stationParty(num);
        e.info(*c, kCallerId);
    }
    switch (sub) {
    case '!':
        c->called = stationParty(num2);
        c->connected = stationParty(num2);
        e.info(*c, kCalledId);
        break;
    case '%':
        if (c->state == kConferenced) e.state(*c, kConnected);
        if (c->role == kRoleConferenceMember) c->role = kRoleOrdinary;
        break;
    case ',':
        e.state(*c, kDisconnected, LINEDISCONNECTMODE_NORMAL);
        e.line->messageWaiting = true;
        e.devSpecific(5, 0, 0);
        break;
    case '=':
        c->reason = LINECALLREASON_TRANSFER;
        e.state(*c, kConnected);
        break;
    case 'U':
        c->key = num;
        c->called = stationParty(num);
        c->connected = stationParty(num);
        e.info(*c, kCalledId | kConnectedId);
        break;
    default:
        e.state(*c, kConnected);
        break;
    }
    e.info(*c, kConnectedId);
}

void coCallProgress(Event& e) {
    const std::uint8_t sub = e.byte(0);
    const std::string co3 = e.co3(1);
    CallContext* c = e.call(co3);
    bool fresh = false;
    if (!c) {
        c = e.call(kDialtoneKey);
        fresh = c != nullptr;
    }
    if (!c) {
        // The call TAPI asked for (unpark, pickup) before the PBX knew it.
        c = StationModel::findCallByState(*e.line, 0);
        if (c) c->partyKind = PartyKind::Co;
        fresh = c != nullptr;
    }
    if (!c) {
        c = e.newCall(co3, LINECALLORIGIN_UNKNOWN, LINECALLREASON_DIRECT);
        if (!c) return;
        c->partyKind = PartyKind::Co;
        fresh = true;
    }
    const bool unpark = c->reason == LINECALLREASON_UNPARK;
    if (unpark || fresh) {
        c->key = co3;
        c->trunk = coTrunk(co3);
        c->called = coParty(co3, e.rest(4), &c->partyKind);
        c->connected = c->called;
    }
    if (unpark) {
        e.state(*c, kConnected);
    } else if (sub == 'J') {
        e.state(*c, kBusy, LINEBUSYMODE_TRUNK);
    } else {
        e.state(*c, kConnected);
    }
}

void putOnHold(Event& e) {
    CallContext* c = e.call(e.co3(0));
    if (c && c->state == kConnected) e.state(*c, kOnHold);
}

void holdProgress(Event& e) {
    // A CO call has no 4-character number: the PBX puts the line's three
    // characters first and pads with a blank, as it does where a CO line
    // stands in for a station number in 0x35 and 0x45.
    const std::string num = e.num(0);
    CallContext* c = e.call(num);
    if (!c && num.size() == 4 && num[3] == ' ') c = e.call(num.substr(0, 3));
    if (!c) return;
    switch (e.byte(4)) {
    case '!':
        // Only confirms a call that is already connected.
        if (c->state == kConnected) e.state(*c, kConnected);
        break;
    case '#':
        // Consultation: the PBX holds the call and gives the station dial tone.
        e.state(*c, kOnHold);
        if (CallContext* d = e.consultationCall(false)) e.state(*d, kDialtone);
        break;
    case '$':
        e.state(*c, kOnHold);
        break;
    default:
        break;
    }
}

void ringback(Event& e) {
    if (CallContext* c = e.call(e.num(0))) e.state(*c, kRingback);
}

void heldCallReconnected(Event& e) {
    if (e.line->pendingGeneral != 0) {
        e.model.events().complete(e.line->pendingGeneral, 0);
        e.line->pendingGeneral = 0;
    }
    // With several calls on hold, the one the PBX names comes back; a held
    // call whose party the PBX has renumbered since takes the new number.
    const std::string num = e.num(0);
    CallContext* held = e.call(num);
    if (!held || held->state != kOnHold) held = e.inState(kOnHold);
    if (!held) return;
    held->key = num;
    e.state(*held, kConnected);
}

}  // namespace velkor::core::events
