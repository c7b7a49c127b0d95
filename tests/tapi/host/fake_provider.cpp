// A provider with a few lines and no PBX behind it. The tests drive it
// through the fake* functions below, which they find in the loaded module.

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "tspi.h"

namespace {

struct FakeLine {
    HTAPILINE htLine = nullptr;
    bool open = false;
    DWORD lineStates = 0;
    DWORD addressStates = 0;
};

std::mutex g_mutex;
LINEEVENT g_lineEvent = nullptr;
LINEEVENT g_createProc = nullptr;
ASYNC_COMPLETION g_completion = nullptr;
DWORD g_permanentId = 0;
DWORD g_lineBase = 0;
std::vector<FakeLine> g_lines;
std::string g_log;

void log(const std::string& entry) {
    std::lock_guard lock(g_mutex);
    g_log += entry + ";";
}

FakeLine* lineFor(DWORD deviceId) {
    if (deviceId < g_lineBase || deviceId - g_lineBase >= g_lines.size()) return nullptr;
    return &g_lines[deviceId - g_lineBase];
}

void putWide(LINEDEVCAPS* caps, DWORD& sizeField, DWORD& offsetField, const std::u16string& text) {
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * 2);
    caps->dwNeededSize += bytes;
    if (caps->dwUsedSize + bytes > caps->dwTotalSize) return;
    std::memcpy(reinterpret_cast<char*>(caps) + caps->dwUsedSize, text.c_str(), bytes);
    sizeField = bytes;
    offsetField = caps->dwUsedSize;
    caps->dwUsedSize += bytes;
}

}  // namespace

extern "C" {

LONG TSPI_lineNegotiateTSPIVersion(DWORD, DWORD low, DWORD high, LPDWORD version) {
    if (low > TAPI_VERSION2_0 || high < TAPI_VERSION2_0) return LINEERR_INCOMPATIBLEAPIVERSION;
    *version = TAPI_VERSION2_0;
    return 0;
}

LONG TSPI_providerEnumDevices(DWORD permanentId, LPDWORD numLines, LPDWORD numPhones, HPROVIDER,
                              LINEEVENT lineCreate, PHONEEVENT) {
    g_permanentId = permanentId;
    g_createProc = lineCreate;
    *numLines = 3;
    *numPhones = 0;
    g_log.clear();  // a module kept loaded between tests starts afresh
    log("enum");
    return 0;
}

LONG TSPI_providerInit(DWORD, DWORD, DWORD lineBase, DWORD, DWORD_PTR numLines, DWORD_PTR,
                       ASYNC_COMPLETION completion, LPDWORD options) {
    g_lineBase = lineBase;
    g_completion = completion;
    g_lines.assign(numLines, FakeLine{});
    *options = LINETSPIOPTION_NONREENTRANT;
    log("init " + std::to_string(lineBase));
    return 0;
}

LONG TSPI_providerShutdown(DWORD, DWORD) {
    log("shutdown");
    return 0;
}

LONG TSPI_providerCreateLineDevice(DWORD_PTR tempId, DWORD deviceId) {
    log("create " + std::to_string(tempId) + "->" + std::to_string(deviceId));
    if (tempId != 77) return LINEERR_OPERATIONUNAVAIL;
    g_lines.resize(deviceId - g_lineBase + 1);
    return 0;
}

LONG TSPI_lineGetDevCaps(DWORD deviceId, DWORD, DWORD, LPLINEDEVCAPS caps) {
    if (!lineFor(deviceId)) return LINEERR_BADDEVICEID;
    if (caps->dwTotalSize < sizeof(LINEDEVCAPS)) return LINEERR_STRUCTURETOOSMALL;
    const DWORD total = caps->dwTotalSize;
    std::memset(caps, 0, sizeof(LINEDEVCAPS));
    caps->dwTotalSize = total;
    caps->dwNeededSize = sizeof(LINEDEVCAPS);
    caps->dwUsedSize = sizeof(LINEDEVCAPS);
    caps->dwStringFormat = STRINGFORMAT_UNICODE;
    caps->dwNumAddresses = 1;
    putWide(caps, caps->dwProviderInfoSize, caps->dwProviderInfoOffset, u"Fake provider");
    putWide(caps, caps->dwLineNameSize, caps->dwLineNameOffset,
            u"STATION 2" + std::u16string(1, static_cast<char16_t>(u'0' + deviceId)) + u" (DKT) \u00e9\u20ac");
    return 0;
}

LONG TSPI_lineOpen(DWORD deviceId, HTAPILINE htLine, LPHDRVLINE hdLine, DWORD, LINEEVENT proc) {
    FakeLine* line = lineFor(deviceId);
    if (!line) return LINEERR_BADDEVICEID;
    if (deviceId - g_lineBase == 2) return LINEERR_OPERATIONFAILED;  // the third line fails
    line->htLine = htLine;
    line->open = true;
    g_lineEvent = proc;
    *hdLine = reinterpret_cast<HDRVLINE>(static_cast<std::uintptr_t>(deviceId + 1));
    log("open " + std::to_string(deviceId));
    return 0;
}

LONG TSPI_lineClose(HDRVLINE hdLine) {
    const auto deviceId = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(hdLine) - 1);
    if (FakeLine* line = lineFor(deviceId)) line->open = false;
    log("close " + std::to_string(deviceId));
    return 0;
}

