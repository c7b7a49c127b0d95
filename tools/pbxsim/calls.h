#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velkor::pbxsim {

// One end of a call: a station, a CO line, or a park slot holding the
// parked party.
struct End {
    enum class Kind : std::uint8_t {
        Station,
        Co,
        Slot,
    };
    Kind kind = Kind::Station;
    // Station index, CO index, or the slot's position in the park list.
    std::uint16_t index = 0;

    static End station(std::uint16_t index) { return {Kind::Station, index}; }
    static End co(std::uint16_t index) { return {Kind::Co, index}; }
    static End slot(std::uint16_t position) { return {Kind::Slot, position}; }
    bool isStation() const { return kind == Kind::Station; }
    bool isCo() const { return kind == Kind::Co; }
    bool operator==(const End&) const = default;
};

enum class Phase : std::uint8_t {
    // The called end is offered the call; the caller hears ringback.
    Ringing,
    // The called station was busy or refused; the caller hears busy tone.
    Busy,
    Connected,
    // Camp-on: the caller waits on the busy called station.
    Camped,
    // The caller listens in on the called station's conversation.
    Intruding,
};

struct Call {
    std::uint32_t id = 0;
    // The end that dialled, or the CO line of an incoming CO call.
    End caller;
    End called;
    Phase phase = Phase::Ringing;
    // The end that put the call on hold.
    std::optional<End> heldBy;
    // The outside number: dialled out on the CO line, or the caller ID of an
    // incoming CO call ('N' + name for a caller's name).
    std::string outside;
    // The conference the call belongs to (its controller is one end); 0 = none.
    std::uint32_t conference = 0;
    // Busy because the called station is in do-not-disturb.
    bool refused = false;
    // The station that parked the call: the parked party's call still knows
    // the call by that station's number until someone takes it.
    std::optional<std::uint16_t> parkedBy;

    bool has(End e) const { return caller == e || called == e; }
    End other(End e) const { return caller == e ? called : caller; }
    // Rings at `e`: the call is offered to it (ringing or waiting on it).
    bool offeredTo(End e) const {
        return called == e && (phase == Phase::Ringing || phase == Phase::Camped);
    }
    // Not in `e`'s hand: offered to it, or another station listening in on it.
    bool waitingOn(End e) const { return offeredTo(e) || (called == e && phase == Phase::Intruding); }
    bool heldByEnd(End e) const { return heldBy && *heldBy == e; }
};

struct Conference {
    std::uint32_t id = 0;
    std::uint16_t controller = 0;
    // The controller stepped out of the conference to add a party.
    bool adding = false;
};

// What the PBX keeps per station beside its calls.
struct StationState {
    bool offHook = false;
    // Dial tone after a transfer or conference set-up, before a number.
    bool dialTone = false;
    bool dnd = false;
    // Forwarding as the last 0x62 set it: selector byte (0 = off) and the
    // destination station index, or none for the voice unit or outside.
    std::uint8_t forwardSelector = 0;
    std::optional<std::uint16_t> forwardTo;
    std::string forwardOutside;
    // Stations that left a message waiting here, oldest first.
    std::vector<std::uint16_t> messagesFrom;
    // Stations this station asked to call it back when they are free.
    std::vector<std::uint16_t> callbacksTo;
    // The callback offered to this station (event 0x23), until it answers.
    std::optional<std::uint16_t> callbackOffered;
};

// The PBX's call state: which stations and CO lines are in which calls,
// held, parked or conferenced. Only data and queries; call_engine turns
// changes into events.
class CallTable {
public:
    Call& add(End caller, End called, Phase phase);
    void remove(std::uint32_t id);
    Call* find(std::uint32_t id);
    // Calls stay where they are while others come and go, so a Call* lives
    // until its own call is removed.
    const std::list<Call>& calls() const { return m_calls; }

    // Every call `e` is an end of, oldest first.
    std::vector<Call*> callsOf(End e);
    // The station's call in hand: not offered to it and not held by it.
    Call* activeCall(std::uint16_t station);
    // Calls the station holds.
    std::vector<Call*> heldCalls(std::uint16_t station);
    // The oldest call offered to the station, or the one from `from`.
    Call* offeredCall(std::uint16_t station, std::optional<End> from = std::nullopt);
    // The station's call with `party` at the other end.
    Call* callBetween(std::uint16_t station, End party);
    // A station is busy for a new call while it is off-hook or has any call
    // it is not merely offered.
    bool busy(std::uint16_t station);
    // A CO line is free while no call uses it.
    bool coFree(std::uint16_t co);
    // Nothing left for the station: no call but those offered to it.
    bool idle(std::uint16_t station);

    StationState& station(std::uint16_t index) { return m_stations[index]; }

    Conference& addConference(std::uint16_t controller);
    Conference* conference(std::uint32_t id);
    Conference* conferenceOf(std::uint16_t controller);
    void removeConference(std::uint32_t id);
    std::vector<Call*> members(std::uint32_t conference);

    // Park slots by position in the configuration's list: the call parked there.
    std::optional<std::uint32_t> parked(std::size_t slot) const;
    void setParked(std::size_t slot, std::optional<std::uint32_t> call);

private:
    std::list<Call> m_calls;
    std::uint32_t m_nextId = 1;
    std::map<std::uint16_t, StationState> m_stations;
    std::vector<Conference> m_conferences;
    std::map<std::size_t, std::uint32_t> m_parked;
};

}  // namespace velkor::pbxsim
