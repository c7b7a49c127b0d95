#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <string>

#include "platform/time/clock.h"
#include "provider/core/atd_directory.h"
#include "provider/core/tapi_events.h"
#include "provider/link/handlers.h"

namespace velkor::core {

// Opening and closing the ATD session, the PBX's attendant channel: the
// handshake, the system value, version, own index and directory sizes, the
// station directory read in blocks of ten, and the start of status reports.
// Each request is tried three times with a 2 s wait for its answer; the
// answers arrive through onAtd on the link's receiving thread (after the
// directory has stored them).
class AtdSession final : public link::AtdHandler {
public:
    static constexpr int kAttempts = 3;
    static constexpr platform::Duration kAnswerWait = std::chrono::milliseconds(2000);
    static constexpr platform::Duration kStatusWait = std::chrono::milliseconds(12000);
    static constexpr platform::Duration kCloseWait = std::chrono::milliseconds(1000);
    static constexpr std::uint16_t kBlock = 10;

    struct Hooks {
        // The PBX's version text (0x0108), for MPVersion.
        std::function<void(const std::string&)> onVersion;
        // Supervision of the open session (alive messages, silence).
        std::function<void()> startSupervision;
        std::function<void()> stopSupervision;
    };

    AtdSession(AtdSender& sender, AtdDirectory& directory, platform::Clock& clock, Hooks hooks);

    // Runs the whole opening; true when the session is open and supervised.
    // False when the PBX did not accept it, or a later step went unanswered
    // (the session then stays marked active, without supervision).
    bool open();
    // Ends the session (0x0003, or 0x0007 when the PBX does not acknowledge).
    void close();
    bool active() const;
    // The supervision gave the session up.
    void markClosed();

    void onAtd(const link::AtdMessage& message) override;

private:
    // Sends `code` with `data` until `answered` holds after one of the
    // waits, at most kAttempts times.
    template <typename Answered>
    bool exchange(std::uint16_t code, std::span<const std::uint8_t> data, Answered answered);
    template <typename Ready>
    bool waitFor(platform::Duration limit, Ready ready);
    bool readDirectory();
    // Forgets the answers seen so far of `code`.
    void expect(std::uint16_t code);
    bool seen(std::uint16_t code) const { return m_seen.contains(code); }

    AtdSender& m_sender;
    AtdDirectory& m_directory;
    platform::Clock& m_clock;
    Hooks m_hooks;

    mutable std::mutex m_mutex;  // every field below
    std::condition_variable m_cv;
    bool m_active = false;
    std::set<std::uint16_t> m_seen;
    std::set<std::uint16_t> m_entries;
};

}  // namespace velkor::core
