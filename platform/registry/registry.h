#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/hive_text.h"
#include "platform/registry/key_path.h"

namespace velkor::platform {

// The registry: the two hives HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, each
// a text file under one root folder. A Registry object is only that folder;
// every call reads the file afresh, so values written by another process are
// seen at once.
//
// Every change takes an advisory lock on the hive, reads it, applies the
// change and replaces the file atomically (write aside, then rename), so two
// processes writing at the same time never lose each other's values and a
// reader never sees half a file. A damaged file reads as missing values; the
// first write after that keeps the damaged original beside the hive as
// "<hive>.reg.damaged" before replacing it.
class Registry {
public:
    explicit Registry(std::filesystem::path root);

    // The root named by VELKOR_REGISTRY_DIR, else
    // $XDG_CONFIG_HOME/velkor/registry, else ~/.config/velkor/registry.
    static std::filesystem::path standardRoot();
    static Registry standard() { return Registry(standardRoot()); }

    const std::filesystem::path& root() const { return m_root; }
    std::filesystem::path hiveFile(Hive hive) const;

    bool keyExists(Hive hive, std::string_view key) const;
    // Creates the key and its missing parents; false when the hive cannot be
    // written or the name holds a control character.
    bool createKey(Hive hive, std::string_view key);
    // Deletes the key with every subkey; false when it does not exist.
    bool deleteKey(Hive hive, std::string_view key);
    // Names of the direct subkeys, as they were written.
    std::vector<std::string> subKeys(Hive hive, std::string_view key) const;
    std::vector<RegistryValue> values(Hive hive, std::string_view key) const;

    std::optional<RegistryValue> value(Hive hive, std::string_view key,
                                       std::string_view name) const;
    // nullopt when the value is missing or of the other type.
    std::optional<std::uint32_t> readDword(Hive hive, std::string_view key,
                                           std::string_view name) const;
    std::optional<std::string> readString(Hive hive, std::string_view key,
                                          std::string_view name) const;

    // Writing a value creates its key.
    bool writeDword(Hive hive, std::string_view key, std::string_view name, std::uint32_t value);
    bool writeString(Hive hive, std::string_view key, std::string_view name,
                     std::string_view text);
    bool deleteValue(Hive hive, std::string_view key, std::string_view name);

private:
    ParsedHive load(Hive hive) const;
    // Runs `change` on the hive under its lock and stores the result when
    // `change` returns true.
    bool modify(Hive hive, const std::function<bool(HiveData&)>& change);
    bool writeValue(Hive hive, std::string_view key, RegistryValue value);

    std::filesystem::path m_root;
};

// An opened key: what the system's code holds between opening a key and
// closing it.
class RegistryKey {
public:
    // nullopt when the key does not exist.
    static std::optional<RegistryKey> open(const Registry& registry, Hive hive,
                                           std::string_view path);
    // Creates the key when needed; nullopt when it cannot be created.
    static std::optional<RegistryKey> create(Registry& registry, Hive hive,
                                             std::string_view path);

    const std::string& path() const { return m_path; }
    Hive hive() const { return m_hive; }

    std::optional<std::uint32_t> readDword(std::string_view name) const;
    std::optional<std::string> readString(std::string_view name) const;
    bool writeDword(std::string_view name, std::uint32_t value);
    bool writeString(std::string_view name, std::string_view text);
    bool deleteValue(std::string_view name);
    std::vector<std::string> subKeys() const;
    std::vector<RegistryValue> values() const;

private:
    RegistryKey(Registry registry, Hive hive, std::string path);

    Registry m_registry;
    Hive m_hive;
    std::string m_path;
};

}  // namespace velkor::platform
