#pragma once

// What the benchmarks that run the provider against the simulator share: a
// registry of their own in a temporary folder, the provider's settings in
// it, loopback addresses from the command line and the order statistics of
// their reports.

#include <arpa/inet.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace velkor::bench {

inline constexpr const char* kProviderKey = "Software\\Microsoft\\PCApplication\\VELKORSP";
inline constexpr const char* kProvidersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Providers";

// A dotted IPv4 address on loopback (127.x.y.z) as the registry holds it,
// the first octet most significant; nullopt for anything else.
inline std::optional<std::uint32_t> parseLoopbackAddress(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    const std::uint32_t value = ntohl(address.s_addr);
    if ((value >> 24) != 127) return std::nullopt;
    return value;
}

// The value of "--flag=value" when `arg` is that flag.
inline std::optional<std::string> flagValue(const std::string& arg, const char* flag) {
    const std::string prefix = std::string(flag) + "=";
    if (!arg.starts_with(prefix)) return std::nullopt;
    return arg.substr(prefix.size());
}

// A folder of the benchmark's own under /tmp whose "registry" subfolder is
// the registry of this process. Call it before the telephony layer first
// reads the registry; an empty path when the folder cannot be made.
inline std::filesystem::path makePrivateRegistry(const char* name) {
    std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    const std::filesystem::path root = pattern;
    setenv("VELKOR_REGISTRY_DIR", (root / "registry").c_str(), 1);
    return root;
}

// The provider installed as the only one, talking UDP to the simulator:
// `system1` is the registry value System of the small system.
inline bool writeProviderSettings(const std::filesystem::path& registryDir,
                                  const std::string& providerFile, std::uint32_t pbxAddress,
                                  std::uint32_t localAddress, bool system1) {
    platform::Registry reg(registryDir);
    const auto hklm = platform::Hive::LocalMachine;
    return reg.writeDword(hklm, kProviderKey, "CommunicationMethod", 2) &&
           reg.writeDword(hklm, kProviderKey, "ConnectionMode", 0) &&
           reg.writeDword(hklm, kProviderKey, "VELKORIPAddress", pbxAddress) &&
           reg.writeDword(hklm, kProviderKey, "LocalIPAddress", localAddress) &&
           reg.writeDword(hklm, kProviderKey, "System", system1 ? 1 : 0) &&
           reg.writeDword(hklm, kProvidersKey, "NumProviders", 1) &&
           reg.writeDword(hklm, kProvidersKey, "NextProviderID", 2) &&
           reg.writeString(hklm, kProvidersKey, "ProviderFileName0", providerFile) &&
           reg.writeDword(hklm, kProvidersKey, "ProviderID0", 1);
}

// The p-quantile (0 <= p <= 1) of `values`, interpolated between the two
// nearest ranks, so that p = 0.5 is the usual median; 0 for no values.
inline double quantile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::clamp(p, 0.0, 1.0) * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, values.size() - 1);
    const double fraction = rank - static_cast<double>(below);
    return values[below] + (values[above] - values[below]) * fraction;
}

inline double median(std::vector<double> values) { return quantile(std::move(values), 0.5); }

}  // namespace velkor::bench
