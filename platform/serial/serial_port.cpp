#include "platform/serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <utility>

namespace velkor::platform {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::error_code systemError(int errnoValue) { return {errnoValue, std::system_category()}; }

std::optional<speed_t> termiosSpeed(std::uint32_t baudRate) {
    switch (baudRate) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return std::nullopt;
    }
}

// poll() time-out for the rest of a wait, rounded up so that a wait never
// ends before its deadline.
int pollTimeout(steady_clock::time_point deadline, steady_clock::time_point now) {
    auto remaining = std::chrono::ceil<milliseconds>(deadline - now).count();
    return static_cast<int>(std::clamp<long long>(remaining, 0, INT_MAX));
}

class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

}  // namespace

// Counts a call that works on the descriptors without holding the port's
// mutex throughout (a wait, a write), so that close() can wait for it to leave
// before the descriptors are closed and their numbers reused.
class SerialCallGuard {
public:
    // m_mutex is held by the caller while the guard is made.
    explicit SerialCallGuard(SerialPort& port) : m_port(port) { ++m_port.m_activeCalls; }

    // Called with m_mutex held.
    void leaveLocked() {
        if (m_active) {
            m_active = false;
            if (--m_port.m_activeCalls == 0) {
                m_port.m_idle.notify_all();
            }
        }
    }

    SerialCallGuard(const SerialCallGuard&) = delete;
    SerialCallGuard& operator=(const SerialCallGuard&) = delete;

private:
    SerialPort& m_port;
    bool m_active = true;
};

SerialPort::~SerialPort() { close(); }

std::error_code SerialPort::open(std::string_view portNameOrPath, const SerialSettings& settings,
                                 const SerialDeviceMap& devices) {
    if (isOpen()) {
        return SerialError::AlreadyOpen;
    }
    const std::optional<speed_t> speed = termiosSpeed(settings.baudRate);
    if (!speed) {
        return SerialError::UnsupportedBaudRate;
    }
    if (settings.writeTimeout.count() < 0) {
        return SerialError::InvalidSettings;
    }
    const std::optional<std::string> path = devices.devicePath(portNameOrPath);
    if (!path) {
        return SerialError::UnknownPortName;
    }

    // Non-blocking so that no read or write can hang the caller; O_NOCTTY so
    // the port never becomes the controlling terminal of the process.
    const int rawFd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (rawFd < 0) {
        const int error = errno;
        // A port another program holds with TIOCEXCL refuses the open with EBUSY.
        return error == EBUSY ? std::error_code(SerialError::PortBusy) : systemError(error);
    }
    FdCloser fd(rawFd);
    if (!::isatty(rawFd)) {
        return SerialError::NotATerminal;
    }
    // TIOCEXCL keeps other programs out, but not a privileged one; the
    // advisory lock also keeps out a second instance running as root.
    if (::flock(rawFd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        return error == EWOULDBLOCK ? std::error_code(SerialError::PortBusy) : systemError(error);
    }
    if (::ioctl(rawFd, TIOCEXCL) != 0) {
        return systemError(errno);
    }

    termios tio{};
    if (::tcgetattr(rawFd, &tio) != 0) {
        return systemError(errno);
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    // CLOCAL: the PBX interface does not drive carrier detect; without it a
    // missing DCD would hang up the port.
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0) {
        return SerialError::UnsupportedBaudRate;
    }
    if (::tcsetattr(rawFd, TCSANOW, &tio) != 0) {
        return systemError(errno);
    }
    // tcsetattr succeeds when any one of the changes took; the driver may have
    // kept its old rate.
    termios applied{};
    if (::tcgetattr(rawFd, &applied) != 0) {
        return systemError(errno);
    }
    if (::cfgetospeed(&applied) != *speed) {
        return SerialError::UnsupportedBaudRate;
    }
    ::tcflush(rawFd, TCIOFLUSH);

    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        return systemError(errno);
    }

    std::lock_guard lock(m_mutex);
    m_fd = fd.release();
    m_wakeFd = wakeFd;
    m_settings = settings;
    m_eventMask = SerialEvent::All;
    m_pendingEvents = 0;
    m_cancelPending = false;
    m_queue.clear();
    return {};
}

