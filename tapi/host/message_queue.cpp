#include "tapi/host/message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>

namespace velkor::tapi {

namespace {
constexpr DWORD kInfinite = 0xFFFFFFFF;
}

std::shared_ptr<MessageQueue> MessageQueue::create(Delivery delivery, LINECALLBACK callback,
                                                   TAPIPOSTER poster) {
    std::shared_ptr<MessageQueue> queue(new MessageQueue(delivery, callback, poster));
    if (delivery == Delivery::Callback && !poster) {
        // The thread holds the queue until close() lets it end, so a
        // callback that shuts the application down does not pull the queue
        // from under its own thread.
        queue->m_thread = std::thread([self = queue] { self->deliveryThread(); });
    }
    return queue;
}

MessageQueue::MessageQueue(Delivery delivery, LINECALLBACK callback, TAPIPOSTER poster)
    : m_delivery(delivery), m_callback(callback), m_poster(poster) {
    if (delivery == Delivery::Event) {
        // One count per queued message, so the descriptor is readable
        // exactly while messages wait.
        m_eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
    }
}

MessageQueue::~MessageQueue() {
    close();
    if (m_thread.joinable()) m_thread.detach();  // the last owner was the thread itself
    if (m_eventFd >= 0) ::close(m_eventFd);
}

void MessageQueue::close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_messages.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void MessageQueue::push(const LINEMESSAGE& message) {
    bool post = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
        m_messages.push_back(message);
        if (m_eventFd >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] auto n = write(m_eventFd, &one, sizeof one);
        }
        if (m_delivery == Delivery::Callback && m_poster && !m_taskPosted) {
            m_taskPosted = true;
            post = true;
        }
    }
    m_changed.notify_all();
    if (post) {
        // The task keeps the queue alive until it has run.
        m_poster(&MessageQueue::runPostedTask, new std::shared_ptr<MessageQueue>(shared_from_this()));
    }
}

bool MessageQueue::takeLocked(LINEMESSAGE& message) {
    if (m_closed || m_messages.empty()) return false;
    message = m_messages.front();
    m_messages.pop_front();
    if (m_eventFd >= 0) {
        std::uint64_t one;
        [[maybe_unused]] auto n = read(m_eventFd, &one, sizeof one);
    }
    return true;
}

bool MessageQueue::pop(LINEMESSAGE& message, DWORD timeoutMs) {
    std::unique_lock lock(m_mutex);
    const auto ready = [&] { return m_closed || !m_messages.empty(); };
    if (timeoutMs == kInfinite) {
        m_changed.wait(lock, ready);
    } else {
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    return takeLocked(message);
}

void MessageQueue::deliverPending() {
    for (;;) {
        LINEMESSAGE message;
        {
            std::lock_guard lock(m_mutex);
            if (!takeLocked(message)) {
                m_taskPosted = false;
                return;
            }
        }
        if (m_callback) {
            m_callback(message.hDevice, message.dwMessageID, message.dwCallbackInstance,
                       message.dwParam1, message.dwParam2, message.dwParam3);
        }
    }
}

void MessageQueue::runPostedTask(void* context) {
    std::unique_ptr<std::shared_ptr<MessageQueue>> queue(
        static_cast<std::shared_ptr<MessageQueue>*>(context));
    (*queue)->deliverPending();
}

void MessageQueue::deliveryThread() {
    for (;;) {
        LINEMESSAGE message;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_closed || !m_messages.empty(); });
            if (!takeLocked(message)) return;
        }
        if (m_callback) {
            m_callback(message.hDevice, message.dwMessageID, message.dwCallbackInstance,
                       message.dwParam1, message.dwParam2, message.dwParam3);
        }
    }
}

}  // namespace velkor::tapi
