#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "platform/serial/serial_port.h"
#include "serial_fixture.h"

namespace velkor::platform {
namespace {

using std::chrono::milliseconds;
using testing::bytesOf;
using testing::kArrival;
using testing::PtyPair;
using testing::SerialPortTest;
using WaitStatus = SerialPort::WaitStatus;

// Sleep long enough that a wait which was going to return at once has done so.
constexpr milliseconds kSettle{50};

struct EventCase {
    const char* what;
    std::optional<std::uint8_t> eventChar;
    std::uint32_t mask;
    const char* sent;
    std::uint32_t expected;
};

TEST(SerialEventTest, EventCharacterIsReportedOnlyWhenItArrives) {
    const EventCase cases[] = {
        {"ETX at the end", 0x03, SerialEvent::All,
         "\x02"
         "abc\x03",
         SerialEvent::All},
        {"ETX in the middle", 0x03, SerialEvent::All,
         "ab\x03"
         "cd",
         SerialEvent::All},
        {"no ETX", 0x03, SerialEvent::All, "abcd", SerialEvent::ReceiveChar},
        {"other event char", 0x7E, SerialEvent::All, "ab\x03", SerialEvent::ReceiveChar},
        {"no event char set", std::nullopt, SerialEvent::All, "ab\x03", SerialEvent::ReceiveChar},
        {"event char not in mask", 0x03, SerialEvent::ReceiveChar, "ab\x03",
         SerialEvent::ReceiveChar},
        {"only event char in mask", 0x03, SerialEvent::EventChar, "ab\x03", SerialEvent::EventChar},
    };
    for (const EventCase& c : cases) {
        SCOPED_TRACE(c.what);
        PtyPair pty;
        ASSERT_TRUE(pty.ok());
        SerialPort port;
        SerialSettings settings;
        settings.eventChar = c.eventChar;
        ASSERT_FALSE(port.open(pty.slavePath(), settings));
        ASSERT_FALSE(port.setEventMask(c.mask));

        const std::vector<std::uint8_t> sent = bytesOf(c.sent);
        ASSERT_TRUE(pty.writeMaster(sent));
        // The bytes may reach the port in more than one piece; gather the
        // events of every wait until all of them are there.
        std::uint32_t seen = 0;
        const auto deadline = std::chrono::steady_clock::now() + kArrival;
        while (port.bytesQueued().count < sent.size() &&
               std::chrono::steady_clock::now() < deadline) {
            seen |= port.waitEvent(milliseconds(20)).events;
        }
        seen |= port.waitEvent(milliseconds(0)).events;
        EXPECT_EQ(seen, c.expected);
        EXPECT_EQ(port.bytesQueued().count, sent.size());
    }
}

TEST_F(SerialPortTest, WaitTimesOutWhenNothingArrives) {
    const auto start = std::chrono::steady_clock::now();
    const SerialPort::WaitResult wait = m_port.waitEvent(milliseconds(60));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(wait.status, WaitStatus::TimedOut);
    EXPECT_EQ(wait.events, 0u);
    EXPECT_GE(elapsed, milliseconds(60));
    EXPECT_LT(elapsed, kArrival);
}

TEST_F(SerialPortTest, WaitWakesWhenBytesArrive) {
    auto waiting = std::async(std::launch::async, [this] { return m_port.waitEvent(); });
    std::this_thread::sleep_for(kSettle);
    ASSERT_EQ(waiting.wait_for(milliseconds(0)), std::future_status::timeout)
        << "the wait returned before anything arrived";

    ASSERT_TRUE(m_pty.writeMaster(bytesOf("x")));
    ASSERT_EQ(waiting.wait_for(kArrival), std::future_status::ready);
    const SerialPort::WaitResult wait = waiting.get();
    EXPECT_EQ(wait.status, WaitStatus::Events);
    EXPECT_EQ(wait.events & SerialEvent::ReceiveChar, SerialEvent::ReceiveChar);
}

struct CancelCase {
    const char* what;
    std::function<void(SerialPort&)> cancel;
    bool openAfterwards;
};

TEST_F(SerialPortTest, PendingWaitEndsWhenCancelledFromAnotherThread) {
    const CancelCase cases[] = {
        {"cancelWait", [](SerialPort& port) { port.cancelWait(); }, true},
        {"mask cleared", [](SerialPort& port) { port.setEventMask(0); }, true},
        {"mask changed", [](SerialPort& port) { port.setEventMask(SerialEvent::ReceiveChar); },
         true},
        {"close", [](SerialPort& port) { port.close(); }, false},
    };
    for (const CancelCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (!m_port.isOpen()) {
            ASSERT_FALSE(m_port.open(m_pty.slavePath(), {}));
        }
        ASSERT_FALSE(m_port.setEventMask(SerialEvent::All));

        auto waiting = std::async(std::launch::async, [this] { return m_port.waitEvent(); });
        std::this_thread::sleep_for(kSettle);
        ASSERT_EQ(waiting.wait_for(milliseconds(0)), std::future_status::timeout)
            << "the wait returned before it was cancelled";

        c.cancel(m_port);
        ASSERT_EQ(waiting.wait_for(kArrival), std::future_status::ready);
        EXPECT_EQ(waiting.get().status, WaitStatus::Cancelled);
        EXPECT_EQ(m_port.isOpen(), c.openAfterwards);
    }
}

TEST_F(SerialPortTest, CancelBeforeAWaitEndsThatWaitOnly) {
    m_port.cancelWait();
    EXPECT_EQ(m_port.waitEvent(milliseconds(2000)).status, WaitStatus::Cancelled);
    EXPECT_EQ(m_port.waitEvent(milliseconds(20)).status, WaitStatus::TimedOut);
}

TEST_F(SerialPortTest, ClearedMaskEndsEveryWaitUntilSetAgain) {
    ASSERT_FALSE(m_port.setEventMask(0));
    EXPECT_EQ(m_port.eventMask(), 0u);
    EXPECT_EQ(m_port.waitEvent(milliseconds(2000)).status, WaitStatus::Cancelled);
    EXPECT_EQ(m_port.waitEvent().status, WaitStatus::Cancelled);

    ASSERT_FALSE(m_port.setEventMask(SerialEvent::ReceiveChar));
    ASSERT_TRUE(m_pty.writeMaster(bytesOf("x")));
    const SerialPort::WaitResult wait = m_port.waitEvent(kArrival);
    EXPECT_EQ(wait.status, WaitStatus::Events);
    EXPECT_EQ(wait.events, SerialEvent::ReceiveChar);
}

// The shape of the link's reader: wait, read in chunks of 80 until nothing is
// left, and stop when the owner clears the running flag and the event mask.
TEST_F(SerialPortTest, ReaderThreadGetsEveryByteAndStopsOnClearedMask) {
    std::atomic<bool> running{true};
    std::vector<std::uint8_t> received;
    std::size_t largestChunk = 0;
    std::atomic<std::size_t> receivedCount{0};
    std::thread reader([&] {
        std::uint8_t chunk[80];
        while (running) {
            const SerialPort::WaitResult wait = m_port.waitEvent();
            if (wait.status == WaitStatus::Failed) {
                ADD_FAILURE() << wait.error.message();
                return;
            }
            if (!(wait.events & SerialEvent::ReceiveChar)) {
                continue;
            }
            for (;;) {
                const SerialPort::IoResult got = m_port.read(chunk);
                if (got.count == 0) {
                    break;
                }
                largestChunk = std::max(largestChunk, got.count);
                received.insert(received.end(), chunk, chunk + got.count);
                receivedCount = received.size();
            }
        }
    });

    std::vector<std::uint8_t> sent;
    for (int burst = 0; burst < 20; ++burst) {
        std::vector<std::uint8_t> bytes(97, static_cast<std::uint8_t>(burst));
        bytes.front() = 0x03;
        ASSERT_TRUE(m_pty.writeMaster(bytes));
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        if (burst % 5 == 0) {
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + kArrival;
    while (receivedCount < sent.size() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(10));
    }

    running = false;
    ASSERT_FALSE(m_port.setEventMask(0));
    reader.join();
    EXPECT_EQ(received, sent);
    EXPECT_LE(largestChunk, 80u);
}

}  // namespace
}  // namespace velkor::platform
