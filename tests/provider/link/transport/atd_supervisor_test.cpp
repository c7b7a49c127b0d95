#include "provider/link/transport/atd_supervisor.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/time/virtual_clock.h"
#include "provider/link/catalogue.h"

namespace velkor::link {
namespace {

using namespace std::chrono_literals;
using platform::TimerQueue;
using platform::VirtualClock;

class AtdSupervisorTest : public ::testing::Test {
protected:
    VirtualClock clock;
    TimerQueue timers{clock, TimerQueue::Mode::Manual};
    std::vector<std::uint16_t> sent;
    int silences = 0;
    int closes = 0;
    AtdSupervisor supervisor{timers,
                             {[this](std::uint16_t code) { sent.push_back(code); },
                              [this] { ++silences; }, [this] { ++closes; }}};

    void advance(platform::Duration d) { timers.advance(clock, d); }
};

TEST_F(AtdSupervisorTest, SessionThatNeverSpeaksIsGivenUpAfterOneAlivePeriod) {
    supervisor.start();
    advance(9229ms);
    EXPECT_TRUE(sent.empty());
    advance(1ms);
    EXPECT_EQ(sent, (std::vector<std::uint16_t>{atd::Alive, atd::Poll}));
    EXPECT_EQ(silences, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(supervisor.active());
    EXPECT_EQ(timers.activeCount(), 0u);
    advance(60s);
    EXPECT_EQ(sent.size(), 2u) << "nothing more once the session is closed";
}

TEST_F(AtdSupervisorTest, TrafficKeepsTheSessionAndSilenceEndsItOnce) {
    supervisor.start();
    for (int i = 0; i < 6; ++i) {
        advance(9s);
        supervisor.onAtdReceived(atd::StationStatus);
    }
    EXPECT_TRUE(supervisor.active());
    // Alive ticks at 9.23 s steps through 54 s: five of them, and no poll.
    EXPECT_EQ(sent, std::vector<std::uint16_t>(5, atd::Alive));

    sent.clear();
    advance(18459ms);
    EXPECT_TRUE(supervisor.active());
    advance(1ms);
    EXPECT_FALSE(supervisor.active());
    // 18.46 s of silence holds two alive ticks (at 55.38 s and 64.61 s) before the poll.
    EXPECT_EQ(sent, (std::vector<std::uint16_t>{atd::Alive, atd::Alive, atd::Poll}));
    EXPECT_EQ(silences, 1);
}

TEST_F(AtdSupervisorTest, SessionEndedByThePbxStopsWithoutAPoll) {
    supervisor.start();
    advance(5s);
    supervisor.onAtdReceived(atd::SessionEnded);
    EXPECT_FALSE(supervisor.active());
    EXPECT_EQ(closes, 1);
    advance(60s);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(silences, 0);
    supervisor.onAtdReceived(atd::SessionEnded);
    supervisor.onAtdReceived(atd::Alive);
    EXPECT_EQ(closes, 1) << "a closed session is not closed again";
    EXPECT_EQ(timers.activeCount(), 0u) << "frames after the close start no timer";
}

TEST_F(AtdSupervisorTest, RestartAfterExpiry) {
    supervisor.start();
    advance(9230ms);
    ASSERT_FALSE(supervisor.active());
    supervisor.start();
    EXPECT_TRUE(supervisor.active());
    supervisor.onAtdReceived(atd::Alive);
    advance(18s);
    EXPECT_TRUE(supervisor.active());
    supervisor.stop();
    EXPECT_EQ(timers.activeCount(), 0u);
    EXPECT_EQ(closes, 1) << "our own stop is not reported as a close";
}

TEST(AtdSupervisorThreadedTest, FramesRacingTheTimerThreadNeverDeadlock) {
    VirtualClock clock;
    TimerQueue timers(clock);
    std::atomic<int> polls{0};
    AtdSupervisor supervisor(timers, {[&](std::uint16_t code) { polls += code == atd::Poll; },
                                      {}, {}});
    supervisor.start();
    std::thread clockMover([&] {
        for (int i = 0; i < 2000; ++i) clock.advance(10ms);
    });
    for (int i = 0; i < 2000; ++i) supervisor.onAtdReceived(atd::Alive);
    clockMover.join();
    supervisor.stop();
    EXPECT_LE(polls, 1);
}

}  // namespace
}  // namespace velkor::link
