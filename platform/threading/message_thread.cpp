#include "platform/threading/message_thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velkor::platform {

MessageThread::MessageThread(Clock& clock)
    : m_clock(clock), m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MessageThread::~MessageThread() {
    // A subclass must stop its thread in its own destructor, while its
    // overrides still exist; this is the last guard for the std::thread.
    postQuit();
    if (m_thread.joinable()) m_thread.join();
    if (m_wakeFd >= 0) close(m_wakeFd);
}

bool MessageThread::start() {
    std::lock_guard lock(m_mutex);
    if (m_wakeFd < 0) return false;
    if (m_state == State::Starting || m_state == State::Running) return false;
    if (m_thread.joinable()) m_thread.join();
    m_queue.clear();
    m_state = State::Starting;
    try {
        m_thread = std::thread([this] { threadMain(); });
    } catch (const std::system_error&) {
        m_state = State::Failed;
        return false;
    }
    return true;
}

MessageThread::StartResult MessageThread::waitForStart(Duration timeout) {
    std::unique_lock lock(m_mutex);
    const TimePoint deadline = m_clock.now() + timeout;
    m_clock.waitUntil(m_stateChanged, lock, deadline,
                      [&] { return m_state != State::Starting; });
    switch (m_state) {
        case State::Starting:
            return StartResult::TimedOut;
        case State::Failed:
        case State::Idle:
            return StartResult::Failed;
        case State::Running:
        case State::Ended:
            return StartResult::Created;
    }
    return StartResult::Failed;
}

bool MessageThread::post(std::uint32_t id, std::uintptr_t wParam, std::intptr_t lParam) {
    {
        std::lock_guard lock(m_mutex);
        if (m_state != State::Starting && m_state != State::Running) return false;
        m_queue.push_back(ThreadMessage{id, wParam, lParam});
    }
    wake();
    return true;
}

bool MessageThread::join(Duration timeout) {
    std::unique_lock lock(m_mutex);
    const TimePoint deadline = m_clock.now() + timeout;
    const bool ended = m_clock.waitUntil(m_stateChanged, lock, deadline, [&] {
        return m_state == State::Ended || m_state == State::Failed || m_state == State::Idle;
    });
    if (!ended) return false;
    lock.unlock();
    if (m_thread.joinable() && !isCurrentThread()) m_thread.join();
    return true;
}

bool MessageThread::hasEnded() const {
    std::lock_guard lock(m_mutex);
    return m_state == State::Ended || m_state == State::Failed || m_state == State::Idle;
}

bool MessageThread::isCurrentThread() const {
    std::lock_guard lock(m_mutex);
    return m_threadId == std::this_thread::get_id();
}

void MessageThread::watchReadable(int fd, std::function<void()> onReadable) {
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_watches, [fd](const Watch& w) { return w.fd == fd; });
        m_watches.push_back(Watch{fd, std::move(onReadable)});
    }
    wake();
}

void MessageThread::unwatch(int fd) {
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_watches, [fd](const Watch& w) { return w.fd == fd; });
    }
    wake();
}

void MessageThread::setState(State state) {
    {
        std::lock_guard lock(m_mutex);
        m_state = state;
    }
    m_stateChanged.notify_all();
}

void MessageThread::wake() {
    const std::uint64_t one = 1;
    // The counter only saturates after 2^64 - 1 wake-ups; a failed write
    // can only mean the loop is already due to wake.
    [[maybe_unused]] auto written = write(m_wakeFd, &one, sizeof one);
}

void MessageThread::drainWake() {
    std::uint64_t count;
    [[maybe_unused]] auto got = read(m_wakeFd, &count, sizeof count);
}

void MessageThread::threadMain() {
    {
        std::lock_guard lock(m_mutex);
        m_threadId = std::this_thread::get_id();
    }
    if (!initInstance()) {
        exitInstance();
        {
            std::lock_guard lock(m_mutex);
            m_watches.clear();
            m_threadId = {};
        }
        setState(State::Failed);
        return;
    }
    setState(State::Running);
    runLoop();
    exitInstance();
    {
        std::lock_guard lock(m_mutex);
        m_watches.clear();
        m_queue.clear();
        m_threadId = {};
    }
    setState(State::Ended);
}

void MessageThread::runLoop() {
    std::vector<pollfd> fds;
    std::vector<Watch> watches;
    for (;;) {
        ThreadMessage message;
        bool haveMessage = false;
        {
            std::lock_guard lock(m_mutex);
            if (!m_queue.empty()) {
                message = m_queue.front();
                m_queue.pop_front();
                haveMessage = true;
            }
            watches = m_watches;
        }

        fds.assign(1, pollfd{m_wakeFd, POLLIN, 0});
        for (const Watch& w : watches) fds.push_back(pollfd{w.fd, POLLIN, 0});

        if (haveMessage) {
            if (message.id == WM_QUIT) return;
            onMessage(message);
            // Give ready descriptors their turn between messages, so a
            // thread that keeps posting to itself never starves them.
            if (poll(fds.data(), fds.size(), 0) <= 0) continue;
        } else if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }

        if (fds[0].revents & POLLIN) drainWake();
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents & POLLNVAL) {
                // Closed without being unwatched: polling it again would spin.
                unwatch(fds[i].fd);
            } else if (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) {
                watches[i - 1].onReadable();
            }
        }
    }
}

}  // namespace velkor::platform
