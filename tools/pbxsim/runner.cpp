#include "tools/pbxsim/runner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/net/ipv4_endpoint.h"
#include "tools/pbxsim/control.h"

namespace velkor::pbxsim {

namespace {

constexpr std::uint16_t kAtdPort = 5001;

bool isLoopback(std::uint32_t address) { return (address >> 24) == 127; }

}  // namespace

Runner::Runner(RunnerOptions options) : m_options(std::move(options)) {
    if (pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) m_wake[0] = m_wake[1] = -1;
}

Runner::~Runner() {
    for (const Client& c : m_clients) ::close(c.fd);
    if (m_listen >= 0) {
        ::close(m_listen);
        ::unlink(m_options.controlSocket.c_str());
    }
    if (m_wake[0] >= 0) ::close(m_wake[0]);
    if (m_wake[1] >= 0) ::close(m_wake[1]);
}

std::string Runner::open() {
    if (m_wake[0] < 0) return "cannot create the wake pipe";
    if (m_options.wire == RunnerOptions::Wire::Udp) {
        // The PBX talks to loopback only.
        if (!isLoopback(m_options.address) || !isLoopback(m_options.peer)) {
            return "the simulator binds and answers loopback addresses (127.x.y.z) only";
        }
        m_ctiPort = m_options.singleStation ? 5030 : 5029;
        if (auto e = m_cti.open({m_options.address, m_ctiPort})) {
            return "cannot bind " + platform::Ipv4Endpoint{m_options.address, m_ctiPort}.toString() +
                   ": " + e.message();
        }
        if (auto e = m_atd.open({m_options.address, kAtdPort})) {
            return "cannot bind " + platform::Ipv4Endpoint{m_options.address, kAtdPort}.toString() +
                   ": " + e.message();
        }
    } else {
        if (auto e = m_pty.open(m_options.baudRate); !e.empty()) return e;
    }
    if (!m_options.controlSocket.empty()) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (m_options.controlSocket.size() >= sizeof addr.sun_path) return "control socket path too long";
        std::strcpy(addr.sun_path, m_options.controlSocket.c_str());
        ::unlink(addr.sun_path);
        m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_listen, 4) != 0) {
            return "control socket " + m_options.controlSocket + ": " + std::strerror(errno);
        }
    }
    return {};
}

std::string Runner::whereText() const {
    if (m_options.wire == RunnerOptions::Wire::Serial) return "pty: " + m_pty.slavePath();
    return "udp: " + platform::formatIpv4Address(m_options.address) + " cti " +
           std::to_string(m_ctiPort) + " atd " + std::to_string(kAtdPort) + " peer " +
           platform::formatIpv4Address(m_options.peer);
}

void Runner::transmit(link::Channel channel, std::span<const std::uint8_t> bytes) {
    if (m_options.wire == RunnerOptions::Wire::Serial) {
        if (!m_pty.writeAll(bytes.data(), bytes.size()) && m_pbx) m_pbx->note("pty write failed");
        return;
    }
    auto& socket = channel == link::Channel::Atd ? m_atd : m_cti;
    const std::uint16_t port = channel == link::Channel::Atd ? kAtdPort : m_ctiPort;
    const auto result = socket.sendTo(bytes, {m_options.peer, port});
    if (result.status != platform::DatagramSocket::SendStatus::Sent && m_pbx) {
        m_pbx->note("send to port " + std::to_string(port) + " failed: " + result.error.message());
    }
}

void Runner::stop(int exitCode) {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_exitCode = exitCode;
    }
    const char byte = 'q';
    [[maybe_unused]] auto n = ::write(m_wake[1], &byte, 1);
}

void Runner::post(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(work));
    }
    const char byte = 'p';
    [[maybe_unused]] auto n = ::write(m_wake[1], &byte, 1);
}

void Runner::drainWake() {
    char buffer[64];
    ssize_t n;
    while ((n = ::read(m_wake[0], buffer, sizeof buffer)) > 0) {
        // A byte from the signal handler is an 's'.
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == 's') {
                std::lock_guard lock(m_mutex);
                m_stopping = true;
            }
        }
    }
    std::vector<std::function<void()>> work;
    {
        std::lock_guard lock(m_mutex);
        work.swap(m_posted);
    }
    for (auto& w : work) w();
}

