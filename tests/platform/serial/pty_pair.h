#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace velkor::platform::testing {

// A pseudo-terminal pair standing in for a serial line: the test opens the
// slave side as the port and plays the PBX on the master side. Both sides are
// raw so that no byte is translated on the way.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();

    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return m_master >= 0; }
    const std::string& slavePath() const { return m_slavePath; }

    // Writes all bytes to the master side; false on failure.
    bool writeMaster(const std::vector<std::uint8_t>& bytes);

    // Reads from the master side until `count` bytes arrived or `timeout`
    // passed; returns what arrived.
    std::vector<std::uint8_t> readMaster(std::size_t count, std::chrono::milliseconds timeout);

    void closeMaster();

private:
    int m_master = -1;
    std::string m_slavePath;
};

}  // namespace velkor::platform::testing
