// A provider with a few lines and no PBX behind it. The tests drive it
// through the fake* functions below, which they find in the loaded module.

#include <cstdio>
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

// Two phones; the second refuses to open.
struct FakePhone {
    HTAPIPHONE htPhone = nullptr;
    bool open = false;
};
constexpr DWORD kPhones = 2;
PHONEEVENT g_phoneEvent = nullptr;
DWORD g_phoneBase = 0;
std::vector<FakePhone> g_phones;

void log(const std::string& entry) {
    std::lock_guard lock(g_mutex);
    g_log += entry + ";";
}

FakeLine* lineFor(DWORD deviceId) {
    if (deviceId < g_lineBase || deviceId - g_lineBase >= g_lines.size()) return nullptr;
    return &g_lines[deviceId - g_lineBase];
}

// Appends a variable field to a structure the caller sized, as providers
// do: dwNeededSize always grows, the field is only written when it fits.
void putBytes(void* structure, DWORD& sizeField, DWORD& offsetField, const void* data,
              DWORD bytes) {
    auto* base = static_cast<char*>(structure);
    DWORD header[3];
    std::memcpy(header, base, sizeof header);  // total, needed, used
    header[1] += bytes;
    if (header[2] + bytes <= header[0]) {
        std::memcpy(base + header[2], data, bytes);
        sizeField = bytes;
        offsetField = header[2];
        header[2] += bytes;
    }
    std::memcpy(base, header, sizeof header);
}

void putWide(void* structure, DWORD& sizeField, DWORD& offsetField, const std::u16string& text) {
    putBytes(structure, sizeField, offsetField, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * 2));
}

// Starts a structure of `fixed` bytes in the caller's block.
bool startStructure(void* structure, DWORD fixed) {
    DWORD total;
    std::memcpy(&total, structure, sizeof total);
    if (total < fixed) return false;
    std::memset(structure, 0, fixed);
    const DWORD header[3] = {total, fixed, fixed};
    std::memcpy(structure, header, sizeof header);
    return true;
}

// Wide text in the log: ASCII as it is, anything else as \u escapes.
std::string narrow(LPCWSTR text) {
    if (!text) return "null";
    std::string out;
    for (; *text; ++text) {
        if (*text < 0x80) {
            out += static_cast<char>(*text);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(*text));
            out += escape;
        }
    }
    return out;
}

std::string number(const void* handle) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

DWORD deviceOf(HDRVLINE hdLine) {
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(hdLine) - 1);
}

// Calls the provider made itself (make call, consultation calls …).
struct FakeCall {
    HTAPICALL htCall;
    HDRVCALL hdCall;
};
std::vector<FakeCall> g_made;
std::uintptr_t g_nextCall = 0x1001;
LONG g_failNext = 0;
bool g_forwardConsult = false;
bool g_statusBlockArmed = false;

// Writes the provider's handle of a call it makes for the layer's htCall.
std::string makeCall(HTAPICALL htCall, LPHDRVCALL hdCall) {
    const auto handle = reinterpret_cast<HDRVCALL>(g_nextCall++);
    *hdCall = handle;
    std::lock_guard lock(g_mutex);
    g_made.push_back(FakeCall{htCall, handle});
    return number(handle);
}

// An asynchronous request: logged, then refused at once when a test asked
// for it, else left for the test to complete with fakeComplete.
LONG request(DRV_REQUESTID id, const std::string& entry) {
    log(entry);
    if (const LONG refusal = g_failNext) {
        g_failNext = 0;
        return refusal;
    }
    return static_cast<LONG>(id);
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
    *numPhones = kPhones;
    g_log.clear();  // a module kept loaded between tests starts afresh
    g_made.clear();
    g_nextCall = 0x1001;
    g_failNext = 0;
    g_forwardConsult = false;
    g_statusBlockArmed = false;
    log("enum");
    return 0;
}

