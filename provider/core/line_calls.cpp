// Calls of one line: make, answer, drop, hold, retrieve, swap, dial, digits.
#include "provider/core/call_reports.h"
#include "provider/core/line_operations.h"
#include "provider/core/party.h"
#include "provider/link/catalogue.h"

namespace velkor::core {

namespace code = link::code;

namespace {

constexpr std::uint8_t kCallbackAnswer[] = {'N', 0x00};

bool isCoParty(const CallContext& call) { return call.partyKind != PartyKind::Station; }

bool inStates(const CallContext& call, DWORD mask) { return (call.state & mask) != 0; }

}  // namespace

LONG LineOperations::dialOut(const Target& t, DRV_REQUESTID id, CallContext& call,
                             std::string_view destination, bool makeCallForms, bool blindTransfer) {
    const std::optional<CallRequest> callRequest = makeCallRequest(
        destination, m_locations ? m_locations() : LocationPrefixes{}, dialect(), makeCallForms);
    if (!callRequest) return LINEERR_OPERATIONFAILED;
    if (callRequest->code == code::CallStation) {
        // Events and the call completions find the call by the number as
        // the PBX reports it: right-justified in four characters.
        const Destination d =
            classify(destination, m_locations ? m_locations() : LocationPrefixes{});
        if (const auto num = link::encodeNum4(d.number)) {
            call.key.assign(num->begin(), num->end());
            call.called = stationParty(call.key);
        }
    }
    return request(
        t, id, blindTransfer ? &LineContext::pendingBlindTransfer : &LineContext::pendingGeneral,
        callRequest->code, callRequest->data, &call);
}

LONG LineOperations::makeCall(DRV_REQUESTID id, HDRVLINE hdLine, HTAPICALL htCall, HDRVCALL* hdCall,
                              std::string_view destination, const LINECALLPARAMS* params) {
    if (params) {
        if (params->dwBearerMode != 0 && params->dwBearerMode != LINEBEARERMODE_VOICE) {
            return LINEERR_INVALBEARERMODE;
        }
        if (params->dwMediaMode != 0 && params->dwMediaMode != LINEMEDIAMODE_INTERACTIVEVOICE) {
            return LINEERR_INVALMEDIAMODE;
        }
    }
    if (!hdCall) return LINEERR_INVALPOINTER;
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (!m_model.findStationForLine(hdLine)) return LINEERR_INVALLINEHANDLE;
    if (lineTarget(hdLine, t) != 0) return LINEERR_OPERATIONFAILED;
    // A single-line telephone dials only once its handset is off the hook.
    if (t.station->type == kTypeSlt && !t.line->inUse) return LINEERR_OPERATIONFAILED;
    if (!lineFree(*t.line)) return LINEERR_OPERATIONFAILED;
    if (destination.empty()) return LINEERR_CALLUNAVAIL;

    if (CallContext* dialTone = StationModel::findCallByState(*t.line, LINECALLSTATE_DIALTONE)) {
        m_model.setCallState(*t.line, *dialTone, LINECALLSTATE_IDLE);
    }
    CallContext* call = newCall(*t.line, htCall, LINECALLORIGIN_OUTBOUND);
    t.line->inUse = true;
    return handOut(*t.line, call, hdCall,
                   [&] { return dialOut(t, id, *call, destination, true, false); });
}

LONG LineOperations::answer(DRV_REQUESTID id, HDRVCALL hdCall,
                            std::span<const std::uint8_t> userUserInfo) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (t.call->state != LINECALLSTATE_OFFERING) return LINEERR_INVALCALLSTATE;
    if (!lineFree(*t.line)) return LINEERR_OPERATIONFAILED;
    if (t.station->type == kTypeSlt) return LINEERR_OPERATIONFAILED;
    if (!userUserInfo.empty()) {
        if (CallContext* other = otherPartyCall(*t.line, *t.call)) {
            if (other->userUserInfo.size() < CallContext::kMaxUserUserInfo) {
                other->userUserInfo.emplace_back(userUserInfo.begin(), userUserInfo.end());
                if (LineContext* otherLine = m_model.findLineForCall(other->handle())) {
                    m_model.raiseCallInfo(*otherLine, *other, LINECALLINFOSTATE_USERUSERINFO);
                }
            }
        }
    }
    if (t.call->callback) {
        t.call->origin = LINECALLORIGIN_OUTBOUND;
        return request(t, id, &LineContext::pendingKeyPress, code::KeyPress, kCallbackAnswer,
                       t.call);
    }
    switch (t.call->partyKind) {
        case PartyKind::Station:
            return request(t, id, code::AnswerStation, keyBytes(*t.call), t.call);
        case PartyKind::Co:
        case PartyKind::CoWithName: {
            std::vector<std::uint8_t> data(t.call->key.begin(), t.call->key.end());
            data.push_back(0x00);
            return request(t, id, code::AnswerCo, data, t.call);
        }
    }
    return LINEERR_OPERATIONUNAVAIL;
}

