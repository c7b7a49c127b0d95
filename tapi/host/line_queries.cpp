// What an application asks of a line, an address or a call. The provider
// fills the structure; the layer adds what only it knows (the application's
// own handles and privileges, the number of opens and owners), and the
// 8-bit forms convert the text.

#include "tapi/host/line_requests.h"

using namespace velkor::tapi;

namespace {

// A structure the caller passes for the provider to fill.
template <typename T>
LONG checkOut(const T* out) {
    if (!out) return LINEERR_INVALPOINTER;
    return out->dwTotalSize < sizeof(T) ? LINEERR_STRUCTURETOOSMALL : 0;
}

// The fields of a VARSTRING that holds no text.
const TextLayout& binaryVarString() {
    static const VarField field{offsetof(VARSTRING, dwStringSize),
                                offsetof(VARSTRING, dwStringOffset), false};
    static const TextLayout layout{sizeof(VARSTRING), {&field, 1}};
    return layout;
}

}  // namespace

extern "C" {

// --- calls -----------------------------------------------------------------------------

LONG lineGetCallInfoW(HCALL hCall, LPLINECALLINFO lpCallInfo) {
    Place at;
    if (const LONG error = findCall(hCall, at)) return error;
    if (const LONG error = checkOut(lpCallInfo)) return error;
    if (!at.entry->TSPI_lineGetCallInfo) return LINEERR_OPERATIONUNAVAIL;
    const LONG result = at.entry->TSPI_lineGetCallInfo(at.hdCall, lpCallInfo);
    if (result != 0) return result;
    // The handles and counts of the applications, which the provider cannot know.
    const auto target = Host::instance().callTarget(hCall);
    lpCallInfo->hLine = at.line;
    lpCallInfo->dwNumOwners = target ? target->owners : 0;
    lpCallInfo->dwNumMonitors = target ? target->monitors : 0;
    return 0;
}

LONG lineGetCallInfoA(HCALL hCall, LPLINECALLINFO lpCallInfo) {
    if (!lpCallInfo) return LINEERR_INVALPOINTER;
    return fillNarrowed(lpCallInfo, lineCallInfoLayout(), [&](std::uint8_t* wide) {
        return lineGetCallInfoW(hCall, reinterpret_cast<LINECALLINFO*>(wide));
    });
}

LONG lineGetCallStatus(HCALL hCall, LPLINECALLSTATUS lpCallStatus) {
    Place at;
    if (const LONG error = findCall(hCall, at)) return error;
    if (const LONG error = checkOut(lpCallStatus)) return error;
    if (!at.entry->TSPI_lineGetCallStatus) return LINEERR_OPERATIONUNAVAIL;
    const LONG result = at.entry->TSPI_lineGetCallStatus(at.hdCall, lpCallStatus);
    if (result == 0) lpCallStatus->dwCallPrivilege = at.privilege;
    return result;
}

// --- lines and addresses ------------------------------------------------------------------

// The structure has no text; both forms are the same.
LONG lineGetLineDevStatusW(HLINE hLine, LPLINEDEVSTATUS lpLineDevStatus) {
    Place at;
    if (const LONG error = findLine(hLine, at)) return error;
    if (const LONG error = checkOut(lpLineDevStatus)) return error;
    if (!at.entry->TSPI_lineGetLineDevStatus) return LINEERR_OPERATIONUNAVAIL;
    const LONG result = at.entry->TSPI_lineGetLineDevStatus(at.hdLine, lpLineDevStatus);
    if (result != 0) return result;
    // The provider has the device open once, for every application.
    const auto target = Host::instance().lineTarget(hLine);
    lpLineDevStatus->dwNumOpens = target ? target->opens : 0;
    return 0;
}

LONG lineGetLineDevStatusA(HLINE hLine, LPLINEDEVSTATUS lpLineDevStatus) {
    return lineGetLineDevStatusW(hLine, lpLineDevStatus);
}

LONG lineGetAddressCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                         DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps) {
    return Host::instance().getAddressCaps(hLineApp, dwDeviceID, dwAddressID, dwAPIVersion,
                                           dwExtVersion, lpAddressCaps);
}

