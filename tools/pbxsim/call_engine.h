#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/pbxsim/calls.h"

namespace velkor::pbxsim {

class Pbx;

// Where a new call to a station goes, worked out before anything changes so
// that the request can be rejected cleanly.
struct Route {
    enum class Kind : std::uint8_t {
        Ring,     // rings at `station` (the voice mailbox answers at once)
        Outside,  // forwarded out on CO line `co` to `outside`
        Busy,
        Refused,  // do-not-disturb
    };
    Kind kind = Kind::Busy;
    std::uint16_t station = 0;
    // The station whose forwarding sent the call on.
    std::optional<std::uint16_t> forwardedFrom;
    std::uint16_t co = 0;
    std::string outside;
};

// The PBX's call flows: each changes the call table and sends the events
// both ends see, to the stations the provider monitors. Events for the
// station that made the request come after the reply to it, except where a
// flow says otherwise. A short-lived object over the Pbx and its table.
class CallEngine {
public:
    CallEngine(Pbx& pbx, CallTable& table) : m_pbx(pbx), m_table(table) {}

    // The station number as events carry it: 4 characters, right-justified.
    std::string num(std::uint16_t station) const;
    // The CO line number as 3 characters, leading zeros blanked.
    std::string co3(std::uint16_t co) const;
    // The voice mailbox: the first ICMBOX station of the configuration.
    std::optional<std::uint16_t> voiceMailbox() const;
    std::optional<std::uint16_t> freeCo() const;

    // One event to a station, only when the provider monitors it.
    void event(std::uint16_t station, std::uint8_t code, std::string_view data);
    void event(End to, std::uint8_t code, std::string_view data);

    Route route(End caller, std::uint16_t to);
    // Rings the routed call: returns it, or nullptr for Busy and Refused.
    // `callerId`: what an incoming CO call shows ('N' + name for a name).
    Call* ring(End caller, const Route& route, std::string callerId = {});
    // A busy or refused attempt the caller keeps until it hangs up, camps
    // on, asks for a callback or leaves a message. `told`: the caller's
    // station hears it as events (a control command); a request is rejected
    // instead.
    Call& busyAttempt(std::uint16_t caller, std::uint16_t called, bool refused, bool told);
    Call& dialOut(std::uint16_t station, std::uint16_t co, std::string number);

    void answer(Call& call);
    void outsideAnswers(Call& call);
    // `by` leaves the call; `byRequest`: the station released it itself.
    void release(Call& call, End by);
    // The station puts down what it has in hand (0x5A, control "hangup").
    // False when it had nothing and was on-hook.
    bool hangUp(std::uint16_t station);
    void onHook(std::uint16_t station);
    void offHook(std::uint16_t station, bool tell);

    // The station gives up an unanswered attempt or consultation without
    // going on-hook.
    void abandon(std::uint16_t station, Call& call);
    void hold(std::uint16_t station, Call& call);
    void retrieve(std::uint16_t station, Call& call);
    void swap(std::uint16_t station, Call& active, Call& held);
    void consultation(std::uint16_t station, Call& active);
    void completeTransfer(std::uint16_t station, Call& held, Call& consult);

    void setUpConference(std::uint16_t station, Call& active);
    void completeAsConference(std::uint16_t station, Call& held, Call& consult);
    void prepareAdd(std::uint16_t station, Conference& conference);
    void addToConference(std::uint16_t station, Conference& conference, Call& consult);
    void removeFromConference(Conference& conference, Call& member);

    void park(std::uint16_t station, Call& call, std::size_t slot);
    void unpark(std::uint16_t station, std::size_t slot);
    void pickUp(std::uint16_t station, Call& offered);
    void redirect(Call& offered, const Route& route);

    void campOn(Call& attempt);
    void cancelCampOn(Call& attempt);
    void intrude(Call& attempt);
    void leaveMessage(Call& attempt);
    void cancelMessage(std::uint16_t from, std::uint16_t to);
    void requestCallback(std::uint16_t from, std::uint16_t to);
    void cancelCallback(std::uint16_t from, std::uint16_t to);
    void answerCallback(std::uint16_t station);

    void setDnd(std::uint16_t station, bool on);
    void parkSlotStatus(std::size_t slot);

    // A station has nothing in hand any more: a camper rings, callbacks
    // waiting for it are offered.
    void stationFreed(std::uint16_t station);

    // What the PBX has, for the control command "calls".
    std::string text() const;

    // The time a call rings before no-answer forwarding takes it.
    static constexpr int kNoAnswerSeconds = 15;

private:
    void ownSide(std::uint16_t station, const Call& call);
    void farSide(End end, const Call& call, End by);
    void leaveConference(Call& call, End by);
    void endConference(Conference& conference);
    void dissolveIfSmall(std::uint32_t conference);
    void reconnect(std::uint16_t station, const Call& call);
    void startNoAnswerTimer(const Call& call);
    std::string partyText(End e) const;

    Pbx& m_pbx;
    CallTable& m_table;
};

}  // namespace velkor::pbxsim
