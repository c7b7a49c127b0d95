#include "tools/tapicmd/session.h"

#include <vector>

namespace velkor::tapicmd {

std::string stationOfLineName(const std::string& name) {
    const std::string prefix = "STATION ";
    if (!name.starts_with(prefix)) return {};
    const std::size_t end = name.find(' ', prefix.size());
    return name.substr(prefix.size(), end == std::string::npos ? end : end - prefix.size());
}

Session::~Session() { shutdown(); }

void Session::shutdown() {
    if (m_initialized) lineShutdown(m_app);
    m_initialized = false;
}

LONG Session::initialize() {
    DWORD version = TAPI_CURRENT_VERSION;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    const LONG result =
        lineInitializeExA(&m_app, nullptr, nullptr, "tapicmd", &m_devices, &version, &params);
    m_initialized = result == 0;
    return result;
}

std::vector<LineDevice> Session::lines() {
    std::vector<LineDevice> devices;
    for (DWORD id = 0; id < m_devices; ++id) {
        LineDevice device{id, {}, {}};
        DWORD version = 0;
        LINEEXTENSIONID ext;
        if (lineNegotiateAPIVersion(m_app, id, TAPI_VERSION1_4, TAPI_CURRENT_VERSION, &version,
                                    &ext) == 0) {
            std::vector<std::uint8_t> buffer(sizeof(LINEDEVCAPS) + 1024);
            auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
            caps->dwTotalSize = static_cast<DWORD>(buffer.size());
            if (lineGetDevCapsA(m_app, id, version, 0, caps) == 0 && caps->dwLineNameSize > 0 &&
                caps->dwLineNameOffset + caps->dwLineNameSize <= buffer.size()) {
                device.name.assign(reinterpret_cast<char*>(buffer.data()) + caps->dwLineNameOffset,
                                   caps->dwLineNameSize);
                while (!device.name.empty() && device.name.back() == '\0') device.name.pop_back();
            }
        }
        device.station = stationOfLineName(device.name);
        devices.push_back(std::move(device));
    }
    return devices;
}

std::optional<DWORD> Session::findDevice(const std::string& target) {
    if (target.starts_with("#")) {
        try {
            const unsigned long id = std::stoul(target.substr(1));
            if (id < m_devices) return static_cast<DWORD>(id);
        } catch (const std::exception&) {
        }
        return std::nullopt;
    }
    for (const auto& device : lines()) {
        if (!device.station.empty() && device.station == target) return device.deviceId;
    }
    return std::nullopt;
}

bool Session::nextMessage(LINEMESSAGE& message, DWORD timeoutMs) {
    return lineGetMessage(m_app, &message, timeoutMs) == 0;
}

}  // namespace velkor::tapicmd
