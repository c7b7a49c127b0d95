#include "client/shell/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor::client {

namespace {

constexpr int kCreateAttempts = 5;

}  // namespace

CSingleInstance::CSingleInstance(std::string name) : m_name(std::move(name)) {}

CSingleInstance::~CSingleInstance() {
    release();
}

std::filesystem::path CSingleInstance::runtimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    std::filesystem::path folder = "/tmp/velkor-" + std::to_string(::getuid());
    // Private to the user, so no one else can take or remove the lock.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    return folder;
}

std::filesystem::path CSingleInstance::lockFile() const {
    const auto folder = runtimeFolder();
    if (folder.empty()) return {};
    return folder / (m_name + ".lock");
}

CSingleInstance::Result CSingleInstance::acquire() {
    if (held()) return Result::Sole;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const auto path = lockFile();
        if (path.empty()) continue;
        // Close-on-exec: a program the client starts must not keep the name
        // taken after the client has ended.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return Result::Sole;
        }
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return Result::AlreadyRunning;
    }
    return Result::Unavailable;
}

void CSingleInstance::release() {
    if (m_fd < 0) return;
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace velkor::client