LONG TSPI_providerInit(DWORD, DWORD, DWORD lineBase, DWORD phoneBase, DWORD_PTR numLines,
                       DWORD_PTR numPhones, ASYNC_COMPLETION completion, LPDWORD options) {
    g_lineBase = lineBase;
    g_phoneBase = phoneBase;
    g_phones.assign(numPhones, FakePhone{});
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

// --- call control: each logs "<what> <handles> <arguments>" -------------------------

LONG TSPI_lineMakeCall(DRV_REQUESTID id, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL hdCall,
                       LPCWSTR dest, DWORD countryCode, const LINECALLPARAMS* params) {
    std::string entry = "makecall " + std::to_string(deviceOf(hdLine)) + " " + narrow(dest) +
                        " cc=" + std::to_string(countryCode);
    if (params) {
        const auto* base = reinterpret_cast<const char*>(params);
        entry += " params=" + std::to_string(params->dwTotalSize);
        if (params->dwCalledPartySize) {
            entry +=
                " party=" + narrow(reinterpret_cast<LPCWSTR>(base + params->dwCalledPartyOffset));
        }
    }
    entry += " -> " + makeCall(htCall, hdCall);
    return request(id, entry);
}

LONG TSPI_lineDial(DRV_REQUESTID id, HDRVCALL hdCall, LPCWSTR dest, DWORD countryCode) {
    return request(
        id, "dial " + number(hdCall) + " " + narrow(dest) + " cc=" + std::to_string(countryCode));
}

LONG TSPI_lineAccept(DRV_REQUESTID id, HDRVCALL hdCall, LPCSTR uui, DWORD size) {
    return request(id, "accept " + number(hdCall) + " " + std::string(uui ? uui : "", size));
}

LONG TSPI_lineAnswer(DRV_REQUESTID id, HDRVCALL hdCall, LPCSTR uui, DWORD size) {
    return request(id, "answer " + number(hdCall) + " " + std::string(uui ? uui : "", size));
}

LONG TSPI_lineDrop(DRV_REQUESTID id, HDRVCALL hdCall, LPCSTR uui, DWORD size) {
    return request(id, "drop " + number(hdCall) + " " + std::string(uui ? uui : "", size));
}

LONG TSPI_lineHold(DRV_REQUESTID id, HDRVCALL hdCall) {
    return request(id, "hold " + number(hdCall));
}

LONG TSPI_lineUnhold(DRV_REQUESTID id, HDRVCALL hdCall) {
    return request(id, "unhold " + number(hdCall));
}

LONG TSPI_lineSwapHold(DRV_REQUESTID id, HDRVCALL active, HDRVCALL held) {
    return request(id, "swaphold " + number(active) + " " + number(held));
}

LONG TSPI_lineRedirect(DRV_REQUESTID id, HDRVCALL hdCall, LPCWSTR dest, DWORD) {
    return request(id, "redirect " + number(hdCall) + " " + narrow(dest));
}

LONG TSPI_lineBlindTransfer(DRV_REQUESTID id, HDRVCALL hdCall, LPCWSTR dest, DWORD) {
    return request(id, "blindtransfer " + number(hdCall) + " " + narrow(dest));
}

LONG TSPI_lineSetupTransfer(DRV_REQUESTID id, HDRVCALL hdCall, HTAPICALL htConsult,
                            LPHDRVCALL hdConsult, const LINECALLPARAMS*) {
    return request(id, "setuptransfer " + number(hdCall) + " -> " + makeCall(htConsult, hdConsult));
}

LONG TSPI_lineCompleteTransfer(DRV_REQUESTID id, HDRVCALL hdCall, HDRVCALL hdConsult,
                               HTAPICALL htConf, LPHDRVCALL hdConf, DWORD mode) {
    std::string entry =
        "completetransfer " + number(hdCall) + " " + number(hdConsult) + " " + std::to_string(mode);
    if (mode == LINETRANSFERMODE_CONFERENCE) entry += " -> " + makeCall(htConf, hdConf);
    return request(id, entry);
}

LONG TSPI_lineSetupConference(DRV_REQUESTID id, HDRVCALL hdCall, HDRVLINE hdLine, HTAPICALL htConf,
                              LPHDRVCALL hdConf, HTAPICALL htConsult, LPHDRVCALL hdConsult,
                              DWORD parties, const LINECALLPARAMS*) {
    std::string entry = "setupconference " + number(hdCall) + " " +
                        std::to_string(deviceOf(hdLine)) + " " + std::to_string(parties);
    entry += " -> " + makeCall(htConf, hdConf);
    entry += " " + makeCall(htConsult, hdConsult);
    return request(id, entry);
}

LONG TSPI_linePrepareAddToConference(DRV_REQUESTID id, HDRVCALL hdConf, HTAPICALL htConsult,
                                     LPHDRVCALL hdConsult, const LINECALLPARAMS*) {
    return request(id, "prepareadd " + number(hdConf) + " -> " + makeCall(htConsult, hdConsult));
}

LONG TSPI_lineAddToConference(DRV_REQUESTID id, HDRVCALL hdConf, HDRVCALL hdConsult) {
    return request(id, "addtoconference " + number(hdConf) + " " + number(hdConsult));
}

LONG TSPI_lineRemoveFromConference(DRV_REQUESTID id, HDRVCALL hdCall) {
    return request(id, "removefromconference " + number(hdCall));
}

// A call parked without a destination goes to slot 0701; the address comes
// back as wide text in a VARSTRING that says ASCII, as some providers write it.
LONG TSPI_linePark(DRV_REQUESTID id, HDRVCALL hdCall, DWORD mode, LPCWSTR dir, LPVARSTRING nonDir) {
    if (mode == LINEPARKMODE_DIRECTED) {
        return request(id, "park " + number(hdCall) + " " + narrow(dir));
    }
    if (mode != LINEPARKMODE_NONDIRECTED) return LINEERR_INVALPARKMODE;
    constexpr DWORD kNeeded = sizeof(VARSTRING) + 8;
    nonDir->dwNeededSize = kNeeded;
    if (nonDir->dwTotalSize < kNeeded) return LINEERR_STRUCTURETOOSMALL;
    std::memcpy(reinterpret_cast<char*>(nonDir) + sizeof(VARSTRING), u"0701", 8);
    nonDir->dwUsedSize = kNeeded;
    nonDir->dwStringFormat = STRINGFORMAT_ASCII;
    nonDir->dwStringSize = 8;
    nonDir->dwStringOffset = sizeof(VARSTRING);
    return request(id, "park " + number(hdCall) + " nondirected");
}

LONG TSPI_lineUnpark(DRV_REQUESTID id, HDRVLINE hdLine, DWORD address, HTAPICALL htCall,
                     LPHDRVCALL hdCall, LPCWSTR dest) {
    return request(id, "unpark " + std::to_string(deviceOf(hdLine)) + " " +
                           std::to_string(address) + " " + narrow(dest) + " -> " +
                           makeCall(htCall, hdCall));
}

LONG TSPI_linePickup(DRV_REQUESTID id, HDRVLINE hdLine, DWORD address, HTAPICALL htCall,
                     LPHDRVCALL hdCall, LPCWSTR dest, LPCWSTR group) {
    return request(id, "pickup " + std::to_string(deviceOf(hdLine)) + " " +
                           std::to_string(address) + " " + narrow(dest) + " " + narrow(group) +
                           " -> " + makeCall(htCall, hdCall));
}

// Forwarding needs a consultation call only when a test says so.
LONG TSPI_lineForward(DRV_REQUESTID id, HDRVLINE hdLine, DWORD all, DWORD address,
                      const LINEFORWARDLIST* list, DWORD rings, HTAPICALL htConsult,
                      LPHDRVCALL hdConsult, const LINECALLPARAMS*) {
    std::string entry = "forward " + std::to_string(deviceOf(hdLine)) +
                        " all=" + std::to_string(all) + " " + std::to_string(address) +
                        " rings=" + std::to_string(rings);
    if (!list) {
        entry += " off";
    } else {
        const auto* base = reinterpret_cast<const char*>(list);
        for (DWORD i = 0; i < list->dwNumEntries; ++i) {
            const LINEFORWARD& f = list->ForwardList[i];
            entry += " " + std::to_string(f.dwForwardMode) + ":";
            if (f.dwDestAddressSize) {
                // Wide and terminated: the last unit of the field is the zero.
                const auto* text = reinterpret_cast<LPCWSTR>(base + f.dwDestAddressOffset);
                entry += narrow(text);
                if (text[f.dwDestAddressSize / 2 - 1] != 0) entry += "(unterminated)";
            }
        }
    }
    if (g_forwardConsult) {
        entry += " -> " + makeCall(htConsult, hdConsult);
    } else {
        *hdConsult = nullptr;
    }
    return request(id, entry);
}

LONG TSPI_lineCompleteCall(DRV_REQUESTID id, HDRVCALL hdCall, LPDWORD completionId, DWORD mode,
                           DWORD messageId) {
    *completionId = 0x77;
    return request(id, "completecall " + number(hdCall) + " " + std::to_string(mode) + " " +
                           std::to_string(messageId));
}

LONG TSPI_lineUncompleteCall(DRV_REQUESTID id, HDRVLINE hdLine, DWORD completionId) {
    return request(id, "uncompletecall " + std::to_string(deviceOf(hdLine)) + " " +
                           std::to_string(completionId));
}

LONG TSPI_lineGenerateDigits(HDRVCALL hdCall, DWORD endToEndId, DWORD mode, LPCWSTR digits,
                             DWORD duration) {
    log("digits " + number(hdCall) + " id=" + std::to_string(endToEndId) + " " +
        std::to_string(mode) + " " + narrow(digits) + " " + std::to_string(duration));
    return 0;
}

LONG TSPI_lineSendUserUserInfo(DRV_REQUESTID id, HDRVCALL hdCall, LPCSTR uui, DWORD size) {
    return request(id, "senduui " + number(hdCall) + " " + std::string(uui, size));
}

LONG TSPI_lineReleaseUserUserInfo(DRV_REQUESTID id, HDRVCALL hdCall) {
    return request(id, "releaseuui " + number(hdCall));
}

LONG TSPI_lineSetCallData(DRV_REQUESTID id, HDRVCALL hdCall, LPVOID data, DWORD size) {
    return request(
        id, "calldata " + number(hdCall) + " " + std::string(static_cast<const char*>(data), size));
}

LONG TSPI_lineDevSpecific(DRV_REQUESTID id, HDRVLINE hdLine, DWORD address, HDRVCALL hdCall,
                          LPVOID params, DWORD size) {
    return request(id, "devspecific " + std::to_string(deviceOf(hdLine)) + " " +
                           std::to_string(address) + " " + number(hdCall) + " " +
                           std::string(static_cast<const char*>(params), size));
}

// --- status ------------------------------------------------------------------------

LONG TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO info) {
    if (!startStructure(info, sizeof(LINECALLINFO))) return LINEERR_STRUCTURETOOSMALL;
    info->hLine = 0xDEAD;  // the provider cannot know the application's handle
    info->dwNumOwners = 9;
    info->dwCallID = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(hdCall));
    info->dwBearerMode = LINEBEARERMODE_VOICE;
    info->dwMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
    info->dwOrigin = LINECALLORIGIN_INTERNAL;
    info->dwReason = LINECALLREASON_DIRECT;
    info->dwTrunk = 0xFFFFFFFF;
    info->dwCallerIDFlags = LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME;
    info->dwCalledIDFlags = LINECALLPARTYID_ADDRESS;
    putBytes(info, info->dwUserUserInfoSize, info->dwUserUserInfoOffset, "uu\0\1", 4);
    putWide(info, info->dwCallerIDSize, info->dwCallerIDOffset, u"STA202");
    putWide(info, info->dwCallerIDNameSize, info->dwCallerIDNameOffset, u"Zo\u00eb \u20ac");
    putWide(info, info->dwCalledIDSize, info->dwCalledIDOffset, u"STA21");
    return 0;
}

