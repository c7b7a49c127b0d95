#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "tapi.h"
#include "tapi_host.h"

namespace velkor::tapi {

// The messages waiting for one application. With event delivery the
// application takes them with lineGetMessage, and a descriptor is readable
// while any wait; with callback delivery the layer calls the application's
// callback, one message at a time and in order, on the poster's thread or on
// a delivery thread of the queue's own.
class MessageQueue : public std::enable_shared_from_this<MessageQueue> {
public:
    enum class Delivery {
        Callback,
        Event,
    };

    static std::shared_ptr<MessageQueue> create(Delivery delivery, LINECALLBACK callback,
                                                TAPIPOSTER poster);
    ~MessageQueue();

    void push(const LINEMESSAGE& message);
    // Event delivery: the next message, waiting up to `timeoutMs`
    // (INFINITE = 0xFFFFFFFF waits for ever); false on time-out or close.
    bool pop(LINEMESSAGE& message, DWORD timeoutMs);
    // Readable while messages wait (event delivery); -1 otherwise.
    int eventFd() const { return m_eventFd; }
    // Ends delivery: waiters return, the delivery thread stops, messages
    // still queued are dropped.
    void close();

    Delivery delivery() const { return m_delivery; }

private:
    MessageQueue(Delivery delivery, LINECALLBACK callback, TAPIPOSTER poster);
    bool takeLocked(LINEMESSAGE& message);
    void deliverPending();
    void deliveryThread();
    static void runPostedTask(void* context);

    const Delivery m_delivery;
    const LINECALLBACK m_callback;
    const TAPIPOSTER m_poster;
    int m_eventFd = -1;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<LINEMESSAGE> m_messages;
    bool m_closed = false;
    bool m_taskPosted = false;
    std::thread m_thread;
};

}  // namespace velkor::tapi