int Runner::run() {
    while (true) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) return m_exitCode;
        }
        std::vector<pollfd> fds;
        enum Source { Wake, Cti, Atd, PtyMaster, Stdin, Listen, ClientFd };
        std::vector<std::pair<Source, std::size_t>> what;
        const auto add = [&](int fd, Source s, std::size_t i = 0) {
            fds.push_back({fd, POLLIN, 0});
            what.emplace_back(s, i);
        };
        add(m_wake[0], Wake);
        if (m_options.wire == RunnerOptions::Wire::Udp) {
            add(m_cti.fd(), Cti);
            add(m_atd.fd(), Atd);
        } else {
            add(m_pty.masterFd(), PtyMaster);
        }
        if (m_options.stdinControl && m_stdinOpen) add(STDIN_FILENO, Stdin);
        if (m_listen >= 0) add(m_listen, Listen);
        for (std::size_t i = 0; i < m_clients.size(); ++i) add(m_clients[i].fd, ClientFd, i);

        int timeout = -1;
        if (const auto due = m_pbx->nextDeadline()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - m_pbx->clock().now());
            timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, 60000));
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        m_pbx->runDue();
        if (ready <= 0) continue;
        std::vector<std::size_t> closedClients;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            switch (what[i].first) {
                case Wake: drainWake(); break;
                case Cti: readUdp(m_cti, link::Channel::Cti); break;
                case Atd: readUdp(m_atd, link::Channel::Atd); break;
                case PtyMaster: readPty(); break;
                case Stdin: readStdin(); break;
                case Listen: acceptClient(); break;
                case ClientFd:
                    if (!readClient(m_clients[what[i].second])) closedClients.push_back(what[i].second);
                    break;
            }
        }
        for (auto it = closedClients.rbegin(); it != closedClients.rend(); ++it) {
            ::close(m_clients[*it].fd);
            m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(*it));
        }
    }
}

void Runner::readUdp(platform::DatagramSocket& socket, link::Channel channel) {
    std::vector<std::uint8_t> buffer(65536);
    for (int i = 0; i < 64; ++i) {
        platform::Ipv4Endpoint source;
        const auto got = socket.receiveFrom(buffer, source);
        if (got.status != platform::DatagramSocket::ReceiveStatus::Datagram) return;
        if (source.address != m_options.peer) {
            m_pbx->note("dropped a datagram from " + source.toString() + ": not the provider's address");
            continue;
        }
        m_pbx->receive(channel, std::span(buffer).first(got.size));
    }
}

void Runner::readPty() {
    std::uint8_t buffer[512];
    const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
    if (n > 0) {
        m_pbx->receive(link::Channel::Serial, std::span(buffer, static_cast<std::size_t>(n)));
    } else if (n < 0 && errno == EIO) {
        // No slave open besides ours: nothing to read yet.
        ::usleep(10000);
    }
}

void Runner::handleLines(std::string& pending, const std::function<void(const std::string&)>& reply) {
    std::size_t newline;
    while ((newline = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, newline);
        pending.erase(0, newline + 1);
        const ControlReply r = executeControl(*m_pbx, line);
        if (!r.text.empty()) reply(r.text);
        if (r.quit) stop(0);
    }
    if (pending.size() > 4096) {
        reply("error: control line longer than 4096 bytes");
        pending.clear();
    }
}

void Runner::readStdin() {
    char buffer[1024];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        // End of input: the simulator runs on without its console.
        m_stdinOpen = false;
        return;
    }
    m_stdinPending.append(buffer, static_cast<std::size_t>(n));
    handleLines(m_stdinPending, [this](const std::string& text) {
        if (m_replySink) m_replySink(text);
    });
}

void Runner::acceptClient() {
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) m_clients.push_back({fd, {}});
}

bool Runner::readClient(Client& client) {
    char buffer[1024];
    const ssize_t n = ::read(client.fd, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
    if (n < 0) return true;
    client.pending.append(buffer, static_cast<std::size_t>(n));
    const int fd = client.fd;
    handleLines(client.pending, [fd](const std::string& text) {
        const std::string line = text + "\n";
        [[maybe_unused]] auto w = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    });
    return true;
}

}  // namespace velkor::pbxsim
