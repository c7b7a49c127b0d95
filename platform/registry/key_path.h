#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace velkor::platform {

enum class Hive {
    LocalMachine,
    CurrentUser,
};

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
const char* hiveName(Hive hive);

// Key paths are backslash-separated and, as in the system they come from,
// compared without regard to ASCII case. normalizeKeyPath drops empty
// components, so "\Software\\Caldra\" is "Software\Caldra".
std::string normalizeKeyPath(std::string_view path);
// Lower-cased form used for comparisons.
std::string foldKeyText(std::string_view text);
bool sameKeyText(std::string_view a, std::string_view b);

// Splits "HKEY_CURRENT_USER\Software\X" (or "HKCU\Software\X") into the hive
// and the normalised path below it; nullopt for an unknown hive name.
std::optional<std::pair<Hive, std::string>> parseFullKeyPath(std::string_view text);

}  // namespace velkor::platform
