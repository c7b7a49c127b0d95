#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "platform/time/clock.h"

namespace velkor::pbxsim {

// The PBX's timers without a thread: the owner asks for the next deadline,
// waits for it however it likes (poll time-out, virtual clock) and calls
// runDue(). Callbacks run on the caller's thread and may add or cancel timers.
class Schedule {
public:
    using Id = std::uint64_t;

    Id at(platform::TimePoint when, std::function<void()> callback);
    void cancel(Id id);
    std::optional<platform::TimePoint> nextDeadline() const;
    // Runs every callback due at `now`, in deadline order (equal deadlines in
    // the order they were added).
    void runDue(platform::TimePoint now);
    bool empty() const { return m_entries.empty(); }

private:
    struct Key {
        platform::TimePoint when;
        Id id;
        bool operator<(const Key& other) const {
            return when != other.when ? when < other.when : id < other.id;
        }
    };
    std::map<Key, std::function<void()>> m_entries;
    std::map<Id, platform::TimePoint> m_byId;
    Id m_next = 1;
};

}  // namespace velkor::pbxsim