LONG TSPI_lineCloseCall(HDRVCALL hdCall) {
    log("closecall " + std::to_string(reinterpret_cast<std::uintptr_t>(hdCall)));
    return 0;
}

LONG TSPI_lineSetStatusMessages(HDRVLINE hdLine, DWORD lineStates, DWORD addressStates) {
    const auto deviceId = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(hdLine) - 1);
    if (FakeLine* line = lineFor(deviceId)) {
        line->lineStates = lineStates;
        line->addressStates = addressStates;
    }
    log("status " + std::to_string(deviceId) + " " + std::to_string(addressStates));
    return 0;
}

// --- controls for the tests ------------------------------------------------------

__attribute__((visibility("default"))) void fakeLineEvent(DWORD deviceId, DWORD msg,
                                                          DWORD_PTR p1, DWORD_PTR p2,
                                                          DWORD_PTR p3) {
    FakeLine* line = lineFor(deviceId);
    if (line && g_lineEvent) g_lineEvent(line->htLine, nullptr, msg, p1, p2, p3);
}

// Announces a new call on the line; returns the layer's handle for it.
__attribute__((visibility("default"))) HTAPICALL fakeNewCall(DWORD deviceId, DWORD_PTR hdCall) {
    FakeLine* line = lineFor(deviceId);
    HTAPICALL htCall = nullptr;
    if (line && g_lineEvent) {
        g_lineEvent(line->htLine, nullptr, LINE_NEWCALL, hdCall,
                    reinterpret_cast<DWORD_PTR>(&htCall), 0);
    }
    return htCall;
}

__attribute__((visibility("default"))) void fakeCallEvent(DWORD deviceId, HTAPICALL htCall,
                                                          DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                                                          DWORD_PTR p3) {
    FakeLine* line = lineFor(deviceId);
    if (line && g_lineEvent) g_lineEvent(line->htLine, htCall, msg, p1, p2, p3);
}

__attribute__((visibility("default"))) void fakeComplete(DRV_REQUESTID id, LONG result) {
    if (g_completion) g_completion(id, result);
}

__attribute__((visibility("default"))) void fakeCreateLine(DWORD_PTR tempId) {
    if (g_createProc) g_createProc(nullptr, nullptr, LINE_CREATE, g_permanentId, tempId, 0);
}

__attribute__((visibility("default"))) const char* fakeLog() { return g_log.c_str(); }

__attribute__((visibility("default"))) void fakeClearLog() { g_log.clear(); }

}  // extern "C"
