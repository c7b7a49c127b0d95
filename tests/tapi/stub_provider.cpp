// A provider with a handful of entry points, built with hidden visibility as
// the real one is. Its behaviour is only what tspi_entry_points_test checks.
#include <cstring>

#include "tspi.h"

namespace {

ASYNC_COMPLETION g_completion = nullptr;
LINEEVENT g_lineEvent = nullptr;
HTAPILINE g_tapiLine = nullptr;

struct Call {
    HTAPICALL tapiCall = nullptr;
    char16_t dest[32] = {};
};
Call g_call;

}  // namespace

extern "C" {

LONG TSPI_providerInit(DWORD, DWORD, DWORD, DWORD, DWORD_PTR, DWORD_PTR,
                       ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) {
    g_completion = lpfnCompletionProc;
    *lpdwTSPIOptions = LINETSPIOPTION_NONREENTRANT;
    return 0;
}

LONG TSPI_lineNegotiateTSPIVersion(DWORD, DWORD, DWORD dwHighVersion, LPDWORD lpdwTSPIVersion) {
    *lpdwTSPIVersion = dwHighVersion >= TAPI_VERSION2_1 ? TAPI_VERSION2_1 : TAPI_VERSION2_0;
    return 0;
}

LONG TSPI_lineOpen(DWORD, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD, LINEEVENT lpfnEventProc) {
    g_tapiLine = htLine;
    g_lineEvent = lpfnEventProc;
    *lphdLine = reinterpret_cast<HDRVLINE>(&g_tapiLine);
    return 0;
}

// Takes the destination, announces a second call to the layer as the provider
// does for calls the PBX reports, and completes the request.
LONG TSPI_lineMakeCall(DRV_REQUESTID dwRequestID, HDRVLINE, HTAPICALL htCall, LPHDRVCALL lphdCall,
                       LPCWSTR lpszDestAddress, DWORD, const LINECALLPARAMS*) {
    g_call.tapiCall = htCall;
    size_t n = 0;
    while (lpszDestAddress[n] != 0 && n + 1 < sizeof g_call.dest / sizeof g_call.dest[0]) {
        g_call.dest[n] = lpszDestAddress[n];
        ++n;
    }
    *lphdCall = reinterpret_cast<HDRVCALL>(&g_call);

    static Call offered;
    g_lineEvent(g_tapiLine, nullptr, LINE_NEWCALL, reinterpret_cast<DWORD_PTR>(&offered),
                reinterpret_cast<DWORD_PTR>(&offered.tapiCall), 0);
    g_lineEvent(g_tapiLine, offered.tapiCall, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, 0);
    g_completion(dwRequestID, 0);
    return static_cast<LONG>(dwRequestID);
}

LONG TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo) {
    const Call* call = reinterpret_cast<const Call*>(hdCall);
    size_t chars = 0;
    while (call->dest[chars] != 0) ++chars;
    const DWORD textSize = static_cast<DWORD>((chars + 1) * sizeof(char16_t));
    lpCallInfo->dwNeededSize = sizeof(LINECALLINFO) + textSize;
    lpCallInfo->dwUsedSize = sizeof(LINECALLINFO);
    if (lpCallInfo->dwTotalSize < lpCallInfo->dwNeededSize) return 0;
    lpCallInfo->dwCalledIDFlags = LINECALLPARTYID_ADDRESS;
    lpCallInfo->dwCalledIDSize = textSize;
    lpCallInfo->dwCalledIDOffset = sizeof(LINECALLINFO);
    std::memcpy(reinterpret_cast<char*>(lpCallInfo) + sizeof(LINECALLINFO), call->dest, textSize);
    lpCallInfo->dwUsedSize = lpCallInfo->dwNeededSize;
    return 0;
}

LONG TSPI_providerUIIdentify(LPWSTR lpszUIDLLName) {
    const char16_t name[] = u"tapi_stub_provider.tsp";
    std::memcpy(lpszUIDLLName, name, sizeof name);
    return 0;
}

LONG TUISPI_providerInstall(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND,
                            DWORD dwPermanentProviderID) {
    DWORD answer = 0;
    return lpfnUIDLLCallback(dwPermanentProviderID, TUISPIDLL_OBJECT_PROVIDERID, &answer,
                             sizeof answer) == 0 &&
                   answer == 1
               ? 0
               : LINEERR_NOMULTIPLEINSTANCE;
}

}  // extern "C"

// Not an entry point: must stay inside the provider.
int tapiStubProviderHelper() { return 1; }
