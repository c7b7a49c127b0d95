#pragma once

#include <cstddef>
#include <string_view>

namespace velkor::platform {

// The first at most `maxBytes` bytes of `text`, shortened further so that no
// UTF-8 character is cut in two. Fixed byte counts of the system's 8-bit text
// fields apply to UTF-8 text this way.
inline std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to a character start.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace velkor::platform
