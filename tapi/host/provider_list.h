#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace velkor::tapi {

// The installed providers, as the registry lists them under the key below in
// HKEY_LOCAL_MACHINE: NumProviders, NextProviderID, and for n = 0 ..
// NumProviders-1 ProviderFileName<n> and ProviderID<n>.
inline constexpr std::string_view kProvidersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Providers";

struct ProviderEntry {
    std::uint32_t permanentId = 0;
    std::string fileName;  // as registered
};

class ProviderList {
public:
    explicit ProviderList(platform::Registry registry = platform::Registry::standard());

    // Entries in registration order; an entry with a missing file name is
    // skipped.
    std::vector<ProviderEntry> read() const;

    // Registers a provider and returns its new permanent ID.
    std::optional<std::uint32_t> add(std::string_view fileName);
    // Removes the provider with this ID; false when there is none.
    bool remove(std::uint32_t permanentId);

private:
    bool write(const std::vector<ProviderEntry>& entries, std::uint32_t nextId);

    platform::Registry m_registry;
};

// Where a registered file name is looked for: an absolute path as it
// stands; a bare name in the folders of VELKOR_PROVIDER_PATH (separated by
// ':'), then beside the running executable, then in the installed provider
// folder. Within a folder an exact name wins over one that differs only in
// case, so "VelkorSp.tsp" still finds velkorsp.tsp.
std::vector<std::filesystem::path> providerSearchFolders();
std::optional<std::filesystem::path> resolveProviderFile(std::string_view fileName);

// The file-name part of a registered name: what follows the last '/' or '\'.
std::string_view providerBaseName(std::string_view fileName);

}  // namespace velkor::tapi
