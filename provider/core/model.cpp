#include "provider/core/model.h"

#include <algorithm>

namespace velkor::core {

StationModel::StationModel(TapiEvents& events, CtiSender& sender, Pause pause)
    : m_events(events), m_sender(sender), m_pause(std::move(pause)) {}

LineContext* StationModel::openLine(std::uint16_t station, HTAPILINE htLine, LINEEVENT eventProc) {
    StationRecord* record = m_stations.at(station);
    if (!record || record->line) return nullptr;
    platform::ScopedLock lock(m_callLock);
    record->line = std::make_unique<LineContext>();
    record->line->htLine = htLine;
    record->line->eventProc = eventProc;
    record->line->station = station;
    return record->line.get();
}

void StationModel::closeLine(std::uint16_t station) {
    StationRecord* record = m_stations.at(station);
    if (!record) return;
    platform::ScopedLock lock(m_callLock);
    record->line.reset();
}

LineContext* StationModel::findLine(std::uint16_t station) {
    StationRecord* record = m_stations.at(station);
    return record ? record->line.get() : nullptr;
}

LineContext* StationModel::findLineForCall(HDRVCALL call) {
    if (!call) return nullptr;
    for (StationRecord& r : m_stations) {
        if (!r.line) continue;
        for (const auto& c : r.line->calls) {
            if (c->handle() == call) return r.line.get();
        }
    }
    return nullptr;
}

CallContext* StationModel::findCallByKey(LineContext& line, std::string_view key) {
    if (key.empty()) return nullptr;
    for (const auto& c : line.calls) {
        if (c->key == key) return c.get();
    }
    return nullptr;
}

CallContext* StationModel::findCallByState(LineContext& line, DWORD state) {
    for (const auto& c : line.calls) {
        if (c->state == state) return c.get();
    }
    return nullptr;
}

CallContext* StationModel::findCallByStateMask(LineContext& line, DWORD mask,
                                               const CallContext* except) {
    for (const auto& c : line.calls) {
        if (c.get() != except && (c->state & mask)) return c.get();
    }
    return nullptr;
}

CallContext* StationModel::findCallByRole(LineContext& line, std::uint32_t role) {
    for (const auto& c : line.calls) {
        if (c->role == role) return c.get();
    }
    return nullptr;
}

bool StationModel::hasCallInStates(LineContext& line, DWORD mask, const CallContext* except) {
    return findCallByStateMask(line, mask, except) != nullptr;
}

CallContext* StationModel::createCall(LineContext& line, bool announce) {
    platform::ScopedLock lock(m_callLock);
    line.calls.push_back(std::make_unique<CallContext>());
    CallContext* call = line.calls.back().get();
    call->reference = ++m_lastCallReference;
    if (announce) {
        call->htCall = m_events.newCall(line, *call);
        if (!call->htCall) {
            line.calls.pop_back();
            return nullptr;
        }
    }
    return call;
}

void StationModel::releaseCall(LineContext& line, CallContext* call) {
    platform::ScopedLock lock(m_callLock);
    if (line.campedOnCall == call) line.campedOnCall = nullptr;
    for (const auto& c : line.calls) {
        if (c->related == call) c->related = nullptr;
    }
    std::erase_if(line.calls, [call](const auto& c) { return c.get() == call; });
}

void StationModel::setCallState(LineContext& line, CallContext& call, DWORD state, DWORD mode) {
    platform::ScopedLock lock(m_callLock);
    if (call.state == state) return;
    call.state = state;
    call.mode = mode;
    bool wasController = false;
    if (state == LINECALLSTATE_IDLE || state == LINECALLSTATE_DISCONNECTED) {
        wasController = call.role == kRoleConferenceController;
        call.key.clear();
        call.role = kRoleOrdinary;
    }
    m_events.lineEvent(line, &call, LINE_CALLSTATE, state, mode, LINEMEDIAMODE_INTERACTIVEVOICE);
    // The calls may change while a side effect runs; walk a snapshot.
    std::vector<CallContext*> others;
    for (const auto& c : line.calls) {
        if (c.get() != &call) others.push_back(c.get());
    }
    if (wasController) {
        for (CallContext* c : others) {
            if (c->state == LINECALLSTATE_CONFERENCED) setCallState(line, *c, LINECALLSTATE_IDLE);
        }
    }
    if (state == LINECALLSTATE_CONNECTED) {
        constexpr DWORD kDropped = LINECALLSTATE_DIALTONE | LINECALLSTATE_RINGBACK | LINECALLSTATE_BUSY;
        for (CallContext* c : others) {
            if (c->state & kDropped) setCallState(line, *c, LINECALLSTATE_IDLE);
        }
    }
}

void StationModel::raiseCallInfo(LineContext& line, CallContext& call, DWORD flags) {
    m_events.lineEvent(line, &call, LINE_CALLINFO, flags, 0, 0);
}

void StationModel::raiseDevSpecific(LineContext& line, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) {
    m_events.lineEvent(line, nullptr, LINE_DEVSPECIFIC, p1, p2, p3);
}

void StationModel::raiseAddressState(LineContext& line, DWORD state) {
    // One address per line: address ID 0.
    m_events.lineEvent(line, nullptr, LINE_ADDRESSSTATE, 0, state, 0);
}

void StationModel::replayLineNotices(StationRecord& station) {
    if (!station.line) return;
    LineContext& line = *station.line;
    raiseDevSpecific(line, 32, 0, station.portValue);
    std::vector<DWORD> numbers;
    {
        platform::ScopedLock lock(m_callLock);
        numbers.swap(line.completionNumbers);
    }
    for (const DWORD number : numbers) raiseDevSpecific(line, 4, 1, number);
    if (line.messageCountPending) raiseDevSpecific(line, 5, 1, line.messageCount);
}

void StationModel::conferenceCleanUp(LineContext& line) {
    platform::ScopedLock lock(m_callLock);
    std::size_t conferenced = 0;
    CallContext* member = nullptr;
    bool pendingConference = false;
    for (const auto& c : line.calls) {
        if (c->state == LINECALLSTATE_CONFERENCED) {
            ++conferenced;
            member = c.get();
        }
        if (c->state == LINECALLSTATE_ONHOLDPENDCONF) pendingConference = true;
    }
    CallContext* controller = findCallByRole(line, kRoleConferenceController);
    const bool controllerWaiting = controller && controller->state == LINECALLSTATE_ONHOLDPENDCONF;
    if ((conferenced == 0 && !pendingConference) || (conferenced == 1 && !controllerWaiting)) {
        if (member) setCallState(line, *member, LINECALLSTATE_CONNECTED);
        if (controller) setCallState(line, *controller, LINECALLSTATE_IDLE);
    }
}

void StationModel::stationAdded(StationRecord& station) {
    station.type = kTypeDkt;
    // A station the PBX adds again keeps the device it already has.
    if (station.lineDeviceId != kNoDevice) return;
    // Each added station gets its own temporary ID past the initialised
    // range until TSPI_providerCreateLineDevice gives the final one.
    station.lineDeviceId = m_ids.lineBase + m_ids.lineCount + m_createdLines++;
    m_events.providerEvent(LINE_CREATE, reinterpret_cast<DWORD_PTR>(m_ids.providerHandle),
                           station.lineDeviceId);
}

void StationModel::updateParkSlot(std::string_view number, bool occupied) {
    for (std::size_t i = 0; i < m_parkSlotCount; ++i) {
        if (m_parkSlots[i].number == number) {
            m_parkSlots[i].occupied = occupied;
            return;
        }
    }
    if (m_parkSlotCount == kMaxParkSlots) return;
    m_parkSlots[m_parkSlotCount++] = ParkSlot{std::string(number), occupied};
}

}  // namespace velkor::core
