#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/net/datagram_socket.h"
#include "tools/pbxsim/pbx.h"
#include "tools/pbxsim/pty.h"

namespace velkor::pbxsim {

struct RunnerOptions {
    enum class Wire : std::uint8_t {
        Udp,
        Serial,
    };
    Wire wire = Wire::Udp;
    // UDP: the PBX's own loopback address and the provider's.
    std::uint32_t address = 0x7F000002;
    std::uint32_t peer = 0x7F000001;
    // Single-station mode: STX/ETX framing; over UDP the CTI port is 5030.
    bool singleStation = false;
    std::uint32_t baudRate = 57600;
    // Control commands from standard input and/or a local socket path.
    bool stdinControl = true;
    std::string controlSocket;
};

// Moves the PBX's bytes: the UDP sockets or the pseudo-terminal, the control
// inputs and the PBX's timers, all on the one thread that calls run().
class Runner final : public PbxOutput {
public:
    explicit Runner(RunnerOptions options);
    ~Runner() override;

    // Binds the sockets or creates the pty; an error text, empty on success.
    std::string open();
    // One line for standard output that tells where the PBX listens:
    // "pty: /dev/pts/5" or "udp: 127.0.0.2 cti 5029 atd 5001 peer 127.0.0.1".
    std::string whereText() const;
    void attach(Pbx& pbx) { m_pbx = &pbx; }
    // Where control replies for standard input go.
    void setReplySink(std::function<void(const std::string&)> sink) { m_replySink = std::move(sink); }

    // Runs until stop(); returns the code given to stop().
    int run();
    // From any thread, or from a signal handler through wakeFd().
    void stop(int exitCode = 0);
    // Runs `work` on the loop's thread.
    void post(std::function<void()> work);
    // The descriptor a signal handler writes one byte to, to stop the loop.
    int wakeFd() const { return m_wake[1]; }

    void transmit(link::Channel channel, std::span<const std::uint8_t> bytes) override;

private:
    struct Client {
        int fd;
        std::string pending;
    };
    void readUdp(platform::DatagramSocket& socket, link::Channel channel);
    void readPty();
    void readStdin();
    void acceptClient();
    bool readClient(Client& client);
    void handleLines(std::string& pending, const std::function<void(const std::string&)>& reply);
    void drainWake();

    RunnerOptions m_options;
    Pbx* m_pbx = nullptr;
    platform::DatagramSocket m_cti;
    platform::DatagramSocket m_atd;
    std::uint16_t m_ctiPort = 5029;
    Pty m_pty;
    int m_wake[2] = {-1, -1};
    int m_listen = -1;
    std::vector<Client> m_clients;
    bool m_stdinOpen = true;
    std::string m_stdinPending;
    std::function<void(const std::string&)> m_replySink;

    std::mutex m_mutex;
    std::vector<std::function<void()>> m_posted;
    bool m_stopping = false;
    int m_exitCode = 0;
};

}  // namespace velkor::pbxsim
