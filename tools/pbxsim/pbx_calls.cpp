// The PBX's answers to the provider's call requests: one function per
// request, each checking what the station has in hand, then rejecting with
// a cause or replying and running the flow (call_engine.cpp). Station
// numbers in requests are read without their padding blanks, so both the
// left-justified form of the extended dialect and the right-justified one
// of the legacy dialect are taken; dialled outside numbers are ASCII in the
// extended dialect and packed digits in the legacy one.
#include <algorithm>

#include "provider/link/catalogue.h"
#include "provider/link/encodings.h"
#include "tools/pbxsim/call_engine.h"
#include "tools/pbxsim/pbx.h"

namespace velkor::pbxsim {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Rejection causes, as the provider reads them.
namespace cause {
// The called party is busy.
inline constexpr std::uint8_t Busy = 0x22;
// The called station is in do-not-disturb.
inline constexpr std::uint8_t Refused = '%';
// No such station, CO line, park slot, or a malformed number.
inline constexpr std::uint8_t InvalidNumber = '/';
// Not possible with what the station has in hand.
inline constexpr std::uint8_t NotNow = '!';
}  // namespace cause

std::string text(Bytes data) { return std::string(data.begin(), data.end()); }

// A number field without its blanks and NUL padding.
std::string trimmed(std::string_view t) {
    const auto pad = [](char c) { return c == ' ' || c == '\0'; };
    while (!t.empty() && pad(t.front())) t.remove_prefix(1);
    while (!t.empty() && pad(t.back())) t.remove_suffix(1);
    return std::string(t);
}

std::optional<std::uint32_t> digitsValue(std::string_view t) {
    const std::string digits = trimmed(t);
    if (digits.empty() || digits.size() > 4) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        if (c == ' ') continue;
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

std::optional<std::uint16_t> stationOf(const PbxConfig& config, std::string_view number) {
    const StationConfig* s = config.stationByNumber(trimmed(number));
    if (!s) return std::nullopt;
    return s->index;
}

// A CO line by its number: "  1", "001" and "1" are the same line.
std::optional<std::uint16_t> coOf(const PbxConfig& config, std::string_view number) {
    const auto value = digitsValue(number);
    if (!value) return std::nullopt;
    for (const auto& [index, c] : config.coLines) {
        if (digitsValue(c.number) == value) return index;
    }
    return std::nullopt;
}

std::optional<End> stationEnd(const PbxConfig& config, std::string_view number) {
    const auto s = stationOf(config, number);
    return s ? std::optional(End::station(*s)) : std::nullopt;
}

std::optional<End> coEnd(const PbxConfig& config, std::string_view number) {
    const auto co = coOf(config, number);
    return co ? std::optional(End::co(*co)) : std::nullopt;
}

std::optional<std::size_t> slotOf(const PbxConfig& config, std::string_view number) {
    const auto value = digitsValue(number);
    if (!value) return std::nullopt;
    for (std::size_t i = 0; i < config.parkSlots.size(); ++i) {
        if (digitsValue(config.parkSlots[i]) == value) return i;
    }
    return std::nullopt;
}

// The dialled number after the CO field of 0x56, 0x57 and the outside
// redirect forms.
std::string outsideNumber(Bytes data, link::Dialect dialect) {
    if (dialect == link::Dialect::Legacy) return link::decodePackedDigits(data);
    std::string out;
    for (const std::uint8_t b : data) {
        if (b >= 0x20 && b < 0x7F) out += static_cast<char>(b);
    }
    return trimmed(out);
}

bool isDialDigits(std::string_view digits) {
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; });
}

}  // namespace

// ---- helpers of the handlers ------------------------------------------------

namespace {

struct Handler {
    Pbx& pbx;
    const CtiRequest& r;
    CallEngine engine;

    Handler(Pbx& p, const CtiRequest& request)
        : pbx(p), r(request), engine(p, p.callTable()) {}

