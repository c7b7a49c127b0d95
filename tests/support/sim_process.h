#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velkor::testing {

// The simulator executable (velkor-pbxsim) as a child process of the test;
// its standard output is read line by line ("udp: ...", "pty: ...",
// "ready: ..."). The child dies with the test process, and the destructor
// stops it, so no simulator outlives a failed test.
class SimProcess {
public:
    static constexpr std::chrono::seconds kLineWait{10};
    static constexpr std::chrono::seconds kStopWait{5};

    SimProcess(std::string executable, std::vector<std::string> args) {
        // Built before the fork: the child only calls what is safe there.
        std::vector<char*> argv;
        argv.push_back(executable.data());
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(out[1]);
        if (m_pid > 0) {
            m_out = out[0];
        } else {
            ::close(out[0]);
        }
    }
    ~SimProcess() {
        if (m_pid > 0) stop();
        if (m_out >= 0) ::close(m_out);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return m_pid > 0; }

    // The next line of standard output without its newline; empty when the
    // output ended or nothing came within `limit`.
    std::string line(std::chrono::milliseconds limit = kLineWait) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_out >= 0) {
            if (const auto end = m_pending.find('\n'); end != std::string::npos) {
                std::string text = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return text;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[512];
            const ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n <= 0) return {};
            m_pending.append(buffer, static_cast<std::size_t>(n));
        }
        return {};
    }

    // Reads lines until one begins with `prefix` and returns it; empty when
    // the output ended first.
    std::string lineStartingWith(std::string_view prefix) {
        for (std::string text = line(); !text.empty(); text = line()) {
            if (text.starts_with(prefix)) return text;
        }
        return {};
    }

    // SIGTERM, and SIGKILL when the simulator has not ended within
    // kStopWait; returns its exit status (-1 when it did not exit by itself).
    int stop() {
        if (m_pid <= 0) return -1;
        kill(m_pid, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + kStopWait;
        pid_t done = 0;
        while ((done = waitpid(m_pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (done == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;
};

}  // namespace velkor::testing
