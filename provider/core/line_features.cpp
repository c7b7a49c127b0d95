// Features of a line and its calls: park, unpark, pickup, call completion,
// redirect, forwarding, user-user information and call data.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/text/utf16.h"
#include "provider/core/line_operations.h"
#include "provider/link/catalogue.h"

namespace velkor::core {

namespace code = link::code;

namespace {

// Cancelling call completions: a camp-on still waiting, and an entry of the
// second or the first list of outstanding completions.
constexpr std::uint8_t kCancelCampOn = 0x6B;
constexpr std::uint8_t kCancelCompletion2 = 0x6C;
constexpr std::uint8_t kCancelCompletion1 = 0x6E;

// The PBX's voice mailbox as a redirect destination.
constexpr std::string_view kVoiceMailbox = "VMIB";
// Forwarding to the voice unit: a destination beginning with these letters.
constexpr std::string_view kVoiceUnit = "dvu";

struct ModeByte {
    DWORD mode;
    std::uint8_t selector;
};
constexpr ModeByte kForwardToStation[] = {
    {LINEFORWARDMODE_UNCOND, '!'},
    {LINEFORWARDMODE_BUSY, 0x22},
    {LINEFORWARDMODE_NOANSW, '#'},
    {LINEFORWARDMODE_BUSYNA, '$'},
};
constexpr ModeByte kForwardToVoiceUnit[] = {
    {LINEFORWARDMODE_UNCOND, ','},
    {LINEFORWARDMODE_BUSY, '-'},
    {LINEFORWARDMODE_NOANSW, '.'},
    {LINEFORWARDMODE_BUSYNA, '/'},
};
constexpr std::uint8_t kForwardOff = '(';

struct CompletionRow {
    DWORD mode;
    DWORD states;
    std::uint8_t request;
    std::uint32_t completion;
};
constexpr CompletionRow kCompletions[] = {
    {LINECALLCOMPLMODE_CAMPON, LINECALLSTATE_BUSY, code::CampOn, kCompletionCampOn},
    {LINECALLCOMPLMODE_CALLBACK, LINECALLSTATE_BUSY | LINECALLSTATE_RINGBACK, code::CallbackRequest,
     kCompletionCallback},
    {LINECALLCOMPLMODE_INTRUDE, LINECALLSTATE_BUSY, code::Intrude, kCompletionIntrude},
    {LINECALLCOMPLMODE_MESSAGE, LINECALLSTATE_BUSY | LINECALLSTATE_RINGBACK, code::MessageWaiting,
     kCompletionMessage},
};

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A park location: 1 to 4 characters, right-justified.
std::optional<std::string> parkLocation(std::string_view destination) {
    if (destination.empty() || destination.size() > 4) return std::nullopt;
    return std::string(4 - destination.size(), ' ') + std::string(destination);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The destination text of the first forwarding entry, read inside the list.
std::optional<std::string> forwardDestination(const LINEFORWARDLIST& list) {
    const LINEFORWARD& entry = list.ForwardList[0];
    if (entry.dwDestAddressSize == 0) return std::string{};
    if (entry.dwDestAddressOffset > list.dwTotalSize ||
        entry.dwDestAddressSize > list.dwTotalSize - entry.dwDestAddressOffset) {
        return std::nullopt;
    }
    std::u16string wide(entry.dwDestAddressSize / sizeof(char16_t), u'\0');
    std::memcpy(wide.data(),
                reinterpret_cast<const std::uint8_t*>(&list) + entry.dwDestAddressOffset,
                wide.size() * sizeof(char16_t));
    wide = wide.substr(0, wide.find(u'\0'));
    return platform::utf16ToUtf8(wide);
}

}  // namespace

LONG LineOperations::park(DRV_REQUESTID id, HDRVCALL hdCall, DWORD mode,
                          std::string_view destination, VARSTRING* nonDirected) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (t.call->state != LINECALLSTATE_CONNECTED) return LINEERR_INVALCALLSTATE;
    std::string location;
    if (mode == LINEPARKMODE_DIRECTED) {
        const auto directed = parkLocation(destination);
        if (!directed) return LINEERR_INVALADDRESS;
        location = *directed;
    } else if (mode == LINEPARKMODE_NONDIRECTED && !m_model.settings().singleStation) {
        constexpr DWORD kParkAddressSize = sizeof(VARSTRING) + 4 * sizeof(char16_t);
        static_assert(kParkAddressSize == 32);
        if (!nonDirected) return LINEERR_INVALPOINTER;
        if (nonDirected->dwTotalSize < kParkAddressSize) {
            if (nonDirected->dwTotalSize >= 3 * sizeof(DWORD))
                nonDirected->dwNeededSize = kParkAddressSize;
            return LINEERR_STRUCTURETOOSMALL;
        }
        const auto slots = m_model.parkSlots();
        const auto free =
            std::find_if(slots.begin(), slots.end(), [](const ParkSlot& s) { return !s.occupied; });
        if (free == slots.end()) return LINEERR_RESOURCEUNAVAIL;
        location = free->number;
        nonDirected->dwNeededSize = nonDirected->dwUsedSize = kParkAddressSize;
        nonDirected->dwStringFormat = STRINGFORMAT_ASCII;
        nonDirected->dwStringSize = 4 * sizeof(char16_t);
        nonDirected->dwStringOffset = sizeof(VARSTRING);
        const std::u16string wide = platform::utf8ToUtf16(location);
        char16_t text[4] = {};
        std::copy_n(wide.begin(), std::min<std::size_t>(wide.size(), 4), text);
        std::memcpy(reinterpret_cast<std::uint8_t*>(nonDirected) + sizeof(VARSTRING), text,
                    sizeof text);
    } else {
        return LINEERR_INVALPARKMODE;
    }
    t.call->parkNumber = location;
    return request(t, id, code::Park, bytesOf(location), t.call);
}

LONG LineOperations::unpark(DRV_REQUESTID id, HDRVLINE hdLine, HTAPICALL htCall, HDRVCALL* hdCall,
                            std::string_view destination) {
    if (!hdCall) return LINEERR_INVALPOINTER;
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = lineTarget(hdLine, t)) return r;
    const auto location = parkLocation(destination);
    if (!location) return LINEERR_INVALADDRESS;
    CallContext* dialTone = StationModel::findCallByState(*t.line, LINECALLSTATE_DIALTONE);
    if (t.station->type == kTypeSlt && !dialTone) return LINEERR_OPERATIONFAILED;
    if (dialTone) m_model.setCallState(*t.line, *dialTone, LINECALLSTATE_IDLE);
    CallContext* call = newCall(*t.line, htCall, LINECALLORIGIN_OUTBOUND);
    call->reason = LINECALLREASON_UNPARK;
    return handOut(*t.line, call, hdCall,
                   [&] { return request(t, id, code::Unpark, bytesOf(*location), call); });
}