    CallTable& table() { return pbx.callTable(); }
    const PbxConfig& config() { return pbx.config(); }
    End me() const { return End::station(r.station); }
    // False (and rejected) when the request does not come from a station.
    bool fromStation() {
        if (pbx.config().station(r.station)) return true;
        pbx.reject(r.station, r.code, pbx.config().noStationCause);
        return false;
    }
    void reply() { pbx.sendCti(r.station, r.code, {}); }
    void reject(std::uint8_t why) { pbx.reject(r.station, r.code, why); }
    // The station's call in hand when it is connected and no conference
    // call, else nullptr.
    Call* connectedCall() {
        Call* c = table().activeCall(r.station);
        return c && c->phase == Phase::Connected && !c->conference ? c : nullptr;
    }
    // The station may start a call: nothing in hand but an unanswered
    // attempt, which it gives up for the new one.
    bool readyToDial() {
        Call* c = table().activeCall(r.station);
        if (!c) return true;
        if (c->caller == me() && (c->phase == Phase::Ringing || c->phase == Phase::Busy)) {
            engine.abandon(r.station, *c);
            return true;
        }
        return false;
    }
    // The station's attempt (busy, ringing or camped) on the station whose
    // number the request carries.
    Call* attemptOn(std::initializer_list<Phase> phases) {
        const auto to = stationOf(config(), text(r.data));
        if (!to) return nullptr;
        Call* c = table().callBetween(r.station, End::station(*to));
        if (!c || !(c->caller == me())) return nullptr;
        return std::find(phases.begin(), phases.end(), c->phase) != phases.end() ? c : nullptr;
    }
    // The party a num4 (station) or co3 (CO line) field names.
    // A num4 field is 4 characters, a co3 field 3.
    std::optional<End> party(Bytes field) {
        return field.size() == 3 ? coEnd(config(), text(field)) : stationEnd(config(), text(field));
    }
};

}  // namespace

void Pbx::sendParkSlots() {
    CallEngine engine(*this, m_calls);
    for (std::size_t i = 0; i < m_config.parkSlots.size(); ++i) engine.parkSlotStatus(i);
}

// ---- new calls --------------------------------------------------------------

// 0x55: num4 of the called station.
void Pbx::ctiCallStation(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto to = stationOf(m_config, text(request.data));
    if (!to || *to == request.station) return h.reject(cause::InvalidNumber);
    if (!h.readyToDial()) return h.reject(cause::NotNow);
    const Route route = h.engine.route(h.me(), *to);
    StationState& s = m_calls.station(request.station);
    s.offHook = true;
    s.dialTone = false;
    if (route.kind == Route::Kind::Busy || route.kind == Route::Kind::Refused) {
        const bool refused = route.kind == Route::Kind::Refused;
        h.reject(refused ? cause::Refused : cause::Busy);
        // The station keeps the busy call: it may camp on, ask for a
        // callback, intrude or leave a message before it hangs up.
        h.engine.busyAttempt(request.station, route.station, refused, false);
        return;
    }
    h.reply();
    h.engine.ring(h.me(), route);
}

// 0x56 (any free line of the group) and 0x57 (that CO line, or "NET" for
// any free line): co3, then the number.
void Pbx::ctiCallViaCo(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    if (request.data.size() < 4) return h.reject(cause::InvalidNumber);
    const std::string co = text(request.data.first(3));
    const std::string number = outsideNumber(request.data.subspan(3), m_config.dialect);
    if (number.empty()) return h.reject(cause::InvalidNumber);
    std::optional<std::uint16_t> line;
    if (request.code == link::code::CallViaCoLine && co != "NET") {
        line = coOf(m_config, co);
        if (!line) return h.reject(cause::InvalidNumber);
        if (!m_calls.coFree(*line)) return h.reject(cause::Busy);
    } else {
        line = h.engine.freeCo();
        if (!line) return h.reject(cause::Busy);
    }
    if (!h.readyToDial()) return h.reject(cause::NotNow);
    StationState& s = m_calls.station(request.station);
    s.offHook = true;
    s.dialTone = false;
    h.reply();
    h.engine.dialOut(request.station, *line, number);
}

// ---- answer and release -----------------------------------------------------

// 0x58: num4 of the caller.
void Pbx::ctiAnswerStation(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto caller = stationOf(m_config, text(request.data));
    if (!caller) return h.reject(cause::InvalidNumber);
    Call* offered = m_calls.offeredCall(request.station, End::station(*caller));
    if (!offered || offered->phase != Phase::Ringing || m_calls.activeCall(request.station)) {
        return h.reject(cause::NotNow);
    }
    h.reply();
    h.engine.answer(*offered);
}

