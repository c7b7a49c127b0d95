#include "tools/pbxsim/calls.h"

#include <algorithm>

namespace velkor::pbxsim {

Call& CallTable::add(End caller, End called, Phase phase) {
    Call call;
    call.id = m_nextId++;
    call.caller = caller;
    call.called = called;
    call.phase = phase;
    m_calls.push_back(std::move(call));
    return m_calls.back();
}

void CallTable::remove(std::uint32_t id) {
    std::erase_if(m_calls, [id](const Call& c) { return c.id == id; });
    for (auto it = m_parked.begin(); it != m_parked.end();) {
        it = it->second == id ? m_parked.erase(it) : std::next(it);
    }
}

Call* CallTable::find(std::uint32_t id) {
    for (Call& c : m_calls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

std::vector<Call*> CallTable::callsOf(End e) {
    std::vector<Call*> out;
    for (Call& c : m_calls) {
        if (c.has(e)) out.push_back(&c);
    }
    return out;
}

Call* CallTable::activeCall(std::uint16_t station) {
    const End me = End::station(station);
    for (Call& c : m_calls) {
        if (!c.has(me) || c.waitingOn(me) || c.heldByEnd(me)) continue;
        // A conference member stays in the conference while its controller
        // steps out to add a party.
        if (c.conference) {
            const Conference* conf = conference(c.conference);
            if (conf && conf->controller == station && conf->adding) continue;
        }
        return &c;
    }
    return nullptr;
}

std::vector<Call*> CallTable::heldCalls(std::uint16_t station) {
    std::vector<Call*> out;
    for (Call& c : m_calls) {
        if (c.heldByEnd(End::station(station))) out.push_back(&c);
    }
    return out;
}

Call* CallTable::offeredCall(std::uint16_t station, std::optional<End> from) {
    for (Call& c : m_calls) {
        if (c.offeredTo(End::station(station)) && (!from || c.caller == *from)) return &c;
    }
    return nullptr;
}

Call* CallTable::callBetween(std::uint16_t station, End party) {
    for (Call& c : m_calls) {
        if (c.has(End::station(station)) && c.other(End::station(station)) == party) return &c;
    }
    return nullptr;
}

bool CallTable::busy(std::uint16_t station) {
    const StationState& s = m_stations[station];
    return s.offHook || s.dialTone || !idle(station);
}

bool CallTable::coFree(std::uint16_t co) {
    return std::none_of(m_calls.begin(), m_calls.end(), [co](const Call& c) { return c.has(End::co(co)); });
}

bool CallTable::idle(std::uint16_t station) {
    const End me = End::station(station);
    return std::all_of(m_calls.begin(), m_calls.end(),
                       [me](const Call& c) { return !c.has(me) || c.waitingOn(me); });
}

Conference& CallTable::addConference(std::uint16_t controller) {
    Conference conf;
    conf.id = m_nextId++;
    conf.controller = controller;
    m_conferences.push_back(conf);
    return m_conferences.back();
}

Conference* CallTable::conference(std::uint32_t id) {
    for (Conference& c : m_conferences) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

Conference* CallTable::conferenceOf(std::uint16_t controller) {
    for (Conference& c : m_conferences) {
        if (c.controller == controller) return &c;
    }
    return nullptr;
}

void CallTable::removeConference(std::uint32_t id) {
    for (Call& c : m_calls) {
        if (c.conference == id) c.conference = 0;
    }
    std::erase_if(m_conferences, [id](const Conference& c) { return c.id == id; });
}

std::vector<Call*> CallTable::members(std::uint32_t conference) {
    std::vector<Call*> out;
    for (Call& c : m_calls) {
        if (conference != 0 && c.conference == conference) out.push_back(&c);
    }
    return out;
}

std::optional<std::uint32_t> CallTable::parked(std::size_t slot) const {
    const auto it = m_parked.find(slot);
    if (it == m_parked.end()) return std::nullopt;
    return it->second;
}

void CallTable::setParked(std::size_t slot, std::optional<std::uint32_t> call) {
    if (call) m_parked[slot] = *call;
    else m_parked.erase(slot);
}

}  // namespace velkor::pbxsim