void SerialPort::close() {
    std::unique_lock lock(m_mutex);
    if (m_closing) {
        // Another thread is closing; return once it is done.
        m_idle.wait(lock, [this] { return !m_closing; });
        return;
    }
    if (m_fd < 0) {
        return;
    }
    m_closing = true;
    wakeWaiterLocked();
    m_idle.wait(lock, [this] { return m_activeCalls == 0; });
    ::close(m_fd);
    ::close(m_wakeFd);
    m_fd = -1;
    m_wakeFd = -1;
    m_eventMask = 0;
    m_pendingEvents = 0;
    m_cancelPending = false;
    m_queue.clear();
    m_closing = false;
    m_idle.notify_all();
}

bool SerialPort::isOpen() const {
    std::lock_guard lock(m_mutex);
    return m_fd >= 0 && !m_closing;
}

std::error_code SerialPort::setDtr(bool on) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_closing) {
        return SerialError::NotOpen;
    }
    int bits = TIOCM_DTR;
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return systemError(errno);
    }
    return {};
}

std::error_code SerialPort::setRts(bool on) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_closing) {
        return SerialError::NotOpen;
    }
    int bits = TIOCM_RTS;
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return systemError(errno);
    }
    return {};
}

std::error_code SerialPort::purge(std::uint32_t what) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_closing) {
        return SerialError::NotOpen;
    }
    std::error_code result;
    if (what & SerialPurge::Input) {
        if (::tcflush(m_fd, TCIFLUSH) != 0) {
            result = systemError(errno);
        }
        m_queue.clear();
        m_pendingEvents = 0;
    }
    if (what & SerialPurge::Output) {
        if (::tcflush(m_fd, TCOFLUSH) != 0 && !result) {
            result = systemError(errno);
        }
    }
    return result;
}

std::error_code SerialPort::setEventMask(std::uint32_t mask) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_closing) {
        return SerialError::NotOpen;
    }
    m_eventMask = mask & SerialEvent::All;
    m_pendingEvents &= m_eventMask;
    if (m_waiters > 0) {
        m_cancelPending = true;
        wakeWaiterLocked();
    }
    return {};
}

std::uint32_t SerialPort::eventMask() const {
    std::lock_guard lock(m_mutex);
    return m_eventMask;
}

SerialPort::IoResult SerialPort::bytesQueued() {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_closing) {
        return {0, SerialError::NotOpen};
    }
    const std::error_code error = fillQueueLocked();
    if (error && m_queue.empty()) {
        return {0, error};
    }
    std::size_t count = m_queue.size();
    // What did not fit into the queue is still waiting in the driver.
    int inDriver = 0;
    if (m_queue.size() >= kReceiveQueueLimit && ::ioctl(m_fd, FIONREAD, &inDriver) == 0 &&
        inDriver > 0) {
        count += static_cast<std::size_t>(inDriver);
    }
    return {count, {}};
}

SerialPort::IoResult SerialPort::read(std::span<std::uint8_t> buffer) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_closing) {
        return {0, SerialError::NotOpen};
    }
    const std::error_code error = fillQueueLocked();
    if (error && m_queue.empty()) {
        return {0, error};
    }
    const std::size_t count = std::min(buffer.size(), m_queue.size());
    std::copy_n(m_queue.begin(), count, buffer.begin());
    m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(count));
    return {count, {}};
}

SerialPort::IoResult SerialPort::write(std::span<const std::uint8_t> bytes) {
    std::lock_guard writeLock(m_writeMutex);
    int fd = -1;
    milliseconds timeout{};
    std::optional<SerialCallGuard> guard;
    {
        std::lock_guard lock(m_mutex);
        if (m_fd < 0 || m_closing) {
            return {0, SerialError::NotOpen};
        }
        guard.emplace(*this);
        fd = m_fd;
        timeout = m_settings.writeTimeout;
    }
    auto leave = [&](IoResult result) {
        std::lock_guard lock(m_mutex);
        guard->leaveLocked();
        return result;
    };

    const auto deadline = steady_clock::now() + timeout;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return leave({done, systemError(errno)});
        }
        // The driver's output buffer is full: wait for room until the deadline.
        const auto now = steady_clock::now();
        if (now >= deadline) {
            return leave({done, SerialError::WriteTimedOut});
        }
        pollfd ready{fd, POLLOUT, 0};
        if (::poll(&ready, 1, pollTimeout(deadline, now)) < 0 && errno != EINTR) {
            return leave({done, systemError(errno)});
        }
        if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(ready.revents & POLLOUT)) {
            return leave({done, SerialError::HungUp});
        }
    }
    return leave({done, {}});
}

