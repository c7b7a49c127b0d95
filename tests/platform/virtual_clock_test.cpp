#include "platform/time/virtual_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace velkor::platform {
namespace {

using namespace std::chrono_literals;

TEST(VirtualClockTest, StandsStillUntilAdvanced) {
    VirtualClock clock;
    const TimePoint start = clock.now();
    EXPECT_EQ(clock.now(), start);
    clock.advance(9230ms);
    EXPECT_EQ(clock.now() - start, 9230ms);
    clock.advanceTo(start + 1s);  // never moves backwards
    EXPECT_EQ(clock.now() - start, 9230ms);
}

TEST(VirtualClockTest, SleeperWakesOnlyWhenTheClockPassesItsDeadline) {
    VirtualClock clock;
    std::atomic<bool> woke{false};
    std::thread sleeper([&] {
        clock.sleepFor(18460ms);
        woke = true;
    });
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    clock.advance(18459ms);
    // The sleeper is woken and goes back to sleep; give it a chance to run.
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    EXPECT_FALSE(woke);
    clock.advance(1ms);
    sleeper.join();
    EXPECT_TRUE(woke);
    EXPECT_EQ(clock.waiterCount(), 0u);
}

TEST(VirtualClockTest, NotifiedWaiterReturnsBeforeItsDeadline) {
    VirtualClock clock;
    std::mutex mutex;
    std::condition_variable cv;
    bool ready = false;
    bool result = false;
    std::thread waiter([&] {
        std::unique_lock lock(mutex);
        result = clock.waitUntil(cv, lock, clock.now() + 5000ms, [&] { return ready; });
    });
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    {
        std::lock_guard lock(mutex);
        ready = true;
    }
    cv.notify_all();
    waiter.join();
    EXPECT_TRUE(result);
}

TEST(VirtualClockTest, PastDeadlineTimesOutAtOnce) {
    VirtualClock clock;
    std::mutex mutex;
    std::condition_variable cv;
    std::unique_lock lock(mutex);
    EXPECT_EQ(clock.waitUntil(cv, lock, clock.now()), std::cv_status::timeout);
    EXPECT_TRUE(lock.owns_lock());
}

TEST(VirtualClockTest, AutoAdvanceJumpsToTheDeadlineAndWakesTheOthersDue) {
    VirtualClock clock;
    const TimePoint start = clock.now();
    std::mutex mutex;
    std::condition_variable cv;
    // A thread blocked until start + 3 s, without auto-advance yet.
    std::thread early([&] { clock.sleepUntil(start + 3000ms); });
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));

    clock.setAutoAdvance(true);
    clock.sleepFor(250ms);
    EXPECT_EQ(clock.now() - start, 250ms);
    {
        std::unique_lock lock(mutex);
        EXPECT_FALSE(clock.waitUntil(cv, lock, clock.now() + 5000ms, [] { return false; }));
        EXPECT_TRUE(lock.owns_lock());
    }
    // Passing 3 s woke the other sleeper.
    early.join();
    EXPECT_EQ(clock.now() - start, 5250ms);
}

}  // namespace
}  // namespace velkor::platform
