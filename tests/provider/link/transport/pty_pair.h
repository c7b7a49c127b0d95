#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace velkor::link::testing {

// A pseudo-terminal: the transport opens the slave as its serial port, the
// test plays the PBX on the master.
class PtyPair {
public:
    PtyPair() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) return;
        m_slavePath = ptsname(m_master);
        termios raw{};
        tcgetattr(m_master, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_master, TCSANOW, &raw);
    }
    ~PtyPair() {
        if (m_master >= 0) close(m_master);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return !m_slavePath.empty(); }
    const std::string& slavePath() const { return m_slavePath; }

    bool send(const std::vector<std::uint8_t>& bytes) {
        return write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Reads until `count` bytes arrived or 10 s passed.
    std::vector<std::uint8_t> receive(std::size_t count) {
        std::vector<std::uint8_t> out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            std::uint8_t buffer[256];
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n > 0) out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

private:
    int m_master = -1;
    std::string m_slavePath;
};

}  // namespace velkor::link::testing
