#include "platform/net/datagram_socket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

namespace velkor::platform {

namespace {

std::error_code systemError(int errnoValue) { return {errnoValue, std::system_category()}; }

}  // namespace

DatagramSocket::~DatagramSocket() { close(); }

DatagramSocket::DatagramSocket(DatagramSocket&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

DatagramSocket& DatagramSocket::operator=(DatagramSocket&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

std::error_code DatagramSocket::open(const Ipv4Endpoint& local) { return open(local, Options{}); }

std::error_code DatagramSocket::open(const Ipv4Endpoint& local, const Options& options) {
    if (m_fd >= 0) {
        return NetError::AlreadyOpen;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return systemError(errno);
    }
    if (options.reuseAddress) {
        const int on = 1;
        if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
            const int error = errno;
            ::close(fd);
            return systemError(error);
        }
    }
    sockaddr_in address{};
    toSockaddr(local, address);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        return systemError(error);
    }
    m_fd = fd;
    return {};
}

void DatagramSocket::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

std::optional<Ipv4Endpoint> DatagramSocket::localEndpoint() const {
    if (m_fd < 0) {
        return std::nullopt;
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return std::nullopt;
    }
    return fromSockaddr(address);
}

DatagramSocket::SendResult DatagramSocket::sendFailure(int errnoValue) {
    if (errnoValue == EAGAIN || errnoValue == EWOULDBLOCK) {
        return {SendStatus::WouldBlock, systemError(errnoValue)};
    }
    return {SendStatus::Error, systemError(errnoValue)};
}

DatagramSocket::SendResult DatagramSocket::sendTo(std::span<const std::uint8_t> bytes,
                                                  const Ipv4Endpoint& destination) {
    if (m_fd < 0) {
        return {SendStatus::Error, NetError::NotOpen};
    }
    sockaddr_in address{};
    toSockaddr(destination, address);
    for (;;) {
        const ssize_t sent = ::sendto(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (sent >= 0) {
            // A datagram goes out whole or not at all.
            return {SendStatus::Sent, {}};
        }
        if (errno != EINTR) {
            return sendFailure(errno);
        }
    }
}

DatagramSocket::ReceiveResult DatagramSocket::receiveFrom(std::span<std::uint8_t> buffer,
                                                          Ipv4Endpoint& source) {
    if (m_fd < 0) {
        return {ReceiveStatus::Error, 0, 0, false, NetError::NotOpen};
    }
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        // MSG_TRUNC makes Linux return the datagram's real length even when
        // the buffer took only part of it.
        const ssize_t received = ::recvfrom(m_fd, buffer.data(), buffer.size(), MSG_TRUNC,
                                            reinterpret_cast<sockaddr*>(&from), &length);
        if (received >= 0) {
            const auto datagramSize = static_cast<std::size_t>(received);
            const std::size_t stored = std::min(datagramSize, buffer.size());
            source = fromSockaddr(from);
            return {ReceiveStatus::Datagram, stored, datagramSize, stored < datagramSize, {}};
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return {ReceiveStatus::Nothing, 0, 0, false, {}};
        }
        return {ReceiveStatus::Error, 0, 0, false, systemError(errno)};
    }
}

DatagramSocket::ReadyResult DatagramSocket::waitReadable(std::chrono::milliseconds timeout) {
    if (m_fd < 0) {
        return {ReadyStatus::Error, NetError::NotOpen};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::max(timeout, {});
    for (;;) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{m_fd, POLLIN, 0};
        const int count = ::poll(
            &ready, 1, static_cast<int>(std::clamp<long long>(remaining.count(), 0, INT_MAX)));
        if (count > 0) {
            if (ready.revents & POLLIN) {
                return {ReadyStatus::Readable, {}};
            }
            int pending = 0;
            socklen_t length = sizeof pending;
            ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &pending, &length);
            return {ReadyStatus::Error, systemError(pending != 0 ? pending : EIO)};
        }
        if (count == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return {ReadyStatus::TimedOut, {}};
            }
            continue;
        }
        if (errno != EINTR) {
            return {ReadyStatus::Error, systemError(errno)};
        }
    }
}

std::error_code DatagramSocket::setSendBufferSize(int bytes) {
    if (m_fd < 0) {
        return NetError::NotOpen;
    }
    if (::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) != 0) {
        return systemError(errno);
    }
    return {};
}

std::error_code DatagramSocket::setReceiveBufferSize(int bytes) {
    if (m_fd < 0) {
        return NetError::NotOpen;
    }
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) {
        return systemError(errno);
    }
    return {};
}

}  // namespace velkor::platform