LONG TSPI_lineGetCallStatus(HDRVCALL, LPLINECALLSTATUS status) {
    if (!startStructure(status, sizeof(LINECALLSTATUS))) return LINEERR_STRUCTURETOOSMALL;
    status->dwCallState = LINECALLSTATE_CONNECTED;
    status->dwCallPrivilege = 0;  // the layer's to say
    status->dwCallFeatures = LINECALLFEATURE_DROP | LINECALLFEATURE_HOLD;
    status->dwCallFeatures2 = LINECALLFEATURE2_TRANSFERNORM;
    return 0;
}

LONG TSPI_lineGetLineDevStatus(HDRVLINE, LPLINEDEVSTATUS status) {
    if (!startStructure(status, sizeof(LINEDEVSTATUS))) return LINEERR_STRUCTURETOOSMALL;
    status->dwNumOpens = 1;
    status->dwOpenMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    status->dwLineFeatures = LINEFEATURE_MAKECALL;
    status->dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
    return 0;
}

LONG TSPI_lineGetAddressCaps(DWORD deviceId, DWORD address, DWORD, DWORD, LPLINEADDRESSCAPS caps) {
    if (!lineFor(deviceId)) return LINEERR_BADDEVICEID;
    if (address != 0) return LINEERR_INVALADDRESSID;
    if (!startStructure(caps, sizeof(LINEADDRESSCAPS))) return LINEERR_STRUCTURETOOSMALL;
    caps->dwLineDeviceID = deviceId;
    caps->dwCallFeatures = LINECALLFEATURE_DROP | LINECALLFEATURE_HOLD;
    caps->dwParkModes = LINEPARKMODE_DIRECTED | LINEPARKMODE_NONDIRECTED;
    putWide(caps, caps->dwAddressSize, caps->dwAddressOffset,
            u"2" + std::u16string(1, static_cast<char16_t>(u'0' + deviceId)) + u" \u00e9");
    putBytes(caps, caps->dwDevSpecificSize, caps->dwDevSpecificOffset, "\1\2\3", 3);
    return 0;
}

