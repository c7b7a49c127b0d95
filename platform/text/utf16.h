#pragma once

#include <string>
#include <string_view>

namespace velkor::platform {

// 8-bit text is UTF-8; wide text in the telephony structures is UTF-16.
// Invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace velkor::platform
