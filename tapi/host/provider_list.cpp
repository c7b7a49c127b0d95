#include "tapi/host/provider_list.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "platform/registry/key_path.h"

#ifndef VELKOR_PROVIDER_INSTALL_DIR
#define VELKOR_PROVIDER_INSTALL_DIR "/usr/local/lib/velkor"
#endif

namespace velkor::tapi {

using platform::Hive;

ProviderList::ProviderList(platform::Registry registry) : m_registry(std::move(registry)) {}

std::vector<ProviderEntry> ProviderList::read() const {
    std::vector<ProviderEntry> entries;
    const auto count = m_registry.readDword(Hive::LocalMachine, kProvidersKey, "NumProviders");
    if (!count) return entries;
    // A damaged count must not make us walk four billion names.
    const std::uint32_t limit = std::min<std::uint32_t>(*count, 1000);
    for (std::uint32_t n = 0; n < limit; ++n) {
        const std::string suffix = std::to_string(n);
        auto name = m_registry.readString(Hive::LocalMachine, kProvidersKey,
                                          "ProviderFileName" + suffix);
        if (!name || name->empty()) continue;
        const auto id = m_registry.readDword(Hive::LocalMachine, kProvidersKey, "ProviderID" + suffix);
        entries.push_back(ProviderEntry{id.value_or(n + 1), std::move(*name)});
    }
    return entries;
}

bool ProviderList::write(const std::vector<ProviderEntry>& entries, std::uint32_t nextId) {
    // Rewrite the numbered values from scratch so that no stale entry
    // survives beyond NumProviders.
    for (const auto& value : m_registry.values(Hive::LocalMachine, kProvidersKey)) {
        if (value.name.starts_with("ProviderFileName") || value.name.starts_with("ProviderID")) {
            m_registry.deleteValue(Hive::LocalMachine, kProvidersKey, value.name);
        }
    }
    bool ok = true;
    for (std::size_t n = 0; n < entries.size(); ++n) {
        const std::string suffix = std::to_string(n);
        ok = m_registry.writeString(Hive::LocalMachine, kProvidersKey, "ProviderFileName" + suffix,
                                    entries[n].fileName) && ok;
        ok = m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "ProviderID" + suffix,
                                   entries[n].permanentId) && ok;
    }
    ok = m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "NumProviders",
                               static_cast<std::uint32_t>(entries.size())) && ok;
    ok = m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "NextProviderID", nextId) && ok;
    return ok;
}

std::optional<std::uint32_t> ProviderList::add(std::string_view fileName) {
    auto entries = read();
    std::uint32_t nextId =
        m_registry.readDword(Hive::LocalMachine, kProvidersKey, "NextProviderID").value_or(1);
    for (const auto& e : entries) nextId = std::max(nextId, e.permanentId + 1);
    const std::uint32_t id = nextId;
    entries.push_back(ProviderEntry{id, std::string(fileName)});
    if (!write(entries, id + 1)) return std::nullopt;
    return id;
}

bool ProviderList::remove(std::uint32_t permanentId) {
    auto entries = read();
    const auto removed = std::erase_if(
        entries, [&](const ProviderEntry& e) { return e.permanentId == permanentId; });
    if (removed == 0) return false;
    const std::uint32_t nextId =
        m_registry.readDword(Hive::LocalMachine, kProvidersKey, "NextProviderID").value_or(1);
    return write(entries, nextId);
}

std::string_view providerBaseName(std::string_view fileName) {
    const std::size_t cut = fileName.find_last_of("/\\");
    return cut == std::string_view::npos ? fileName : fileName.substr(cut + 1);
}

std::vector<std::filesystem::path> providerSearchFolders() {
    std::vector<std::filesystem::path> folders;
    if (const char* path = std::getenv("VELKOR_PROVIDER_PATH")) {
        std::string_view rest = path;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string_view part = rest.substr(0, colon);
            if (!part.empty()) folders.emplace_back(part);
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    }
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) folders.push_back(exe.parent_path());
    folders.emplace_back(VELKOR_PROVIDER_INSTALL_DIR);
    return folders;
}

std::optional<std::filesystem::path> resolveProviderFile(std::string_view fileName) {
    std::error_code error;
    const std::filesystem::path given(fileName);
    if (given.is_absolute()) {
        if (std::filesystem::is_regular_file(given, error)) return given;
        return std::nullopt;
    }
    const std::string_view base = providerBaseName(fileName);
    for (const auto& folder : providerSearchFolders()) {
        const auto exact = folder / base;
        if (std::filesystem::is_regular_file(exact, error)) return exact;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.is_regular_file(error) &&
                platform::sameKeyText(entry.path().filename().string(), base)) {
                return entry.path();
            }
        }
    }
    return std::nullopt;
}

}  // namespace velkor::tapi
