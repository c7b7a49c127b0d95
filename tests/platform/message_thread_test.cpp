#include "platform/threading/message_thread.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "platform/threading/event.h"
#include "platform/time/virtual_clock.h"

namespace velkor::platform {
namespace {

using namespace std::chrono_literals;

// Records what reaches it; fails its start-up when asked to.
class RecordingThread : public MessageThread {
public:
    explicit RecordingThread(bool initSucceeds = true, Clock& clock = Clock::real())
        : MessageThread(clock), m_initSucceeds(initSucceeds) {}
    ~RecordingThread() override {
        postQuit();
        join(30s);
    }

    std::vector<ThreadMessage> received;  // read after join()
    std::thread::id handlerThread;
    std::atomic<bool> exited{false};
    Event gotMessage{Event::Reset::Automatic};

protected:
    bool initInstance() override { return m_initSucceeds; }
    void exitInstance() override { exited = true; }
    void onMessage(const ThreadMessage& message) override {
        handlerThread = std::this_thread::get_id();
        received.push_back(message);
        gotMessage.set();
    }

private:
    bool m_initSucceeds;
};

TEST(MessageThreadTest, DeliversPostedMessagesInOrderUntilQuit) {
    RecordingThread thread;
    ASSERT_TRUE(thread.start());
    ASSERT_EQ(thread.waitForStart(5000ms), MessageThread::StartResult::Created);
    EXPECT_TRUE(thread.post(0x8064, 1, 0));
    EXPECT_TRUE(thread.post(0x806E, 2, -7));
    EXPECT_TRUE(thread.postQuit());
    ASSERT_TRUE(thread.join(30s));
    EXPECT_TRUE(thread.exited);
    ASSERT_EQ(thread.received.size(), 2u);
    EXPECT_EQ(thread.received[0].id, 0x8064u);
    EXPECT_EQ(thread.received[0].wParam, 1u);
    EXPECT_EQ(thread.received[1].id, 0x806Eu);
    EXPECT_EQ(thread.received[1].lParam, -7);
    EXPECT_NE(thread.handlerThread, std::this_thread::get_id());
    EXPECT_FALSE(thread.post(0x8064)) << "an ended thread takes no more messages";
}

TEST(MessageThreadTest, FailedStartUpIsReportedAndTheThreadEnds) {
    RecordingThread thread(false);
    ASSERT_TRUE(thread.start());
    EXPECT_EQ(thread.waitForStart(5000ms), MessageThread::StartResult::Failed);
    EXPECT_TRUE(thread.join(30s));
    EXPECT_TRUE(thread.exited);
    EXPECT_FALSE(thread.post(0x8064));
}

// A start-up that never finishes, as a socket that cannot be created would
// leave it: the starter gives up after its wait on the virtual clock.
class StuckThread : public MessageThread {
public:
    explicit StuckThread(Clock& clock) : MessageThread(clock) {}
    ~StuckThread() override {
        release.set();
        postQuit();
        join(30s);
    }
    Event release{Event::Reset::Manual};

protected:
    bool initInstance() override {
        release.waitForever();
        return true;
    }
    void onMessage(const ThreadMessage&) override {}
};

TEST(MessageThreadTest, StartUpWaitTimesOut) {
    VirtualClock clock;
    StuckThread thread(clock);
    ASSERT_TRUE(thread.start());
    MessageThread::StartResult result = MessageThread::StartResult::Created;
    std::thread starter([&] { result = thread.waitForStart(5000ms); });
    ASSERT_TRUE(clock.awaitWaiters(1, 10s));
    clock.advance(5000ms);
    starter.join();
    EXPECT_EQ(result, MessageThread::StartResult::TimedOut);
    EXPECT_FALSE(thread.start()) << "a thread still starting is not started twice";
}

TEST(MessageThreadTest, ReadableDescriptorReachesItsCallbackOnTheThread) {
    RecordingThread thread;
    ASSERT_TRUE(thread.start());
    ASSERT_EQ(thread.waitForStart(5000ms), MessageThread::StartResult::Created);

    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0, pair), 0);
    Event readable(Event::Reset::Automatic);
    std::atomic<int> bytes{0};
    std::thread::id callbackThread;
    thread.watchReadable(pair[0], [&] {
        char buffer[64];
        ssize_t n;
        while ((n = read(pair[0], buffer, sizeof buffer)) > 0) bytes += static_cast<int>(n);
        callbackThread = std::this_thread::get_id();
        readable.set();
    });
    ASSERT_EQ(write(pair[1], "abc", 3), 3);
    ASSERT_TRUE(readable.wait(30s));
    EXPECT_EQ(bytes, 3);
    EXPECT_NE(callbackThread, std::this_thread::get_id());

    // Messages still flow while a descriptor is watched.
    EXPECT_TRUE(thread.post(0x806E));
    EXPECT_TRUE(thread.gotMessage.wait(30s));

    thread.unwatch(pair[0]);
    close(pair[0]);
    close(pair[1]);
}

TEST(MessageThreadTest, CanBeStartedAgainAfterItEnded) {
    RecordingThread thread;
    ASSERT_TRUE(thread.start());
    ASSERT_EQ(thread.waitForStart(5000ms), MessageThread::StartResult::Created);
    thread.postQuit();
    ASSERT_TRUE(thread.join(30s));
    ASSERT_TRUE(thread.start());
    ASSERT_EQ(thread.waitForStart(5000ms), MessageThread::StartResult::Created);
    EXPECT_TRUE(thread.post(1));
    EXPECT_TRUE(thread.gotMessage.wait(30s));
}

}  // namespace
}  // namespace velkor::platform
