#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::platform {

enum class ValueType {
    Dword,
    String,
};

struct RegistryValue {
    std::string name;
    ValueType type = ValueType::String;
    std::uint32_t dword = 0;
    std::string text;

    bool operator==(const RegistryValue&) const = default;
};

// The contents of one hive: every key with its values. Keys are stored by
// their folded path, so the map order puts a parent before its children.
class HiveData {
public:
    struct Key {
        std::string path;  // as first written
        std::vector<RegistryValue> values;
    };

    bool hasKey(std::string_view path) const;
    // Creates the key and every missing parent; returns it.
    Key& createKey(std::string_view path);
    Key* findKey(std::string_view path);
    const Key* findKey(std::string_view path) const;
    // Removes the key with all its subkeys; false when it does not exist.
    bool removeKey(std::string_view path);
    std::vector<std::string> childNames(std::string_view path) const;

    const RegistryValue* findValue(std::string_view path, std::string_view name) const;
    void setValue(std::string_view path, RegistryValue value);
    bool removeValue(std::string_view path, std::string_view name);

    const std::map<std::string, Key>& keys() const { return m_keys; }

private:
    std::map<std::string, Key> m_keys;
};

// The text form of a hive, one file per hive:
//
//   [Software\Microsoft\PCApplication\VELKORSP]
//   "BaudRate"=dword:0000e100
//   "MPVersion"="Unknown"
//
// Lines starting with ';' are comments. Strings escape \\, \", \n, \r, \t
// and other control bytes as \xHH.
struct ParsedHive {
    HiveData data;
    // Lines that could not be read; they are skipped, never fatal.
    std::size_t damagedLines = 0;
};

ParsedHive parseHiveText(std::string_view text);
std::string formatHiveText(const HiveData& data, std::string_view hiveName);

}  // namespace velkor::platform
