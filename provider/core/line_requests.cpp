// What every line operation shares: finding its line and call, sending its
// request with the request ID parked on the line, and completing that ID
// when the PBX replies or rejects.
#include "provider/core/line_operations.h"
#include "provider/link/catalogue.h"

namespace velkor::core {

namespace code = link::code;

namespace {

struct CauseResult {
    std::uint8_t cause;
    LONG result;
};

// Rejections of the call requests 0x55-0x57. Busy and an idle destination
// are no failure of the request: the call shows them.
constexpr CauseResult kCallCauses[] = {
    {'!', LINEERR_OPERATIONUNAVAIL},
    {'&', LINEERR_OPERATIONUNAVAIL},
    {')', LINEERR_OPERATIONUNAVAIL},
    {'5', LINEERR_OPERATIONUNAVAIL},
    {0x22, 0},
    {'%', 0},
    {',', 0},
    {'/', LINEERR_INVALADDRESS},
    {'C', LINEERR_OPERATIONFAILED},
    {link::kCauseTimeout, LINEERR_INVALTIMEOUT},
};

// Rejections of the callback request 0x66.
constexpr CauseResult kCallbackCauses[] = {
    {'&', LINEERR_OPERATIONUNAVAIL}, {'+', LINEERR_OPERATIONUNAVAIL},
    {'-', LINEERR_OPERATIONUNAVAIL}, {'0', LINEERR_INVALCALLSTATE},
    {'5', LINEERR_INVALCALLSTATE},   {'A', LINEERR_OPERATIONFAILED},
    {'B', LINEERR_INVALCALLSTATE},   {'C', LINEERR_OPERATIONFAILED},
};

template <std::size_t N>
LONG lookUp(const CauseResult (&table)[N], std::uint8_t cause, LONG otherwise) {
    for (const CauseResult& c : table) {
        if (c.cause == cause) return c.result;
    }
    return otherwise;
}

bool isCallRequest(std::uint8_t request) {
    return request == code::CallStation || request == code::CallViaCoGroup ||
           request == code::CallViaCoLine;
}

std::uint32_t be32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at]) << 24 | static_cast<std::uint32_t>(d[at + 1]) << 16 |
           static_cast<std::uint32_t>(d[at + 2]) << 8 | d[at + 3];
}

}  // namespace

LineOperations::LineOperations(StationModel& model, platform::Clock& clock, Locations locations)
    : m_model(model), m_clock(clock), m_locations(std::move(locations)) {}

// --- checks ------------------------------------------------------------------

LONG LineOperations::lineTarget(HDRVLINE hdLine, Target& t) {
    t.station = m_model.findStationForLine(hdLine);
    if (!t.station || !t.station->line) return LINEERR_INVALLINEHANDLE;
    t.line = t.station->line.get();
    return 0;
}

LONG LineOperations::callTarget(HDRVCALL hdCall, Target& t) {
    t.line = m_model.findLineForCall(hdCall);
    if (!t.line) return LINEERR_INVALCALLHANDLE;
    t.station = m_model.stations().at(t.line->station);
    for (const auto& c : t.line->calls) {
        if (c->handle() == hdCall) t.call = c.get();
    }
    return t.call ? 0 : LINEERR_INVALCALLHANDLE;
}

bool LineOperations::lineFree(const LineContext& line) {
    for (const auto& c : line.calls) {
        if (c->requestPending) return false;
    }
    return true;
}

CallContext* LineOperations::newCall(LineContext& line, HTAPICALL htCall, DWORD origin) {
    CallContext* call = m_model.createCall(line, false);
    call->htCall = htCall;
    call->origin = origin;
    return call;
}

CallContext* LineOperations::otherPartyCall(const LineContext& line, const CallContext& call) {
    // The other party is a station with an open line holding a call keyed
    // with this station's number.
    if (call.partyKind != PartyKind::Station) return nullptr;
    StationRecord* own = m_model.stations().at(line.station);
    for (StationRecord& r : m_model.stations()) {
        if (!r.line || r.number != call.key || &r == own) continue;
        return StationModel::findCallByKey(*r.line, own->number);
    }
    return nullptr;
}

