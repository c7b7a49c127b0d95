#include "platform/time/clock.h"

namespace velkor::platform {

void Clock::sleepFor(Duration duration) { sleepUntil(now() + duration); }

void Clock::sleepUntil(TimePoint deadline) {
    std::mutex mutex;
    std::condition_variable cv;
    std::unique_lock lock(mutex);
    while (waitUntil(cv, lock, deadline) != std::cv_status::timeout) {
    }
}

Clock& Clock::real() {
    static SteadyClock clock;
    return clock;
}

TimePoint SteadyClock::now() const { return std::chrono::steady_clock::now(); }

std::cv_status SteadyClock::waitUntil(std::condition_variable& cv,
                                      std::unique_lock<std::mutex>& lock, TimePoint deadline) {
    return cv.wait_until(lock, deadline);
}

}  // namespace velkor::platform
