#include "platform/registry/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace velkor::platform {

namespace {

// An exclusive advisory lock on a hive's lock file, held for one change.
class HiveLock {
public:
    explicit HiveLock(const std::filesystem::path& file)
        : m_fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (m_fd < 0) return;
        while (flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~HiveLock() {
        if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

// Writes `text` beside `target` and renames it into place, so a reader sees
// either the old file or the new one.
bool replaceFileAtomically(const std::filesystem::path& target, const std::string& text) {
    std::filesystem::path temp = target;
    temp += ".tmp." + std::to_string(getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(temp.c_str(), target.c_str()) == 0) return true;
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
}

bool hasControlCharacter(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

}  // namespace

Registry::Registry(std::filesystem::path root) : m_root(std::move(root)) {}

std::filesystem::path Registry::standardRoot() {
    if (const char* dir = std::getenv("VELKOR_REGISTRY_DIR"); dir && *dir) return dir;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        return std::filesystem::path(config) / "velkor" / "registry";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".config" / "velkor" / "registry";
}

std::filesystem::path Registry::hiveFile(Hive hive) const {
    return m_root / (std::string(hiveName(hive)) + ".reg");
}

ParsedHive Registry::load(Hive hive) const {
    const auto text = readWholeFile(hiveFile(hive));
    if (!text) return {};
    return parseHiveText(*text);
}

bool Registry::modify(Hive hive, const std::function<bool(HiveData&)>& change) {
    std::error_code error;
    std::filesystem::create_directories(m_root, error);
    if (error) return false;

    const std::filesystem::path file = hiveFile(hive);
    std::filesystem::path lockFile = file;
    lockFile += ".lock";
    HiveLock lock(lockFile);
    if (!lock.held()) return false;

    const auto text = readWholeFile(file);
    ParsedHive parsed = text ? parseHiveText(*text) : ParsedHive{};
    if (!change(parsed.data)) return false;

    if (parsed.damagedLines > 0) {
        // Keep what could not be read, so that nothing is lost for good.
        std::filesystem::path damaged = file;
        damaged += ".damaged";
        if (!replaceFileAtomically(damaged, *text)) return false;
    }
    return replaceFileAtomically(file, formatHiveText(parsed.data, hiveName(hive)));
}

bool Registry::keyExists(Hive hive, std::string_view key) const {
    return load(hive).data.hasKey(key);
}

bool Registry::createKey(Hive hive, std::string_view key) {
    if (hasControlCharacter(key) || normalizeKeyPath(key).empty()) return false;
    return modify(hive, [&](HiveData& data) {
        if (data.findKey(key)) return false;  // already there: nothing to write
        data.createKey(key);
        return true;
    }) || load(hive).data.findKey(key) != nullptr;
}

bool Registry::deleteKey(Hive hive, std::string_view key) {
    return modify(hive, [&](HiveData& data) { return data.removeKey(key); });
}

std::vector<std::string> Registry::subKeys(Hive hive, std::string_view key) const {
    return load(hive).data.childNames(key);
}

std::vector<RegistryValue> Registry::values(Hive hive, std::string_view key) const {
    const ParsedHive parsed = load(hive);
    const HiveData::Key* found = parsed.data.findKey(key);
    return found ? found->values : std::vector<RegistryValue>{};
}

std::optional<RegistryValue> Registry::value(Hive hive, std::string_view key,
                                             std::string_view name) const {
    const ParsedHive parsed = load(hive);
    const RegistryValue* found = parsed.data.findValue(key, name);
    if (!found) return std::nullopt;
    return *found;
}

std::optional<std::uint32_t> Registry::readDword(Hive hive, std::string_view key,
                                                 std::string_view name) const {
    const auto found = value(hive, key, name);
    if (!found || found->type != ValueType::Dword) return std::nullopt;
    return found->dword;
}

std::optional<std::string> Registry::readString(Hive hive, std::string_view key,
                                                std::string_view name) const {
    auto found = value(hive, key, name);
    if (!found || found->type != ValueType::String) return std::nullopt;
    return std::move(found->text);
}

bool Registry::writeValue(Hive hive, std::string_view key, RegistryValue value) {
    if (hasControlCharacter(key) || normalizeKeyPath(key).empty()) return false;
    return modify(hive, [&](HiveData& data) {
        data.setValue(key, std::move(value));
        return true;
    });
}

bool Registry::writeDword(Hive hive, std::string_view key, std::string_view name,
                          std::uint32_t value) {
    return writeValue(hive, key, RegistryValue{std::string(name), ValueType::Dword, value, {}});
}

bool Registry::writeString(Hive hive, std::string_view key, std::string_view name,
                           std::string_view text) {
    return writeValue(hive, key,
                      RegistryValue{std::string(name), ValueType::String, 0, std::string(text)});
}

bool Registry::deleteValue(Hive hive, std::string_view key, std::string_view name) {
    return modify(hive, [&](HiveData& data) { return data.removeValue(key, name); });
}

}  // namespace velkor::platform