SerialPort::WaitResult SerialPort::waitEvent(milliseconds timeout) {
    const bool forever = timeout == kWaitForever;
    const auto deadline = forever ? steady_clock::time_point::max()
                                  : steady_clock::now() + std::max(timeout, milliseconds::zero());

    std::unique_lock lock(m_mutex);
    if (m_fd < 0 || m_closing) {
        return {WaitStatus::Failed, 0, SerialError::NotOpen};
    }
    SerialCallGuard guard(*this);
    ++m_waiters;
    auto leave = [&](WaitResult result) {
        --m_waiters;
        guard.leaveLocked();
        return result;
    };

    bool hungUp = false;
    for (;;) {
        if (m_closing) {
            return leave({WaitStatus::Cancelled, 0, {}});
        }
        if (m_cancelPending) {
            m_cancelPending = false;
            return leave({WaitStatus::Cancelled, 0, {}});
        }
        if (m_eventMask == 0) {
            return leave({WaitStatus::Cancelled, 0, {}});
        }
        if (const std::error_code error = fillQueueLocked()) {
            return leave({WaitStatus::Failed, 0, error});
        }
        if (m_pendingEvents != 0) {
            return leave({WaitStatus::Events, std::exchange(m_pendingEvents, 0), {}});
        }
        if (hungUp) {
            return leave({WaitStatus::Failed, 0, SerialError::HungUp});
        }
        int timeoutMs = -1;
        if (!forever) {
            const auto now = steady_clock::now();
            if (now >= deadline) {
                return leave({WaitStatus::TimedOut, 0, {}});
            }
            timeoutMs = pollTimeout(deadline, now);
        }

        drainWakeLocked();
        // With the queue full the driver keeps the rest; watching the port
        // then would only spin, so the wait listens for the wake-up alone.
        const short portEvents = m_queue.size() < kReceiveQueueLimit ? POLLIN : 0;
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_fd, portEvents, 0}};
        lock.unlock();
        const int ready = ::poll(fds, 2, timeoutMs);
        const int pollErrno = errno;
        lock.lock();
        if (ready < 0 && pollErrno != EINTR) {
            return leave({WaitStatus::Failed, 0, systemError(pollErrno)});
        }
        // A hung-up terminal polls readable for ever while reads return
        // nothing; take what is left, then report the hang-up.
        if (ready > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            hungUp = true;
        }
    }
}

void SerialPort::cancelWait() {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0) {
        return;
    }
    m_cancelPending = true;
    wakeWaiterLocked();
}

std::error_code SerialPort::fillQueueLocked() {
    std::uint8_t chunk[512];
    while (m_queue.size() < kReceiveQueueLimit) {
        const std::size_t room = std::min(sizeof chunk, kReceiveQueueLimit - m_queue.size());
        const ssize_t count = ::read(m_fd, chunk, room);
        if (count > 0) {
            const auto received = static_cast<std::size_t>(count);
            m_queue.insert(m_queue.end(), chunk, chunk + received);
            m_pendingEvents |= m_eventMask & SerialEvent::ReceiveChar;
            if (m_settings.eventChar && (m_eventMask & SerialEvent::EventChar) &&
                std::memchr(chunk, *m_settings.eventChar, received) != nullptr) {
                m_pendingEvents |= SerialEvent::EventChar;
            }
            continue;
        }
        if (count == 0) {
            return {};
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return {};
        }
        return systemError(errno);
    }
    return {};
}

void SerialPort::wakeWaiterLocked() {
    const std::uint64_t one = 1;
    // Fails only when the counter is saturated, and then a wake-up is pending.
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void SerialPort::drainWakeLocked() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
}

}  // namespace velkor::platform
