// A caller's block for the structures the provider fills, with a guard
// region behind it: every byte starts as a pattern, so a test sees what was
// written and that nothing was written past dwTotalSize.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tapi.h"

namespace velkor::core::testing {

inline constexpr std::size_t kGuard = 64;
inline constexpr std::uint8_t kPattern = 0xA5;

struct Block {
    // `total` bytes with dwTotalSize set, and the guard behind them.
    explicit Block(DWORD total) : bytes(total + kGuard, kPattern) {
        std::memcpy(bytes.data(), &total, sizeof total);
    }
    template <typename T>
    T* as() {
        return reinterpret_cast<T*>(bytes.data());
    }
    // True when no byte in [from, to) was written; to = 0: up to the end.
    bool untouched(std::size_t from, std::size_t to = 0) const {
        const auto end = to == 0 ? bytes.end() : bytes.begin() + static_cast<std::ptrdiff_t>(to);
        return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from), end,
                           [](std::uint8_t b) { return b == kPattern; });
    }
    std::vector<std::uint8_t> bytes;
};

// The wide text of a Size/Offset pair: UTF-16LE on an even offset, read up
// to its NUL, which must be inside the size.
inline std::u16string wideAt(const Block& block, DWORD offset, DWORD size) {
    EXPECT_EQ(offset % 2, 0u) << "wide text on an odd offset";
    EXPECT_EQ(size % 2, 0u);
    EXPECT_LE(std::size_t{offset} + size, block.bytes.size());
    std::u16string text;
    for (DWORD i = 0; i + 1 < size && offset + i + 1 < block.bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(block.bytes[offset + i] |
                                             (block.bytes[offset + i + 1] << 8)));
    }
    const auto nul = text.find(u'\0');
    EXPECT_NE(nul, std::u16string::npos) << "text without its NUL";
    if (nul != std::u16string::npos) text.resize(nul);
    return text;
}

}  // namespace velkor::core::testing
