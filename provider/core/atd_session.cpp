#include "provider/core/atd_session.h"

#include "provider/link/catalogue.h"

namespace velkor::core {

namespace atd = link::atd;

namespace {

// Status reporting: every station and CO change, with the attendant's own.
constexpr std::uint8_t kStatusOptions[] = {0x03, 0x01, 0x0E};

std::uint16_t be16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] << 8 | d[at + 1]);
}

}  // namespace

AtdSession::AtdSession(AtdSender& sender, AtdDirectory& directory, platform::Clock& clock,
                       Hooks hooks)
    : m_sender(sender), m_directory(directory), m_clock(clock), m_hooks(std::move(hooks)) {}

template <typename Ready>
bool AtdSession::waitFor(platform::Duration limit, Ready ready) {
    std::unique_lock lock(m_mutex);
    return m_clock.waitUntil(m_cv, lock, m_clock.now() + limit, ready);
}

void AtdSession::expect(std::uint16_t code) {
    std::lock_guard lock(m_mutex);
    m_seen.erase(code);
}

template <typename Answered>
bool AtdSession::exchange(std::uint16_t code, std::span<const std::uint8_t> data,
                          Answered answered) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        m_sender.sendAtd(code, data);
        if (waitFor(kAnswerWait, answered)) return true;
    }
    return false;
}

bool AtdSession::open() {
    {
        std::lock_guard lock(m_mutex);
        m_seen.clear();
        m_entries.clear();
    }
    // The handshake: a refusal ends an attempt's wait, the next one asks again.
    bool accepted = false;
    for (int attempt = 0; attempt < kAttempts && !accepted; ++attempt) {
        expect(atd::SessionAccepted);
        expect(atd::SessionRefused);
        m_sender.sendAtd(atd::OpenSession, {});
        waitFor(kAnswerWait,
                [this] { return seen(atd::SessionAccepted) || seen(atd::SessionRefused); });
        std::lock_guard lock(m_mutex);
        accepted = seen(atd::SessionAccepted);
    }
    if (!accepted) return false;
    {
        std::lock_guard lock(m_mutex);
        m_active = true;
    }

    for (const std::uint16_t code : {atd::SystemValue, atd::Version, atd::OwnStationIndex,
                                     atd::StationDirectorySize, atd::CoDirectorySize}) {
        expect(code);
        if (!exchange(code, {}, [this, code] { return seen(code); })) return false;
    }
    if (!readDirectory()) return false;

    m_sender.sendAtd(atd::StartStatus, {});
    m_sender.sendAtd(atd::StatusOptions, kStatusOptions);
    const std::uint16_t last = m_directory.stationCount();
    if (last > 0) waitFor(kStatusWait, [this, last] { return m_entries.contains(last); });
    if (m_hooks.startSupervision) m_hooks.startSupervision();
    return active();
}

bool AtdSession::readDirectory() {
    const std::uint16_t count = m_directory.stationCount();
    for (std::uint32_t first = 1; first <= count; first += kBlock) {
        const auto awaited = static_cast<std::uint16_t>(std::min<std::uint32_t>(first + kBlock - 1, count));
        const std::uint8_t data[] = {static_cast<std::uint8_t>(first >> 8),
                                     static_cast<std::uint8_t>(first & 0xFF)};
        if (!exchange(atd::DirectoryEntry, data,
                      [this, awaited] { return m_entries.contains(awaited); })) {
            return false;
        }
    }
    return true;
}

void AtdSession::close() {
    expect(atd::Close);
    expect(atd::CloseAcknowledged);
    m_sender.sendAtd(atd::Close, {});
    if (!waitFor(kCloseWait,
                 [this] { return seen(atd::Close) || seen(atd::CloseAcknowledged); })) {
        m_sender.sendAtd(atd::SessionEnded, {});
    }
    bool wasActive;
    {
        std::lock_guard lock(m_mutex);
        wasActive = m_active;
        m_active = false;
    }
    if (m_hooks.stopSupervision) m_hooks.stopSupervision();
    if (!wasActive) m_directory.reset();
}

bool AtdSession::active() const {
    std::lock_guard lock(m_mutex);
    return m_active;
}

void AtdSession::markClosed() {
    std::lock_guard lock(m_mutex);
    m_active = false;
}

void AtdSession::onAtd(const link::AtdMessage& message) {
    if (message.codeWidth != 2) return;
    if (message.code == atd::Version && !message.data.empty() && m_hooks.onVersion) {
        // Length byte, then the text.
        const std::size_t length = std::min<std::size_t>(message.data[0], message.data.size() - 1);
        m_hooks.onVersion(std::string(message.data.begin() + 1, message.data.begin() + 1 + length));
    }
    std::lock_guard lock(m_mutex);
    m_seen.insert(message.code);
    if (message.code == atd::DirectoryEntry && message.data.size() >= 3) {
        m_entries.insert(be16(message.data, 1));
    }
    m_cv.notify_all();
}

}  // namespace velkor::core
