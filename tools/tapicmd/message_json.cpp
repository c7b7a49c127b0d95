#include "tools/tapicmd/message_json.h"

#include <cstdio>

#include "tspi.h"

namespace velkor::tapicmd {

namespace {

// The mode table of dwParam2 of LINE_CALLSTATE for the state in dwParam1.
void addStateMode(nlohmann::json& out, DWORD state, DWORD mode) {
    switch (state) {
        case LINECALLSTATE_OFFERING:
            addBits(out, "mode", mode, kLineOfferingModeNames);
            break;
        case LINECALLSTATE_DIALTONE:
            addBits(out, "mode", mode, kLineDialToneModeNames);
            break;
        case LINECALLSTATE_BUSY:
            addBits(out, "mode", mode, kLineBusyModeNames);
            break;
        case LINECALLSTATE_SPECIALINFO:
            addBits(out, "mode", mode, kLineSpecialInfoNames);
            break;
        case LINECALLSTATE_CONNECTED:
            addBits(out, "mode", mode, kLineConnectedModeNames);
            break;
        case LINECALLSTATE_DISCONNECTED:
            addBits(out, "mode", mode, kLineDisconnectModeNames);
            break;
        default:
            break;
    }
}

}  // namespace

std::string hexText(DWORD_PTR value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

nlohmann::json bitNames(DWORD mask, const TapiCodeName* table, std::size_t count) {
    nlohmann::json names = nlohmann::json::array();
    for (DWORD bit = 1; bit; bit <<= 1) {
        if (!(mask & bit)) continue;
        const char* text = tapiCodeName(table, count, bit);
        names.push_back(text ? std::string(text) : hexText(bit));
    }
    return names;
}

void addResult(nlohmann::json& out, LONG result) {
    out["result"] = result;
    if (const char* name = tapiResultName(result)) out["resultName"] = name;
}

nlohmann::json messageToJson(const LINEMESSAGE& m) {
    nlohmann::json out;
    const char* name = tapiMessageName(m.dwMessageID);
    out["message"] = name ? std::string(name) : hexText(m.dwMessageID);
    out["hDevice"] = m.hDevice;
    out["instance"] = m.dwCallbackInstance;
    out["param1"] = m.dwParam1;
    out["param2"] = m.dwParam2;
    out["param3"] = m.dwParam3;
    const auto p1 = static_cast<DWORD>(m.dwParam1);
    const auto p2 = static_cast<DWORD>(m.dwParam2);
    const auto p3 = static_cast<DWORD>(m.dwParam3);
    switch (m.dwMessageID) {
        case LINE_CALLSTATE:
            if (const char* state = lineCallStateName(p1)) out["state"] = state;
            addStateMode(out, p1, p2);
            // The privilege comes with the first state of a call the
            // application has not seen before.
            if (p3) {
                out["newCall"] = true;
                addNamed(out, "privilege", p3, kLineCallPrivilegeNames);
            }
            break;
        case LINE_CALLINFO:
            out["infoStates"] =
                bitNames(p1, kLineCallInfoStateNames, std::size(kLineCallInfoStateNames));
            break;
        case LINE_REPLY:
        case PHONE_REPLY:
            out["requestId"] = m.dwParam1;
            addResult(out, static_cast<LONG>(p2));
            break;
        case LINE_LINEDEVSTATE:
            out["states"] = bitNames(p1, kLineDevStateNames, std::size(kLineDevStateNames));
            break;
        case LINE_ADDRESSSTATE:
            out["address"] = p1;
            out["states"] = bitNames(p2, kLineAddressStateNames, std::size(kLineAddressStateNames));
            break;
        case LINE_CREATE:
        case LINE_REMOVE:
            out["deviceId"] = m.dwParam1;
            break;
        default:
            break;
    }
    return out;
}

}  // namespace velkor::tapicmd
