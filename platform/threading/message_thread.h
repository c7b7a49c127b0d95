#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/time/clock.h"

namespace velkor::platform {

// A thread message: a number and two parameters, as the system's worker
// threads exchange them.
struct ThreadMessage {
    std::uint32_t id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// Ends a thread's message loop.
inline constexpr std::uint32_t WM_QUIT = 0x0012;

// A worker thread with a message loop. A subclass sets itself up in
// initInstance() on the new thread (creating its socket, say), handles
// posted messages in onMessage() and cleans up in exitInstance(). The thread
// that starts it learns from waitForStart() whether the set-up worked.
//
// The loop also watches file descriptors registered with watchReadable(): a
// socket becoming readable reaches its callback on this thread, between
// messages, as an asynchronous socket notification does.
class MessageThread {
public:
    enum class StartResult {
        Created,
        Failed,
        TimedOut,
    };

    explicit MessageThread(Clock& clock = Clock::real());
    virtual ~MessageThread();

    MessageThread(const MessageThread&) = delete;
    MessageThread& operator=(const MessageThread&) = delete;

    // Starts the thread; false when it is already running or could not be
    // created. A second start after the thread has ended starts it anew.
    bool start();
    StartResult waitForStart(Duration timeout);

    // Queues a message for the thread; false when the thread is not running
    // or has left its loop.
    bool post(std::uint32_t id, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    bool postQuit() { return post(WM_QUIT); }

    // Waits up to `timeout` for the thread to end; true once it has.
    bool join(Duration timeout);
    bool hasEnded() const;
    bool isCurrentThread() const;

    // Calls `onReadable` on this thread whenever `fd` has data (or an error)
    // to collect. Callable from any thread; replaces an earlier watch of fd.
    void watchReadable(int fd, std::function<void()> onReadable);
    void unwatch(int fd);

protected:
    virtual bool initInstance() { return true; }
    virtual void exitInstance() {}
    virtual void onMessage(const ThreadMessage& message) = 0;

    Clock& clock() { return m_clock; }

private:
    enum class State {
        Idle,
        Starting,
        Running,
        Failed,
        Ended,
    };
    struct Watch {
        int fd;
        std::function<void()> onReadable;
    };

    void threadMain();
    void runLoop();
    void wake();
    void drainWake();
    void setState(State state);

    Clock& m_clock;
    int m_wakeFd = -1;
    mutable std::mutex m_mutex;
    std::condition_variable m_stateChanged;
    State m_state = State::Idle;
    std::deque<ThreadMessage> m_queue;
    std::vector<Watch> m_watches;
    std::thread m_thread;
    std::thread::id m_threadId;
};

}  // namespace velkor::platform