// 0x59: co3 of the call, then 0x00.
void Pbx::ctiAnswerCo(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto co = request.data.size() >= 3 ? coOf(m_config, text(request.data.first(3))) : std::nullopt;
    if (!co) return h.reject(cause::InvalidNumber);
    Call* offered = m_calls.offeredCall(request.station, End::co(*co));
    if (!offered || offered->phase != Phase::Ringing || m_calls.activeCall(request.station)) {
        return h.reject(cause::NotNow);
    }
    h.reply();
    h.engine.answer(*offered);
}

// 0x5A: the station puts down the call in hand (or goes on-hook).
void Pbx::ctiRelease(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    h.reply();
    if (!h.engine.hangUp(request.station)) {
        // On-hook already: said again, it clears what the provider may
        // still show as disconnected.
        h.engine.onHook(request.station);
    }
}

// ---- hold -------------------------------------------------------------------

// 0x5B: nothing for a station call; '$' or '#' (exclusive or system hold)
// for a CO call. The PBX holds either way.
void Pbx::ctiHold(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Call* c = h.connectedCall();
    if (!c) return h.reject(cause::NotNow);
    h.reply();
    h.engine.hold(request.station, *c);
}

// 0x5C (co3) and 0x5D (num4): the held call with that party comes back. A
// consultation not yet answered is given up for it (the provider's drop of
// a ringing consultation sends 0x5D).
void Pbx::ctiRetrieve(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const bool co = request.code == link::code::RetrieveCo;
    const std::string field = text(request.data.first(std::min<std::size_t>(request.data.size(), co ? 3 : 4)));
    const auto party = co ? coEnd(m_config, field) : stationEnd(m_config, field);
    if (!party) return h.reject(cause::InvalidNumber);
    Call* held = m_calls.callBetween(request.station, *party);
    if (!held || !held->heldByEnd(h.me())) return h.reject(cause::NotNow);
    if (Call* active = m_calls.activeCall(request.station); active && active->phase == Phase::Connected) {
        return h.reject(cause::NotNow);
    }
    h.reply();
    h.engine.retrieve(request.station, *held);
}

// 0x90 (swap hold) and 0x6A (the form for a call waiting on the station):
// num4 or co3 of the held call; the call in hand goes on hold.
void Pbx::ctiSwap(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto party = h.party(request.data);
    if (!party) return h.reject(cause::InvalidNumber);
    Call* active = h.connectedCall();
    Call* held = m_calls.callBetween(request.station, *party);
    const bool waiting = held && held->phase == Phase::Camped && held->called == h.me();
    if (!active || !held || held == active || !(held->heldByEnd(h.me()) || waiting)) {
        return h.reject(cause::NotNow);
    }
    h.reply();
    h.engine.swap(request.station, *active, *held);
}

// ---- transfer ---------------------------------------------------------------

// 0x6F: the call in hand is held for a consultation; the station gets dial tone.
void Pbx::ctiTransferSetup(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Call* c = h.connectedCall();
    if (!c) return h.reject(cause::NotNow);
    h.reply();
    h.engine.consultation(request.station, *c);
}

// 0x70: the held party goes to the consultation's party, ringing,
// connected, or busy (the one-byte form the provider sends after a busy
// consultation). The reply follows the events.
void Pbx::ctiTransferComplete(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const std::vector<Call*> held = m_calls.heldCalls(request.station);
    Call* consult = m_calls.activeCall(request.station);
    if (held.empty() || !consult || consult->conference || m_calls.conferenceOf(request.station)) {
        return h.reject(cause::NotNow);
    }
    h.engine.completeTransfer(request.station, *held.back(), *consult);
    h.reply();
}

// ---- conference -------------------------------------------------------------

