#include "platform/threading/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/threading/lock.h"
#include "platform/time/virtual_clock.h"

namespace velkor::platform {
namespace {

using namespace std::chrono_literals;

TEST(EventTest, ManualResetStaysSetForEveryWaiter) {
    Event event(Event::Reset::Manual);
    EXPECT_FALSE(event.wait(0ms));
    event.set();
    EXPECT_TRUE(event.wait(0ms));
    EXPECT_TRUE(event.wait(0ms));
    EXPECT_TRUE(event.isSet());
    event.reset();
    EXPECT_FALSE(event.wait(0ms));
}

TEST(EventTest, AutoResetReleasesOneWaitAndClears) {
    Event event(Event::Reset::Automatic, true);
    EXPECT_TRUE(event.wait(0ms));
    EXPECT_FALSE(event.wait(0ms));
    EXPECT_FALSE(event.isSet());
}

TEST(EventTest, ManualResetReleasesAllBlockedThreads) {
    Event event(Event::Reset::Manual);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (event.wait(30s)) ++released;
        });
    }
    event.set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released, 3);
}

TEST(EventTest, AutoResetReleasesExactlyOneOfTwoWaiters) {
    VirtualClock clock;
    Event event(Event::Reset::Automatic, false, clock);
    std::atomic<int> released{0};
    std::thread a([&] { released += event.wait(5000ms); });
    std::thread b([&] { released += event.wait(5000ms); });
    ASSERT_TRUE(clock.awaitWaiters(2, 10s));
    event.set();
    // One waiter takes the signal; the other times out when the clock moves.
    while (released.load() == 0) std::this_thread::yield();
    clock.advance(5000ms);
    a.join();
    b.join();
    EXPECT_EQ(released, 1);
}

TEST(EventTest, WaitTimesOutOnTheVirtualClockWithoutRealDelay) {
    VirtualClock clock;
    Event event(Event::Reset::Manual, false, clock);
    std::atomic<bool> result{true};
    std::thread waiter([&] { result = event.wait(12000ms); });
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    clock.advance(11999ms);
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    clock.advance(1ms);
    waiter.join();
    EXPECT_FALSE(result);
}

TEST(CriticalSectionTest, TheHoldingThreadMayTakeItAgain) {
    CriticalSection section;
    ScopedLock outer(section);
    ScopedLock inner(section);
    std::atomic<bool> otherGotIt{true};
    std::thread other([&] { otherGotIt = section.try_lock(); });
    other.join();
    EXPECT_FALSE(otherGotIt);
}

}  // namespace
}  // namespace velkor::platform
