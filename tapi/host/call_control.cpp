// The application's call control: every function starts an asynchronous
// request at the provider behind the handles it names and returns its
// request ID, completed later by LINE_REPLY (lineGenerateDigits alone
// answers at once). The 8-bit forms convert their text and forward to the
// wide forms.

#include <atomic>
#include <memory>
#include <new>

#include "tapi/host/line_requests.h"

using namespace velkor::tapi;

namespace {

// The 8-bit text of a parameter the function cannot do without.
LONG requireText(const void* text) { return text ? 0 : LINEERR_INVALPOINTER; }

// Parks a call at the address given (directed) or where the switch picks,
// which the provider writes into nonDirAddress; `done` runs with the result.
LONG park(HCALL call, DWORD mode, LPCWSTR dirAddress, LPVARSTRING nonDirAddress,
          std::function<void(LONG)> done = {}) {
    Place at;
    if (const LONG error = ownedCall(call, at)) return error;
    if (mode == LINEPARKMODE_DIRECTED) {
        if (!dirAddress) return LINEERR_INVALPOINTER;
        nonDirAddress = nullptr;
    } else if (mode == LINEPARKMODE_NONDIRECTED) {
        if (!nonDirAddress) return LINEERR_INVALPOINTER;
        if (nonDirAddress->dwTotalSize < sizeof(VARSTRING)) return LINEERR_STRUCTURETOOSMALL;
        dirAddress = nullptr;
    } else {
        return LINEERR_INVALPARKMODE;
    }
    return runRequest<&Entry::TSPI_linePark>(
        at,
        [&](auto fn, DRV_REQUESTID id) {
            return fn(id, at.hdCall, mode, dirAddress, nonDirAddress);
        },
        std::move(done));
}

std::atomic<DWORD> g_nextEndToEndId{1};

}  // namespace

extern "C" {

// --- making and taking calls ------------------------------------------------------

LONG lineMakeCallW(HLINE hLine, LPHCALL lphCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode,
                   const LINECALLPARAMS* lpCallParams) {
    Place at;
    if (const LONG error = findLine(hLine, at)) return error;
    if (const LONG error = checkCallParams(lpCallParams)) return error;
    return runCreating<&Entry::TSPI_lineMakeCall>(
        at, {lphCall}, [&](auto fn, DRV_REQUESTID id, NewCallSlot* c) {
            return fn(id, at.hdLine, c[0].htCall, &c[0].hdCall, lpszDestAddress, dwCountryCode,
                      lpCallParams);
        });
}

LONG lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                   const LINECALLPARAMS* lpCallParams) {
    const WideCallParams params(lpCallParams);
    if (params.error()) return params.error();
    return lineMakeCallW(hLine, lphCall, WideText(lpszDestAddress), dwCountryCode, params);
}

LONG lineDialW(HCALL hCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode) {
    if (const LONG error = requireText(lpszDestAddress)) return error;
    return onCall<&Entry::TSPI_lineDial>(hCall, lpszDestAddress, dwCountryCode);
}

LONG lineDialA(HCALL hCall, LPCSTR lpszDestAddress, DWORD dwCountryCode) {
    return lineDialW(hCall, WideText(lpszDestAddress), dwCountryCode);
}

LONG lineAccept(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    if (const LONG error = checkBlock(lpsUserUserInfo, dwSize)) return error;
    return onCall<&Entry::TSPI_lineAccept>(hCall, lpsUserUserInfo, dwSize);
}

LONG lineAnswer(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    if (const LONG error = checkBlock(lpsUserUserInfo, dwSize)) return error;
    return onCall<&Entry::TSPI_lineAnswer>(hCall, lpsUserUserInfo, dwSize);
}

LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    if (const LONG error = checkBlock(lpsUserUserInfo, dwSize)) return error;
    return onCall<&Entry::TSPI_lineDrop>(hCall, lpsUserUserInfo, dwSize);
}

LONG lineRedirectW(HCALL hCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode) {
    if (const LONG error = requireText(lpszDestAddress)) return error;
    return onCall<&Entry::TSPI_lineRedirect>(hCall, lpszDestAddress, dwCountryCode);
}

LONG lineRedirectA(HCALL hCall, LPCSTR lpszDestAddress, DWORD dwCountryCode) {
    return lineRedirectW(hCall, WideText(lpszDestAddress), dwCountryCode);
}

LONG linePickupW(HLINE hLine, DWORD dwAddressID, LPHCALL lphCall, LPCWSTR lpszDestAddress,
                 LPCWSTR lpszGroupID) {
    Place at;
    if (const LONG error = findLine(hLine, at)) return error;
    return runCreating<&Entry::TSPI_linePickup>(
        at, {lphCall}, [&](auto fn, DRV_REQUESTID id, NewCallSlot* c) {
            return fn(id, at.hdLine, dwAddressID, c[0].htCall, &c[0].hdCall, lpszDestAddress,
                      lpszGroupID);
        });
}