// 0x71: with one connected call, sets up a conference (the call joins it,
// the station gets dial tone); with a held call and a connected
// consultation, makes the three a conference at once; while adding, adds.
void Pbx::ctiConference(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Conference* conf = m_calls.conferenceOf(request.station);
    Call* active = h.connectedCall();
    if (conf) {
        if (!conf->adding || !active) return h.reject(cause::NotNow);
        h.reply();
        return h.engine.addToConference(request.station, *conf, *active);
    }
    if (!active) return h.reject(cause::NotNow);
    const std::vector<Call*> held = m_calls.heldCalls(request.station);
    h.reply();
    if (held.empty()) h.engine.setUpConference(request.station, *active);
    else h.engine.completeAsConference(request.station, *held.back(), *active);
}

// 0x72: the controller steps out of its conference to dial another party.
void Pbx::ctiPrepareAdd(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Conference* conf = m_calls.conferenceOf(request.station);
    if (!conf || conf->adding) return h.reject(cause::NotNow);
    h.reply();
    h.engine.prepareAdd(request.station, *conf);
}

// 0x73: the connected consultation joins the conference.
void Pbx::ctiConferenceAdd(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Conference* conf = m_calls.conferenceOf(request.station);
    Call* active = h.connectedCall();
    if (!conf || !conf->adding || !active) return h.reject(cause::NotNow);
    h.reply();
    h.engine.addToConference(request.station, *conf, *active);
}

// 0x74 (co3) and 0x75 (num4): the controller drops that party.
constexpr std::uint8_t kRemoveCo = 0x74;
void Pbx::ctiConferenceRemove(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const std::string field = trimmed(text(request.data));
    const auto party = request.code == kRemoveCo ? coEnd(m_config, field) : stationEnd(m_config, field);
    if (!party) return h.reject(cause::InvalidNumber);
    Conference* conf = m_calls.conferenceOf(request.station);
    Call* member = m_calls.callBetween(request.station, *party);
    if (!conf || conf->adding || !member || member->conference != conf->id) return h.reject(cause::NotNow);
    h.reply();
    h.engine.removeFromConference(*conf, *member);
}

// ---- park and pickup --------------------------------------------------------

// 0x5E: the 4-character park slot, right-justified.
void Pbx::ctiPark(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto slot = slotOf(m_config, text(request.data));
    if (!slot) return h.reject(cause::InvalidNumber);
    if (m_calls.parked(*slot)) return h.reject(cause::Busy);
    Call* c = h.connectedCall();
    if (!c) return h.reject(cause::NotNow);
    h.reply();
    h.engine.park(request.station, *c, *slot);
}

// 0x5F: the 4-character park slot, right-justified.
void Pbx::ctiUnpark(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto slot = slotOf(m_config, text(request.data));
    if (!slot) return h.reject(cause::InvalidNumber);
    if (!m_calls.parked(*slot) || m_calls.activeCall(request.station)) return h.reject(cause::NotNow);
    h.reply();
    h.engine.unpark(request.station, *slot);
}

// 0x60: num4 of the ringing station.
void Pbx::ctiDirectedPickup(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto at = stationOf(m_config, text(request.data));
    if (!at) return h.reject(cause::InvalidNumber);
    Call* offered = m_calls.offeredCall(*at);
    if (!offered || offered->phase != Phase::Ringing || *at == request.station ||
        m_calls.activeCall(request.station)) {
        return h.reject(cause::NotNow);
    }
    h.reply();
    h.engine.pickUp(request.station, *offered);
}

// 0x61: the oldest call ringing at any other station; every station is in
// the one pickup group.
void Pbx::ctiGroupPickup(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Call* offered = nullptr;
    for (const Call& c : m_calls.calls()) {
        if (c.phase == Phase::Ringing && c.called.isStation() && c.called.index != request.station) {
            offered = m_calls.find(c.id);
            break;
        }
    }
    if (!offered || m_calls.activeCall(request.station)) return h.reject(cause::NotNow);
    h.reply();
    h.engine.pickUp(request.station, *offered);
}

