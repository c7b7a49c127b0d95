#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/text/utf16.h"
#include "tapi.h"

namespace velkor::tapi {

using platform::utf16ToUtf8;
using platform::utf8ToUtf16;

// A variable-size field of a TAPI structure: the byte offsets of its size
// and offset members, and whether it holds wide text.
struct VarField {
    std::size_t sizeMember;
    std::size_t offsetMember;
    bool wideText;
};

// Copies a structure that a provider filled (its variable part with wide
// text) into `out`, whose dwTotalSize the caller set, turning every wide
// text field into 8-bit text. When `out` is too small for everything, only
// the fixed part is copied, the variable fields are emptied and
// dwNeededSize says how much is needed — as a provider does.
void narrowStructure(std::span<const std::uint8_t> filled, std::size_t fixedSize,
                     std::span<const VarField> fields, void* out);

// The text fields of LINEDEVCAPS that the 8-bit forms convert.
std::span<const VarField> lineDevCapsFields();

}  // namespace velkor::tapi