LONG lineGetAddressCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                         DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps) {
    if (!lpAddressCaps) return LINEERR_INVALPOINTER;
    return fillNarrowed(lpAddressCaps, lineAddressCapsLayout(), [&](std::uint8_t* wide) {
        return Host::instance().getAddressCaps(hLineApp, dwDeviceID, dwAddressID, dwAPIVersion,
                                               dwExtVersion,
                                               reinterpret_cast<LINEADDRESSCAPS*>(wide));
    });
}

LONG lineGetAddressStatusW(HLINE hLine, DWORD dwAddressID, LPLINEADDRESSSTATUS lpAddressStatus) {
    Place at;
    if (const LONG error = findLine(hLine, at)) return error;
    if (const LONG error = checkOut(lpAddressStatus)) return error;
    if (!at.entry->TSPI_lineGetAddressStatus) return LINEERR_OPERATIONUNAVAIL;
    return at.entry->TSPI_lineGetAddressStatus(at.hdLine, dwAddressID, lpAddressStatus);
}

// The device-specific status blocks are handed out once; the provider is
// asked once, with the caller's size.
LONG lineGetAddressStatusA(HLINE hLine, DWORD dwAddressID, LPLINEADDRESSSTATUS lpAddressStatus) {
    if (!lpAddressStatus) return LINEERR_INVALPOINTER;
    return fillNarrowed(
        lpAddressStatus, lineAddressStatusLayout(),
        [&](std::uint8_t* wide) {
            return lineGetAddressStatusW(hLine, dwAddressID,
                                         reinterpret_cast<LINEADDRESSSTATUS*>(wide));
        },
        Asking::Once);
}

// The line's (or address's) ID in a device class, or the call's.
LONG lineGetIDW(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, LPVARSTRING lpDeviceID,
                LPCWSTR lpszDeviceClass) {
    Place at;
    if (dwSelect == LINECALLSELECT_LINE || dwSelect == LINECALLSELECT_ADDRESS) {
        if (const LONG error = findLine(hLine, at)) return error;
    } else if (dwSelect == LINECALLSELECT_CALL) {
        if (const LONG error = findCall(hCall, at)) return error;
    } else {
        return LINEERR_INVALCALLSELECT;
    }
    if (const LONG error = checkOut(lpDeviceID)) return error;
    if (!lpszDeviceClass) return LINEERR_INVALPOINTER;
    if (!at.entry->TSPI_lineGetID) return LINEERR_OPERATIONUNAVAIL;
    return at.entry->TSPI_lineGetID(at.hdLine, dwAddressID, at.hdCall, dwSelect, lpDeviceID,
                                    lpszDeviceClass, nullptr);
}

// An ID given as wide text is narrowed; binary IDs pass as they are.
LONG lineGetIDA(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, LPVARSTRING lpDeviceID,
                LPCSTR lpszDeviceClass) {
    if (!lpDeviceID || !lpszDeviceClass) return LINEERR_INVALPOINTER;
    const WideText deviceClass(lpszDeviceClass);
    std::vector<std::uint8_t> wide;
    DWORD needed = 0;
    const auto fill = [&](std::uint8_t* buffer) {
        return lineGetIDW(hLine, dwAddressID, hCall, dwSelect, reinterpret_cast<VARSTRING*>(buffer),
                          deviceClass);
    };
    if (const LONG result =
            askWide(lpDeviceID, sizeof(VARSTRING), fill, Asking::UntilItFits, wide, needed)) {
        return result;
    }
    const bool text =
        reinterpret_cast<const VARSTRING*>(wide.data())->dwStringFormat == STRINGFORMAT_UNICODE;
    finishNarrowed(lpDeviceID, wide, needed, text ? varStringLayout() : binaryVarString());
    return 0;
}

}  // extern "C"
