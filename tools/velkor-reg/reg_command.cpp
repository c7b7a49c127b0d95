#include "tools/velkor-reg/reg_command.h"

#include <charconv>
#include <optional>

namespace velkor::tools {

using platform::Hive;
using platform::Registry;
using platform::RegistryValue;
using platform::ValueType;

namespace {

constexpr const char* kUsage =
    "usage: velkor-reg list [KEY]\n"
    "       velkor-reg get KEY NAME\n"
    "       velkor-reg set KEY NAME dword|string VALUE\n"
    "       velkor-reg delete KEY [NAME]\n"
    "KEY starts with HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER; DWORD values are\n"
    "decimal or 0x hexadecimal. The hives live in $VELKOR_REGISTRY_DIR.\n";

struct KeyArg {
    Hive hive;
    std::string path;
    std::string full;
};

std::optional<KeyArg> parseKey(const std::string& text, std::ostream& err) {
    const auto parsed = platform::parseFullKeyPath(text);
    if (!parsed) {
        err << "velkor-reg: unknown hive in \"" << text
            << "\"; use HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER\n";
        return std::nullopt;
    }
    std::string full = platform::hiveName(parsed->first);
    if (!parsed->second.empty()) full += "\\" + parsed->second;
    return KeyArg{parsed->first, parsed->second, full};
}

std::optional<std::uint32_t> parseDword(const std::string& text) {
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (ec != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

void printValue(std::ostream& out, const RegistryValue& value) {
    if (value.type == ValueType::Dword) {
        out << value.name << " = dword " << value.dword << '\n';
    } else {
        out << value.name << " = string \"" << value.text << "\"\n";
    }
}

int list(Registry& registry, const KeyArg& key, std::ostream& out, std::ostream& err) {
    if (!registry.keyExists(key.hive, key.path)) {
        err << "velkor-reg: no key " << key.full << '\n';
        return 1;
    }
    out << key.full << '\n';
    for (const auto& value : registry.values(key.hive, key.path)) {
        out << "  ";
        printValue(out, value);
    }
    for (const auto& child : registry.subKeys(key.hive, key.path)) {
        out << "  " << child << "\\\n";
    }
    return 0;
}

int get(Registry& registry, const KeyArg& key, const std::string& name, std::ostream& out,
        std::ostream& err) {
    const auto value = registry.value(key.hive, key.path, name);
    if (!value) {
        err << "velkor-reg: no value \"" << name << "\" in " << key.full << '\n';
        return 1;
    }
    // Just the data, so that scripts can use it as it stands.
    if (value->type == ValueType::Dword) {
        out << value->dword << '\n';
    } else {
        out << value->text << '\n';
    }
    return 0;
}

int set(Registry& registry, const KeyArg& key, const std::string& name, const std::string& type,
        const std::string& data, std::ostream& err) {
    bool ok;
    if (type == "dword") {
        const auto number = parseDword(data);
        if (!number) {
            err << "velkor-reg: \"" << data << "\" is not a 32-bit number\n";
            return 2;
        }
        ok = registry.writeDword(key.hive, key.path, name, *number);
    } else if (type == "string") {
        ok = registry.writeString(key.hive, key.path, name, data);
    } else {
        err << "velkor-reg: type must be dword or string, not \"" << type << "\"\n";
        return 2;
    }
    if (!ok) {
        err << "velkor-reg: cannot write " << key.full << " under " << registry.root().string()
            << '\n';
        return 1;
    }
    return 0;
}

int remove(Registry& registry, const KeyArg& key, const std::string* name, std::ostream& err) {
    if (name) {
        if (registry.deleteValue(key.hive, key.path, *name)) return 0;
        err << "velkor-reg: no value \"" << *name << "\" in " << key.full << '\n';
        return 1;
    }
    if (key.path.empty()) {
        err << "velkor-reg: a whole hive cannot be deleted\n";
        return 2;
    }
    if (registry.deleteKey(key.hive, key.path)) return 0;
    err << "velkor-reg: no key " << key.full << '\n';
    return 1;
}

}  // namespace

int runRegCommand(Registry& registry, const std::vector<std::string>& args, std::ostream& out,
                  std::ostream& err) {
    const std::size_t n = args.size();
    if (n == 0 || args[0] == "-h" || args[0] == "--help") {
        (n == 0 ? err : out) << kUsage;
        return n == 0 ? 2 : 0;
    }
    const std::string& verb = args[0];

    if (verb == "list" && n <= 2) {
        if (n == 1) {
            int rc = 0;
            for (const char* hive : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
                rc |= list(registry, *parseKey(hive, err), out, err);
            }
            return rc;
        }
        const auto key = parseKey(args[1], err);
        return key ? list(registry, *key, out, err) : 2;
    }
    if (verb == "get" && n == 3) {
        const auto key = parseKey(args[1], err);
        return key ? get(registry, *key, args[2], out, err) : 2;
    }
    if (verb == "set" && n == 5) {
        const auto key = parseKey(args[1], err);
        return key ? set(registry, *key, args[2], args[3], args[4], err) : 2;
    }
    if (verb == "delete" && (n == 2 || n == 3)) {
        const auto key = parseKey(args[1], err);
        return key ? remove(registry, *key, n == 3 ? &args[2] : nullptr, err) : 2;
    }
    err << kUsage;
    return 2;
}

}  // namespace velkor::tools
