#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/net/datagram_socket.h"
#include "provider/link/frame.h"

namespace velkor::link::testing {

// Loopback addresses of their own for every test, so that tests can run in
// parallel on the link's fixed ports: the provider gets the address returned,
// the PBX the next one. 127.<pid>.<pid>.<2n+1>.
inline std::uint32_t uniqueLoopbackPair() {
    static std::atomic<std::uint32_t> next{0};
    const std::uint32_t n = next++ % 126;
    std::uint32_t pid = static_cast<std::uint32_t>(getpid()) & 0xFFFF;
    // Keep clear of 127.0.0.x and the other low addresses that programs
    // started by hand use.
    if (pid < 0x100) pid |= 200 << 8;
    return 0x7F000000 | (pid << 8) | (2 * n + 1);
}

// Collects what a ByteFeed is handed, for tests to wait on.
class FeedRecorder {
public:
    bool feed(std::span<const std::uint8_t> bytes, Channel channel) {
        std::lock_guard lock(m_mutex);
        auto& into = channel == Channel::Atd ? m_atd : m_cti;
        into.insert(into.end(), bytes.begin(), bytes.end());
        m_largestChunk = std::max(m_largestChunk, bytes.size());
        if (!bytes.empty()) ++m_calls;
        m_changed.notify_all();
        return false;
    }
    // Waits (real time, bounded) until `channel` received `count` bytes.
    std::vector<std::uint8_t> waitFor(Channel channel, std::size_t count) {
        std::unique_lock lock(m_mutex);
        auto& from = channel == Channel::Atd ? m_atd : m_cti;
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return from.size() >= count; });
        return from;
    }
    std::size_t largestChunk() {
        std::lock_guard lock(m_mutex);
        return m_largestChunk;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::uint8_t> m_cti;
    std::vector<std::uint8_t> m_atd;
    std::size_t m_largestChunk = 0;
    int m_calls = 0;
};

// Waits for one datagram on `socket`.
inline std::vector<std::uint8_t> receiveOne(platform::DatagramSocket& socket,
                                            platform::Ipv4Endpoint& source) {
    std::vector<std::uint8_t> buffer(65536);
    if (socket.waitReadable(std::chrono::seconds(10)).status !=
        platform::DatagramSocket::ReadyStatus::Readable) {
        return {};
    }
    const auto got = socket.receiveFrom(buffer, source);
    buffer.resize(got.status == platform::DatagramSocket::ReceiveStatus::Datagram ? got.size : 0);
    return buffer;
}

}  // namespace velkor::link::testing
