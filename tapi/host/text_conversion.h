#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Records inside one variable field that have text fields of their own,
// their offsets counted from the start of the enclosing structure (the
// LINEFORWARD entries of LINEADDRESSSTATUS).
struct RecordArray {
    std::size_t field;        // index of the variable field holding the records
    std::size_t countMember;  // the member that counts them
    std::size_t recordSize;
    std::span<const VarField> fields;  // members within one record
};

// What the conversions need to know of one structure.
struct TextLayout {
    std::size_t fixedSize;
    std::span<const VarField> fields;
    // The member that states the text format (dwStringFormat), set to
    // STRINGFORMAT_ASCII once the text is 8-bit; 0 when there is none.
    std::size_t formatMember = 0;
    const RecordArray* records = nullptr;
};

// Copies a structure that a provider filled (its variable part with wide
// text) into `out`, whose dwTotalSize the caller set, turning every wide
// text field into 8-bit text. When `out` is too small for everything, only
// the fixed part is copied, the variable fields are emptied and
// dwNeededSize says how much is needed — as a provider does.
void narrowStructure(std::span<const std::uint8_t> filled, const TextLayout& layout, void* out);

// The wide copy of a structure an application passed with 8-bit text
// (LINECALLPARAMS): every text field converted and terminated, the other
// fields copied. nullopt when a field lies outside the caller's dwTotalSize.
// The copy's dwTotalSize is its own size.
std::optional<std::vector<std::uint8_t>> widenStructure(const void* narrow,
                                                        const TextLayout& layout);

// Whether every variable field of a structure an application passed lies
// inside its dwTotalSize (the wide forms hand it on as it is).
bool fieldsInside(const void* structure, const TextLayout& layout);

// The layouts the 8-bit forms convert.
const TextLayout& lineDevCapsLayout();
const TextLayout& lineAddressCapsLayout();
const TextLayout& lineAddressStatusLayout();
const TextLayout& lineCallInfoLayout();
const TextLayout& lineCallParamsLayout();
const TextLayout& varStringLayout();

// A forwarding list an application passed: its entries and texts must lie
// inside dwTotalSize. The wide copy gets every address terminated, whether
// or not the caller's size counted the terminating zero.
bool forwardListInside(const LINEFORWARDLIST& list);
std::optional<std::vector<std::uint8_t>> widenForwardList(const LINEFORWARDLIST& list);

}  // namespace velkor::tapi
