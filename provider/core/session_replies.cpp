#include "provider/core/session_replies.h"

#include "provider/link/catalogue.h"
#include "provider/link/encodings.h"

namespace velkor::core {

namespace {

// The first data byte of the replies this class takes.
constexpr std::uint8_t kSessionOpened = '6';
constexpr std::uint8_t kMonitoring = '4';
constexpr std::uint8_t kMonitoringEnded = '5';
constexpr std::uint8_t kIdentification = '!';
constexpr std::uint8_t kDescription = 0x22;
// Rejection cause of an identification the PBX does not give.
constexpr std::uint8_t kIdentificationRefused = 0x22;

}  // namespace

SessionReplies::SessionReplies(StationModel& model, platform::Clock& clock)
    : m_model(model), m_clock(clock) {}

void SessionReplies::armSession() {
    std::lock_guard lock(m_mutex);
    m_session = SessionStatus::Pending;
}

SessionReplies::SessionStatus SessionReplies::waitSession(platform::Duration limit) {
    waitFor(limit, [this] { return m_session != SessionStatus::Pending; });
    std::lock_guard lock(m_mutex);
    if (m_session == SessionStatus::Pending) m_session = SessionStatus::NoAnswer;
    return m_session;
}

void SessionReplies::armIdentification() {
    std::lock_guard lock(m_mutex);
    m_identificationDone = false;
    m_version.reset();
}

std::optional<std::string> SessionReplies::waitIdentification(platform::Duration limit) {
    waitFor(limit, [this] { return m_identificationDone; });
    std::lock_guard lock(m_mutex);
    m_identificationDone = true;  // a late answer is no longer taken
    return m_version;
}

void SessionReplies::armDescriptions(std::uint16_t last) {
    std::lock_guard lock(m_mutex);
    m_lastIndex = last;
    m_lastDescribed = false;
}

bool SessionReplies::waitDescriptions(platform::Duration limit) {
    return waitFor(limit, [this] { return m_lastDescribed; });
}

std::size_t SessionReplies::deviceCount() {
    std::lock_guard lock(m_mutex);
    return m_model.stations().deviceCount();
}

void SessionReplies::armOwnStation() {
    std::lock_guard lock(m_mutex);
    m_ownRegistered = false;
    m_startupEnded = false;
}

bool SessionReplies::waitOwnStation(platform::Duration limit) {
    return waitFor(limit, [this] { return m_ownRegistered; });
}

bool SessionReplies::waitStartupEnd(platform::Duration limit) {
    return waitFor(limit, [this] { return m_startupEnded; });
}

void SessionReplies::armMonitoring(std::uint16_t station) {
    std::lock_guard lock(m_mutex);
    if (StationRecord* record = m_model.stations().at(station)) record->waiting = true;
}

bool SessionReplies::waitMonitoring(std::uint16_t station, platform::Duration limit) {
    StationRecord* record = m_model.stations().at(station);
    if (!record) return false;
    waitFor(limit, [record] { return !record->waiting; });
    std::lock_guard lock(m_mutex);
    record->waiting = false;
    return record->monitored;
}

void SessionReplies::forgetMonitoring(std::uint16_t station) {
    std::lock_guard lock(m_mutex);
    if (StationRecord* record = m_model.stations().at(station)) record->monitored = false;
}

void SessionReplies::onReply(const link::CtiMessage& message) {
    if (message.data.empty()) return;
    if (message.code == link::code::SessionControl) {
        onSessionControl(message);
    } else if (message.code == link::code::Query) {
        onQuery(message);
    }
}

void SessionReplies::onSessionControl(const link::CtiMessage& message) {
    const bool singleStation = m_model.settings().singleStation;
    std::lock_guard lock(m_mutex);
    switch (message.data[0]) {
        case kSessionOpened:
            if (message.station != link::kSystemIndex) return;
            m_model.setDialect(link::dialectFromSessionReply(message.data));
            m_session = SessionStatus::Open;
            break;
        case kMonitoring: {
            if (singleStation) {
                const auto dialect = m_model.stations().registerSingleStation(message.data);
                if (!dialect) return;
                m_model.setDialect(*dialect);
                m_ownRegistered = true;
            }
            StationRecord* record =
                m_model.stations().at(singleStation ? std::uint16_t{0} : message.station);
            if (!record) return;
            record->monitored = true;
            record->waiting = false;
            break;
        }
        case kMonitoringEnded:
            if (!singleStation) return;
            if (StationRecord* own = m_model.stations().at(0)) own->monitored = false;
            m_startupEnded = true;
            break;
        default:
            return;
    }
    m_cv.notify_all();
}

void SessionReplies::onQuery(const link::CtiMessage& message) {
    std::lock_guard lock(m_mutex);
    if (message.data[0] == kIdentification) {
        if (m_identificationDone) return;
        m_version.emplace(message.data.begin() + 1, message.data.end());
        m_identificationDone = true;
    } else if (message.data[0] == kDescription) {
        m_model.stations().registerDescription(message.data);
        if (message.data.size() >= 7 &&
            (message.data[5] << 8 | message.data[6]) == m_lastIndex) {
            m_lastDescribed = true;
        }
    } else {
        return;
    }
    m_cv.notify_all();
}

void SessionReplies::onRejection(const link::Rejection& rejection) {
    std::lock_guard lock(m_mutex);
    if (rejection.code == link::rejectionCode(link::code::SessionControl)) {
        if (rejection.station == link::kSystemIndex) {
            if (m_session != SessionStatus::Pending) return;
            m_session = rejection.timedOut ? SessionStatus::NoAnswer : SessionStatus::Refused;
        } else {
            StationRecord* record = m_model.stations().at(rejection.station);
            if (!record || !record->waiting) return;
            record->waiting = false;
        }
    } else if (rejection.code == link::rejectionCode(link::code::Query)) {
        if (rejection.cause != kIdentificationRefused || m_identificationDone) return;
        m_identificationDone = true;
    } else {
        return;
    }
    m_cv.notify_all();
}

}  // namespace velkor::core