// Forwarded on busy to "203 é"; a status block armed by a test is handed
// out once, and only into a buffer that holds it.
LONG TSPI_lineGetAddressStatus(HDRVLINE, DWORD address, LPLINEADDRESSSTATUS status) {
    if (address != 0) return LINEERR_INVALADDRESSID;
    if (!startStructure(status, sizeof(LINEADDRESSSTATUS))) return LINEERR_STRUCTURETOOSMALL;
    status->dwNumInUse = 1;
    status->dwAddressFeatures = LINEADDRFEATURE_FORWARD | LINEADDRFEATURE_MAKECALL;
    static const char block[] = "STA_STATUS";
    if (g_statusBlockArmed) {
        if (status->dwNeededSize + sizeof block > status->dwTotalSize) {
            status->dwNeededSize += sizeof block;
            return LINEERR_STRUCTURETOOSMALL;
        }
        putBytes(status, status->dwDevSpecificSize, status->dwDevSpecificOffset, block,
                 sizeof block);
        g_statusBlockArmed = false;
    }
    const std::u16string dest = u"203 \u00e9";
    LINEFORWARD forward{};
    forward.dwForwardMode = LINEFORWARDMODE_BUSY;
    const DWORD entryAt = status->dwUsedSize;
    putBytes(status, status->dwForwardSize, status->dwForwardOffset, &forward, sizeof forward);
    if (status->dwForwardSize == 0) return 0;
    status->dwForwardNumEntries = 1;
    LINEFORWARD placed;
    std::memcpy(&placed, reinterpret_cast<char*>(status) + entryAt, sizeof placed);
    putWide(status, placed.dwDestAddressSize, placed.dwDestAddressOffset, dest);
    std::memcpy(reinterpret_cast<char*>(status) + entryAt, &placed, sizeof placed);
    return 0;
}

