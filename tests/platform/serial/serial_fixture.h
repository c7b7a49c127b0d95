#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/serial/serial_port.h"
#include "pty_pair.h"

namespace velkor::platform::testing {

// Generous upper bound for bytes to cross a pseudo-terminal on a loaded
// machine; only failing tests ever wait this long.
inline constexpr std::chrono::milliseconds kArrival{5000};

inline std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

// A port opened on the slave side of a fresh pseudo-terminal pair.
class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.ok()) << "no pseudo-terminal available";
        ASSERT_FALSE(m_port.open(m_pty.slavePath(), settings()));
    }

    virtual SerialSettings settings() const { return {}; }

    // Waits until at least `count` bytes are queued at the port; pty bytes are
    // handed over asynchronously by the kernel. Returns the queued count.
    std::size_t waitQueued(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + kArrival;
        std::size_t queued = 0;
        while ((queued = m_port.bytesQueued().count) < count &&
               std::chrono::steady_clock::now() < deadline) {
            m_port.waitEvent(std::chrono::milliseconds(20));
        }
        return queued;
    }

    std::vector<std::uint8_t> readAll(std::size_t chunk) {
        std::vector<std::uint8_t> all;
        std::vector<std::uint8_t> buffer(chunk);
        for (;;) {
            const SerialPort::IoResult got = m_port.read(buffer);
            EXPECT_TRUE(got.ok()) << got.error.message();
            EXPECT_LE(got.count, chunk);
            if (got.count == 0) {
                return all;
            }
            all.insert(all.end(), buffer.begin(), buffer.begin() + got.count);
        }
    }

    PtyPair m_pty;
    SerialPort m_port;
};

}  // namespace velkor::platform::testing
