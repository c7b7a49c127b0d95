#include "platform/registry/registry.h"

namespace velkor::platform {

RegistryKey::RegistryKey(Registry registry, Hive hive, std::string path)
    : m_registry(std::move(registry)), m_hive(hive), m_path(std::move(path)) {}

std::optional<RegistryKey> RegistryKey::open(const Registry& registry, Hive hive,
                                             std::string_view path) {
    if (!registry.keyExists(hive, path)) return std::nullopt;
    return RegistryKey(registry, hive, normalizeKeyPath(path));
}

std::optional<RegistryKey> RegistryKey::create(Registry& registry, Hive hive,
                                               std::string_view path) {
    if (!registry.createKey(hive, path)) return std::nullopt;
    return RegistryKey(registry, hive, normalizeKeyPath(path));
}

std::optional<std::uint32_t> RegistryKey::readDword(std::string_view name) const {
    return m_registry.readDword(m_hive, m_path, name);
}

std::optional<std::string> RegistryKey::readString(std::string_view name) const {
    return m_registry.readString(m_hive, m_path, name);
}

bool RegistryKey::writeDword(std::string_view name, std::uint32_t value) {
    return m_registry.writeDword(m_hive, m_path, name, value);
}

bool RegistryKey::writeString(std::string_view name, std::string_view text) {
    return m_registry.writeString(m_hive, m_path, name, text);
}

bool RegistryKey::deleteValue(std::string_view name) {
    return m_registry.deleteValue(m_hive, m_path, name);
}

std::vector<std::string> RegistryKey::subKeys() const { return m_registry.subKeys(m_hive, m_path); }

std::vector<RegistryValue> RegistryKey::values() const { return m_registry.values(m_hive, m_path); }

}  // namespace velkor::platform