LONG linePickupA(HLINE hLine, DWORD dwAddressID, LPHCALL lphCall, LPCSTR lpszDestAddress,
                 LPCSTR lpszGroupID) {
    return linePickupW(hLine, dwAddressID, lphCall, WideText(lpszDestAddress),
                       WideText(lpszGroupID));
}

// --- hold --------------------------------------------------------------------------

LONG lineHold(HCALL hCall) { return onCall<&Entry::TSPI_lineHold>(hCall); }

LONG lineUnhold(HCALL hCall) { return onCall<&Entry::TSPI_lineUnhold>(hCall); }

LONG lineSwapHold(HCALL hActiveCall, HCALL hHeldCall) {
    return onCalls<&Entry::TSPI_lineSwapHold>(hActiveCall, LINEERR_INVALCALLHANDLE, hHeldCall,
                                              LINEERR_INVALCALLHANDLE);
}

// --- transfer ----------------------------------------------------------------------

LONG lineBlindTransferW(HCALL hCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode) {
    if (const LONG error = requireText(lpszDestAddress)) return error;
    return onCall<&Entry::TSPI_lineBlindTransfer>(hCall, lpszDestAddress, dwCountryCode);
}

LONG lineBlindTransferA(HCALL hCall, LPCSTR lpszDestAddress, DWORD dwCountryCode) {
    return lineBlindTransferW(hCall, WideText(lpszDestAddress), dwCountryCode);
}

LONG lineSetupTransferW(HCALL hCall, LPHCALL lphConsultCall, const LINECALLPARAMS* lpCallParams) {
    Place at;
    if (const LONG error = ownedCall(hCall, at)) return error;
    if (const LONG error = checkCallParams(lpCallParams)) return error;
    return runCreating<&Entry::TSPI_lineSetupTransfer>(
        at, {lphConsultCall}, [&](auto fn, DRV_REQUESTID id, NewCallSlot* c) {
            return fn(id, at.hdCall, c[0].htCall, &c[0].hdCall, lpCallParams);
        });
}

LONG lineSetupTransferA(HCALL hCall, LPHCALL lphConsultCall, const LINECALLPARAMS* lpCallParams) {
    const WideCallParams params(lpCallParams);
    if (params.error()) return params.error();
    return lineSetupTransferW(hCall, lphConsultCall, params);
}

// A transfer completed as a conference creates the conference call;
// lphConfCall is not used otherwise.
LONG lineCompleteTransfer(HCALL hCall, HCALL hConsultCall, LPHCALL lphConfCall,
                          DWORD dwTransferMode) {
    if (dwTransferMode == LINETRANSFERMODE_TRANSFER) {
        return onCalls<&Entry::TSPI_lineCompleteTransfer>(
            hCall, LINEERR_INVALCALLHANDLE, hConsultCall, LINEERR_INVALCONSULTCALLHANDLE,
            static_cast<HTAPICALL>(nullptr), static_cast<LPHDRVCALL>(nullptr), dwTransferMode);
    }
    if (dwTransferMode != LINETRANSFERMODE_CONFERENCE) return LINEERR_INVALTRANSFERMODE;
    Place a;
    Place b;
    if (const LONG error = ownedCall(hCall, a)) return error;
    if (const LONG error = relatedCall(a, hConsultCall, b, LINEERR_INVALCONSULTCALLHANDLE)) {
        return error;
    }
    return runCreating<&Entry::TSPI_lineCompleteTransfer>(
        a, {lphConfCall}, [&](auto fn, DRV_REQUESTID id, NewCallSlot* c) {
            return fn(id, a.hdCall, b.hdCall, c[0].htCall, &c[0].hdCall, dwTransferMode);
        });
}

// --- conference --------------------------------------------------------------------

// Set up on a call (which joins the conference) or, with hCall 0, on hLine.
LONG lineSetupConferenceW(HCALL hCall, HLINE hLine, LPHCALL lphConfCall, LPHCALL lphConsultCall,
                          DWORD dwNumParties, const LINECALLPARAMS* lpCallParams) {
    Place at;
    if (const LONG error = hCall ? ownedCall(hCall, at) : findLine(hLine, at)) return error;
    if (const LONG error = checkCallParams(lpCallParams)) return error;
    return runCreating<&Entry::TSPI_lineSetupConference>(
        at, {lphConfCall, lphConsultCall}, [&](auto fn, DRV_REQUESTID id, NewCallSlot* c) {
            return fn(id, at.hdCall, at.hdLine, c[0].htCall, &c[0].hdCall, c[1].htCall,
                      &c[1].hdCall, dwNumParties, lpCallParams);
        });
}