// 0x8E: redirect the call offered to the station. A selector, the call's
// key as the provider holds it (num4 for a station caller, co3 for a CO
// caller), then the destination as its call request carries it in the
// line's dialect:
//   '6' num4 / '5' co3      to the voice mailbox ("VMIB"), nothing follows
//   '1' num4 / 'A' co3      to a station: 0x55's number
//   '2' num4 / 'B' co3      out through a CO group: 0x56's co3 + number
//   '3' num4 / 'C' co3      out on a CO line or "NET": 0x57's co3 + number
// Only a station caller's call can be sent out on a CO line.
namespace {

enum class RedirectTo : std::uint8_t {
    VoiceMailbox,
    Station,
    CoGroup,
    CoLine,
};

struct RedirectForm {
    char selector;
    bool coCaller;
    RedirectTo to;
};

constexpr RedirectForm kRedirectForms[] = {
    {'6', false, RedirectTo::VoiceMailbox}, {'5', true, RedirectTo::VoiceMailbox},
    {'1', false, RedirectTo::Station},      {'A', true, RedirectTo::Station},
    {'2', false, RedirectTo::CoGroup},      {'B', true, RedirectTo::CoGroup},
    {'3', false, RedirectTo::CoLine},       {'C', true, RedirectTo::CoLine},
};

}  // namespace

void Pbx::ctiRedirect(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    if (request.data.empty()) return h.reject(cause::InvalidNumber);
    const RedirectForm* form = nullptr;
    for (const RedirectForm& f : kRedirectForms) {
        if (f.selector == static_cast<char>(request.data[0])) form = &f;
    }
    if (!form) return h.reject(cause::InvalidNumber);
    const std::size_t keySize = form->coCaller ? 3 : 4;
    if (request.data.size() < 1 + keySize) return h.reject(cause::InvalidNumber);
    const std::string key = text(request.data.subspan(1, keySize));
    const Bytes dest = request.data.subspan(1 + keySize);
    const auto caller = form->coCaller ? coEnd(m_config, key) : stationEnd(m_config, key);
    if (!caller) return h.reject(cause::InvalidNumber);
    Call* offered = m_calls.offeredCall(request.station, *caller);
    if (!offered || offered->phase != Phase::Ringing) return h.reject(cause::NotNow);
    Route route;
    switch (form->to) {
    case RedirectTo::VoiceMailbox: {
        const auto mailbox = h.engine.voiceMailbox();
        if (!mailbox) return h.reject(cause::InvalidNumber);
        route.kind = Route::Kind::Ring;
        route.station = *mailbox;
        break;
    }
    case RedirectTo::Station: {
        const auto to = stationOf(m_config, text(dest));
        if (!to || *to == request.station || End::station(*to) == *caller) return h.reject(cause::InvalidNumber);
        route = h.engine.route(*caller, *to);
        break;
    }
    case RedirectTo::CoGroup:
    case RedirectTo::CoLine: {
        if (form->coCaller) return h.reject(cause::NotNow);
        if (dest.size() < 4) return h.reject(cause::InvalidNumber);
        const std::string co = text(dest.first(3));
        const bool anyLine = form->to == RedirectTo::CoGroup || co == "NET";
        const std::optional<std::uint16_t> line = anyLine ? h.engine.freeCo() : coOf(m_config, co);
        if (!line) return h.reject(anyLine ? cause::Busy : cause::InvalidNumber);
        if (!m_calls.coFree(*line)) return h.reject(cause::Busy);
        route.kind = Route::Kind::Outside;
        route.co = *line;
        route.outside = outsideNumber(dest.subspan(3), m_config.dialect);
        if (route.outside.empty()) return h.reject(cause::InvalidNumber);
        break;
    }
    }
    if (route.kind == Route::Kind::Busy) return h.reject(cause::Busy);
    if (route.kind == Route::Kind::Refused) return h.reject(cause::Refused);
    h.reply();
    h.engine.redirect(*offered, route);
}

// ---- forwarding and do-not-disturb -------------------------------------------

namespace {

enum class ForwardTo : std::uint8_t {
    Off,
    Station,    // a station number follows
    VoiceUnit,  // the voice unit: nothing follows
    Outside,    // co3, a number of up to 4 characters and NUL follow
    FollowMe,   // the station whose calls follow here, then a code
};

struct ForwardRow {
    std::uint8_t selector;
    ForwardTo to;
};

// The selector bytes of 0x62.
constexpr ForwardRow kForwards[] = {
    {'(', ForwardTo::Off},
    {'!', ForwardTo::Station},     // unconditional
    {0x22, ForwardTo::Station},    // busy
    {'#', ForwardTo::Station},     // no answer
    {'$', ForwardTo::Station},     // busy or no answer
    {',', ForwardTo::VoiceUnit},   // unconditional
    {'-', ForwardTo::VoiceUnit},   // busy
    {'.', ForwardTo::VoiceUnit},   // no answer
    {'/', ForwardTo::VoiceUnit},   // busy or no answer
    {'*', ForwardTo::Outside},     // unconditional
    {'+', ForwardTo::Outside},     // no answer
    {0x27, ForwardTo::FollowMe},
};

constexpr std::uint8_t kForwardStatus = '&';

}  // namespace