// "tapi/line" gives the device ID as a binary DWORD, "fake/name" a name as
// wide text.
LONG TSPI_lineGetID(HDRVLINE hdLine, DWORD, HDRVCALL hdCall, DWORD select, LPVARSTRING id,
                    LPCWSTR deviceClass, HANDLE) {
    const std::string cls = narrow(deviceClass);
    log("getid " + std::to_string(deviceOf(hdLine)) + " " + number(hdCall) + " " +
        std::to_string(select) + " " + cls);
    if (!startStructure(id, sizeof(VARSTRING))) return LINEERR_STRUCTURETOOSMALL;
    if (cls == "tapi/line") {
        const DWORD device = deviceOf(hdLine);
        id->dwStringFormat = STRINGFORMAT_BINARY;
        putBytes(id, id->dwStringSize, id->dwStringOffset, &device, sizeof device);
        return 0;
    }
    if (cls == "fake/name") {
        id->dwStringFormat = STRINGFORMAT_UNICODE;
        putWide(id, id->dwStringSize, id->dwStringOffset, u"Fake line \u00e9");
        return 0;
    }
    return LINEERR_NODEVICE;
}

// --- phones: "phoneopen <device>" … ------------------------------------------------

FakePhone* phoneFor(DWORD deviceId) {
    if (deviceId < g_phoneBase || deviceId - g_phoneBase >= g_phones.size()) return nullptr;
    return &g_phones[deviceId - g_phoneBase];
}