// --- sending -------------------------------------------------------------------

LONG LineOperations::request(const Target& t, DRV_REQUESTID id, DRV_REQUESTID LineContext::*slot,
                             std::uint8_t requestCode, std::span<const std::uint8_t> data,
                             CallContext* call) {
    t.line->*slot = id;
    if (call) call->requestPending = true;
    if (!m_model.sender().sendCti(t.station->index, requestCode, data)) {
        t.line->*slot = 0;
        if (call) call->requestPending = false;
        return LINEERR_OPERATIONFAILED;
    }
    return static_cast<LONG>(id);
}

LONG LineOperations::serviceRequest(const Target& t, DRV_REQUESTID id, std::uint8_t type,
                                    std::uint8_t subtype, std::span<const std::uint8_t> extra) {
    const std::uint16_t station = t.station->index;
    std::vector<std::uint8_t> payload{type, subtype, static_cast<std::uint8_t>(station >> 8),
                                      static_cast<std::uint8_t>(station & 0xFF)};
    payload.insert(payload.end(), extra.begin(), extra.end());
    t.line->pendingGeneral = id;
    if (!m_model.sender().sendCti(link::kSystemIndex, code::ServiceRequest, payload)) {
        t.line->pendingGeneral = 0;
        return LINEERR_OPERATIONFAILED;
    }
    return static_cast<LONG>(id);
}

// --- answers ---------------------------------------------------------------------

DRV_REQUESTID LineContext::*LineOperations::slotFor(const LineContext& line, std::uint8_t request) {
    if (request == code::Hold) return &LineContext::pendingHold;
    // Key presses and the answer to an offered callback share one slot.
    if (request == code::KeyPress) return &LineContext::pendingKeyPress;
    if (request == code::TransferComplete) {
        return line.pendingBlindTransfer ? &LineContext::pendingBlindTransfer
                                         : &LineContext::pendingTransfer;
    }
    return &LineContext::pendingGeneral;
}

void LineOperations::completeSlot(LineContext& line, DRV_REQUESTID LineContext::*slot,
                                  LONG result) {
    const DRV_REQUESTID id = line.*slot;
    line.*slot = 0;
    for (const auto& c : line.calls) c->requestPending = false;
    if (id != 0) m_model.events().complete(id, result);
}

void LineOperations::onReply(const link::CtiMessage& message) {
    // Session control and queries belong to the start-up.
    if (message.code == code::SessionControl || message.code == code::Query) return;
    platform::ScopedLock lock(m_model.callLock());
    LineContext* line = m_model.findLine(message.station);
    if (!line) return;
    if (message.code == code::TransferSetup) {
        {
            std::lock_guard wait(m_waitMutex);
            m_consultationsReady.insert(message.station);
        }
        m_waitChanged.notify_all();
        // A blind transfer completes when the PBX has taken the transfer.
        if (line->pendingBlindTransfer) return;
    }
    completeSlot(*line, slotFor(*line, message.code), 0);
}

LONG LineOperations::rejectionResult(std::uint8_t request, std::uint8_t cause) {
    if (isCallRequest(request)) return lookUp(kCallCauses, cause, LINEERR_OPERATIONFAILED);
    if (request == code::CallbackRequest) {
        // A cause the table does not name is still a failure.
        return lookUp(kCallbackCauses, cause, LINEERR_OPERATIONFAILED);
    }
    return LINEERR_OPERATIONFAILED;
}

