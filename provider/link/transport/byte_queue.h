#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace velkor::link {

// A bounded byte buffer with its own lock, filled by one thread and emptied
// by another: the send ring and the receive accumulation of a UDP channel.
class ByteQueue {
public:
    explicit ByteQueue(std::size_t capacity) : m_capacity(capacity) { m_bytes.reserve(capacity); }

    // Appends what fits; returns the number of bytes taken. Bytes beyond the
    // capacity are dropped, never overwrite what is already queued.
    std::size_t append(std::span<const std::uint8_t> bytes) {
        std::lock_guard lock(m_mutex);
        const std::size_t room = m_capacity - m_bytes.size();
        const std::size_t taken = bytes.size() < room ? bytes.size() : room;
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.begin() + taken);
        return taken;
    }

    // Appends all or nothing.
    bool appendWhole(std::span<const std::uint8_t> bytes) {
        std::lock_guard lock(m_mutex);
        if (bytes.size() > m_capacity - m_bytes.size()) return false;
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return true;
    }

    // Moves everything queued into `out` (replacing its contents).
    void takeAll(std::vector<std::uint8_t>& out) {
        out.clear();
        std::lock_guard lock(m_mutex);
        out.swap(m_bytes);
        m_bytes.reserve(m_capacity);
    }

    std::size_t size() const {
        std::lock_guard lock(m_mutex);
        return m_bytes.size();
    }
    bool empty() const { return size() == 0; }

    void clear() {
        std::lock_guard lock(m_mutex);
        m_bytes.clear();
    }

private:
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace velkor::link
