#include "platform/registry/key_path.h"

#include <array>

namespace velkor::platform {

namespace {

char foldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct HiveSpelling {
    std::string_view name;
    Hive hive;
};

constexpr std::array<HiveSpelling, 4> kHiveSpellings{{
    {"HKEY_LOCAL_MACHINE", Hive::LocalMachine},
    {"HKLM", Hive::LocalMachine},
    {"HKEY_CURRENT_USER", Hive::CurrentUser},
    {"HKCU", Hive::CurrentUser},
}};

}  // namespace

const char* hiveName(Hive hive) {
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string normalizeKeyPath(std::string_view path) {
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            if (!out.empty()) out += '\\';
            out.append(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return out;
}

std::string foldKeyText(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = foldChar(c);
    return out;
}

bool sameKeyText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldChar(a[i]) != foldChar(b[i])) return false;
    }
    return true;
}

std::optional<std::pair<Hive, std::string>> parseFullKeyPath(std::string_view text) {
    const std::size_t slash = text.find('\\');
    const std::string_view head = text.substr(0, slash);
    const std::string_view rest =
        slash == std::string_view::npos ? std::string_view{} : text.substr(slash + 1);
    for (const auto& spelling : kHiveSpellings) {
        if (sameKeyText(head, spelling.name)) {
            return std::make_pair(spelling.hive, normalizeKeyPath(rest));
        }
    }
    return std::nullopt;
}

}  // namespace velkor::platform
