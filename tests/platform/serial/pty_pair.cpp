#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace velkor::platform::testing {

PtyPair::PtyPair() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        return;
    }
    char name[128];
    termios tio{};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0 || ::tcgetattr(master, &tio) != 0) {
        ::close(master);
        return;
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(master, TCSANOW, &tio) != 0) {
        ::close(master);
        return;
    }
    m_master = master;
    m_slavePath = name;
}

PtyPair::~PtyPair() { closeMaster(); }

void PtyPair::closeMaster() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

bool PtyPair::writeMaster(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd ready{m_master, POLLOUT, 0};
            ::poll(&ready, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> PtyPair::readMaster(std::size_t count,
                                              std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> received;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{m_master, POLLIN, 0};
        ::poll(&ready, 1, 20);
        std::uint8_t chunk[4096];
        const ssize_t got = ::read(m_master, chunk, sizeof chunk);
        if (got > 0) {
            received.insert(received.end(), chunk, chunk + got);
        }
    }
    return received;
}

}  // namespace velkor::platform::testing