// 0x62: selector byte and destination. Confirmed by the reply and by the
// station's forwarding status (0x3C '&').
void Pbx::ctiForward(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    if (request.data.empty()) return h.reject(cause::InvalidNumber);
    const std::uint8_t selector = request.data[0];
    const ForwardRow* row = nullptr;
    for (const ForwardRow& f : kForwards) {
        if (f.selector == selector) row = &f;
    }
    if (!row) return h.reject(cause::InvalidNumber);
    const Bytes rest = request.data.subspan(1);
    std::string status = {static_cast<char>(kForwardStatus), static_cast<char>(selector)};
    StationState& s = m_calls.station(request.station);
    std::uint16_t target = request.station;
    std::optional<std::uint16_t> to;
    std::string outside;
    switch (row->to) {
    case ForwardTo::Off:
    case ForwardTo::VoiceUnit:
        if (row->to == ForwardTo::VoiceUnit && !h.engine.voiceMailbox()) return h.reject(cause::InvalidNumber);
        break;
    case ForwardTo::Station:
        to = stationOf(m_config, text(rest));
        if (!to || *to == request.station) return h.reject(cause::InvalidNumber);
        status += h.engine.num(*to);
        break;
    case ForwardTo::Outside: {
        if (rest.size() < 4 || !coOf(m_config, text(rest.first(3)))) return h.reject(cause::InvalidNumber);
        outside = trimmed(text(rest.subspan(3)));
        if (outside.empty() || !isDialDigits(outside)) return h.reject(cause::InvalidNumber);
        status += outside;
        break;
    }
    case ForwardTo::FollowMe: {
        // Station a's calls follow this station: a is forwarded here.
        const auto a = rest.size() >= 4 ? stationOf(m_config, text(rest.first(4))) : std::nullopt;
        if (!a || *a == request.station) return h.reject(cause::InvalidNumber);
        target = *a;
        to = request.station;
        status = {static_cast<char>(kForwardStatus), '!'};
        status += h.engine.num(request.station);
        break;
    }
    }
    StationState& t = row->to == ForwardTo::FollowMe ? m_calls.station(target) : s;
    t.forwardSelector = row->to == ForwardTo::Off ? 0 : (row->to == ForwardTo::FollowMe ? '!' : selector);
    t.forwardTo = to;
    t.forwardOutside = outside;
    // Forwarding replaces do-not-disturb.
    t.dnd = false;
    h.reply();
    h.engine.event(target, link::event::FeatureStatus, status);
}

// 0x63 on, 0x64 off.
void Pbx::ctiDnd(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    h.reply();
    h.engine.setDnd(request.station, request.code == link::code::DndOn);
}

// ---- call completion ----------------------------------------------------------

// 0x65: num4 of the busy station; the station waits on it.
void Pbx::ctiCampOn(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Call* attempt = h.attemptOn({Phase::Busy});
    if (!attempt || attempt->refused) return h.reject(cause::NotNow);
    h.reply();
    h.engine.campOn(*attempt);
}

// 0x66: num4 of the busy or unanswering station; it calls back when free.
void Pbx::ctiCallback(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Call* attempt = h.attemptOn({Phase::Busy, Phase::Ringing});
    if (!attempt) return h.reject(cause::NotNow);
    h.reply();
    h.engine.requestCallback(request.station, attempt->called.index);
}

// 0x68: num4 of the busy or unanswering station; a message waits there.
void Pbx::ctiMessage(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Call* attempt = h.attemptOn({Phase::Busy, Phase::Ringing});
    if (!attempt) return h.reject(cause::NotNow);
    h.reply();
    h.engine.leaveMessage(*attempt);
}

