#include "tools/tapicmd/structure_json.h"

#include <cstring>
#include <string>

#include "tools/tapicmd/message_json.h"
#include "tools/tapicmd/status_blocks.h"

namespace velkor::tapicmd {

namespace {

// A view of a filled structure: its fixed part through T, its variable
// fields by their size and offset, never read outside the block.
template <typename T>
class Filled {
public:
    explicit Filled(std::span<const std::uint8_t> block) : m_block(block) {
        std::memcpy(&m_fixed, block.data(), std::min(sizeof m_fixed, block.size()));
    }
    const T* operator->() const { return &m_fixed; }

    std::span<const std::uint8_t> bytes(DWORD size, DWORD offset) const {
        if (size == 0 || offset > m_block.size() || size > m_block.size() - offset) return {};
        return m_block.subspan(offset, size);
    }
    // 8-bit text without its terminating zeros.
    std::string text(DWORD size, DWORD offset) const {
        const auto b = bytes(size, offset);
        std::string t(reinterpret_cast<const char*>(b.data()), b.size());
        while (!t.empty() && t.back() == '\0') t.pop_back();
        return t;
    }
    void addText(nlohmann::json& out, const char* key, DWORD size, DWORD offset) const {
        if (size) out[key] = text(size, offset);
    }
    void addHex(nlohmann::json& out, const char* key, DWORD size, DWORD offset) const {
        if (size) out[key] = hexBytes(bytes(size, offset));
    }

private:
    std::span<const std::uint8_t> m_block;
    T m_fixed{};
};

void addSizes(nlohmann::json& out, DWORD total, DWORD needed, DWORD used) {
    out["totalSize"] = total;
    out["neededSize"] = needed;
    out["usedSize"] = used;
}

}  // namespace

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

void addCallInfo(nlohmann::json& out, std::span<const std::uint8_t> block) {
    const Filled<LINECALLINFO> info(block);
    addSizes(out, info->dwTotalSize, info->dwNeededSize, info->dwUsedSize);
    out["line"] = info->hLine;
    out["device"] = info->dwLineDeviceID;
    out["address"] = info->dwAddressID;
    addBits(out, "bearerMode", info->dwBearerMode, kLineBearerModeNames);
    out["rate"] = info->dwRate;
    addBits(out, "mediaMode", info->dwMediaMode, kLineMediaModeNames);
    out["appSpecific"] = info->dwAppSpecific;
    out["callId"] = info->dwCallID;
    out["relatedCallId"] = info->dwRelatedCallID;
    addBits(out, "callParamFlags", info->dwCallParamFlags, kLineCallParamFlagNames);
    addBits(out, "callStates", info->dwCallStates, kLineCallStateNames);
    addNamed(out, "origin", info->dwOrigin, kLineCallOriginNames);
    addNamed(out, "reason", info->dwReason, kLineCallReasonNames);
    out["completionId"] = info->dwCompletionID;
    out["numOwners"] = info->dwNumOwners;
    out["numMonitors"] = info->dwNumMonitors;
    out["countryCode"] = info->dwCountryCode;
    out["trunk"] = info->dwTrunk;
    struct Party {
        const char* key;
        DWORD flags;
        DWORD size, offset, nameSize, nameOffset;
    };
    const Party parties[] = {
        {"callerId", info->dwCallerIDFlags, info->dwCallerIDSize, info->dwCallerIDOffset,
         info->dwCallerIDNameSize, info->dwCallerIDNameOffset},
        {"calledId", info->dwCalledIDFlags, info->dwCalledIDSize, info->dwCalledIDOffset,
         info->dwCalledIDNameSize, info->dwCalledIDNameOffset},
        {"connectedId", info->dwConnectedIDFlags, info->dwConnectedIDSize,
         info->dwConnectedIDOffset, info->dwConnectedIDNameSize, info->dwConnectedIDNameOffset},
        {"redirectionId", info->dwRedirectionIDFlags, info->dwRedirectionIDSize,
         info->dwRedirectionIDOffset, info->dwRedirectionIDNameSize,
         info->dwRedirectionIDNameOffset},
        {"redirectingId", info->dwRedirectingIDFlags, info->dwRedirectingIDSize,
         info->dwRedirectingIDOffset, info->dwRedirectingIDNameSize,
         info->dwRedirectingIDNameOffset},
    };
    for (const Party& p : parties) {
        const std::string key = p.key;
        addBits(out, key + "Flags", p.flags, kLineCallPartyIdNames);
        info.addText(out, key.c_str(), p.size, p.offset);
        info.addText(out, (key + "Name").c_str(), p.nameSize, p.nameOffset);
    }
    info.addText(out, "appName", info->dwAppNameSize, info->dwAppNameOffset);
    info.addText(out, "displayableAddress", info->dwDisplayableAddressSize,
                 info->dwDisplayableAddressOffset);
    info.addText(out, "calledParty", info->dwCalledPartySize, info->dwCalledPartyOffset);
    info.addText(out, "comment", info->dwCommentSize, info->dwCommentOffset);
    info.addHex(out, "display", info->dwDisplaySize, info->dwDisplayOffset);
    info.addHex(out, "userUserInfo", info->dwUserUserInfoSize, info->dwUserUserInfoOffset);
    info.addHex(out, "chargingInfo", info->dwChargingInfoSize, info->dwChargingInfoOffset);
    info.addHex(out, "callData", info->dwCallDataSize, info->dwCallDataOffset);
    info.addHex(out, "devSpecific", info->dwDevSpecificSize, info->dwDevSpecificOffset);
    out["callTreatment"] = info->dwCallTreatment;
}

void addCallStatus(nlohmann::json& out, std::span<const std::uint8_t> block) {
    const Filled<LINECALLSTATUS> status(block);
    addNamed(out, "state", status->dwCallState, kLineCallStateNames);
    out["stateMode"] = status->dwCallStateMode;
    addNamed(out, "privilege", status->dwCallPrivilege, kLineCallPrivilegeNames);
    addBits(out, "features", status->dwCallFeatures, kLineCallFeatureNames);
    addBits(out, "features2", status->dwCallFeatures2, kLineCallFeature2Names);
    status.addHex(out, "devSpecific", status->dwDevSpecificSize, status->dwDevSpecificOffset);
    const SYSTEMTIME& t = status->tStateEntryTime;
    char time[64];
    std::snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    out["stateEntryTime"] = time;
}

void addLineDevStatus(nlohmann::json& out, std::span<const std::uint8_t> block) {
    const Filled<LINEDEVSTATUS> status(block);
    out["numOpens"] = status->dwNumOpens;
    addBits(out, "openMediaModes", status->dwOpenMediaModes, kLineMediaModeNames);
    out["numActiveCalls"] = status->dwNumActiveCalls;
    out["numOnHoldCalls"] = status->dwNumOnHoldCalls;
    out["numOnHoldPendCalls"] = status->dwNumOnHoldPendCalls;
    addBits(out, "lineFeatures", status->dwLineFeatures, kLineFeatureNames);
    out["numCallCompletions"] = status->dwNumCallCompletions;
    out["ringMode"] = status->dwRingMode;
    out["signalLevel"] = status->dwSignalLevel;
    out["batteryLevel"] = status->dwBatteryLevel;
    out["roamMode"] = status->dwRoamMode;
    addBits(out, "devStatusFlags", status->dwDevStatusFlags, kLineDevStatusFlagNames);
    addBits(out, "availableMediaModes", status->dwAvailableMediaModes, kLineMediaModeNames);
    status.addHex(out, "devSpecific", status->dwDevSpecificSize, status->dwDevSpecificOffset);
}

void addAddressCaps(nlohmann::json& out, std::span<const std::uint8_t> block) {
    const Filled<LINEADDRESSCAPS> caps(block);
    addSizes(out, caps->dwTotalSize, caps->dwNeededSize, caps->dwUsedSize);
    out["device"] = caps->dwLineDeviceID;
    caps.addText(out, "address", caps->dwAddressSize, caps->dwAddressOffset);
    addNamed(out, "addressSharing", caps->dwAddressSharing, kLineAddressSharingNames);
    addBits(out, "addressStates", caps->dwAddressStates, kLineAddressStateNames);
    addBits(out, "callInfoStates", caps->dwCallInfoStates, kLineCallInfoStateNames);
    addBits(out, "callStates", caps->dwCallStates, kLineCallStateNames);
    addBits(out, "dialToneModes", caps->dwDialToneModes, kLineDialToneModeNames);
    addBits(out, "busyModes", caps->dwBusyModes, kLineBusyModeNames);
    addBits(out, "specialInfo", caps->dwSpecialInfo, kLineSpecialInfoNames);
    addBits(out, "disconnectModes", caps->dwDisconnectModes, kLineDisconnectModeNames);
    out["maxNumActiveCalls"] = caps->dwMaxNumActiveCalls;
    out["maxNumOnHoldCalls"] = caps->dwMaxNumOnHoldCalls;
    out["maxNumOnHoldPendingCalls"] = caps->dwMaxNumOnHoldPendingCalls;
    out["maxNumConference"] = caps->dwMaxNumConference;
    out["maxNumTransConf"] = caps->dwMaxNumTransConf;
    addBits(out, "addrCapFlags", caps->dwAddrCapFlags, kLineAddrCapFlagNames);
    addBits(out, "callFeatures", caps->dwCallFeatures, kLineCallFeatureNames);
    addNamed(out, "removeFromConfCaps", caps->dwRemoveFromConfCaps, kLineRemoveFromConfNames);
    addNamed(out, "removeFromConfState", caps->dwRemoveFromConfState, kLineCallStateNames);
    addBits(out, "transferModes", caps->dwTransferModes, kLineTransferModeNames);
    addBits(out, "parkModes", caps->dwParkModes, kLineParkModeNames);
    addBits(out, "forwardModes", caps->dwForwardModes, kLineForwardModeNames);
    out["maxForwardEntries"] = caps->dwMaxForwardEntries;
    out["maxCallCompletions"] = caps->dwMaxCallCompletions;
    out["callCompletionConds"] = caps->dwCallCompletionConds;
    addBits(out, "callCompletionModes", caps->dwCallCompletionModes, kLineCallComplModeNames);
    addBits(out, "addressFeatures", caps->dwAddressFeatures, kLineAddrFeatureNames);
    addBits(out, "callFeatures2", caps->dwCallFeatures2, kLineCallFeature2Names);
    addBits(out, "availableMediaModes", caps->dwAvailableMediaModes, kLineMediaModeNames);
    caps.addHex(out, "devSpecific", caps->dwDevSpecificSize, caps->dwDevSpecificOffset);
}

void addAddressStatus(nlohmann::json& out, std::span<const std::uint8_t> block) {
    const Filled<LINEADDRESSSTATUS> status(block);
    addSizes(out, status->dwTotalSize, status->dwNeededSize, status->dwUsedSize);
    out["numInUse"] = status->dwNumInUse;
    out["numActiveCalls"] = status->dwNumActiveCalls;
    out["numOnHoldCalls"] = status->dwNumOnHoldCalls;
    out["numOnHoldPendCalls"] = status->dwNumOnHoldPendCalls;
    addBits(out, "addressFeatures", status->dwAddressFeatures, kLineAddrFeatureNames);
    out["numRingsNoAnswer"] = status->dwNumRingsNoAnswer;
    nlohmann::json forwards = nlohmann::json::array();
    const auto entries = status.bytes(status->dwForwardSize, status->dwForwardOffset);
    for (DWORD i = 0;
         i < status->dwForwardNumEntries && (i + 1) * sizeof(LINEFORWARD) <= entries.size(); ++i) {
        LINEFORWARD f;
        std::memcpy(&f, entries.data() + i * sizeof f, sizeof f);
        nlohmann::json entry;
        addNamed(entry, "mode", f.dwForwardMode, kLineForwardModeNames);
        status.addText(entry, "callerAddress", f.dwCallerAddressSize, f.dwCallerAddressOffset);
        entry["destCountryCode"] = f.dwDestCountryCode;
        status.addText(entry, "destAddress", f.dwDestAddressSize, f.dwDestAddressOffset);
        forwards.push_back(entry);
    }
    out["forward"] = forwards;
    status.addHex(out, "terminalModes", status->dwTerminalModesSize, status->dwTerminalModesOffset);
    status.addHex(out, "devSpecific", status->dwDevSpecificSize, status->dwDevSpecificOffset);
    // The provider's status blocks, by name.
    if (status->dwDevSpecificSize) {
        out["blocks"] = statusBlocks(status.bytes(status->dwDevSpecificSize, status->dwDevSpecificOffset));
    }
}

void addVarString(nlohmann::json& out, const char* key, std::span<const std::uint8_t> block) {
    const Filled<VARSTRING> string(block);
    const std::string format = key + std::string("Format");
    addNamed(out, format, string->dwStringFormat, kStringFormatNames);
    if (string->dwStringFormat == STRINGFORMAT_ASCII) {
        out[key] = string.text(string->dwStringSize, string->dwStringOffset);
    } else {
        out[key] = hexBytes(string.bytes(string->dwStringSize, string->dwStringOffset));
    }
}

}  // namespace velkor::tapicmd
