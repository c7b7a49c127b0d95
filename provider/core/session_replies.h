#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/time/clock.h"
#include "provider/core/model.h"
#include "provider/link/handlers.h"

namespace velkor::core {

// The replies the provider waits for while it opens and closes the PBX
// session and opens lines: session control (0x50) and the queries (0x51).
// They arrive on the link's receiving thread; the entry point that sent the
// request blocks on the clock until its answer came or time ran out. Every
// wait is armed before its request goes out, since the answer may come back
// before the send returns.
class SessionReplies final : public link::ReplyHandler, public link::RejectionHandler {
public:
    // The PBX session as the start-up left it; the values are the ones the
    // provider reports.
    enum class SessionStatus : std::uint8_t {
        Pending = 0,
        NoAnswer = 1,
        Open = 2,
        Refused = 3,
    };

    SessionReplies(StationModel& model, platform::Clock& clock);

    // System session (0x50 '#' '#'): '6' opens it, a rejection refuses it.
    void armSession();
    SessionStatus waitSession(platform::Duration limit);

    // Identification (0x51 '!'): the version text, or nullopt when the PBX
    // refused the query or did not answer.
    void armIdentification();
    std::optional<std::string> waitIdentification(platform::Duration limit);

    // Station descriptions (0x51 0x22): every reply registers its station,
    // waited for or not; the wait ends with the description of `last`.
    void armDescriptions(std::uint16_t last);
    bool waitDescriptions(platform::Duration limit);
    // Stations registered with a line and a phone device.
    std::size_t deviceCount();

    // Single-station start-up: the monitoring reply '4' registers the own
    // station at index 0; '5' ends the start-up.
    void armOwnStation();
    bool waitOwnStation(platform::Duration limit);
    bool waitStartupEnd(platform::Duration limit);

    // Monitoring one station (0x50 '!' '#'), for opening its line: true once
    // the PBX monitors it, false on rejection or time-out.
    void armMonitoring(std::uint16_t station);
    bool waitMonitoring(std::uint16_t station, platform::Duration limit);
    // The line closed: the station is no longer monitored.
    void forgetMonitoring(std::uint16_t station);

    void onReply(const link::CtiMessage& message) override;
    void onRejection(const link::Rejection& rejection) override;

private:
    template <typename Ready>
    bool waitFor(platform::Duration limit, Ready ready) {
        std::unique_lock lock(m_mutex);
        return m_clock.waitUntil(m_cv, lock, m_clock.now() + limit, ready);
    }
    void onSessionControl(const link::CtiMessage& message);
    void onQuery(const link::CtiMessage& message);

    StationModel& m_model;
    platform::Clock& m_clock;
    std::mutex m_mutex;  // every field below, and the station records while registering
    std::condition_variable m_cv;
    SessionStatus m_session = SessionStatus::Pending;
    bool m_identificationDone = false;
    std::optional<std::string> m_version;
    std::uint16_t m_lastIndex = 0;
    bool m_lastDescribed = false;
    bool m_ownRegistered = false;
    bool m_startupEnded = false;
};

}  // namespace velkor::core
