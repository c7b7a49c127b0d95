// The CTI events (codes below 0x50) and what each needs before its handler
// runs: the data it always carries, and whether the station must have an
// open line. A shorter payload, or one longer than a frame can carry, is
// dropped here, so no handler reads past its data.
#include "provider/core/event_context.h"
#include "provider/link/catalogue.h"

namespace velkor::core {

namespace {

using namespace events;
namespace ev = link::event;

enum class Scope : std::uint8_t {
    Line,     // the station's open line
    Station,  // a station of the table, open or not
    System,   // any index, the system (0xFFFF) included
};

struct EventRow {
    std::uint8_t code;
    std::uint8_t minData;
    Scope scope;
    // Takes the call-state lock itself (it pauses between its steps).
    bool locksItself;
    Handler handler;
};

//   code                          data  scope           own lock  handler
constexpr EventRow kEvents[] = {
    {ev::IncomingCall,              5,  Scope::Line,    false, incomingCall},           // sub, num, num2
    {ev::Released,                  1,  Scope::Line,    false, released},               // sub, num
    {ev::Answered,                  4,  Scope::Line,    false, answered},               // num
    {ev::CallbackOffer,             1,  Scope::Line,    false, callbackOffer},          // num or 'N' + name
    {ev::HeldCallAppears,           5,  Scope::Line,    false, heldCallAppears},        // -, num
    {ev::Event25,                   0,  Scope::System,  false, noEffect},
    {ev::TransferredConnected,      8,  Scope::Line,    false, transferredConnected},   // num, num2
    {ev::PickedUp,                  4,  Scope::Line,    false, pickedUp},               // num
    {ev::Event28,                   0,  Scope::System,  false, noEffect},
    {ev::HeldCallReleased,          5,  Scope::Line,    false, heldCallReleased},       // -, num
    {ev::ReleasedWithDrop,          4,  Scope::Line,    false, releasedWithDrop},       // num
    {ev::TransferTarget,            4,  Scope::Line,    false, transferTarget},         // num
    {ev::ConferencePartyReleased,   4,  Scope::Line,    false, conferencePartyReleased},// num
    {ev::IncomingCoCall,            8,  Scope::Line,    false, incomingCoCall},         // sub, num, co3, caller ID
    {ev::DisconnectedWithCause,     4,  Scope::Line,    false, disconnectedWithCause},  // cause, co3
    {ev::CoCallConnected,           7,  Scope::Line,    false, coCallConnected},        // num, co3, caller ID
    {ev::StationCallProgress,       5,  Scope::Line,    false, stationCallProgress},    // sub, num
    {ev::PagingProgress,            1,  Scope::Line,    false, pagingProgress},         // sub, num, num2
    {ev::CoCallProgress,            4,  Scope::Line,    false, coCallProgress},         // sub, co3, caller ID
    {ev::PutOnHold,                 3,  Scope::Line,    false, putOnHold},              // num3
    {ev::HoldProgress,              5,  Scope::Line,    false, holdProgress},           // num, sub
    {ev::Ringback,                  4,  Scope::Line,    false, ringback},               // num
    {ev::StationAdded,              0,  Scope::Station, false, stationAdded},
    {ev::FeatureStatus,             1,  Scope::Station, true,  featureStatus},          // sub-code ...
    {ev::CallRecordText,            1,  Scope::System,  false, callRecordText},         // flag, text
    {ev::SystemNotice,              1,  Scope::System,  false, systemNotice},           // '5' / '8'
    {ev::ParkSlotStatus,            7,  Scope::System,  false, parkSlotStatus},         // slot, state
    {ev::CallInfoUpdate,            4,  Scope::Line,    false, callInfoUpdate},         // num3, kind, data
    {ev::TwoStateIndicator,         1,  Scope::Line,    false, twoStateIndicator},      // '!' / 0x22
    {ev::OutgoingCallResult,        6,  Scope::Line,    false, outgoingCallResult},     // dir, sub, num, num2
    {ev::OutgoingCoCallResult,      5,  Scope::Line,    false, outgoingCoCallResult},   // dir, sub, co3, caller ID
    {ev::HeldCallReconnected,       4,  Scope::Line,    false, heldCallReconnected},    // num
    {ev::OtherSystemData,           0,  Scope::System,  false, otherSystemData},        // data
    {ev::ShortMessageReceived,      4,  Scope::Line,    false, shortMessageReceived},   // num, text
    {ev::ConferenceFormed,          0,  Scope::Line,    false, conferenceFormed},
    {ev::ConferenceSplit,           0,  Scope::Line,    false, conferenceSplit},
};

// The most data one binary frame carries after the CTI header.
constexpr std::size_t kMaxEventData = 63 - link::kCtiHeader;

const EventRow* findRow(std::uint8_t code) {
    for (const EventRow& row : kEvents) {
        if (row.code == code) return &row;
    }
    return nullptr;
}

}  // namespace

void StationModel::onEvent(const link::CtiMessage& message) {
    const EventRow* row = findRow(message.code);
    if (!row) return;
    if (message.data.size() < row->minData || message.data.size() > kMaxEventData) return;
    StationRecord* station = m_stations.at(message.station);
    if (row->scope != Scope::System && !station) return;
    LineContext* line = station ? station->line.get() : nullptr;
    if (row->scope == Scope::Line && !line) return;
    Event event{*this, message, station, line, message.data};
    if (row->locksItself) {
        row->handler(event);
        return;
    }
    platform::ScopedLock lock(m_callLock);
    // The line may have closed while the lock was waited for.
    if (station) event.line = station->line.get();
    if (row->scope == Scope::Line && !event.line) return;
    row->handler(event);
}

namespace events {

void Event::allInStates(DWORD mask, DWORD s, DWORD mode, const CallContext* except) const {
    std::vector<CallContext*> matching;
    for (const auto& c : line->calls) {
        if (c.get() != except && (c->state & mask)) matching.push_back(c.get());
    }
    for (CallContext* c : matching) state(*c, s, mode);
}

void noEffect(Event&) {}

}  // namespace events

}  // namespace velkor::core