LONG lineSetupConferenceA(HCALL hCall, HLINE hLine, LPHCALL lphConfCall, LPHCALL lphConsultCall,
                          DWORD dwNumParties, const LINECALLPARAMS* lpCallParams) {
    const WideCallParams params(lpCallParams);
    if (params.error()) return params.error();
    return lineSetupConferenceW(hCall, hLine, lphConfCall, lphConsultCall, dwNumParties, params);
}

LONG linePrepareAddToConferenceW(HCALL hConfCall, LPHCALL lphConsultCall,
                                 const LINECALLPARAMS* lpCallParams) {
    Place at;
    if (const LONG error = ownedCall(hConfCall, at, LINEERR_INVALCONFCALLHANDLE)) return error;
    if (const LONG error = checkCallParams(lpCallParams)) return error;
    return runCreating<&Entry::TSPI_linePrepareAddToConference>(
        at, {lphConsultCall}, [&](auto fn, DRV_REQUESTID id, NewCallSlot* c) {
            return fn(id, at.hdCall, c[0].htCall, &c[0].hdCall, lpCallParams);
        });
}

LONG linePrepareAddToConferenceA(HCALL hConfCall, LPHCALL lphConsultCall,
                                 const LINECALLPARAMS* lpCallParams) {
    const WideCallParams params(lpCallParams);
    if (params.error()) return params.error();
    return linePrepareAddToConferenceW(hConfCall, lphConsultCall, params);
}

LONG lineAddToConference(HCALL hConfCall, HCALL hConsultCall) {
    return onCalls<&Entry::TSPI_lineAddToConference>(hConfCall, LINEERR_INVALCONFCALLHANDLE,
                                                     hConsultCall, LINEERR_INVALCALLHANDLE);
}

LONG lineRemoveFromConference(HCALL hCall) {
    return onCall<&Entry::TSPI_lineRemoveFromConference>(hCall);
}

// --- park, pickup, completion ---------------------------------------------------------

LONG lineParkW(HCALL hCall, DWORD dwParkMode, LPCWSTR lpszDirAddress, LPVARSTRING lpNonDirAddress) {
    return park(hCall, dwParkMode, lpszDirAddress, lpNonDirAddress);
}

// The provider writes the address of a call parked without a destination
// as wide text, whatever format it states; the caller gets it as 8-bit text
// when the request has succeeded. The provider is given the caller's size,
// so whatever it fits there still fits once narrowed.
LONG lineParkA(HCALL hCall, DWORD dwParkMode, LPCSTR lpszDirAddress, LPVARSTRING lpNonDirAddress) {
    if (dwParkMode != LINEPARKMODE_NONDIRECTED || !lpNonDirAddress ||
        lpNonDirAddress->dwTotalSize < sizeof(VARSTRING)) {
        return park(hCall, dwParkMode, WideText(lpszDirAddress), lpNonDirAddress);
    }
    std::shared_ptr<std::vector<std::uint8_t>> wide;
    try {
        wide = std::make_shared<std::vector<std::uint8_t>>(lpNonDirAddress->dwTotalSize);
    } catch (const std::bad_alloc&) {
        return LINEERR_NOMEM;
    }
    auto* wideString = reinterpret_cast<VARSTRING*>(wide->data());
    wideString->dwTotalSize = lpNonDirAddress->dwTotalSize;
    const LONG result =
        park(hCall, dwParkMode, nullptr, wideString, [wide, lpNonDirAddress](LONG r) {
            if (r == 0) narrowStructure(*wide, varStringLayout(), lpNonDirAddress);
        });
    if (result == LINEERR_STRUCTURETOOSMALL)
        lpNonDirAddress->dwNeededSize = wideString->dwNeededSize;
    return result;
}

LONG lineUnparkW(HLINE hLine, DWORD dwAddressID, LPHCALL lphCall, LPCWSTR lpszDestAddress) {
    Place at;
    if (const LONG error = findLine(hLine, at)) return error;
    if (const LONG error = requireText(lpszDestAddress)) return error;
    return runCreating<&Entry::TSPI_lineUnpark>(
        at, {lphCall}, [&](auto fn, DRV_REQUESTID id, NewCallSlot* c) {
            return fn(id, at.hdLine, dwAddressID, c[0].htCall, &c[0].hdCall, lpszDestAddress);
        });
}

LONG lineUnparkA(HLINE hLine, DWORD dwAddressID, LPHCALL lphCall, LPCSTR lpszDestAddress) {
    return lineUnparkW(hLine, dwAddressID, lphCall, WideText(lpszDestAddress));
}

// The completion ID is written by the provider; it is valid once LINE_REPLY
// reports success.
LONG lineCompleteCall(HCALL hCall, LPDWORD lpdwCompletionID, DWORD dwCompletionMode,
                      DWORD dwMessageID) {
    if (!lpdwCompletionID) return LINEERR_INVALPOINTER;
    return onCall<&Entry::TSPI_lineCompleteCall>(hCall, lpdwCompletionID, dwCompletionMode,
                                                 dwMessageID);
}

