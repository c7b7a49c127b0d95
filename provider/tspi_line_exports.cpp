// The call-control entry points of velkorsp.tsp: each converts TAPI's wide
// text and hands the call to the line operations under the entry lock.

#include <span>

#include "provider/exports.h"
#include "tspi.h"

namespace {

using velkor::core::LineOperations;
using velkor::provider::exports::onLines;
using velkor::provider::exports::text;

std::span<const std::uint8_t> bytes(const void* data, DWORD size) {
    if (!data) return {};
    return {static_cast<const std::uint8_t*>(data), size};
}

}  // namespace

extern "C" {

LONG TSPI_lineMakeCall(DRV_REQUESTID id, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL lphdCall,
                       LPCWSTR lpszDestAddress, DWORD, const LINECALLPARAMS* lpCallParams) {
    return onLines(
        [&](LineOperations& l) {
            return l.makeCall(id, hdLine, htCall, lphdCall, text(lpszDestAddress), lpCallParams);
        },
        LINEERR_INVALLINEHANDLE);
}

LONG TSPI_lineDial(DRV_REQUESTID id, HDRVCALL hdCall, LPCWSTR lpszDestAddress, DWORD) {
    return onLines([&](LineOperations& l) { return l.dial(id, hdCall, text(lpszDestAddress)); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineAnswer(DRV_REQUESTID id, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    return onLines(
        [&](LineOperations& l) { return l.answer(id, hdCall, bytes(lpsUserUserInfo, dwSize)); },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineDrop(DRV_REQUESTID id, HDRVCALL hdCall, LPCSTR, DWORD) {
    return onLines([&](LineOperations& l) { return l.drop(id, hdCall); }, LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineHold(DRV_REQUESTID id, HDRVCALL hdCall) {
    return onLines([&](LineOperations& l) { return l.hold(id, hdCall); }, LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineUnhold(DRV_REQUESTID id, HDRVCALL hdCall) {
    return onLines([&](LineOperations& l) { return l.unhold(id, hdCall); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineSwapHold(DRV_REQUESTID id, HDRVCALL hdActiveCall, HDRVCALL hdHeldCall) {
    return onLines([&](LineOperations& l) { return l.swapHold(id, hdActiveCall, hdHeldCall); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineRedirect(DRV_REQUESTID id, HDRVCALL hdCall, LPCWSTR lpszDestAddress, DWORD) {
    return onLines([&](LineOperations& l) { return l.redirect(id, hdCall, text(lpszDestAddress)); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineBlindTransfer(DRV_REQUESTID id, HDRVCALL hdCall, LPCWSTR lpszDestAddress, DWORD) {
    return onLines(
        [&](LineOperations& l) { return l.blindTransfer(id, hdCall, text(lpszDestAddress)); },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineSetupTransfer(DRV_REQUESTID id, HDRVCALL hdCall, HTAPICALL htConsultCall,
                            LPHDRVCALL lphdConsultCall, const LINECALLPARAMS*) {
    return onLines(
        [&](LineOperations& l) {
            return l.setupTransfer(id, hdCall, htConsultCall, lphdConsultCall);
        },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineCompleteTransfer(DRV_REQUESTID id, HDRVCALL hdCall, HDRVCALL hdConsultCall,
                               HTAPICALL htConfCall, LPHDRVCALL lphdConfCall,
                               DWORD dwTransferMode) {
    return onLines(
        [&](LineOperations& l) {
            return l.completeTransfer(id, hdCall, hdConsultCall, htConfCall, lphdConfCall,
                                      dwTransferMode);
        },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineSetupConference(DRV_REQUESTID id, HDRVCALL hdCall, HDRVLINE hdLine,
                              HTAPICALL htConfCall, LPHDRVCALL lphdConfCall,
                              HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall, DWORD,
                              const LINECALLPARAMS*) {
    return onLines(
        [&](LineOperations& l) {
            return l.setupConference(id, hdCall, hdLine, htConfCall, lphdConfCall, htConsultCall,
                                     lphdConsultCall);
        },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_linePrepareAddToConference(DRV_REQUESTID id, HDRVCALL hdConfCall, HTAPICALL htConsultCall,
                                     LPHDRVCALL lphdConsultCall, const LINECALLPARAMS*) {
    return onLines(
        [&](LineOperations& l) {
            return l.prepareAddToConference(id, hdConfCall, htConsultCall, lphdConsultCall);
        },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineAddToConference(DRV_REQUESTID id, HDRVCALL hdConfCall, HDRVCALL hdConsultCall) {
    return onLines(
        [&](LineOperations& l) { return l.addToConference(id, hdConfCall, hdConsultCall); },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineRemoveFromConference(DRV_REQUESTID id, HDRVCALL hdCall) {
    return onLines([&](LineOperations& l) { return l.removeFromConference(id, hdCall); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_linePark(DRV_REQUESTID id, HDRVCALL hdCall, DWORD dwParkMode, LPCWSTR lpszDirAddress,
                   LPVARSTRING lpNonDirAddress) {
    return onLines(
        [&](LineOperations& l) {
            return l.park(id, hdCall, dwParkMode, text(lpszDirAddress), lpNonDirAddress);
        },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineUnpark(DRV_REQUESTID id, HDRVLINE hdLine, DWORD, HTAPICALL htCall,
                     LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress) {
    return onLines(
        [&](LineOperations& l) {
            return l.unpark(id, hdLine, htCall, lphdCall, text(lpszDestAddress));
        },
        LINEERR_INVALLINEHANDLE);
}

LONG TSPI_linePickup(DRV_REQUESTID id, HDRVLINE hdLine, DWORD, HTAPICALL htCall,
                     LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress, LPCWSTR) {
    return onLines(
        [&](LineOperations& l) {
            return l.pickup(id, hdLine, htCall, lphdCall, text(lpszDestAddress));
        },
        LINEERR_INVALLINEHANDLE);
}

LONG TSPI_lineForward(DRV_REQUESTID id, HDRVLINE hdLine, DWORD, DWORD dwAddressID,
                      const LINEFORWARDLIST* lpForwardList, DWORD, HTAPICALL,
                      LPHDRVCALL lphdConsultCall, const LINECALLPARAMS*) {
    // Forwarding on this PBX never needs a consultation call.
    if (lphdConsultCall) *lphdConsultCall = nullptr;
    return onLines(
        [&](LineOperations& l) { return l.forward(id, hdLine, dwAddressID, lpForwardList); },
        LINEERR_INVALLINEHANDLE);
}

LONG TSPI_lineCompleteCall(DRV_REQUESTID id, HDRVCALL hdCall, LPDWORD lpdwCompletionID,
                           DWORD dwCompletionMode, DWORD) {
    return onLines(
        [&](LineOperations& l) {
            return l.completeCall(id, hdCall, lpdwCompletionID, dwCompletionMode);
        },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineUncompleteCall(DRV_REQUESTID id, HDRVLINE hdLine, DWORD dwCompletionID) {
    return onLines([&](LineOperations& l) { return l.uncompleteCall(id, hdLine, dwCompletionID); },
                   LINEERR_INVALLINEHANDLE);
}

LONG TSPI_lineGenerateDigits(HDRVCALL hdCall, DWORD dwEndToEndID, DWORD, LPCWSTR lpszDigits,
                             DWORD) {
    return onLines(
        [&](LineOperations& l) { return l.generateDigits(hdCall, dwEndToEndID, text(lpszDigits)); },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineSendUserUserInfo(DRV_REQUESTID id, HDRVCALL hdCall, LPCSTR lpsUserUserInfo,
                               DWORD dwSize) {
    return onLines(
        [&](LineOperations& l) {
            return l.sendUserUserInfo(id, hdCall, bytes(lpsUserUserInfo, dwSize));
        },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineReleaseUserUserInfo(DRV_REQUESTID id, HDRVCALL hdCall) {
    return onLines([&](LineOperations& l) { return l.releaseUserUserInfo(id, hdCall); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineSetCallData(DRV_REQUESTID id, HDRVCALL hdCall, LPVOID lpCallData, DWORD dwSize) {
    return onLines(
        [&](LineOperations& l) { return l.setCallData(id, hdCall, bytes(lpCallData, dwSize)); },
        LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineGetCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus) {
    return onLines([&](LineOperations& l) { return l.callStatus(hdCall, lpCallStatus); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo) {
    return onLines([&](LineOperations& l) { return l.callInfo(hdCall, lpCallInfo); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus) {
    return onLines([&](LineOperations& l) { return l.lineDevStatus(hdLine, lpLineDevStatus); },
                   LINEERR_INVALLINEHANDLE);
}

LONG TSPI_lineCloseCall(HDRVCALL hdCall) {
    return onLines([&](LineOperations& l) { return l.closeCall(hdCall); }, 0);
}

LONG TSPI_lineSetDefaultMediaDetection(HDRVLINE hdLine, DWORD dwMediaModes) {
    return onLines(
        [&](LineOperations& l) { return l.setDefaultMediaDetection(hdLine, dwMediaModes); },
        LINEERR_INVALLINEHANDLE);
}

LONG TSPI_lineSetMediaMode(HDRVCALL hdCall, DWORD dwMediaMode) {
    return onLines([&](LineOperations& l) { return l.setMediaMode(hdCall, dwMediaMode); },
                   LINEERR_INVALCALLHANDLE);
}

LONG TSPI_lineConditionalMediaDetection(HDRVLINE hdLine, DWORD dwMediaModes,
                                        const LINECALLPARAMS*) {
    return onLines(
        [&](LineOperations& l) { return l.conditionalMediaDetection(hdLine, dwMediaModes); },
        LINEERR_INVALLINEHANDLE);
}

// --- entry points that only answer ---------------------------------------------

LONG TSPI_lineSetCurrentLocation(DWORD) { return 0; }
LONG TSPI_lineGetIcon(DWORD, LPCWSTR, LPHICON) { return LINEERR_OPERATIONUNAVAIL; }
LONG TSPI_lineSetAppSpecific(HDRVCALL, DWORD) { return LINEERR_OPERATIONUNAVAIL; }
LONG TSPI_lineSetCallParams(DRV_REQUESTID, HDRVCALL, DWORD, DWORD, DWORD, const LINEDIALPARAMS*) {
    return LINEERR_OPERATIONUNAVAIL;
}
LONG TSPI_lineSetMediaControl(HDRVLINE, DWORD, HDRVCALL, DWORD, const LINEMEDIACONTROLDIGIT*, DWORD,
                              const LINEMEDIACONTROLMEDIA*, DWORD, const LINEMEDIACONTROLTONE*,
                              DWORD, const LINEMEDIACONTROLCALLSTATE*, DWORD) {
    return LINEERR_OPERATIONUNAVAIL;
}
LONG TSPI_lineSetTerminal(DRV_REQUESTID, HDRVLINE, DWORD, HDRVCALL, DWORD, DWORD, DWORD, DWORD) {
    return LINEERR_OPERATIONUNAVAIL;
}

LONG TSPI_lineGetAddressID(HDRVLINE, LPDWORD lpdwAddressID, DWORD, LPCWSTR, DWORD) {
    if (!lpdwAddressID) return LINEERR_INVALPOINTER;
    *lpdwAddressID = 0;
    return 0;
}

LONG TSPI_lineGetCallAddressID(HDRVCALL, LPDWORD lpdwAddressID) {
    if (!lpdwAddressID) return LINEERR_INVALPOINTER;
    *lpdwAddressID = 0;
    return 0;
}

}  // extern "C"