DWORD phoneOf(HDRVPHONE hdPhone) {
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(hdPhone) - 0x100);
}

LONG TSPI_phoneGetExtensionID(DWORD, DWORD, LPPHONEEXTENSIONID id) {
    *id = PHONEEXTENSIONID{1, 2, 3, 4};
    return 0;
}

LONG TSPI_phoneNegotiateExtVersion(DWORD, DWORD, DWORD low, DWORD high, LPDWORD version) {
    if (low > TAPI_VERSION2_0 || high < TAPI_VERSION2_0) return PHONEERR_INCOMPATIBLEEXTVERSION;
    *version = TAPI_VERSION2_0;
    return 0;
}

LONG TSPI_phoneGetDevCaps(DWORD deviceId, DWORD, DWORD, LPPHONECAPS caps) {
    if (!phoneFor(deviceId)) return PHONEERR_BADDEVICEID;
    if (!startStructure(caps, sizeof(PHONECAPS))) return PHONEERR_STRUCTURETOOSMALL;
    caps->dwStringFormat = STRINGFORMAT_UNICODE;
    caps->dwNumGetData = 14;
    putWide(caps, caps->dwProviderInfoSize, caps->dwProviderInfoOffset, u"Fake provider");
    putWide(caps, caps->dwPhoneNameSize, caps->dwPhoneNameOffset,
            u"PHONE 2" + std::u16string(1, static_cast<char16_t>(u'0' + deviceId)) +
                u" (DKT) \u00e9");
    return 0;
}

LONG TSPI_phoneOpen(DWORD deviceId, HTAPIPHONE htPhone, LPHDRVPHONE hdPhone, DWORD,
                    PHONEEVENT proc) {
    FakePhone* phone = phoneFor(deviceId);
    if (!phone) return PHONEERR_BADDEVICEID;
    log("phoneopen " + std::to_string(deviceId));
    if (deviceId - g_phoneBase == 1) return PHONEERR_OPERATIONFAILED;
    phone->htPhone = htPhone;
    phone->open = true;
    g_phoneEvent = proc;
    *hdPhone = reinterpret_cast<HDRVPHONE>(static_cast<std::uintptr_t>(deviceId + 0x100));
    return 0;
}

