// Results of outgoing calls: 0x45 for station calls, 0x46 for CO calls.
#include <cstring>

#include "provider/core/event_context.h"
#include "provider/link/catalogue.h"

namespace velkor::core::events {

namespace {

bool oneOf(std::uint8_t c, const char* set) {
    return c != 0 && std::strchr(set, c) != nullptr;
}

constexpr std::uint8_t kProgressDir = '!';

// The call a result is about: first the one TSPI_lineMakeCall created (state
// 0 until the first result), then one in the states the PBX reports on.
CallContext* resultCall(Event& e, DWORD states) {
    if (CallContext* c = StationModel::findCallByState(*e.line, 0)) return c;
    return e.inState(states);
}

}  // namespace

void outgoingCallResult(Event& e) {
    const std::uint8_t dir = e.byte(0);
    const std::uint8_t sub = e.byte(1);
    const std::string num = e.num(2);
    const std::string num2 = e.num(6);
    CallContext* c = resultCall(e, kOffering | kDialtone | kRingback | kConnected);
    if (!c && dir == kProgressDir && (sub == '%' || sub == '6')) c = e.inState(kBusy);
    if (c && c->role == kRoleBlindTransfer) {
        // The consultation call of a blind transfer reached its target: the
        // PBX completes the transfer on request.
        e.model.sender().sendCti(e.message.station, link::code::TransferComplete, {});
        return;
    }
    if (!c) c = e.newCall({}, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT);
    if (!c) return;
    const auto ringingAt = [&](const std::string& key) {
        if (key.empty()) return;
        c->key = key;
        c->partyKind = PartyKind::Station;
        c->called = stationParty(key);
        e.state(*c, kRingback);
        e.info(*c, kCalledId);
    };
    if (dir == kProgressDir) {
        if (sub == 0x22) {
            c->key = num;
            c->called = stationParty(num);
            c->connected = stationParty(num);
            e.state(*c, kConnected);
            e.info(*c, kCalledId | kConnectedId);
        } else if (sub == ',') {
            e.state(*c, kDisconnected, LINEDISCONNECTMODE_NORMAL);
            e.line->messageWaiting = true;
            e.devSpecific(5, 0, 0);
        } else if (sub == '6') {
            c->dialled = trimmed(num);
            e.state(*c, kRingback);
        } else if (oneOf(sub, "=T")) {
            ringingAt(num2);
        } else if (oneOf(sub, "!#%&-")) {
            ringingAt(num);
        } else if (oneOf(sub, "DN")) {
            // Forwarded out on a CO line: the first three characters carry it.
            const std::string co3 = e.co3(2);
            c->key = co3;
            c->trunk = coTrunk(co3);
            c->reason = LINECALLREASON_TRANSFER;
            c->origin = LINECALLORIGIN_OUTBOUND;
            c->redirection = coParty(co3, {}, &c->partyKind);
            e.state(*c, kRingback);
            e.info(*c, kRedirectionId);
        } else {
            ringingAt(num2.empty() || trimmed(num2).empty() ? num : num2);
        }
        return;
    }
    if (sub == 0x22) {
        c->called = stationParty(num);
        e.state(*c, kBusy, LINEBUSYMODE_STATION);
        e.info(*c, kCalledId);
    } else if (sub == '%') {
        c->called = stationParty(num);
        e.state(*c, kBusy, kBusyModeRefused);
        e.info(*c, kCalledId);
    } else if (sub == ',') {
        e.state(*c, kIdle);
    } else {
        e.state(*c, kDisconnected, 0);
    }
}

namespace {

// Event 0x46 with dir 0x22: how the CO call failed.
struct CoFailureRow {
    const char* subs;
    DWORD state;
    DWORD mode;
};

constexpr CoFailureRow kCoFailures[] = {
    {"!;", kDisconnected, LINEDISCONNECTMODE_REJECT},
    {"\"", kBusy, LINEBUSYMODE_TRUNK},
    {"/\x80\x81", kDisconnected, LINEDISCONNECTMODE_BADADDRESS},
    {"35C", kDisconnected, LINEDISCONNECTMODE_NORMAL},
};

}  // namespace

void outgoingCoCallResult(Event& e) {
    const std::uint8_t dir = e.byte(0);
    const std::uint8_t sub = e.byte(1);
    if (dir != kProgressDir && dir != 0x22) return;
    const std::string co3 = e.co3(2);
    DWORD preferred = kDialtone;
    if (oneOf(sub, "=P")) preferred = kConnected;
    if (sub == 'T') preferred = kRingback;
    CallContext* c = e.inState(preferred);
    if (!c) c = resultCall(e, kDialtone | kRingback | kConnected | kBusy);
    if (!c) c = e.newCall(kDialtoneKey, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT);
    if (!c) return;
    c->key = co3;
    c->trunk = coTrunk(co3);
    c->called = coParty(co3, e.rest(5), &c->partyKind);
    e.state(*c, kRingback);
    if (dir == 0x22) {
        DWORD state = kDisconnected;
        DWORD mode = LINEDISCONNECTMODE_UNKNOWN;
        for (const CoFailureRow& row : kCoFailures) {
            if (oneOf(sub, row.subs)) {
                state = row.state;
                mode = row.mode;
            }
        }
        e.state(*c, state, mode);
    }
    e.info(*c, kCalledId);
}

}  // namespace velkor::core::events
