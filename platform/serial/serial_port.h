#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string_view>
#include <system_error>

#include "platform/serial/serial_device_map.h"
#include "platform/serial/serial_error.h"
#include "platform/serial/serial_events.h"
#include "platform/serial/serial_settings.h"

namespace velkor::platform {

// One serial port, opened exclusively, raw 8N1 without flow control.
//
// Linux has no "event character" and no event history per port, so the port
// keeps its own receive queue: every read, bytesQueued() and waitEvent() first
// moves what the driver holds into that queue, and notes ReceiveChar (and
// EventChar when the event character is among the bytes) for the next wait,
// as far as the event mask asks for them. A wait returns at once while such
// events are pending; a reader that waits, then reads until nothing is left,
// may therefore see one extra wake-up with nothing to read — the Windows
// driver behaves the same way.
//
// Threads: one reader calls waitEvent() and read(); any thread may write, set
// DTR/RTS, purge, change the event mask or cancel the wait. close() may run
// while another thread waits or writes: it ends the wait and returns once the
// other calls have left the port. open() is for the owner alone.
//
// No call throws for I/O failures; each reports an error_code.
class SerialPort {
public:
    enum class WaitStatus {
        Events,     // `events` holds what happened
        TimedOut,   // nothing arrived within the time-out
        Cancelled,  // cancelWait(), setEventMask() or close() ended the wait
        Failed,     // `error` says why
    };

    struct WaitResult {
        WaitStatus status = WaitStatus::Failed;
        std::uint32_t events = 0;
        std::error_code error;
    };

    // Byte count of a read, a write or bytesQueued(), and the failure if any.
    // A write that fails part-way reports how many bytes went out.
    struct IoResult {
        std::size_t count = 0;
        std::error_code error;

        bool ok() const { return !error; }
    };

    static constexpr std::chrono::milliseconds kWaitForever = std::chrono::milliseconds::max();

    // Bytes the port takes from the driver ahead of the reader; what does not
    // fit stays in the driver's own buffer.
    static constexpr std::size_t kReceiveQueueLimit = 8192;

    SerialPort() = default;
    ~SerialPort();

    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens a port by name ("COM1", resolved through `devices`) or by device
    // path, applies `settings`, discards whatever both directions held, and
    // sets the event mask to SerialEvent::All.
    std::error_code open(std::string_view portNameOrPath, const SerialSettings& settings,
                         const SerialDeviceMap& devices = SerialDeviceMap());

    // Idempotent; also run by the destructor.
    void close();

    bool isOpen() const;

    // Modem-control lines. A device without them (a pseudo-terminal) answers
    // with an error, which is returned and leaves the port usable.
    std::error_code setDtr(bool on);
    std::error_code setRts(bool on);

    // Discards unread input (queued here and in the driver) and/or unsent
    // output; an input purge also forgets pending receive events.
    std::error_code purge(std::uint32_t what = SerialPurge::Both);

    // Selects the events a wait reports. Any change ends a wait in progress
    // (WaitStatus::Cancelled); with mask 0 every wait returns Cancelled at
    // once, which is how a reader thread is told to stop.
    std::error_code setEventMask(std::uint32_t mask);
    std::uint32_t eventMask() const;

    // Bytes a read could return now.
    IoResult bytesQueued();

    // Copies at most buffer.size() received bytes; never blocks. A count of 0
    // without error means nothing is there.
    IoResult read(std::span<std::uint8_t> buffer);

    // Writes every byte or fails: within SerialSettings::writeTimeout, else
    // SerialError::WriteTimedOut with the count that went out.
    IoResult write(std::span<const std::uint8_t> bytes);

    // Blocks until an event of the mask is pending, `timeout` passes, or the
    // wait is cancelled. kWaitForever waits without a time-out.
    WaitResult waitEvent(std::chrono::milliseconds timeout = kWaitForever);

    // Ends the wait in progress; when no wait is in progress, the next one
    // returns Cancelled at once, so a stop request cannot slip in between a
    // reader's last check and its wait.
    void cancelWait();

private:
    // Reads what the driver holds into m_queue; m_mutex held.
    std::error_code fillQueueLocked();
    void wakeWaiterLocked();
    void drainWakeLocked();

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::mutex m_writeMutex;

    int m_fd = -1;
    int m_wakeFd = -1;
    bool m_closing = false;
    int m_activeCalls = 0;
    int m_waiters = 0;
    bool m_cancelPending = false;

    SerialSettings m_settings;
    std::uint32_t m_eventMask = 0;
    std::uint32_t m_pendingEvents = 0;
    std::deque<std::uint8_t> m_queue;

    friend class SerialCallGuard;
};

}  // namespace velkor::platform
