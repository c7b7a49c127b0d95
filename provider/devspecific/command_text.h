// Reading the arguments of the command texts. Internal to the command builders.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace velkor::devspecific::text {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The arguments: everything after the separator the client puts first.
inline std::string_view afterSeparator(std::string_view argument) {
    return argument.empty() ? argument : argument.substr(1);
}

// 1 to `maxDigits` decimal digits and nothing else.
inline std::optional<unsigned> decimal(std::string_view s, std::size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits) return std::nullopt;
    unsigned value = 0;
    for (const char c : s) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

// The value the digits in `field` spell, blanks before them skipped; reading
// stops at the first other character. 0 when there is no digit.
inline std::uint32_t numeric(std::span<const std::uint8_t> field) {
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ') ++i;
    std::uint32_t value = 0;
    for (; i < field.size() && isDigit(static_cast<char>(field[i])); ++i) {
        value = value * 10 + (field[i] - '0');
    }
    return value;
}

inline void append(std::vector<std::uint8_t>& out, std::string_view s) {
    out.insert(out.end(), s.begin(), s.end());
}

// `s` right-justified in `width` characters, `pad` on the left; `s` fits.
inline void appendRight(std::vector<std::uint8_t>& out, std::string_view s, std::size_t width,
                        char pad = ' ') {
    out.insert(out.end(), width - s.size(), static_cast<std::uint8_t>(pad));
    append(out, s);
}

}  // namespace velkor::devspecific::text
