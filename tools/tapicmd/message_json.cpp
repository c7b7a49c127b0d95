#include "tools/tapicmd/message_json.h"

#include "tapi_names.h"
#include "tspi.h"

namespace velkor::tapicmd {

namespace {

std::string hexText(DWORD_PTR value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// Names of every bit of `mask` that `name` knows.
template <typename NameOf>
nlohmann::json bitNames(DWORD mask, NameOf name) {
    nlohmann::json names = nlohmann::json::array();
    for (DWORD bit = 1; bit; bit <<= 1) {
        if (!(mask & bit)) continue;
        const char* text = name(bit);
        names.push_back(text ? std::string(text) : hexText(bit));
    }
    return names;
}

}  // namespace

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
    switch (m.dwMessageID) {
        case LINE_CALLSTATE:
            if (const char* state = lineCallStateName(static_cast<DWORD>(m.dwParam1))) {
                out["state"] = state;
            }
            break;
        case LINE_CALLINFO:
            out["infoStates"] = bitNames(static_cast<DWORD>(m.dwParam1), lineCallInfoStateName);
            break;
        case LINE_REPLY:
            out["requestId"] = m.dwParam1;
            addResult(out, static_cast<LONG>(static_cast<DWORD>(m.dwParam2)));
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