LONG LineOperations::drop(DRV_REQUESTID id, HDRVCALL hdCall) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    constexpr DWORD kNotDroppable = LINECALLSTATE_OFFERING | LINECALLSTATE_ONHOLD |
                                    LINECALLSTATE_CONFERENCED | LINECALLSTATE_ONHOLDPENDCONF |
                                    LINECALLSTATE_ONHOLDPENDTRANSFER;
    if (inStates(*t.call, kNotDroppable)) return LINEERR_INVALCALLSTATE;
    CallContext* controller = StationModel::findCallByRole(*t.line, kRoleConferenceController);
    if (controller && controller != t.call && controller->state == LINECALLSTATE_CONNECTED) {
        return LINEERR_OPERATIONUNAVAIL;
    }
    if (t.call->role == kRoleConferenceController &&
        StationModel::hasCallInStates(*t.line, LINECALLSTATE_CONNECTED, t.call)) {
        return LINEERR_INVALCALLSTATE;
    }
    if (t.call->state == LINECALLSTATE_IDLE) {
        // Nothing to release at the PBX; the PBX confirms the reference.
        return serviceRequest(t, id, kServiceDeferredRelease, 1, referenceBytes(*t.call));
    }
    if (t.call->state == LINECALLSTATE_RINGBACK) {
        for (const auto& c : t.line->calls) {
            if (c->state == LINECALLSTATE_ONHOLDPENDTRANSFER &&
                c->partyKind == PartyKind::Station) {
                // Dropping the consultation reconnects the held party.
                return request(t, id, code::RetrieveStation, keyBytes(*c), t.call);
            }
        }
    }
    return request(t, id, code::Release, {}, t.call);
}

LONG LineOperations::hold(DRV_REQUESTID id, HDRVCALL hdCall) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (t.call->state != LINECALLSTATE_CONNECTED || t.call->role == kRoleConferenceController ||
        t.line->pendingHold != 0) {
        return LINEERR_INVALCALLSTATE;
    }
    if (isCoParty(*t.call)) {
        const std::uint8_t setting[] = {t.line->coHoldSetting};
        return request(t, id, &LineContext::pendingHold, code::Hold, setting, t.call);
    }
    return request(t, id, &LineContext::pendingHold, code::Hold, {}, t.call);
}

LONG LineOperations::unhold(DRV_REQUESTID id, HDRVCALL hdCall) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    CallContext* held = t.call;
    if (held->role == kRoleConferenceController && held->state == LINECALLSTATE_ONHOLDPENDCONF &&
        !StationModel::hasCallInStates(*t.line, LINECALLSTATE_CONNECTED)) {
        // The conference comes back through its member.
        held = StationModel::findCallByState(*t.line, LINECALLSTATE_CONFERENCED);
        if (!held) return LINEERR_INVALCALLSTATE;
    } else if (!inStates(*held, LINECALLSTATE_ONHOLD | LINECALLSTATE_ONHOLDPENDTRANSFER)) {
        return LINEERR_INVALCALLSTATE;
    }
    return request(t, id, isCoParty(*held) ? code::RetrieveCo : code::RetrieveStation,
                   keyBytes(*held), t.call);
}

