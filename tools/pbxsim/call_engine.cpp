// The PBX's call flows and the events each end sees. The events are chosen
// so that a provider reading them derives the state the end is in: the
// caller of a station call hears ringback (0x45), the called station is
// offered the call (0x20), an answer connects both (0x22 to the answering
// side, 0x35 '1' to the caller, which leaves the caller's held calls
// alone), a release idles the side that let go (0x21 '7') and disconnects
// the other (0x21 '!'), and a station that puts down its last call goes
// on-hook (0x3C '8'), which also clears what was left disconnected or busy.
#include "tools/pbxsim/call_engine.h"

#include <chrono>

#include "provider/link/catalogue.h"
#include "provider/link/cti.h"
#include "provider/link/encodings.h"
#include "tools/pbxsim/pbx.h"

namespace velkor::pbxsim {

namespace {

namespace ev = link::event;

// Sub-codes and causes of the events, as the PBX sends them.
constexpr char kProgress = '!';    // 0x45/0x46 direction: call progress
constexpr char kFailure = 0x22;    // 0x45/0x46 direction: the call failed
constexpr char kPlain = '!';       // 0x20, 0x2D, 0x45: an ordinary call
constexpr char kForwarded = '-';   // 0x20, 0x45: the call was forwarded
constexpr char kCoForwarded = 'V'; // 0x2D: forwarded, redirecting = num
constexpr char kRedirected = 'T';  // 0x20, 0x2D: deflected to this station
constexpr char kTransferred = 'P'; // 0x20: a transferred call offered
constexpr char kCoTransferred = '=';  // 0x2D: the transferred call, found by num
constexpr char kCompletion = '+';  // 0x20: a callback ringing the called side
constexpr char kCampRings = '6';   // 0x20: the camper's call now rings
constexpr char kGone = '7';        // 0x21: the call is gone from this side
constexpr char kHungUp = '!';      // 0x21: the other party hung up
constexpr char kOutsideGone = ';'; // 0x2E: the outside party hung up
constexpr char kCoIdle = '8';      // 0x2E: a CO call not yet connected goes idle
constexpr char kCoReleased = '7';  // 0x2E: a connected CO call released here
constexpr char kCoTaken = '?';     // 0x2E: transferred away or left a conference
constexpr char kConnected = '1';   // 0x35: the called party answered
constexpr char kRekey = '<';       // 0x35: the call is now with num
constexpr char kRedirection = '!'; // 0x35: the call went on to num
constexpr char kOutVia = 'O';      // 0x35: the call went out on a CO line
constexpr char kOutForward = 'D';  // 0x45: forwarded out on a CO line
constexpr char kTransferRing = '=';// 0x45: ringing the transfer target num2
constexpr char kAnswered = 0x22;   // 0x45: connected at once
constexpr char kRefusedSub = '%';  // 0x45: refused; with '!': waiting again
constexpr char kMessageLeft = ','; // 0x45: message left, call ends
constexpr char kHoldPlain = '$';   // 0x39: held
constexpr char kHoldConsult = '#'; // 0x39: held for a consultation, dial tone
constexpr char kCoProgress = '!';  // 0x37: CO call connected
constexpr char kOn = '!';
constexpr char kOff = 0x22;
// 0x3C sub-codes.
constexpr char kDndStatus = '%';
constexpr char kCompletionList1 = 0x27;
constexpr char kCompletionList2 = ')';
constexpr char kCompletionReport = '(';
constexpr char kMessageCount = ',';
constexpr char kOffHook = '7';
constexpr char kOnHook = '8';

const std::string kEmptySlot = "EMP";
// What an occupied park slot reports in place of "EMP".
const std::string kOccupiedSlot = "OCC";

std::string cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view p : parts) out += p;
    return out;
}

std::string one(char c) { return std::string(1, c); }

// Event data is at most what one frame carries after the CTI header.
constexpr std::size_t kMaxEventData = 63 - link::kCtiHeader;

}  // namespace

std::string CallEngine::num(std::uint16_t station) const {
    const StationConfig* s = m_pbx.config().station(station);
    const auto n = s ? link::encodeNum4(s->number) : std::nullopt;
    return n ? std::string(n->begin(), n->end()) : std::string(4, ' ');
}

std::string CallEngine::co3(std::uint16_t co) const {
    const auto it = m_pbx.config().coLines.find(co);
    const auto n = it == m_pbx.config().coLines.end() ? std::nullopt : link::encodeCo3(it->second.number);
    return n ? std::string(n->begin(), n->end()) : std::string(3, ' ');
}

std::optional<std::uint16_t> CallEngine::voiceMailbox() const {
    for (const auto& [index, s] : m_pbx.config().stations) {
        if (s.type == station_type::IcmBox) return index;
    }
    return std::nullopt;
}