LONG lineUncompleteCall(HLINE hLine, DWORD dwCompletionID) {
    return onLine<&Entry::TSPI_lineUncompleteCall>(hLine, dwCompletionID);
}

// --- forwarding ----------------------------------------------------------------------

// No list cancels forwarding. Where the switch needs a consultation call to
// forward, the provider creates it and the application gets its handle;
// otherwise *lphConsultCall becomes 0.
LONG lineForwardW(HLINE hLine, DWORD bAllAddresses, DWORD dwAddressID,
                  const LINEFORWARDLIST* lpForwardList, DWORD dwNumRingsNoAnswer,
                  LPHCALL lphConsultCall, const LINECALLPARAMS* lpCallParams) {
    Place at;
    if (const LONG error = findLine(hLine, at)) return error;
    if (lpForwardList && !forwardListInside(*lpForwardList)) return LINEERR_INVALPARAM;
    if (const LONG error = checkCallParams(lpCallParams)) return error;
    return runCreating<&Entry::TSPI_lineForward>(
        at, {lphConsultCall}, [&](auto fn, DRV_REQUESTID id, NewCallSlot* c) {
            return fn(id, at.hdLine, bAllAddresses, dwAddressID, lpForwardList, dwNumRingsNoAnswer,
                      c[0].htCall, &c[0].hdCall, lpCallParams);
        });
}

LONG lineForwardA(HLINE hLine, DWORD bAllAddresses, DWORD dwAddressID,
                  const LINEFORWARDLIST* lpForwardList, DWORD dwNumRingsNoAnswer,
                  LPHCALL lphConsultCall, const LINECALLPARAMS* lpCallParams) {
    const WideForwardList list(lpForwardList);
    if (list.error()) return list.error();
    const WideCallParams params(lpCallParams);
    if (params.error()) return params.error();
    return lineForwardW(hLine, bAllAddresses, dwAddressID, list, dwNumRingsNoAnswer, lphConsultCall,
                        params);
}

// --- digits, user-user information, call data ---------------------------------------

// Synchronous: the digits go out later and LINE_GENERATE tells when.
LONG lineGenerateDigitsW(HCALL hCall, DWORD dwDigitMode, LPCWSTR lpszDigits, DWORD dwDuration) {
    Place at;
    if (const LONG error = ownedCall(hCall, at)) return error;
    if (!at.entry->TSPI_lineGenerateDigits) return LINEERR_OPERATIONUNAVAIL;
    return at.entry->TSPI_lineGenerateDigits(at.hdCall, g_nextEndToEndId++, dwDigitMode, lpszDigits,
                                             dwDuration);
}

LONG lineGenerateDigitsA(HCALL hCall, DWORD dwDigitMode, LPCSTR lpszDigits, DWORD dwDuration) {
    return lineGenerateDigitsW(hCall, dwDigitMode, WideText(lpszDigits), dwDuration);
}

LONG lineSendUserUserInfo(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    if (const LONG error = checkBlock(lpsUserUserInfo, dwSize)) return error;
    return onCall<&Entry::TSPI_lineSendUserUserInfo>(hCall, lpsUserUserInfo, dwSize);
}

LONG lineReleaseUserUserInfo(HCALL hCall) {
    return onCall<&Entry::TSPI_lineReleaseUserUserInfo>(hCall);
}

LONG lineSetCallData(HCALL hCall, LPVOID lpCallData, DWORD dwSize) {
    if (const LONG error = checkBlock(lpCallData, dwSize)) return error;
    return onCall<&Entry::TSPI_lineSetCallData>(hCall, lpCallData, dwSize);
}

// --- device-specific -----------------------------------------------------------------

// The parameter block goes to the provider as it is, and the provider may
// write its answer into it: it must stay valid until LINE_REPLY. A call,
// when named, must be on the same line.
LONG lineDevSpecific(HLINE hLine, DWORD dwAddressID, HCALL hCall, LPVOID lpParams, DWORD dwSize) {
    Place line;
    if (const LONG error = findLine(hLine, line)) return error;
    Place call;
    if (hCall) {
        if (const LONG error = findCall(hCall, call)) return error;
        if (call.app != line.app || call.deviceId != line.deviceId) return LINEERR_INVALCALLHANDLE;
    }
    if (const LONG error = checkBlock(lpParams, dwSize)) return error;
    return runRequest<&Entry::TSPI_lineDevSpecific>(line, [&](auto fn, DRV_REQUESTID id) {
        return fn(id, line.hdLine, dwAddressID, call.hdCall, lpParams, dwSize);
    });
}

}  // extern "C"
