#include "tools/tapicmd/session.h"

#include <poll.h>

#include <chrono>
#include <vector>

namespace velkor::tapicmd {

std::string stationOfLineName(const std::string& name) {
    const std::string prefix = "STATION ";
    if (!name.starts_with(prefix)) return {};
    const std::size_t end = name.find(' ', prefix.size());
    return name.substr(prefix.size(), end == std::string::npos ? end : end - prefix.size());
}

std::string stationOfPhoneName(const std::string& name) {
    const std::string prefix = "PHONE ";
    if (!name.starts_with(prefix)) return {};
    const std::size_t end = name.find(' ', prefix.size());
    return name.substr(prefix.size(), end == std::string::npos ? end : end - prefix.size());
}

Session::~Session() { shutdown(); }

void Session::shutdown() {
    if (m_phoneApp) phoneShutdown(m_phoneApp);
    m_phoneApp = 0;
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
    if (!m_initialized) return result;
    m_lineEvent = params.Handles.hEvent;
    // Phone devices are there when the layer has them; lines work without.
    PHONEINITIALIZEEXPARAMS phoneParams{};
    phoneParams.dwTotalSize = sizeof phoneParams;
    phoneParams.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
    DWORD phoneVersion = TAPI_CURRENT_VERSION;
    if (phoneInitializeExA(&m_phoneApp, nullptr, nullptr, "tapicmd", &m_phones, &phoneVersion,
                           &phoneParams) == 0) {
        m_phoneEvent = phoneParams.Handles.hEvent;
    } else {
        m_phoneApp = 0;
        m_phones = 0;
    }
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

std::vector<PhoneDevice> Session::phones() {
    std::vector<PhoneDevice> devices;
    for (DWORD id = 0; id < m_phones; ++id) {
        PhoneDevice device{id, {}, {}};
        DWORD version = 0;
        PHONEEXTENSIONID ext;
        if (phoneNegotiateAPIVersion(m_phoneApp, id, TAPI_VERSION1_4, TAPI_CURRENT_VERSION,
                                     &version, &ext) == 0) {
            std::vector<std::uint8_t> buffer(sizeof(PHONECAPS) + 512);
            auto* caps = reinterpret_cast<PHONECAPS*>(buffer.data());
            caps->dwTotalSize = static_cast<DWORD>(buffer.size());
            if (phoneGetDevCapsA(m_phoneApp, id, version, 0, caps) == 0 &&
                caps->dwPhoneNameSize > 0 &&
                caps->dwPhoneNameOffset + caps->dwPhoneNameSize <= buffer.size()) {
                device.name.assign(reinterpret_cast<char*>(buffer.data()) + caps->dwPhoneNameOffset,
                                   caps->dwPhoneNameSize);
                while (!device.name.empty() && device.name.back() == '\0') device.name.pop_back();
            }
        }
        device.station = stationOfPhoneName(device.name);
        devices.push_back(std::move(device));
    }
    return devices;
}

std::optional<DWORD> Session::findPhone(const std::string& target) {
    if (target.starts_with("#")) {
        try {
            const unsigned long id = std::stoul(target.substr(1));
            if (id < m_phones) return static_cast<DWORD>(id);
        } catch (const std::exception&) {
        }
        return std::nullopt;
    }
    for (const auto& device : phones()) {
        if (!device.station.empty() && device.station == target) return device.deviceId;
    }
    return std::nullopt;
}

bool Session::nextMessage(LINEMESSAGE& message, DWORD timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (lineGetMessage(m_app, &message, 0) == 0) return true;
        PHONEMESSAGE phone;
        if (m_phoneApp && phoneGetMessage(m_phoneApp, &phone, 0) == 0) {
            message = LINEMESSAGE{phone.hDevice,  phone.dwMessageID, phone.dwCallbackInstance,
                                  phone.dwParam1, phone.dwParam2,    phone.dwParam3};
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fds[2] = {{m_lineEvent, POLLIN, 0}, {m_phoneEvent, POLLIN, 0}};
        poll(fds, m_phoneApp ? 2 : 1, static_cast<int>(left.count()));
    }
}

}  // namespace velkor::tapicmd