// 0x69: num4 of the busy station; the station joins its conversation.
void Pbx::ctiIntrude(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Call* attempt = h.attemptOn({Phase::Busy});
    if (!attempt || attempt->refused) return h.reject(cause::NotNow);
    Call* target = m_calls.activeCall(attempt->called.index);
    if (!target || target->phase != Phase::Connected) return h.reject(cause::NotNow);
    h.reply();
    h.engine.intrude(*attempt);
}

// 0x6B: num4 of the station camped on.
void Pbx::ctiCancelCampOn(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    Call* attempt = h.attemptOn({Phase::Camped});
    if (!attempt) return h.reject(cause::NotNow);
    h.reply();
    h.engine.cancelCampOn(*attempt);
}

// 0x6C: num4 of the station the message was left at (the second list).
void Pbx::ctiCancelMessage(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto to = stationOf(m_config, text(request.data));
    if (!to) return h.reject(cause::InvalidNumber);
    const auto& from = m_calls.station(*to).messagesFrom;
    if (std::find(from.begin(), from.end(), request.station) == from.end()) return h.reject(cause::NotNow);
    h.reply();
    h.engine.cancelMessage(request.station, *to);
}

// 0x6E: num4 of the station asked to call back (the first list).
void Pbx::ctiCancelCallback(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const auto to = stationOf(m_config, text(request.data));
    if (!to) return h.reject(cause::InvalidNumber);
    const auto& asked = m_calls.station(request.station).callbacksTo;
    if (std::find(asked.begin(), asked.end(), *to) == asked.end()) return h.reject(cause::NotNow);
    h.reply();
    h.engine.cancelCallback(request.station, *to);
}

// 0x8F: 'N' NUL answers the callback offered (event 0x23); other key
// characters are presses of the station's keys, taken without effect here.
void Pbx::ctiKeyPress(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const bool callbackAnswer = request.data.size() >= 1 && request.data[0] == 'N' &&
                                (request.data.size() == 1 || request.data[1] == 0);
    if (callbackAnswer) {
        if (!m_calls.station(request.station).callbackOffered) return h.reject(cause::NotNow);
        h.reply();
        return h.engine.answerCallback(request.station);
    }
    h.reply();
}

// ---- digits -------------------------------------------------------------------

// 0x77: 0xDD 0xD0, then up to 12 digits, dialled on the connected CO call.
void Pbx::ctiDialDigits(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    const Bytes d = request.data;
    if (d.size() < 3 || d.size() > 14 || d[0] != 0xDD || d[1] != 0xD0) return h.reject(cause::InvalidNumber);
    const std::string digits = text(d.subspan(2));
    if (!isDialDigits(digits)) return h.reject(cause::InvalidNumber);
    Call* c = h.connectedCall();
    if (!c || !c->other(h.me()).isCo()) return h.reject(cause::NotNow);
    h.reply();
    c->outside += digits;
}

// 0x92: the digits as text, sent on the connected call.
void Pbx::ctiDtmf(const CtiRequest& request) {
    Handler h(*this, request);
    if (!h.fromStation()) return;
    if (request.data.empty() || !isDialDigits(text(request.data))) return h.reject(cause::InvalidNumber);
    if (!h.connectedCall()) return h.reject(cause::NotNow);
    h.reply();
}

// ---- the other side, from control commands ------------------------------------

namespace {

Pbx::CallResult failed(std::string text) { return {false, std::move(text)}; }

}  // namespace

Pbx::CallResult Pbx::stationCall(const std::string& from, const std::string& to) {
    const auto a = stationOf(m_config, from);
    const auto b = stationOf(m_config, to);
    if (!a) return failed("no station has number " + from);
    if (!b) return failed("no station has number " + to);
    if (*a == *b) return failed("a station does not call itself");
    if (m_calls.activeCall(*a) || m_calls.station(*a).dialTone) return failed(from + " has a call in hand");
    CallEngine engine(*this, m_calls);
    // Lifting the handset: the provider opens a dial-tone call on it.
    engine.offHook(*a, true);
    const Route route = engine.route(End::station(*a), *b);
    if (route.kind == Route::Kind::Busy || route.kind == Route::Kind::Refused) {
        const bool refused = route.kind == Route::Kind::Refused;
        engine.busyAttempt(*a, route.station, refused, true);
        return {true, refused ? "refused: " + to + " is in do-not-disturb" : "busy"};
    }
    engine.ring(End::station(*a), route);
    if (route.kind == Route::Kind::Outside) return {true, "forwarded outside on co " + std::to_string(route.co)};
    const std::string where = m_config.station(route.station)->number;
    return {true, route.forwardedFrom ? "forwarded to " + where : "ringing " + where};
}

