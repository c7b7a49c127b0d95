#include "platform/time/timer_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/threading/event.h"
#include "platform/time/virtual_clock.h"

namespace velkor::platform {
namespace {

using namespace std::chrono_literals;
using Kind = TimerQueue::Kind;

class ManualTimerQueueTest : public ::testing::Test {
protected:
    VirtualClock clock;
    TimerQueue queue{clock, TimerQueue::Mode::Manual};
    std::vector<std::pair<TimerQueue::TimerId, Duration>> fired;
    TimePoint start = clock.now();

    TimerQueue::Callback record() {
        return [this](TimerQueue::TimerId id) { fired.emplace_back(id, clock.now() - start); };
    }
};

TEST_F(ManualTimerQueueTest, PeriodicTimerFiresOnEveryPeriodWithoutDrift) {
    const auto id = queue.setEvent(9230ms, 1000ms, record(), Kind::Periodic);
    ASSERT_NE(id, 0u);
    queue.advance(clock, 3 * 9230ms + 100ms);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[0].second, 9230ms);
    EXPECT_EQ(fired[2].second, 3 * 9230ms);
    EXPECT_TRUE(queue.isActive(id));
}

TEST_F(ManualTimerQueueTest, LateTicksAreCaughtUpInOrder) {
    queue.setEvent(1000ms, 1ms, record(), Kind::Periodic);
    clock.advance(3500ms);  // nobody ran the queue meanwhile
    queue.runDue();
    EXPECT_EQ(fired.size(), 3u);
}

TEST_F(ManualTimerQueueTest, OneShotFiresOnceAndIsGone) {
    const auto id = queue.setEvent(18460ms, 1000ms, record(), Kind::OneShot);
    queue.advance(clock, 18459ms);
    EXPECT_TRUE(fired.empty());
    queue.advance(clock, 60s);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].second, 18460ms);
    EXPECT_FALSE(queue.isActive(id));
    EXPECT_FALSE(queue.killEvent(id));
}

TEST_F(ManualTimerQueueTest, TimersFireInDeadlineOrder) {
    const auto late = queue.setEvent(300ms, 1ms, record(), Kind::OneShot);
    const auto early = queue.setEvent(100ms, 1ms, record(), Kind::OneShot);
    queue.advance(clock, 1s);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[0].first, early);
    EXPECT_EQ(fired[1].first, late);
}

TEST_F(ManualTimerQueueTest, ReplacingAOneShotPushesItsExpiryBack) {
    // The supervision pattern: every frame received replaces the one-shot.
    auto id = queue.setEvent(18460ms, 1000ms, record(), Kind::OneShot);
    for (int i = 0; i < 5; ++i) {
        queue.advance(clock, 10s);
        ASSERT_TRUE(queue.killEvent(id));
        id = queue.setEvent(18460ms, 1000ms, record(), Kind::OneShot);
    }
    EXPECT_TRUE(fired.empty());
    queue.advance(clock, 18460ms);
    EXPECT_EQ(fired.size(), 1u);
}

TEST_F(ManualTimerQueueTest, CallbackMayKillItsOwnAndOtherTimers) {
    TimerQueue::TimerId other = queue.setEvent(5000ms, 1ms, record(), Kind::Periodic);
    TimerQueue::TimerId self = 0;
    int ticks = 0;
    self = queue.setEvent(1000ms, 1ms, [&](TimerQueue::TimerId id) {
        ++ticks;
        EXPECT_EQ(id, self);
        queue.killEvent(self);
        queue.killEvent(other);
    }, Kind::Periodic);
    queue.advance(clock, 20s);
    EXPECT_EQ(ticks, 1);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(queue.activeCount(), 0u);
}

TEST_F(ManualTimerQueueTest, RefusesInvalidTimers) {
    EXPECT_EQ(queue.setEvent(0ms, 1ms, record(), Kind::Periodic), 0u);
    EXPECT_EQ(queue.setEvent(10ms, 1ms, {}, Kind::OneShot), 0u);
    EXPECT_FALSE(queue.killEvent(12345));
}

TEST(ThreadedTimerQueueTest, CallbacksRunOnTheTimerThreadAsTheClockMoves) {
    VirtualClock clock;
    TimerQueue queue(clock);
    Event fired(Event::Reset::Automatic);
    std::atomic<int> ticks{0};
    std::thread::id callbackThread;
    queue.setEvent(4000ms, 1000ms, [&](TimerQueue::TimerId) {
        callbackThread = std::this_thread::get_id();
        ++ticks;
        fired.set();
    }, Kind::Periodic);
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    clock.advance(4000ms);
    ASSERT_TRUE(fired.wait(10s));
    EXPECT_NE(callbackThread, std::this_thread::get_id());
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    clock.advance(4000ms);
    ASSERT_TRUE(fired.wait(10s));
    EXPECT_EQ(ticks, 2);
}

TEST(ThreadedTimerQueueTest, KillWaitsForARunningCallback) {
    VirtualClock clock;
    TimerQueue queue(clock);
    Event entered(Event::Reset::Manual);
    Event release(Event::Reset::Manual);
    std::atomic<bool> finished{false};
    const auto id = queue.setEvent(10ms, 1ms, [&](TimerQueue::TimerId) {
        entered.set();
        release.waitForever();
        finished = true;
    }, Kind::OneShot);
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    clock.advance(10ms);
    ASSERT_TRUE(entered.wait(10s));
    std::thread releaser([&] {
        std::this_thread::sleep_for(20ms);
        release.set();
    });
    EXPECT_TRUE(queue.killEvent(id));
    EXPECT_TRUE(finished);  // kill returned only after the callback did
    releaser.join();
}

TEST(ThreadedTimerQueueTest, RealClockTimerFires) {
    TimerQueue queue;
    Event fired(Event::Reset::Manual);
    queue.setEvent(5ms, 1ms, [&](TimerQueue::TimerId) { fired.set(); }, Kind::OneShot);
    EXPECT_TRUE(fired.wait(10s));
}

}  // namespace
}  // namespace velkor::platform