LONG LineOperations::pickup(DRV_REQUESTID id, HDRVLINE hdLine, HTAPICALL htCall, HDRVCALL* hdCall,
                            std::string_view destination) {
    if (!hdCall) return LINEERR_INVALPOINTER;
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = lineTarget(hdLine, t)) return r;
    if (!lineFree(*t.line)) return LINEERR_OPERATIONFAILED;
    std::uint8_t requestCode = code::GroupPickup;
    std::vector<std::uint8_t> data;
    if (!destination.empty()) {
        const Destination d =
            classify(destination, m_locations ? m_locations() : LocationPrefixes{});
        const auto num =
            d.cls == DialClass::Station ? link::encodeCallNum4(d.number, dialect()) : std::nullopt;
        if (!num) return LINEERR_INVALADDRESS;
        requestCode = code::DirectedPickup;
        data.assign(num->begin(), num->end());
    }
    CallContext* call = newCall(*t.line, htCall, LINECALLORIGIN_INTERNAL);
    call->reason = LINECALLREASON_PICKUP;
    return handOut(*t.line, call, hdCall, [&] { return request(t, id, requestCode, data, call); });
}

LONG LineOperations::completeCall(DRV_REQUESTID id, HDRVCALL hdCall, DWORD* completionId,
                                  DWORD mode) {
    if (!completionId) return LINEERR_INVALPOINTER;
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    const CompletionRow* row = nullptr;
    for (const CompletionRow& r : kCompletions) {
        if (r.mode == mode) row = &r;
    }
    if (!row) return LINEERR_INVALCALLCOMPLMODE;
    if (!(t.call->state & row->states)) return LINEERR_INVALCALLSTATE;
    t.call->completionMode = row->completion;
    // The completions the PBX keeps until it offers them back.
    if (row->completion == kCompletionCallback) {
        t.line->pendingCallbacks.push_back(t.call->key);
        t.line->completionList1.push_back(t.call->key);
    } else if (row->completion == kCompletionMessage) {
        t.line->completionList2.push_back(t.call->key);
    }
    *completionId = t.call->reference;
    return request(t, id, row->request, bytesOf(t.call->key), t.call);
}

