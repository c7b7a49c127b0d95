#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tapi.h"

namespace velkor::tapicmd {

// One line device as the provider names it.
struct LineDevice {
    DWORD deviceId = 0;
    std::string name;
    // The station number in a name "STATION <number> (<type>)"; empty for
    // other names.
    std::string station;
};

// The station number of a line name "STATION 201 (DKT)".
std::string stationOfLineName(const std::string& name);

// The program's connection to the telephony layer, with messages taken by
// lineGetMessage.
class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    LONG initialize();
    // Ends the connection early; the destructor does it otherwise.
    void shutdown();
    HLINEAPP app() const { return m_app; }
    DWORD deviceCount() const { return m_devices; }

    // Every device with its negotiated name; devices that refuse the
    // negotiation are listed with an empty name.
    std::vector<LineDevice> lines();
    // A device by station number, or by "#<device ID>".
    std::optional<DWORD> findDevice(const std::string& target);

    // The next message, waiting up to `timeoutMs`.
    bool nextMessage(LINEMESSAGE& message, DWORD timeoutMs);

private:
    HLINEAPP m_app = 0;
    DWORD m_devices = 0;
    bool m_initialized = false;
};

}  // namespace velkor::tapicmd