Pbx::CallResult Pbx::stationAnswer(const std::string& number) {
    const auto s = stationOf(m_config, number);
    if (!s) return failed("no station has number " + number);
    Call* offered = m_calls.offeredCall(*s);
    if (!offered || offered->phase != Phase::Ringing) return failed(number + " has no ringing call");
    if (m_calls.activeCall(*s)) return failed(number + " has a call in hand");
    CallEngine(*this, m_calls).answer(*offered);
    return {true, "connected"};
}

Pbx::CallResult Pbx::stationHangUp(const std::string& number) {
    const auto s = stationOf(m_config, number);
    if (!s) return failed("no station has number " + number);
    if (!CallEngine(*this, m_calls).hangUp(*s)) return failed(number + " is on-hook");
    return {true, "on-hook"};
}

Pbx::CallResult Pbx::stationBusy(const std::string& number, bool on) {
    const auto s = stationOf(m_config, number);
    if (!s) return failed("no station has number " + number);
    CallEngine engine(*this, m_calls);
    if (!on) {
        if (!m_calls.idle(*s) || m_calls.station(*s).dialTone) return failed(number + " has calls; hang up");
        if (!m_calls.station(*s).offHook) return failed(number + " is on-hook");
        engine.onHook(*s);
        return {true, "on-hook"};
    }
    if (m_calls.busy(*s)) return failed(number + " is busy already");
    engine.offHook(*s, true);
    return {true, "off-hook"};
}

Pbx::CallResult Pbx::stationDnd(const std::string& number, bool on) {
    const auto s = stationOf(m_config, number);
    if (!s) return failed("no station has number " + number);
    CallEngine(*this, m_calls).setDnd(*s, on);
    return {true, on ? "do-not-disturb on" : "do-not-disturb off"};
}

Pbx::CallResult Pbx::coCall(const std::string& co, const std::string& to, const std::string& callerId) {
    const auto line = coOf(m_config, co);
    const auto b = stationOf(m_config, to);
    if (!line) return failed("no CO line has number " + co);
    if (!b) return failed("no station has number " + to);
    if (!m_calls.coFree(*line)) return failed("CO line " + co + " is in use");
    CallEngine engine(*this, m_calls);
    const Route route = engine.route(End::co(*line), *b);
    if (route.kind == Route::Kind::Busy) return {true, "busy"};
    if (route.kind == Route::Kind::Refused) return {true, "refused: " + to + " is in do-not-disturb"};
    engine.ring(End::co(*line), route, callerId);
    return {true, "ringing " + m_config.station(route.station)->number};
}

Pbx::CallResult Pbx::coAnswer(const std::string& co) {
    const auto line = coOf(m_config, co);
    if (!line) return failed("no CO line has number " + co);
    for (const Call& c : m_calls.calls()) {
        if (c.called == End::co(*line) && c.phase == Phase::Ringing) {
            CallEngine(*this, m_calls).outsideAnswers(*m_calls.find(c.id));
            return {true, "connected"};
        }
    }
    return failed("no call is ringing out on CO line " + co);
}

Pbx::CallResult Pbx::coHangUp(const std::string& co) {
    const auto line = coOf(m_config, co);
    if (!line) return failed("no CO line has number " + co);
    const std::vector<Call*> calls = m_calls.callsOf(End::co(*line));
    if (calls.empty()) return failed("CO line " + co + " has no call");
    CallEngine(*this, m_calls).release(*calls.front(), End::co(*line));
    return {true, "released"};
}

std::string Pbx::callsText() { return CallEngine(*this, m_calls).text(); }

}  // namespace velkor::pbxsim
