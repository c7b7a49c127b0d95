// Event 0x3C: the station's feature status, by sub-code.
#include <chrono>

#include "provider/core/event_context.h"

namespace velkor::core::events {

namespace {

constexpr std::uint8_t kOn = '!';
constexpr std::uint8_t kOff = 0x22;

void forwardingChanged(Event& e, DWORD mode, std::string destination) {
    LineContext& line = *e.line;
    line.forwardMode = mode;
    line.forwardActive = mode != 0;
    if (destination.size() > LineContext::kMaxForwardDestination) {
        destination.resize(LineContext::kMaxForwardDestination);
    }
    line.forwardDestination = std::move(destination);
    e.model.raiseAddressState(line, LINEADDRESSSTATE_FORWARD);
}

std::string withoutBlanks(std::string text) {
    std::erase(text, ' ');
    std::erase(text, '\0');
    return text;
}

void doNotDisturb(Event& e) {
    const std::uint8_t value = e.byte(1);
    if (value == kOn) {
        // The PBX treats do-not-disturb as unconditional forwarding to nowhere.
        e.line->doNotDisturb = true;
        if (CallContext* offered = e.inState(kOffering)) e.state(*offered, kIdle);
        forwardingChanged(e, LINEFORWARDMODE_UNCOND, {});
        e.devSpecific(6, 1, 1);
    } else if (value == kOff) {
        e.line->doNotDisturb = false;
        forwardingChanged(e, 0, {});
        e.devSpecific(6, 1, 0);
    }
}

struct ForwardRow {
    std::uint8_t value;
    DWORD mode;
    // 4: a station number of 4 characters; 28: an outside number of up to 28
    // characters; 0: no destination (off, or the voice unit).
    std::uint8_t destination;
    // n of LINE_DEVSPECIFIC(6, 2, n) for forwarding to the voice unit, else 0.
    std::uint8_t voiceUnit;
};

constexpr ForwardRow kForwards[] = {
    {'!', LINEFORWARDMODE_UNCOND, 4, 0},
    {0x22, LINEFORWARDMODE_BUSY, 4, 0},
    {'#', LINEFORWARDMODE_NOANSW, 4, 0},
    {'$', LINEFORWARDMODE_BUSYNA, 4, 0},
    {'%', LINEFORWARDMODE_UNCONDEXTERNAL, 28, 0},
    {'*', LINEFORWARDMODE_UNCONDEXTERNAL, 28, 0},
    {'+', LINEFORWARDMODE_NOANSWEXTERNAL, 28, 0},
    {'(', 0, 0, 0},
    {',', LINEFORWARDMODE_UNCOND, 0, 1},
    {'-', LINEFORWARDMODE_BUSY, 0, 2},
    {'.', LINEFORWARDMODE_NOANSW, 0, 3},
    {'/', LINEFORWARDMODE_BUSYNA, 0, 4},
};

void forwarding(Event& e) {
    const std::uint8_t value = e.byte(1);
    const ForwardRow* row = nullptr;
    for (const ForwardRow& r : kForwards) {
        if (r.value == value) row = &r;
    }
    if (!row) return;
    e.line->doNotDisturb = false;
    std::string destination;
    if (row->destination == 4) destination = withoutBlanks(e.num(2));
    if (row->destination == 28 && e.data.size() > 2) {
        destination = withoutBlanks(e.chars(2, std::min<std::size_t>(28, e.data.size() - 2)));
    }
    if (row->voiceUnit) destination = "DVU";
    forwardingChanged(e, row->mode, destination);
    if (row->voiceUnit) e.devSpecific(6, 2, row->voiceUnit);
}

void completionCancelled(Event& e, std::vector<std::string>& list) {
    if (e.byte(1) != kOff) return;
    const std::string num = e.num(2);
    if (!num.empty()) std::erase(list, num);
}

void completionList1(Event& e) { completionCancelled(e, e.line->completionList1); }
void completionList2(Event& e) { completionCancelled(e, e.line->completionList2); }

DWORD decimal(std::string_view number) {
    DWORD value = 0;
    for (const char c : number) {
        if (c >= '0' && c <= '9') value = value * 10 + static_cast<DWORD>(c - '0');
    }
    return value;
}

void indicator15(Event& e) {
    if (e.byte(1) == kOn) e.devSpecific(15, 0, 1);
    if (e.byte(1) == kOff) e.devSpecific(15, 0, 0);
}

void messageCount(Event& e) {
    if (e.data.size() < 2) return;
    const DWORD count = static_cast<DWORD>(e.byte(1) - 0x20) & 0xFF;
    if (e.line->tracksMessageCount) {
        e.line->messageCount = count;
        e.line->messageCountPending = true;
    }
    e.devSpecific(5, 1, count);
}

void indicator17(Event& e) {
    if (e.byte(1) == kOn) e.devSpecific(17, 1, 0);
    if (e.byte(1) == kOff) e.devSpecific(17, 0, 0);
}

void offHook(Event& e) {
    LineContext& line = *e.line;
    if (line.inUse) return;
    if (!e.any(kConnected | kOnHold)) {
        CallContext* c = e.newCall(kDialtoneKey, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT);
        if (c) {
            c->partyKind = PartyKind::Station;
            e.state(*c, kDialtone);
        }
    }
    line.inUse = true;
}

void onHook(Event& e) {
    LineContext& line = *e.line;
    if (!line.inUse) return;
    e.allInStates(kDialtone | kRingback | kBusy | kDisconnected, kIdle);
    if (!e.any(kConnected | kOnHold | kDisconnected)) {
        line.inUse = false;
    } else if (line.pagingActive) {
        if (CallContext* paging = e.call(kPagingKey)) e.state(*paging, kIdle);
        line.pagingActive = false;
    }
}

void ownIndex(Event& e) { e.devSpecific(8, e.message.station, 69); }

void removed(Event& e) {
    if (e.station->lineDeviceId != kNoDevice) {
        e.model.events().providerEvent(LINE_REMOVE, e.station->lineDeviceId, 0);
    }
}

struct FeatureRow {
    std::uint8_t sub;
    bool needsLine;
    Handler handler;
};

//   sub    line   handler
constexpr FeatureRow kFeatures[] = {
    {'%',  true,  doNotDisturb},
    {'&',  true,  forwarding},
    {0x27, true,  completionList1},
    {')',  true,  completionList2},
    {'*',  true,  indicator15},
    {',',  true,  messageCount},
    {'6',  true,  indicator17},
    {'7',  true,  offHook},
    {'8',  true,  onHook},
    {'9',  true,  ownIndex},
    {';',  false, removed},
};

// '(' : the PBX reports a call-completion number and expects the provider
// to keep pace with it, 100 ms before and after the report.
void completionNumber(Event& e) {
    const std::string number = e.num(2);
    if (number.empty() || number.front() == 'N') return;
    constexpr auto kPace = std::chrono::milliseconds(100);
    e.model.pause(kPace);
    {
        platform::ScopedLock lock(e.model.callLock());
        LineContext* line = e.station->line.get();
        if (!line) return;
        const DWORD value = decimal(number);
        if (e.byte(1) == kOn) {
            e.model.raiseDevSpecific(*line, 4, 1, value);
            if (line->collectsCompletionNumbers) line->completionNumbers.push_back(value);
        } else {
            e.model.raiseDevSpecific(*line, 4, 0, value);
        }
    }
    e.model.pause(kPace);
}

}  // namespace

void featureStatus(Event& e) {
    const std::uint8_t sub = e.byte(0);
    if (sub == '(') {
        if (e.station->line) completionNumber(e);
        return;
    }
    for (const FeatureRow& row : kFeatures) {
        if (row.sub != sub) continue;
        platform::ScopedLock lock(e.model.callLock());
        e.line = e.station->line.get();
        if (row.needsLine && !e.line) return;
        row.handler(e);
        return;
    }
}

}  // namespace velkor::core::events