std::optional<std::uint16_t> CallEngine::freeCo() const {
    for (const auto& [index, c] : m_pbx.config().coLines) {
        if (m_table.coFree(index)) return index;
    }
    return std::nullopt;
}

void CallEngine::event(std::uint16_t station, std::uint8_t code, std::string_view data) {
    if (!m_pbx.monitored(station)) return;
    if (data.size() > kMaxEventData) data = data.substr(0, kMaxEventData);
    m_pbx.sendCti(station, code, {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
}

void CallEngine::event(End to, std::uint8_t code, std::string_view data) {
    if (to.isStation()) event(to.index, code, data);
}

// ---- new calls ------------------------------------------------------------

Route CallEngine::route(End caller, std::uint16_t to) {
    Route r;
    r.station = to;
    const std::optional<std::uint16_t> mailbox = voiceMailbox();
    // The voice mailbox takes every call at once.
    if (mailbox && to == *mailbox) {
        r.kind = Route::Kind::Ring;
        return r;
    }
    StationState& s = m_table.station(to);
    if (s.dnd) {
        r.kind = Route::Kind::Refused;
        return r;
    }
    const bool busy = m_table.busy(to);
    const std::uint8_t sel = s.forwardSelector;
    const bool always = sel == '!' || sel == ',' || sel == '*' || sel == '%';
    const bool onBusy = sel == 0x22 || sel == '-' || sel == '$' || sel == '/';
    if (!always && !(busy && onBusy)) {
        r.kind = busy ? Route::Kind::Busy : Route::Kind::Ring;
        return r;
    }
    r.forwardedFrom = to;
    if (sel == '*' || sel == '%') {
        // Forwarded outside: only a station's call can go out on a CO line.
        const auto co = freeCo();
        if (!caller.isStation() || !co) {
            r.kind = Route::Kind::Busy;
            return r;
        }
        r.kind = Route::Kind::Outside;
        r.co = *co;
        r.outside = s.forwardOutside;
        return r;
    }
    const std::optional<std::uint16_t> dest = s.forwardTo ? s.forwardTo : mailbox;
    if (!dest || End::station(*dest) == caller) {
        r.kind = busy ? Route::Kind::Busy : Route::Kind::Ring;
        r.forwardedFrom.reset();
        return r;
    }
    r.station = *dest;
    // One hop only: the destination's own forwarding is not followed.
    if (mailbox && *dest == *mailbox) r.kind = Route::Kind::Ring;
    else if (m_table.station(*dest).dnd) r.kind = Route::Kind::Refused;
    else if (m_table.busy(*dest)) r.kind = Route::Kind::Busy;
    else r.kind = Route::Kind::Ring;
    return r;
}

Call* CallEngine::ring(End caller, const Route& r, std::string callerId) {
    if (r.kind == Route::Kind::Busy || r.kind == Route::Kind::Refused) return nullptr;
    if (r.kind == Route::Kind::Outside) {
        Call& call = m_table.add(caller, End::co(r.co), Phase::Ringing);
        call.outside = r.outside;
        // The caller's call goes out on the CO line: ringback as a CO call.
        event(caller, ev::OutgoingCallResult, cat({one(kProgress), one(kOutForward), co3(r.co), " "}));
        return &call;
    }
    Call& call = m_table.add(caller, End::station(r.station), Phase::Ringing);
    call.outside = std::move(callerId);
    const std::string to = num(r.station);
    if (caller.isStation()) {
        const char sub = r.forwardedFrom ? kForwarded : kPlain;
        event(caller, ev::OutgoingCallResult, cat({one(kProgress), one(sub), to, to}));
        const std::string num2 = r.forwardedFrom ? num(*r.forwardedFrom) : to;
        event(r.station, ev::IncomingCall, cat({one(sub), num(caller.index), num2}));
    } else {
        const char sub = r.forwardedFrom ? kCoForwarded : kPlain;
        const std::string numField = r.forwardedFrom ? num(*r.forwardedFrom) : to;
        event(r.station, ev::IncomingCoCall, cat({one(sub), numField, co3(caller.index), call.outside}));
    }
    const std::optional<std::uint16_t> mailbox = voiceMailbox();
    if (mailbox && r.station == *mailbox) {
        answer(call);
    } else if (!r.forwardedFrom) {
        startNoAnswerTimer(call);
    }
    return &call;
}

Call& CallEngine::busyAttempt(std::uint16_t caller, std::uint16_t called, bool refused, bool told) {
    Call& call = m_table.add(End::station(caller), End::station(called), Phase::Busy);
    call.refused = refused;
    if (told) {
        const std::string to = num(called);
        event(caller, ev::OutgoingCallResult, cat({one(kFailure), one(refused ? kRefusedSub : kFailure), to, to}));
    }
    return call;
}

Call& CallEngine::dialOut(std::uint16_t station, std::uint16_t co, std::string number) {
    Call& call = m_table.add(End::station(station), End::co(co), Phase::Ringing);
    call.outside = std::move(number);
    event(station, ev::OutgoingCoCallResult, cat({one(kProgress), one(kPlain), co3(co), call.outside}));
    return call;
}

void CallEngine::startNoAnswerTimer(const Call& call) {
    const std::uint16_t at = call.called.index;
    const std::uint8_t sel = m_table.station(at).forwardSelector;
    if (sel != '#' && sel != '$' && sel != '.' && sel != '/') return;
    const std::uint32_t id = call.id;
    Pbx* pbx = &m_pbx;
    CallTable* table = &m_table;
    pbx->schedule().at(pbx->clock().now() + std::chrono::seconds(kNoAnswerSeconds), [pbx, table, id, at] {
        Call* c = table->find(id);
        if (!c || c->phase != Phase::Ringing || !(c->called == End::station(at))) return;
        CallEngine engine(*pbx, *table);
        StationState& s = table->station(at);
        Route r;
        r.forwardedFrom = at;
        const auto dest = s.forwardTo ? s.forwardTo : engine.voiceMailbox();
        if (!dest || End::station(*dest) == c->caller || table->busy(*dest)) return;
        r.kind = Route::Kind::Ring;
        r.station = *dest;
        engine.redirect(*c, r);
    });
}

// ---- answer and release ---------------------------------------------------

void CallEngine::answer(Call& call) {
    call.phase = Phase::Connected;
    const End taker = call.called;
    if (call.caller.isStation()) {
        event(taker, ev::Answered, num(call.caller.index));
        event(call.caller, ev::StationCallProgress, cat({one(kConnected), num(taker.index)}));
    } else {
        event(taker, ev::CoCallProgress, cat({one(kCoProgress), co3(call.caller.index), call.outside}));
    }
    const std::optional<std::uint16_t> mailbox = voiceMailbox();
    if (!mailbox || taker.index != *mailbox) offHook(taker.index, true);
}

void CallEngine::outsideAnswers(Call& call) {
    call.phase = Phase::Connected;
    event(call.caller, ev::CoCallProgress, cat({one(kCoProgress), co3(call.called.index), call.outside}));
}

void CallEngine::offHook(std::uint16_t station, bool tell) {
    StationState& s = m_table.station(station);
    if (s.offHook) return;
    s.offHook = true;
    // Sent after the call is connected, the provider only marks the line in
    // use; before it, it would open a dial-tone call.
    if (tell) event(station, ev::FeatureStatus, cat({one(kOffHook)}));
}

void CallEngine::onHook(std::uint16_t station) {
    StationState& s = m_table.station(station);
    s.offHook = false;
    s.dialTone = false;
    event(station, ev::FeatureStatus, cat({one(kOnHook)}));
    stationFreed(station);
}

// What the station that let go of `call` sees.
void CallEngine::ownSide(std::uint16_t station, const Call& call) {
    const End me = End::station(station);
    const End peer = call.other(me);
    if (peer.isStation()) {
        event(station, ev::Released, cat({one(kGone), num(peer.index)}));
    } else if (peer.kind == End::Kind::Slot) {
        // The parked party hangs up: its call is still with the parker.
        if (call.parkedBy) event(station, ev::Released, cat({one(kGone), num(*call.parkedBy)}));
    } else if (peer.isCo()) {
        // A connected CO call goes disconnected here and idle on the
        // on-hook that follows; one still setting up goes idle at once.
        const char cause = call.phase == Phase::Connected && !call.offeredTo(me) ? kCoReleased : kCoIdle;
        event(station, ev::DisconnectedWithCause, cat({one(cause), co3(peer.index)}));
    }
}

// What the other end of `call` sees when `by` leaves it.
void CallEngine::farSide(End end, const Call& call, End by) {
    if (!end.isStation()) return;
    const std::string byKey = by.isStation() ? num(by.index) : co3(by.index);
    if (call.phase == Phase::Busy) return;
    if ((call.phase == Phase::Camped || call.phase == Phase::Intruding) && call.called == end) {
        // The waiting or listening station went away.
        event(end, ev::HeldCallReleased, cat({one(kOn), num(by.index)}));
        return;
    }
    if (call.offeredTo(end)) {
        if (by.isStation()) event(end, ev::Released, cat({one(kGone), byKey}));
        else event(end, ev::DisconnectedWithCause, cat({one(kOutsideGone), byKey}));
        return;
    }
    if (by.isStation()) event(end, ev::Released, cat({one(kHungUp), byKey}));
    else event(end, ev::DisconnectedWithCause, cat({one(kOutsideGone), byKey}));
}

void CallEngine::release(Call& call, End by) {
    if (call.conference) {
        leaveConference(call, by);
        return;
    }
    const End peer = call.other(by);
    if (by.isStation()) ownSide(by.index, call);
    farSide(peer, call, by);
    const Call gone = call;
    std::optional<std::size_t> slot;
    if (peer.kind == End::Kind::Slot) slot = peer.index;
    m_table.remove(call.id);
    if (slot) parkSlotStatus(*slot);
    if (gone.phase == Phase::Connected && gone.caller.isStation() && gone.called.isStation()) {
        m_pbx.callRecord(gone.caller.index, gone.called.index);
    }
    // A station's conversation ended: whoever listened in or waited on it.
    for (const End e : {gone.caller, gone.called}) {
        if (!e.isStation() || gone.phase != Phase::Connected) continue;
        for (Call* c : m_table.callsOf(e)) {
            if (c->phase == Phase::Intruding && c->called == e && !m_table.activeCall(e.index)) {
                farSide(c->caller, *c, e);
                event(e, ev::HeldCallReleased, cat({one(kOn), num(c->caller.index)}));
                m_table.remove(c->id);
            }
        }
    }
    if (by.isStation() && m_table.idle(by.index) && !m_table.station(by.index).dialTone) onHook(by.index);
    if (peer.isStation() && m_table.idle(peer.index)) stationFreed(peer.index);
}

bool CallEngine::hangUp(std::uint16_t station) {
    StationState& s = m_table.station(station);
    if (Call* active = m_table.activeCall(station)) {
        if (active->conference) {
            Conference* conf = m_table.conference(active->conference);
            if (conf && conf->controller == station) {
                endConference(*conf);
                return true;
            }
        }
        release(*active, End::station(station));
        return true;
    }
    if (s.dialTone) {
        s.dialTone = false;
        Conference* conf = m_table.conferenceOf(station);
        if (conf && conf->adding) {
            // Back into the conference it stepped out of.
            conf->adding = false;
            event(station, ev::ConferenceSplit, "");
            return true;
        }
        const std::vector<Call*> held = m_table.heldCalls(station);
        if (!held.empty()) {
            // Putting down the consultation brings the held call back.
            reconnect(station, *held.front());
            return true;
        }
        onHook(station);
        return true;
    }
    if (s.offHook) {
        onHook(station);
        return true;
    }
    return false;
}

// ---- hold -----------------------------------------------------------------

void CallEngine::abandon(std::uint16_t station, Call& call) {
    const End peer = call.other(End::station(station));
    ownSide(station, call);
    farSide(peer, call, End::station(station));
    m_table.remove(call.id);
    if (peer.isStation() && m_table.idle(peer.index)) stationFreed(peer.index);
}

void CallEngine::hold(std::uint16_t station, Call& call) {
    call.heldBy = End::station(station);
    const End peer = call.other(End::station(station));
    if (peer.isStation()) event(station, ev::HoldProgress, cat({num(peer.index), one(kHoldPlain)}));
    else event(station, ev::PutOnHold, co3(peer.index));
}

void CallEngine::reconnect(std::uint16_t station, const Call& call) {
    const End peer = call.other(End::station(station));
    // 0x47 names the held call that comes back.
    if (peer.isStation()) event(station, ev::HeldCallReconnected, num(peer.index));
    else event(station, ev::CoCallProgress, cat({one(kCoProgress), co3(peer.index), call.outside}));
    if (Call* c = m_table.find(call.id)) c->heldBy.reset();
}

void CallEngine::retrieve(std::uint16_t station, Call& call) {
    StationState& s = m_table.station(station);
    if (Call* active = m_table.activeCall(station); active && active->id != call.id) {
        // A consultation not yet answered is abandoned for the held call.
        abandon(station, *active);
    }
    s.dialTone = false;
    reconnect(station, call);
}

void CallEngine::swap(std::uint16_t station, Call& active, Call& held) {
    if (held.phase == Phase::Camped) {
        // The station takes the call waiting on it and holds the one in hand.
        held.phase = Phase::Connected;
        event(station, ev::HeldCallReconnected, num(held.caller.index));
        event(held.caller, ev::StationCallProgress, cat({one(kConnected), num(station)}));
    } else {
        // The held call first: for a moment both are in hand.
        reconnect(station, held);
    }
    hold(station, active);
}

void CallEngine::consultation(std::uint16_t station, Call& active) {
    active.heldBy = End::station(station);
    m_table.station(station).dialTone = true;
    const End peer = active.other(End::station(station));
    // In the 4-character number of 0x39 a CO line is its three characters
    // and a blank.
    const std::string held = peer.isStation() ? num(peer.index) : co3(peer.index) + " ";
    event(station, ev::HoldProgress, cat({held, one(kHoldConsult)}));
}

void CallEngine::completeTransfer(std::uint16_t station, Call& held, Call& consult) {
    const End me = End::station(station);
    const End b = held.other(me);  // the party being transferred
    const End c = consult.other(me);
    const std::string a = num(station);
    // The transferring station lets go of both calls. This comes before the
    // reply: a connected CO call leaves with cause '?', which the provider
    // reads as transferred only while its transfer request is open.
    for (const Call* leg : {&held, &consult}) {
        const End peer = leg->other(me);
        if (peer.isStation()) {
            event(station, ev::Released, cat({one(kGone), num(peer.index)}));
        } else {
            const bool connected = leg->phase == Phase::Connected && !leg->heldByEnd(me);
            event(station, ev::DisconnectedWithCause, cat({one(connected ? kCoTaken : kCoIdle), co3(peer.index)}));
        }
    }
    const std::string bKey = b.isStation() ? num(b.index) : co3(b.index);
    const std::string cKey = c.isStation() ? num(c.index) : co3(c.index);
    const std::string bOutside = held.outside;
    const std::string cOutside = consult.outside;
    // B's side: now with C.
    if (b.isStation()) {
        if (consult.phase == Phase::Busy) {
            event(b, ev::OutgoingCallResult, cat({one(kFailure), one(kFailure), cKey, cKey}));
        } else if (c.isCo()) {
            event(b, ev::CoCallConnected, cat({a, cKey, cOutside}));
        } else if (consult.phase == Phase::Connected) {
            event(b, ev::TransferredConnected, cat({a, cKey}));
        } else {
            event(b, ev::OutgoingCallResult, cat({one(kProgress), one(kTransferRing), a, cKey}));
        }
    }
    // C's side: now with B.
    if (c.isStation() && consult.phase != Phase::Busy) {
        if (consult.phase == Phase::Connected) {
            if (b.isStation()) event(c, ev::TransferredConnected, cat({a, bKey}));
            else event(c, ev::CoCallConnected, cat({a, bKey, bOutside}));
        } else if (b.isStation()) {
            event(c, ev::Released, cat({one(kGone), a}));
            event(c, ev::IncomingCall, cat({one(kTransferred), bKey, a}));
        } else {
            event(c, ev::IncomingCoCall, cat({one(kCoTransferred), a, bKey, bOutside}));
        }
    }
    // One call B - C in the phase the consultation had.
    Call& joined = held;
    const Phase phase = consult.phase;
    const std::string outside = c.isCo() ? cOutside : bOutside;
    m_table.remove(consult.id);
    joined.heldBy.reset();
    if (joined.caller == me) joined.caller = c;
    else joined.called = c;
    // The party being transferred takes the part of the caller.
    if (!(joined.caller == b)) std::swap(joined.caller, joined.called);
    joined.phase = phase;
    joined.outside = outside;
    m_table.station(station).dialTone = false;
    if (m_table.idle(station)) onHook(station);
}

// ---- conference -----------------------------------------------------------

void CallEngine::setUpConference(std::uint16_t station, Call& active) {
    Conference& conf = m_table.addConference(station);
    conf.adding = true;
    active.conference = conf.id;
    m_table.station(station).dialTone = true;
    // The call in hand joins the conference; the station gets dial tone.
    event(station, ev::ConferenceFormed, "");
}

void CallEngine::completeAsConference(std::uint16_t station, Call& held, Call& consult) {
    Conference& conf = m_table.addConference(station);
    held.conference = conf.id;
    consult.conference = conf.id;
    m_table.station(station).dialTone = false;
    // Back from hold, then both connected calls become the conference.
    reconnect(station, held);
    event(station, ev::ConferenceFormed, "");
    event(station, ev::ConferenceSplit, "");
}

void CallEngine::prepareAdd(std::uint16_t station, Conference& conf) {
    conf.adding = true;
    m_table.station(station).dialTone = true;
    // Formed again: the connected controller steps out of its conference,
    // which waits while the station dials the next party on dial tone.
    event(station, ev::ConferenceFormed, "");
}

void CallEngine::addToConference(std::uint16_t station, Conference& conf, Call& consult) {
    conf.adding = false;
    consult.conference = conf.id;
    m_table.station(station).dialTone = false;
    // The controller is back in the conference and the consultation joins it.
    event(station, ev::ConferenceSplit, "");
}

void CallEngine::removeFromConference(Conference& conf, Call& member) {
    const End controller = End::station(conf.controller);
    const End party = member.other(controller);
    if (party.isStation()) {
        event(controller, ev::ConferencePartyReleased, num(party.index));
        event(party, ev::Released, cat({one(kHungUp), num(conf.controller)}));
    } else {
        event(controller, ev::DisconnectedWithCause, cat({one(kCoTaken), co3(party.index)}));
    }
    const std::uint32_t id = conf.id;
    m_table.remove(member.id);
    dissolveIfSmall(id);
    if (party.isStation() && m_table.idle(party.index)) stationFreed(party.index);
}

void CallEngine::leaveConference(Call& call, End by) {
    Conference* conf = m_table.conference(call.conference);
    if (!conf) {
        call.conference = 0;
        release(call, by);
        return;
    }
    if (by == End::station(conf->controller)) {
        endConference(*conf);
        return;
    }
    // A member hangs up: it goes, the controller's conference cleans up.
    const End controller = End::station(conf->controller);
    if (by.isStation()) {
        ownSide(by.index, call);
        event(controller, ev::ConferencePartyReleased, num(by.index));
    } else {
        event(controller, ev::DisconnectedWithCause, cat({one(kCoTaken), co3(by.index)}));
    }
    const std::uint32_t id = conf->id;
    m_table.remove(call.id);
    dissolveIfSmall(id);
    if (by.isStation() && m_table.idle(by.index)) onHook(by.index);
}

void CallEngine::endConference(Conference& conf) {
    const std::uint16_t controller = conf.controller;
    // The controller's own number: all its conference calls go idle.
    event(controller, ev::ConferencePartyReleased, num(controller));
    std::vector<End> freed;
    for (Call* member : m_table.members(conf.id)) {
        const End party = member->other(End::station(controller));
        farSide(party, *member, End::station(controller));
        if (party.isStation()) freed.push_back(party);
        m_table.remove(member->id);
    }
    m_table.removeConference(conf.id);
    if (m_table.idle(controller)) onHook(controller);
    for (const End e : freed) {
        if (m_table.idle(e.index)) stationFreed(e.index);
    }
}

void CallEngine::dissolveIfSmall(std::uint32_t id) {
    // With one party left the conference is an ordinary call again; the
    // provider's conference clean-up makes the same step.
    if (m_table.members(id).size() <= 1) m_table.removeConference(id);
}

// ---- park and pickup ------------------------------------------------------

void CallEngine::parkSlotStatus(std::size_t slot) {
    const auto& slots = m_pbx.config().parkSlots;
    if (slot >= slots.size()) return;
    const auto number = link::encodeNum4(slots[slot]);
    if (!number) return;
    const std::string state = m_table.parked(slot) ? kOccupiedSlot : kEmptySlot;
    const std::string data = cat({std::string(number->begin(), number->end()), state});
    // Every open line hears it: the event goes to the system.
    m_pbx.sendCti(link::kSystemIndex, ev::ParkSlotStatus,
                  {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
}

void CallEngine::park(std::uint16_t station, Call& call, std::size_t slot) {
    const End me = End::station(station);
    ownSide(station, call);
    call.heldBy.reset();
    call.parkedBy = station;
    if (call.caller == me) call.caller = End::slot(static_cast<std::uint16_t>(slot));
    else call.called = End::slot(static_cast<std::uint16_t>(slot));
    m_table.setParked(slot, call.id);
    parkSlotStatus(slot);
    if (m_table.idle(station) && !m_table.station(station).dialTone) onHook(station);
}

void CallEngine::unpark(std::uint16_t station, std::size_t slot) {
    Call* call = m_table.find(*m_table.parked(slot));
    if (!call) return;
    const End slotEnd = End::slot(static_cast<std::uint16_t>(slot));
    const End party = call->other(slotEnd);
    if (call->caller == slotEnd) call->caller = End::station(station);
    else call->called = End::station(station);
    call->phase = Phase::Connected;
    m_table.setParked(slot, std::nullopt);
    m_table.station(station).dialTone = false;
    if (party.isStation()) {
        const std::string p = num(party.index);
        event(station, ev::OutgoingCallResult, cat({one(kProgress), one(kAnswered), p, p}));
        const std::string parker = call->parkedBy ? num(*call->parkedBy) : num(station);
        event(party, ev::TransferredConnected, cat({parker, num(station)}));
    } else {
        event(station, ev::CoCallProgress, cat({one(kCoProgress), co3(party.index), call->outside}));
    }
    call->parkedBy.reset();
    offHook(station, true);
    parkSlotStatus(slot);
}

void CallEngine::pickUp(std::uint16_t station, Call& offered) {
    const End ringing = offered.called;
    const End caller = offered.caller;
    // Gone from the station it rang at.
    if (caller.isStation()) event(ringing, ev::Released, cat({one(kGone), num(caller.index)}));
    else event(ringing, ev::DisconnectedWithCause, cat({one(kCoIdle), co3(caller.index)}));
    offered.called = End::station(station);
    offered.phase = Phase::Connected;
    m_table.station(station).dialTone = false;
    if (caller.isStation()) {
        const std::string c = num(caller.index);
        event(station, ev::OutgoingCallResult, cat({one(kProgress), one(kAnswered), c, c}));
        const std::string d = num(station);
        event(caller, ev::StationCallProgress, cat({one(kRekey), d}));
        event(caller, ev::StationCallProgress, cat({one(kConnected), d}));
        event(caller, ev::PickedUp, d);
    } else {
        // Taken as a CO call: the provider's pickup call gets the CO line,
        // then connects.
        event(station, ev::OutgoingCoCallResult, cat({one(kProgress), one(kPlain), co3(caller.index), offered.outside}));
        event(station, ev::CoCallProgress, cat({one(kCoProgress), co3(caller.index), offered.outside}));
    }
    offHook(station, true);
}

void CallEngine::redirect(Call& offered, const Route& r) {
    const End from = offered.called;
    const End caller = offered.caller;
    if (caller.isStation()) event(from, ev::Released, cat({one(kGone), num(caller.index)}));
    else event(from, ev::DisconnectedWithCause, cat({one(kCoIdle), co3(caller.index)}));
    if (r.kind == Route::Kind::Outside) {
        offered.called = End::co(r.co);
        offered.outside = r.outside;
        event(caller, ev::StationCallProgress, cat({one(kOutVia), co3(r.co), " "}));
        return;
    }
    offered.called = End::station(r.station);
    const std::string to = num(r.station);
    if (caller.isStation()) {
        event(r.station, ev::IncomingCall, cat({one(kRedirected), num(caller.index), num(from.index)}));
        event(caller, ev::StationCallProgress, cat({one(kRedirection), to}));
        event(caller, ev::StationCallProgress, cat({one(kRekey), to}));
    } else {
        event(r.station, ev::IncomingCoCall, cat({one(kRedirected), num(from.index), co3(caller.index), offered.outside}));
    }
    const std::optional<std::uint16_t> mailbox = voiceMailbox();
    if (mailbox && r.station == *mailbox) answer(offered);
}

// ---- call completion ------------------------------------------------------

void CallEngine::campOn(Call& attempt) {
    attempt.phase = Phase::Camped;
    const std::string b = num(attempt.called.index);
    event(attempt.caller, ev::OutgoingCallResult, cat({one(kProgress), one(kRefusedSub), b, b}));
    event(attempt.called, ev::HeldCallAppears, cat({one(kOn), num(attempt.caller.index)}));
    stationFreed(attempt.called.index);
}

void CallEngine::cancelCampOn(Call& attempt) {
    attempt.phase = Phase::Busy;
    const std::string b = num(attempt.called.index);
    event(attempt.called, ev::HeldCallReleased, cat({one(kOn), num(attempt.caller.index)}));
    event(attempt.caller, ev::OutgoingCallResult, cat({one(kFailure), one(kFailure), b, b}));
}

void CallEngine::intrude(Call& attempt) {
    attempt.phase = Phase::Intruding;
    const std::string b = num(attempt.called.index);
    event(attempt.caller, ev::StationCallProgress, cat({one(kRekey), b}));
    event(attempt.caller, ev::StationCallProgress, cat({one(kConnected), b}));
    event(attempt.called, ev::HeldCallAppears, cat({one(kOn), num(attempt.caller.index)}));
}

void CallEngine::leaveMessage(Call& attempt) {
    const std::uint16_t from = attempt.caller.index;
    const std::uint16_t to = attempt.called.index;
    StationState& target = m_table.station(to);
    target.messagesFrom.push_back(from);
    const std::string b = num(to);
    if (attempt.offeredTo(attempt.called)) event(to, ev::Released, cat({one(kGone), num(from)}));
    // Ringback again first: the provider ends a ringing call with the message.
    if (attempt.phase == Phase::Busy) {
        event(from, ev::OutgoingCallResult, cat({one(kProgress), one(kRefusedSub), b, b}));
    }
    event(from, ev::OutgoingCallResult, cat({one(kProgress), one(kMessageLeft), b, b}));
    m_table.remove(attempt.id);
    event(from, ev::FeatureStatus, cat({one(kCompletionReport), one(kOn), b}));
    event(to, ev::FeatureStatus, cat({one(kMessageCount), one(static_cast<char>(0x20 + target.messagesFrom.size()))}));
}

void CallEngine::cancelMessage(std::uint16_t from, std::uint16_t to) {
    StationState& target = m_table.station(to);
    std::erase(target.messagesFrom, from);
    event(to, ev::FeatureStatus, cat({one(kMessageCount), one(static_cast<char>(0x20 + target.messagesFrom.size()))}));
    event(from, ev::FeatureStatus, cat({one(kCompletionList2), one(kOff), num(to)}));
}

void CallEngine::requestCallback(std::uint16_t from, std::uint16_t to) {
    m_table.station(from).callbacksTo.push_back(to);
    event(from, ev::FeatureStatus, cat({one(kCompletionReport), one(kOn), num(to)}));
}

void CallEngine::cancelCallback(std::uint16_t from, std::uint16_t to) {
    std::erase(m_table.station(from).callbacksTo, to);
    event(from, ev::FeatureStatus, cat({one(kCompletionList1), one(kOff), num(to)}));
}

void CallEngine::answerCallback(std::uint16_t station) {
    StationState& s = m_table.station(station);
    const std::uint16_t to = *s.callbackOffered;
    s.callbackOffered.reset();
    offHook(station, false);
    const Route r = route(End::station(station), to);
    const std::string b = num(to);
    if (r.kind != Route::Kind::Ring || r.forwardedFrom) {
        busyAttempt(station, to, r.kind == Route::Kind::Refused, true);
        return;
    }
    Call& call = m_table.add(End::station(station), End::station(to), Phase::Ringing);
    event(station, ev::OutgoingCallResult, cat({one(kProgress), one(kPlain), b, b}));
    event(to, ev::IncomingCall, cat({one(kCompletion), num(station), b}));
    startNoAnswerTimer(call);
}

void CallEngine::stationFreed(std::uint16_t station) {
    // Free means on-hook with nothing in hand: a station still off-hook
    // after its party hung up is not free yet.
    if (m_table.busy(station)) return;
    // A camper waiting on the station now rings it.
    for (const Call& c : m_table.calls()) {
        if (c.phase == Phase::Camped && c.called == End::station(station)) {
            if (Call* camper = m_table.find(c.id)) camper->phase = Phase::Ringing;
            event(station, ev::IncomingCall, cat({one(kCampRings), num(c.caller.index), num(station)}));
            return;
        }
    }
    // Callbacks: stations waiting for this one, and this one's own requests
    // whose target is free.
    for (const auto& [index, config] : m_pbx.config().stations) {
        StationState& s = m_table.station(index);
        const bool waitsForThis = std::find(s.callbacksTo.begin(), s.callbacksTo.end(), station) != s.callbacksTo.end();
        if (!waitsForThis || s.callbackOffered || m_table.busy(index)) continue;
        std::erase(s.callbacksTo, station);
        s.callbackOffered = station;
        event(index, ev::CallbackOffer, num(station));
    }
    StationState& own = m_table.station(station);
    for (const std::uint16_t to : std::vector<std::uint16_t>(own.callbacksTo)) {
        if (own.callbackOffered || m_table.busy(to)) continue;
        std::erase(own.callbacksTo, to);
        own.callbackOffered = to;
        event(station, ev::CallbackOffer, num(to));
    }
}

void CallEngine::setDnd(std::uint16_t station, bool on) {
    m_table.station(station).dnd = on;
    event(station, ev::FeatureStatus, cat({one(kDndStatus), one(on ? kOn : kOff)}));
}

// ---- text -----------------------------------------------------------------

std::string CallEngine::partyText(End e) const {
    const PbxConfig& config = m_pbx.config();
    switch (e.kind) {
    case End::Kind::Station: {
        const StationConfig* s = config.station(e.index);
        return s ? s->number : "station " + std::to_string(e.index);
    }
    case End::Kind::Co: {
        const auto it = config.coLines.find(e.index);
        return "co " + (it == config.coLines.end() ? std::to_string(e.index) : it->second.number);
    }
    case End::Kind::Slot:
        return "park " + (e.index < config.parkSlots.size() ? config.parkSlots[e.index] : std::to_string(e.index));
    }
    return {};
}

std::string CallEngine::text() const {
    static constexpr const char* kPhases[] = {"ringing", "busy", "connected", "camped", "intruding"};
    std::string out;
    for (const Call& c : m_table.calls()) {
        if (!out.empty()) out += "; ";
        out += partyText(c.caller) + " -> " + partyText(c.called) + " " + kPhases[static_cast<int>(c.phase)];
        if (!c.outside.empty()) out += " (" + c.outside + ")";
        if (c.heldBy) out += ", held by " + partyText(*c.heldBy);
        if (c.conference) out += ", conference";
    }
    return out.empty() ? "no calls" : out;
}

}  // namespace velkor::pbxsim
