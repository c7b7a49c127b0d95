// Transfers and conferences.
#include "provider/core/line_operations.h"
#include "provider/link/catalogue.h"

namespace velkor::core {

namespace code = link::code;

namespace {}  // namespace

LONG LineOperations::setupTransfer(DRV_REQUESTID id, HDRVCALL hdCall, HTAPICALL htConsult,
                                   HDRVCALL* hdConsult) {
    if (!hdConsult) return LINEERR_INVALPOINTER;
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (t.call->state != LINECALLSTATE_CONNECTED || t.call->role != kRoleOrdinary) {
        return LINEERR_INVALCALLSTATE;
    }
    // The PBX holds the call and gives dial tone on this consultation call.
    CallContext* consult = newCall(*t.line, htConsult, LINECALLORIGIN_OUTBOUND);
    consult->role = kRoleBeingTransferred;
    return handOut(*t.line, consult, hdConsult,
                   [&] { return request(t, id, code::TransferSetup, {}, t.call); });
}

LONG LineOperations::completeTransfer(DRV_REQUESTID id, HDRVCALL hdCall, HDRVCALL hdConsult,
                                      HTAPICALL htConference, HDRVCALL* hdConference, DWORD mode) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    Target c;
    if (const LONG r = callTarget(hdConsult, c)) return r;
    if (c.line != t.line) return LINEERR_INVALCALLHANDLE;
    if (!(t.call->state & (LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_ONHOLD)) ||
        !(c.call->state &
          (LINECALLSTATE_RINGBACK | LINECALLSTATE_BUSY | LINECALLSTATE_CONNECTED))) {
        return LINEERR_INVALCALLSTATE;
    }
    if (mode == LINETRANSFERMODE_TRANSFER) {
        if (t.line->pendingTransfer != 0) return LINEERR_OPERATIONFAILED;
        c.call->role = kRoleBeingTransferred;
        return request(t, id, &LineContext::pendingTransfer, code::TransferComplete, {}, c.call);
    }
    if (mode == LINETRANSFERMODE_CONFERENCE) {
        if (c.call->state != LINECALLSTATE_CONNECTED) return LINEERR_INVALCALLSTATE;
        if (!hdConference) return LINEERR_INVALPOINTER;
        CallContext* conference = newCall(*t.line, htConference, LINECALLORIGIN_CONFERENCE);
        conference->role = kRoleTransferConference;
        return handOut(*t.line, conference, hdConference,
                       [&] { return request(t, id, code::Conference, {}, c.call); });
    }
    return LINEERR_OPERATIONUNAVAIL;
}

LONG LineOperations::blindTransfer(DRV_REQUESTID id, HDRVCALL hdCall,
                                   std::string_view destination) {
    Target t;
    std::uint16_t station = 0;
    {
        platform::ScopedLock lock(m_model.callLock());
        if (const LONG r = callTarget(hdCall, t)) return r;
        if (t.call->state != LINECALLSTATE_CONNECTED || t.call->role != kRoleOrdinary) {
            return LINEERR_INVALCALLSTATE;
        }
        if (destination.empty()) return LINEERR_INVALADDRESS;
        station = t.station->index;
        {
            std::lock_guard wait(m_waitMutex);
            m_consultationsReady.erase(station);
        }
        t.line->pendingBlindTransfer = id;
        if (!m_model.sender().sendCti(station, code::TransferSetup, {})) {
            t.line->pendingBlindTransfer = 0;
            return LINEERR_OPERATIONFAILED;
        }
    }
    // The consultation comes up on the receiving thread.
    bool ready;
    {
        std::unique_lock wait(m_waitMutex);
        ready = m_clock.waitUntil(m_waitChanged, wait, m_clock.now() + kBlindTransferWait,
                                  [&] { return m_consultationsReady.contains(station); });
        m_consultationsReady.erase(station);
    }
    platform::ScopedLock lock(m_model.callLock());
    LineContext* line = m_model.findLine(station);
    if (!line || !ready || line->pendingBlindTransfer != id) {
        if (line && line->pendingBlindTransfer == id) line->pendingBlindTransfer = 0;
        return LINEERR_OPERATIONFAILED;
    }
    t.line = line;
    CallContext* consult = StationModel::findCallByState(*line, LINECALLSTATE_DIALTONE);
    if (!consult) consult = m_model.createCall(*line, true);
    if (!consult) {
        line->pendingBlindTransfer = 0;
        return LINEERR_OPERATIONFAILED;
    }
    consult->role = kRoleBlindTransfer;
    const LONG result = dialOut(t, id, *consult, destination, false, true);
    if (result < 0) consult->role = kRoleOrdinary;
    return result;
}

