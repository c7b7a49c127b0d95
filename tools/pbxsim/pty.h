#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velkor::pbxsim {

// The PBX's end of a serial line: a pseudo-terminal whose slave the provider
// opens as its serial port. The simulator keeps one slave descriptor open
// itself, so that the master does not hang up while no provider is attached.
class Pty {
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Creates the pair in raw mode at `baudRate`; an error text, empty on
    // success.
    std::string open(std::uint32_t baudRate);
    void close();

    int masterFd() const { return m_master; }
    const std::string& slavePath() const { return m_slavePath; }
    // Writes every byte, waiting briefly when the line is full; false when
    // the bytes could not all be written.
    bool writeAll(const std::uint8_t* data, std::size_t size);

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

// Whether termios knows this rate.
bool isSupportedBaudRate(std::uint32_t baudRate);

}  // namespace velkor::pbxsim
