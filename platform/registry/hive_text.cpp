#include "platform/registry/hive_text.h"

#include <algorithm>
#include <cstdio>

#include "platform/registry/key_path.h"

namespace velkor::platform {

// --- HiveData -------------------------------------------------------------

bool HiveData::hasKey(std::string_view path) const {
    const std::string folded = foldKeyText(normalizeKeyPath(path));
    if (folded.empty()) return true;  // the hive's root always exists
    auto it = m_keys.lower_bound(folded);
    if (it == m_keys.end()) return false;
    // A key also exists when only a deeper key names it, as in a file edited
    // by hand with just "[A\B\C]".
    return it->first == folded || it->first.starts_with(folded + '\\');
}

HiveData::Key& HiveData::createKey(std::string_view path) {
    const std::string normal = normalizeKeyPath(path);
    std::size_t pos = 0;
    for (;;) {
        pos = normal.find('\\', pos);
        const std::string prefix = normal.substr(0, pos);
        Key& key = m_keys[foldKeyText(prefix)];
        if (key.path.empty()) key.path = prefix;
        if (pos == std::string::npos) return key;
        ++pos;
    }
}

HiveData::Key* HiveData::findKey(std::string_view path) {
    auto it = m_keys.find(foldKeyText(normalizeKeyPath(path)));
    return it == m_keys.end() ? nullptr : &it->second;
}

const HiveData::Key* HiveData::findKey(std::string_view path) const {
    auto it = m_keys.find(foldKeyText(normalizeKeyPath(path)));
    return it == m_keys.end() ? nullptr : &it->second;
}

bool HiveData::removeKey(std::string_view path) {
    const std::string folded = foldKeyText(normalizeKeyPath(path));
    if (folded.empty() || !hasKey(path)) return false;
    std::erase_if(m_keys, [&](const auto& entry) {
        return entry.first == folded || entry.first.starts_with(folded + '\\');
    });
    return true;
}

std::vector<std::string> HiveData::childNames(std::string_view path) const {
    const std::string normal = normalizeKeyPath(path);
    const std::string prefix = normal.empty() ? std::string{} : foldKeyText(normal) + '\\';
    std::vector<std::string> names;
    std::string lastFolded;
    for (auto it = m_keys.lower_bound(prefix); it != m_keys.end(); ++it) {
        if (!it->first.starts_with(prefix)) break;
        const std::size_t end = it->first.find('\\', prefix.size());
        const std::string folded = it->first.substr(prefix.size(), end - prefix.size());
        if (folded == lastFolded) continue;
        lastFolded = folded;
        names.push_back(it->second.path.substr(prefix.size(), folded.size()));
    }
    return names;
}

const RegistryValue* HiveData::findValue(std::string_view path, std::string_view name) const {
    const Key* key = findKey(path);
    if (!key) return nullptr;
    for (const auto& value : key->values) {
        if (sameKeyText(value.name, name)) return &value;
    }
    return nullptr;
}

void HiveData::setValue(std::string_view path, RegistryValue value) {
    Key& key = createKey(path);
    for (auto& existing : key.values) {
        if (sameKeyText(existing.name, value.name)) {
            value.name = existing.name;  // keep the case it was created with
            existing = std::move(value);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

bool HiveData::removeValue(std::string_view path, std::string_view name) {
    Key* key = findKey(path);
    if (!key) return false;
    return std::erase_if(key->values,
                         [&](const RegistryValue& v) { return sameKeyText(v.name, name); }) > 0;
}

// --- text form --------------------------------------------------------------

namespace {

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[5];
                    std::snprintf(hex, sizeof hex, "\\x%02x", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string at the start of `in`, removing it from `in`.
std::optional<std::string> readQuoted(std::string_view& in) {
    if (in.empty() || in.front() != '"') return std::nullopt;
    std::string out;
    std::size_t i = 1;
    while (i < in.size()) {
        const char c = in[i++];
        if (c == '"') {
            in.remove_prefix(i);
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i >= in.size()) return std::nullopt;
        const char e = in[i++];
        switch (e) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'x': {
                if (i + 2 > in.size()) return std::nullopt;
                const int hi = hexDigit(in[i]);
                const int lo = hexDigit(in[i + 1]);
                if (hi < 0 || lo < 0) return std::nullopt;
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> readDwordText(std::string_view in) {
    if (in.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : in) {
        const int d = hexDigit(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return value;
}

std::string_view trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return line;
}

std::optional<RegistryValue> parseValueLine(std::string_view line) {
    auto name = readQuoted(line);
    if (!name || line.empty() || line.front() != '=') return std::nullopt;
    line.remove_prefix(1);
    RegistryValue value;
    value.name = std::move(*name);
    if (line.starts_with("dword:")) {
        auto number = readDwordText(line.substr(6));
        if (!number) return std::nullopt;
        value.type = ValueType::Dword;
        value.dword = *number;
        return value;
    }
    auto text = readQuoted(line);
    if (!text || !line.empty()) return std::nullopt;
    value.type = ValueType::String;
    value.text = std::move(*text);
    return value;
}

}  // namespace

ParsedHive parseHiveText(std::string_view text) {
    ParsedHive parsed;
    std::optional<std::string> currentKey;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trimmed(text.substr(start, end - start));
        start = end + 1;

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                ++parsed.damagedLines;
                currentKey.reset();
                continue;
            }
            currentKey = normalizeKeyPath(line.substr(1, line.size() - 2));
            parsed.data.createKey(*currentKey);
            continue;
        }
        auto value = currentKey ? parseValueLine(line) : std::nullopt;
        if (!value) {
            ++parsed.damagedLines;
            continue;
        }
        // The first occurrence of a value wins, as it did when it was written.
        if (!parsed.data.findValue(*currentKey, value->name)) {
            parsed.data.setValue(*currentKey, std::move(*value));
        }
    }
    return parsed;
}

std::string formatHiveText(const HiveData& data, std::string_view hiveName) {
    std::string out = "; Registry hive ";
    out += hiveName;
    out += ". Change it with velkor-reg rather than by hand.\n";
    for (const auto& [folded, key] : data.keys()) {
        out += "\n[";
        out += key.path;
        out += "]\n";
        for (const auto& value : key.values) {
            appendQuoted(out, value.name);
            out += '=';
            if (value.type == ValueType::Dword) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", value.dword);
                out += hex;
            } else {
                appendQuoted(out, value.text);
            }
            out += '\n';
        }
    }
    return out;
}

}  // namespace velkor::platform
