#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <system_error>

#include "platform/net/ipv4_endpoint.h"
#include "platform/net/net_error.h"

namespace velkor::platform {

// A non-blocking UDP socket bound to one local address and port.
//
// The owner's message-loop thread polls fd() for readability (or calls
// waitReadable()) and then calls receiveFrom() until it returns Nothing. No
// call blocks except waitReadable(), and none throws for I/O failures.
// One thread at a time; the socket may be handed to that thread by move.
class DatagramSocket {
public:
    struct Options {
        // Lets several sockets bind the same address and port. Off by default:
        // on Linux it makes a second UDP bind to a port in use succeed, which
        // would hide a second provider instance on the fixed ports. UDP has
        // no TIME_WAIT, so a closed port can be bound again without it.
        bool reuseAddress = false;
    };

    enum class SendStatus {
        Sent,
        WouldBlock,  // the send buffer is full; nothing went out, try again later
        Error,
    };

    struct SendResult {
        SendStatus status = SendStatus::Error;
        std::error_code error;
    };

    enum class ReceiveStatus {
        Datagram,
        Nothing,  // no datagram waiting
        Error,
    };

    // A datagram longer than the buffer fills the buffer and loses the rest:
    // `size` is the bytes stored, `datagramSize` the length the datagram had,
    // and `truncated` says they differ.
    struct ReceiveResult {
        ReceiveStatus status = ReceiveStatus::Error;
        std::size_t size = 0;
        std::size_t datagramSize = 0;
        bool truncated = false;
        std::error_code error;
    };

    enum class ReadyStatus {
        Readable,
        TimedOut,
        Error,
    };

    struct ReadyResult {
        ReadyStatus status = ReadyStatus::Error;
        std::error_code error;
    };

    DatagramSocket() = default;
    ~DatagramSocket();

    DatagramSocket(DatagramSocket&& other) noexcept;
    DatagramSocket& operator=(DatagramSocket&& other) noexcept;
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    // Creates the socket and binds it; address Ipv4Endpoint::kAny binds every
    // local address, port 0 an ephemeral port (see localEndpoint()).
    std::error_code open(const Ipv4Endpoint& local);
    std::error_code open(const Ipv4Endpoint& local, const Options& options);

    // Idempotent; also run by the destructor.
    void close();

    bool isOpen() const { return m_fd >= 0; }

    // The descriptor to poll for POLLIN; -1 when closed. Stays owned here.
    int fd() const { return m_fd; }

    // The bound address and port, nullopt when closed.
    std::optional<Ipv4Endpoint> localEndpoint() const;

    // Sends one datagram.
    SendResult sendTo(std::span<const std::uint8_t> bytes, const Ipv4Endpoint& destination);

    // Takes the next waiting datagram and its source.
    ReceiveResult receiveFrom(std::span<std::uint8_t> buffer, Ipv4Endpoint& source);

    // Waits until a datagram is waiting or `timeout` passes.
    ReadyResult waitReadable(std::chrono::milliseconds timeout);

    std::error_code setSendBufferSize(int bytes);
    std::error_code setReceiveBufferSize(int bytes);

    // How a failed send's errno is reported: a full send buffer is
    // WouldBlock, anything else Error with the errno as system error.
    static SendResult sendFailure(int errnoValue);

private:
    int m_fd = -1;
};

}  // namespace velkor::platform
