#include "tools/pbxsim/pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace velkor::pbxsim {

namespace {

struct Rate {
    std::uint32_t value;
    speed_t speed;
};
constexpr Rate kRates[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},     {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600},   {115200, B115200},
};

std::optional<speed_t> speedOf(std::uint32_t baudRate) {
    for (const Rate& r : kRates) {
        if (r.value == baudRate) return r.speed;
    }
    return std::nullopt;
}

}  // namespace

bool isSupportedBaudRate(std::uint32_t baudRate) { return speedOf(baudRate).has_value(); }

Pty::~Pty() { close(); }

std::string Pty::open(std::uint32_t baudRate) {
    const auto speed = speedOf(baudRate);
    if (!speed) return "baud rate " + std::to_string(baudRate) + " is not supported";
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0) return std::string("posix_openpt: ") + std::strerror(errno);
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        const std::string error = std::string("grantpt/unlockpt: ") + std::strerror(errno);
        close();
        return error;
    }
    const char* name = ptsname(m_master);
    if (!name) {
        close();
        return "ptsname failed";
    }
    m_slavePath = name;
    m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) {
        const std::string error = m_slavePath + ": " + std::strerror(errno);
        close();
        return error;
    }
    termios tio{};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, *speed);
    cfsetospeed(&tio, *speed);
    tcsetattr(m_slave, TCSANOW, &tio);
    return {};
}

void Pty::close() {
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
    m_slave = m_master = -1;
}

bool Pty::writeAll(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    int waits = 0;
    while (done < size) {
        const ssize_t n = ::write(m_master, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (++waits > 100) return false;
        pollfd p{m_master, POLLOUT, 0};
        poll(&p, 1, 10);
    }
    return true;
}

}  // namespace velkor::pbxsim
