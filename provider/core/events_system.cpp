// Station and system events: stations added, call records, notices, park
// slots, call information, indicators, other data and short messages.
#include "provider/core/event_context.h"

namespace velkor::core::events {

namespace {

// Up to 4 characters packed into one value, the first in the high byte.
DWORD packed(std::string_view text) {
    DWORD value = 0;
    for (std::size_t i = 0; i < text.size() && i < 4; ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(text[i]);
    }
    return value;
}

}  // namespace

void stationAdded(Event& e) {
    if (e.line) e.devSpecific(254, 1, 0);
    e.model.stationAdded(*e.station);
}

void callRecordText(Event& e) {
    // A call record comes in two frames: the first flagged ' ', the second
    // with any other flag completes it.
    std::string& first = e.model.pendingCallRecord();
    const std::string text = e.rest(1);
    if (e.byte(0) == ' ') {
        first = text.substr(0, StationModel::kMaxCallRecordPart);
        return;
    }
    const std::string record = first + text;
    first.clear();
    if (RecordSink* sink = e.model.recordSink()) {
        sink->onCallRecord({reinterpret_cast<const std::uint8_t*>(record.data()), record.size()});
    }
}

void systemNotice(Event& e) {
    const std::uint8_t notice = e.byte(0);
    if (notice == '5') {
        if (e.line) e.devSpecific(255, 1, 0);
    } else if (notice == '8') {
        e.eachOpenLine([&](LineContext& line) { e.model.raiseDevSpecific(line, 255, 2, 0); });
        e.model.events().phoneDevSpecificAll(255, 2, 0);
    }
}

void parkSlotStatus(Event& e) {
    const std::string slot = e.num(0);
    const std::string state = e.chars(4, 3);
    e.model.updateParkSlot(slot, state != "EMP");
    e.eachOpenLine([&](LineContext& line) {
        e.model.raiseDevSpecific(line, 18, packed(slot), packed(state));
    });
}

void callInfoUpdate(Event& e) {
    CallContext* c = e.call(e.co3(0));
    if (!c) return;
    const std::uint8_t kind = e.byte(3);
    const std::string text = trimmed(e.rest(4));
    // A party the PBX names: 'N' + name, otherwise a station number.
    const auto party = [](const std::string& t) {
        if (!t.empty() && t.front() == 'N') return PartyId{{}, t.substr(1)};
        return stationParty(t);
    };
    switch (kind) {
    case 0x80:
    case 0x81:
    case 0x82:
        c->redirecting = party(text);
        break;
    case 0x84:
        c->called = party(text);
        e.info(*c, kCalledId);
        return;
    case 0x85:
        c->redirecting = PartyId{trimmed(e.co3(4)), "CO" + coDigits(e.co3(4))};
        break;
    case 0x86:
        c->redirection = party(text);
        break;
    default:
        return;
    }
    e.info(*c, kRedirectingId);
}

void twoStateIndicator(Event& e) {
    if (e.byte(0) == '!') e.devSpecific(16, 1, 0);
    if (e.byte(0) == 0x22) e.devSpecific(16, 0, 0);
}

void otherSystemData(Event& e) {
    if (RecordSink* sink = e.model.recordSink()) sink->onOtherData(e.data);
}

void shortMessageReceived(Event& e) {
    std::string message = e.rest(0);
    if (message.size() > LineContext::kMaxShortMessage) message.resize(LineContext::kMaxShortMessage);
    e.line->shortMessage = std::move(message);
    e.line->shortMessageReady = true;
    e.devSpecific(34, 0, 0);
}

}  // namespace velkor::core::events