LONG LineOperations::setupConference(DRV_REQUESTID id, HDRVCALL hdCall, HDRVLINE,
                                     HTAPICALL htConference, HDRVCALL* hdConference,
                                     HTAPICALL htConsult, HDRVCALL* hdConsult) {
    if (!hdConference || !hdConsult) return LINEERR_INVALPOINTER;
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (t.call->state != LINECALLSTATE_CONNECTED) return LINEERR_INVALCALLSTATE;
    if (!lineFree(*t.line)) return LINEERR_OPERATIONFAILED;
    if (StationModel::findCallByRole(*t.line, kRoleConferenceController)) {
        return LINEERR_OPERATIONUNAVAIL;
    }
    CallContext* controller = newCall(*t.line, htConference, LINECALLORIGIN_CONFERENCE);
    controller->role = kRoleConferenceController;
    CallContext* consult = newCall(*t.line, htConsult, LINECALLORIGIN_OUTBOUND);
    consult->role = kRoleConferenceMember;
    const LONG result = request(t, id, code::Conference, {}, t.call);
    if (result < 0) {
        m_model.releaseCall(*t.line, consult);
        m_model.releaseCall(*t.line, controller);
        return result;
    }
    *hdConference = controller->handle();
    *hdConsult = consult->handle();
    return result;
}

LONG LineOperations::prepareAddToConference(DRV_REQUESTID id, HDRVCALL hdConference,
                                            HTAPICALL htConsult, HDRVCALL* hdConsult) {
    if (!hdConsult) return LINEERR_INVALPOINTER;
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdConference, t)) return r;
    if (t.call->state != LINECALLSTATE_CONNECTED || t.call->role != kRoleConferenceController) {
        return LINEERR_INVALCALLSTATE;
    }
    CallContext* consult = newCall(*t.line, htConsult, LINECALLORIGIN_OUTBOUND);
    consult->role = kRoleConferenceMember;
    return handOut(*t.line, consult, hdConsult,
                   [&] { return request(t, id, code::PrepareConferenceAdd, {}, t.call); });
}

LONG LineOperations::addToConference(DRV_REQUESTID id, HDRVCALL hdConference, HDRVCALL hdConsult) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdConference, t)) return r;
    Target c;
    if (const LONG r = callTarget(hdConsult, c)) return r;
    if (c.line != t.line) return LINEERR_INVALCALLHANDLE;
    if (t.call->state != LINECALLSTATE_ONHOLDPENDCONF ||
        t.call->role != kRoleConferenceController || c.call->state != LINECALLSTATE_CONNECTED ||
        c.call->role == kRoleConferenceController) {
        return LINEERR_INVALCALLSTATE;
    }
    c.call->role = kRoleConferenceMember;
    return request(t, id, code::ConferenceAdd, {}, c.call);
}

LONG LineOperations::removeFromConference(DRV_REQUESTID id, HDRVCALL hdCall) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    const CallContext* controller =
        StationModel::findCallByRole(*t.line, kRoleConferenceController);
    if (t.call->state != LINECALLSTATE_CONFERENCED || !controller ||
        controller->state != LINECALLSTATE_CONNECTED) {
        return LINEERR_INVALCALLSTATE;
    }
    const bool station = t.call->partyKind == PartyKind::Station;
    return request(t, id, station ? code::ConferenceRemoveStation : code::ConferenceRemoveCo,
                   keyBytes(*t.call), t.call);
}

}  // namespace velkor::core