LONG LineOperations::uncompleteCall(DRV_REQUESTID id, HDRVLINE hdLine, DWORD completionId) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = lineTarget(hdLine, t)) return r;
    CallContext* call = nullptr;
    for (const auto& c : t.line->calls) {
        if (c->reference == completionId) call = c.get();
    }
    if (!call) return LINEERR_OPERATIONUNAVAIL;
    const auto cancel = [&](std::vector<std::string>& list, std::uint8_t requestCode) -> LONG {
        const auto it = std::find(list.begin(), list.end(), call->key);
        if (it == list.end()) return 0;
        list.erase(it);
        std::erase(t.line->pendingCallbacks, call->key);
        return request(t, id, requestCode, bytesOf(call->key), nullptr);
    };
    if (call->completionMode == kCompletionCampOn &&
        (call->state & (LINECALLSTATE_BUSY | LINECALLSTATE_RINGBACK))) {
        const std::string number = call->dialled.empty() ? call->key : call->dialled;
        const auto num = link::encodeCallNum4(number, dialect());
        if (!num) return LINEERR_OPERATIONUNAVAIL;
        call->completionMode = 0;
        return request(t, id, kCancelCampOn, *num, nullptr);
    }
    if (const LONG r = cancel(t.line->completionList2, kCancelCompletion2)) return r;
    if (const LONG r = cancel(t.line->completionList1, kCancelCompletion1)) return r;
    return LINEERR_OPERATIONUNAVAIL;
}

LONG LineOperations::redirect(DRV_REQUESTID id, HDRVCALL hdCall, std::string_view destination) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (t.call->state != LINECALLSTATE_OFFERING) return LINEERR_INVALCALLSTATE;
    if (destination.empty()) return LINEERR_INVALADDRESS;
    std::vector<std::uint8_t> data;
    const bool station = t.call->partyKind == PartyKind::Station;
    if (destination == kVoiceMailbox) {
        data.push_back(station ? '6' : '5');
    } else {
        // Another destination: a selector for the party kind and the
        // destination's class, then the call's key, then the destination
        // as its call request carries it.
        const auto callRequest = makeCallRequest(
            destination, m_locations ? m_locations() : LocationPrefixes{}, dialect(), false);
        if (!callRequest) return LINEERR_INVALADDRESS;
        const char* selectors = station ? "123" : "ABC";
        switch (callRequest->code) {
            case code::CallStation:
                data.push_back(selectors[0]);
                break;
            case code::CallViaCoGroup:
                data.push_back(selectors[1]);
                break;
            case code::CallViaCoLine:
                data.push_back(selectors[2]);
                break;
            default:
                return LINEERR_INVALADDRESS;
        }
        data.insert(data.end(), t.call->key.begin(), t.call->key.end());
        data.insert(data.end(), callRequest->data.begin(), callRequest->data.end());
        return request(t, id, code::Redirect, data, t.call);
    }
    data.insert(data.end(), t.call->key.begin(), t.call->key.end());
    return request(t, id, code::Redirect, data, t.call);
}

