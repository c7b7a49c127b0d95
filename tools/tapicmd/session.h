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

// One phone device as the provider names it ("PHONE 201 (DKT)").
struct PhoneDevice {
    DWORD deviceId = 0;
    std::string name;
    std::string station;
};

// The station number of a phone name "PHONE 201 (DKT)".
std::string stationOfPhoneName(const std::string& name);

// The program's connection to the telephony layer: a line application and
// a phone application, with messages of both taken in the order they come.
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
    // 0 when the layer refused the phone application.
    HPHONEAPP phoneApp() const { return m_phoneApp; }

    // Every device with its negotiated name; devices that refuse the
    // negotiation are listed with an empty name.
    std::vector<LineDevice> lines();
    // A device by station number, or by "#<device ID>".
    std::optional<DWORD> findDevice(const std::string& target);
    // The same for phone devices.
    std::vector<PhoneDevice> phones();
    std::optional<DWORD> findPhone(const std::string& target);

    // The next line or phone message, waiting up to `timeoutMs`. A phone
    // message comes in the same form; its message number tells it apart.
    bool nextMessage(LINEMESSAGE& message, DWORD timeoutMs);

private:
    HLINEAPP m_app = 0;
    DWORD m_devices = 0;
    bool m_initialized = false;
    HPHONEAPP m_phoneApp = 0;
    DWORD m_phones = 0;
    // Readable while messages wait.
    int m_lineEvent = -1;
    int m_phoneEvent = -1;
};

}  // namespace velkor::tapicmd