LONG LineOperations::swapHold(DRV_REQUESTID id, HDRVCALL hdActive, HDRVCALL hdHeld) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdActive, t)) return r;
    Target h;
    if (const LONG r = callTarget(hdHeld, h)) return r;
    if (h.line != t.line) return LINEERR_INVALCALLHANDLE;
    if (t.call->state != LINECALLSTATE_CONNECTED ||
        !inStates(*h.call, LINECALLSTATE_ONHOLD | LINECALLSTATE_ONHOLDPENDCONF |
                               LINECALLSTATE_ONHOLDPENDTRANSFER)) {
        return LINEERR_INVALCALLSTATE;
    }
    const bool campedOn = t.line->campedOnCall == t.call || t.line->campedOnCall == h.call;
    return request(t, id, campedOn ? code::SwapToHeld : code::SwapHold, keyBytes(*h.call), t.call);
}

LONG LineOperations::dial(DRV_REQUESTID id, HDRVCALL hdCall, std::string_view destination) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    constexpr DWORD kNoDialling = LINECALLSTATE_IDLE | LINECALLSTATE_ONHOLDPENDCONF |
                                  LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_DISCONNECTED;
    if (inStates(*t.call, kNoDialling)) return LINEERR_INVALCALLSTATE;
    if (destination.empty()) return LINEERR_INVALADDRESS;
    constexpr std::string_view kAccountCode = "ac";
    if (t.call->state == LINECALLSTATE_CONNECTED && destination.starts_with(kAccountCode)) {
        // Digits after the connection go to the CO line: up to 12 of them.
        if (!isCoParty(*t.call) || t.call->role == kRoleConferenceController) {
            return LINEERR_OPERATIONUNAVAIL;
        }
        std::vector<std::uint8_t> data{0xDD, 0xD0};
        for (const char c : destination.substr(kAccountCode.size())) {
            if (data.size() == 14) break;
            if (c >= '0' && c <= '9') data.push_back(static_cast<std::uint8_t>(c));
        }
        return request(t, id, code::DialDigits, data, t.call);
    }
    // On dial tone the digits place the call; in the other states they are
    // classified the same way and the call request of their class is sent.
    return dialOut(t, id, *t.call, destination, true, false);
}

LONG LineOperations::generateDigits(HDRVCALL hdCall, DWORD endToEndId, std::string_view digits) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (digits.empty()) return LINEERR_CALLUNAVAIL;
    t.line->lastDigitsEndToEndId = endToEndId;
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(digits.data()),
                                             digits.size());
    return m_model.sender().sendCti(t.station->index, code::SendDtmf, data)
               ? 0
               : LINEERR_OPERATIONFAILED;
}

LONG LineOperations::closeCall(HDRVCALL hdCall) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (callTarget(hdCall, t) == 0) m_model.releaseCall(*t.line, t.call);
    return 0;
}

// --- reports ----------------------------------------------------------------

LONG LineOperations::callStatus(HDRVCALL hdCall, LINECALLSTATUS* status) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    return fillCallStatus(*t.line, *t.call, status);
}

LONG LineOperations::callInfo(HDRVCALL hdCall, LINECALLINFO* info) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    return fillCallInfo(*t.line, *t.call, t.station->lineDeviceId, info);
}

LONG LineOperations::lineDevStatus(HDRVLINE hdLine, LINEDEVSTATUS* status) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = lineTarget(hdLine, t)) return r;
    return fillLineDevStatus(*t.line, status);
}

// --- media modes ---------------------------------------------------------------

LONG LineOperations::setDefaultMediaDetection(HDRVLINE hdLine, DWORD mediaModes) {
    Target t;
    if (const LONG r = lineTarget(hdLine, t)) return r;
    if (mediaModes != 0 && mediaModes != LINEMEDIAMODE_INTERACTIVEVOICE)
        return LINEERR_INVALMEDIAMODE;
    t.line->mediaMode = mediaModes;
    return 0;
}

LONG LineOperations::setMediaMode(HDRVCALL hdCall, DWORD mediaMode) {
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (mediaMode != LINEMEDIAMODE_INTERACTIVEVOICE) return LINEERR_INVALMEDIAMODE;
    t.line->mediaMode = mediaMode;
    return 0;
}

LONG LineOperations::conditionalMediaDetection(HDRVLINE hdLine, DWORD mediaModes) {
    Target t;
    if (const LONG r = lineTarget(hdLine, t)) return r;
    return mediaModes == LINEMEDIAMODE_INTERACTIVEVOICE ? LINEERR_OPERATIONUNAVAIL
                                                        : LINEERR_INVALMEDIAMODE;
}

}  // namespace velkor::core