LONG LineOperations::forward(DRV_REQUESTID id, HDRVLINE hdLine, DWORD addressId,
                             const LINEFORWARDLIST* list) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = lineTarget(hdLine, t)) return r;
    if (addressId != 0) return LINEERR_INVALADDRESSID;
    if (!list || list->dwNumEntries == 0) {
        t.line->forwardSelector = kForwardOff;
        const std::uint8_t off[] = {kForwardOff};
        return request(t, id, code::Forward, off, nullptr);
    }
    if (list->dwTotalSize < sizeof(LINEFORWARDLIST)) return LINEERR_STRUCTURETOOSMALL;
    const auto destination = forwardDestination(*list);
    if (!destination) return LINEERR_INVALPARAM;
    const DWORD mode = list->ForwardList[0].dwForwardMode;
    if (destination->empty()) {
        // An entry without destination switches do-not-disturb.
        return request(t, id, t.line->doNotDisturb ? code::DndOff : code::DndOn, {}, nullptr);
    }
    const bool voiceUnit = startsWithIgnoringCase(*destination, kVoiceUnit);
    const auto& table = voiceUnit ? kForwardToVoiceUnit : kForwardToStation;
    const auto row = std::find_if(std::begin(table), std::end(table),
                                  [mode](const ModeByte& m) { return m.mode == mode; });
    if (row == std::end(table)) return LINEERR_INVALPARAM;
    std::vector<std::uint8_t> data{row->selector};
    if (!voiceUnit) {
        const Destination d =
            classify(*destination, m_locations ? m_locations() : LocationPrefixes{});
        if (d.cls != DialClass::Station || d.number.empty()) return LINEERR_INVALADDRESS;
        if (dialect() == link::Dialect::Extended && d.number.size() > 4) {
            data.insert(data.end(), d.number.begin(), d.number.end());
        } else {
            const auto num = link::encodeCallNum4(d.number, dialect());
            if (!num) return LINEERR_INVALADDRESS;
            data.insert(data.end(), num->begin(), num->end());
        }
        t.line->forwardMode = mode;
        t.line->forwardDestination = d.number.substr(0, LineContext::kMaxForwardDestination);
    }
    t.line->forwardSelector = row->selector;
    return request(t, id, code::Forward, data, nullptr);
}

LONG LineOperations::sendUserUserInfo(DRV_REQUESTID id, HDRVCALL hdCall,
                                      std::span<const std::uint8_t> info) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (!(t.call->state &
          (LINECALLSTATE_OFFERING | LINECALLSTATE_RINGBACK | LINECALLSTATE_CONNECTED))) {
        return LINEERR_INVALCALLSTATE;
    }
    if (info.size() > kMaxUserUserInfo) return LINEERR_USERUSERINFOTOOBIG;
    if (CallContext* other = otherPartyCall(*t.line, *t.call)) {
        if (other->userUserInfo.size() < CallContext::kMaxUserUserInfo) {
            other->userUserInfo.emplace_back(info.begin(), info.end());
            if (LineContext* otherLine = m_model.findLineForCall(other->handle())) {
                m_model.raiseCallInfo(*otherLine, *other, LINECALLINFOSTATE_USERUSERINFO);
            }
        }
    }
    return serviceRequest(t, id, kServiceUserUserInfo, 0, {});
}

LONG LineOperations::releaseUserUserInfo(DRV_REQUESTID id, HDRVCALL hdCall) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    if (!t.call->userUserInfo.empty()) t.call->userUserInfo.erase(t.call->userUserInfo.begin());
    return serviceRequest(t, id, kServiceUserUserInfo, 0, {});
}

LONG LineOperations::setCallData(DRV_REQUESTID id, HDRVCALL hdCall,
                                 std::span<const std::uint8_t> data) {
    platform::ScopedLock lock(m_model.callLock());
    Target t;
    if (const LONG r = callTarget(hdCall, t)) return r;
    t.call->callData.assign(data.begin(), data.end());
    std::vector<std::uint8_t> extra = referenceBytes(*t.call);
    const auto size = static_cast<std::uint16_t>(std::min<std::size_t>(data.size(), 0xFFFF));
    extra.push_back(static_cast<std::uint8_t>(size >> 8));
    extra.push_back(static_cast<std::uint8_t>(size & 0xFF));
    return serviceRequest(t, id, kServiceCallData, 0, extra);
}

}  // namespace velkor::core
