#pragma once

#include <filesystem>
#include <string>

namespace velkor::client {

// Keeps the client to one copy per user session. The name is taken by an
// exclusive lock on "<name>.lock" in the user's runtime folder; the kernel
// drops the lock when the process ends, however it ends, so a crashed copy
// never blocks the next start.
class CSingleInstance {
public:
    enum class Result {
        Sole,            // the name is ours for the life of this object
        AlreadyRunning,  // another copy holds it
        Unavailable,     // no lock could be made; the client runs without one
    };

    explicit CSingleInstance(std::string name);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Tries to take the name, retrying a failed creation up to five times.
    Result acquire();
    void release();
    bool held() const { return m_fd >= 0; }

    // $XDG_RUNTIME_DIR, else a private folder /tmp/velkor-<uid>.
    static std::filesystem::path runtimeFolder();
    std::filesystem::path lockFile() const;

private:
    std::string m_name;
    int m_fd = -1;
};

}  // namespace velkor::client