void LineOperations::onRejection(const link::Rejection& rejection) {
    const std::uint8_t request = link::requestOfRejection(rejection.code);
    if (request == code::SessionControl || request == code::Query) return;
    platform::ScopedLock lock(m_model.callLock());
    LineContext* line = m_model.findLine(rejection.station);
    if (!line) return;
    if (request == code::TransferSetup) {
        // A blind transfer waiting for its consultation gives up at once.
        std::lock_guard wait(m_waitMutex);
        m_consultationsReady.insert(rejection.station);
        m_waitChanged.notify_all();
    }
    CallContext* call = nullptr;
    for (const auto& c : line->calls) {
        if (c->requestPending) call = c.get();
    }
    const LONG result = rejectionResult(request, rejection.cause);

    if (isCallRequest(request) && call) {
        if (call->role == kRoleBlindTransfer) {
            // The transfer target cannot be called: a busy one gets the
            // call anyway, otherwise the held call comes back.
            call->role = kRoleOrdinary;
            StationRecord* station = m_model.stations().at(rejection.station);
            if (rejection.cause == 0x22) {
                const std::uint8_t busy[] = {0x22};
                m_model.sender().sendCti(station->index, code::TransferComplete, busy);
                return;
            }
            if (CallContext* held = StationModel::findCallByState(*line, LINECALLSTATE_ONHOLD)) {
                const bool stationCall = held->partyKind == PartyKind::Station;
                m_model.sender().sendCti(station->index,
                                         stationCall ? code::RetrieveStation : code::RetrieveCo,
                                         keyBytes(*held));
            }
            completeSlot(*line, &LineContext::pendingBlindTransfer, result);
            return;
        }
        const bool createdByMakeCall = call->state == 0;
        if (rejection.cause == 0x22 || rejection.cause == '%') {
            m_model.setCallState(*line, *call, LINECALLSTATE_BUSY,
                                 rejection.cause == 0x22 ? LINEBUSYMODE_STATION : kBusyModeRefused);
            m_model.raiseCallInfo(*line, *call, LINECALLINFOSTATE_CALLEDID);
        } else if (rejection.cause == ',') {
            m_model.setCallState(*line, *call, LINECALLSTATE_IDLE);
        }
        completeSlot(*line, slotFor(*line, request), result);
        if (result != 0 && createdByMakeCall) m_model.releaseCall(*line, call);
        return;
    }
    if (request == code::CallbackRequest && call) {
        if (rejection.cause == 'A' || rejection.cause == 'C') {
            m_model.setCallState(*line, *call, LINECALLSTATE_IDLE);
        } else if (rejection.cause == 'B') {
            m_model.setCallState(*line, *call, LINECALLSTATE_RINGBACK);
        }
    }
    completeSlot(*line, slotFor(*line, request), result);
}

void LineOperations::onServiceAnswer(const link::ServiceAnswer& answer) {
    const auto p = answer.payload;
    if (p.size() < 4) return;
    const auto station = static_cast<std::uint16_t>(p[2] << 8 | p[3]);
    platform::ScopedLock lock(m_model.callLock());
    LineContext* line = m_model.findLine(station);
    if (!line) return;
    switch (p[0]) {
        case kServiceUserUserInfo:
            completeSlot(*line, &LineContext::pendingGeneral, 0);
            break;
        case kServiceCallData: {
            // The data reached the other party: its call shows it.
            if (p.size() >= 8) {
                const std::uint32_t reference = be32(p, 4);
                for (const auto& c : line->calls) {
                    if (c->reference != reference) continue;
                    if (CallContext* other = otherPartyCall(*line, *c)) {
                        other->callData = c->callData;
                        LineContext* otherLine = m_model.findLineForCall(other->handle());
                        if (otherLine)
                            m_model.raiseCallInfo(*otherLine, *other, LINECALLINFOSTATE_CALLDATA);
                    }
                }
            }
            completeSlot(*line, &LineContext::pendingGeneral, 0);
            break;
        }
        case kServiceDeferredRelease:
            completeSlot(*line, &LineContext::pendingGeneral, 0);
            break;
        default:
            break;
    }
}

}  // namespace velkor::core