LONG TSPI_phoneClose(HDRVPHONE hdPhone) {
    if (FakePhone* phone = phoneFor(phoneOf(hdPhone))) phone->open = false;
    log("phoneclose " + std::to_string(phoneOf(hdPhone)));
    return 0;
}

LONG TSPI_phoneDevSpecific(DRV_REQUESTID id, HDRVPHONE hdPhone, LPVOID params, DWORD size) {
    return request(id, "phonedevspecific " + std::to_string(phoneOf(hdPhone)) + " " +
                           std::string(static_cast<const char*>(params), size));
}

// Setting n reads as "value n"; 15 and above are no settings.
LONG TSPI_phoneGetData(HDRVPHONE hdPhone, DWORD dataId, LPVOID data, DWORD size) {
    log("phonegetdata " + std::to_string(phoneOf(hdPhone)) + " " + std::to_string(dataId));
    if (dataId > 14) return PHONEERR_OPERATIONUNAVAIL;
    const std::string text = "value " + std::to_string(dataId);
    if (text.size() + 1 > size) return PHONEERR_OPERATIONFAILED;
    std::memcpy(data, text.c_str(), text.size() + 1);
    return 0;
}

LONG TSPI_phoneGetID(HDRVPHONE hdPhone, LPVARSTRING id, LPCWSTR deviceClass, HANDLE) {
    const std::string cls = narrow(deviceClass);
    if (!startStructure(id, sizeof(VARSTRING))) return PHONEERR_STRUCTURETOOSMALL;
    if (cls == "tapi/phone") {
        const DWORD device = phoneOf(hdPhone);
        id->dwStringFormat = STRINGFORMAT_BINARY;
        putBytes(id, id->dwStringSize, id->dwStringOffset, &device, sizeof device);
        return 0;
    }
    if (cls == "fake/name") {
        id->dwStringFormat = STRINGFORMAT_UNICODE;
        putWide(id, id->dwStringSize, id->dwStringOffset, u"Fake phone \u00e9");
        return 0;
    }
    return PHONEERR_INVALDEVICECLASS;
}

// --- controls for the tests ------------------------------------------------------

__attribute__((visibility("default"))) void fakePhoneEvent(DWORD deviceId, DWORD msg,
                                                           DWORD_PTR p1, DWORD_PTR p2,
                                                           DWORD_PTR p3) {
    FakePhone* phone = phoneFor(deviceId);
    if (phone && g_phoneEvent) g_phoneEvent(phone->htPhone, msg, p1, p2, p3);
}

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

// The layer's and the provider's handles of the n-th call the provider made.
__attribute__((visibility("default"))) HTAPICALL fakeMadeCall(DWORD index) {
    std::lock_guard lock(g_mutex);
    return index < g_made.size() ? g_made[index].htCall : nullptr;
}

__attribute__((visibility("default"))) std::uintptr_t fakeMadeDriverCall(DWORD index) {
    std::lock_guard lock(g_mutex);
    return index < g_made.size() ? reinterpret_cast<std::uintptr_t>(g_made[index].hdCall) : 0;
}

// The next asynchronous entry point refuses at once with `result`.
__attribute__((visibility("default"))) void fakeFailNext(LONG result) { g_failNext = result; }

__attribute__((visibility("default"))) void fakeForwardConsult(BOOL consult) {
    g_forwardConsult = consult != 0;
}

__attribute__((visibility("default"))) void fakeArmStatusBlock() { g_statusBlockArmed = true; }

__attribute__((visibility("default"))) const char* fakeLog() { return g_log.c_str(); }

__attribute__((visibility("default"))) void fakeClearLog() { g_log.clear(); }

}  // extern "C"
