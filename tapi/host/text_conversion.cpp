#include "tapi/host/text_conversion.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

namespace velkor::tapi {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

DWORD readDword(std::span<const std::uint8_t> bytes, std::size_t at) {
    DWORD v = 0;
    if (at + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

void writeDword(std::uint8_t* base, std::size_t at, DWORD v) { std::memcpy(base + at, &v, sizeof v); }

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        char32_t c;
        std::size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            out += static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        bool valid = i + extra < text.size();
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) {
                valid = false;
            } else {
                c = (c << 6) | (cont & 0x3F);
            }
        }
        const bool overlong = (extra == 1 && c < 0x80) || (extra == 2 && c < 0x800) ||
                              (extra == 3 && c < 0x10000);
        if (!valid || overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

void narrowStructure(std::span<const std::uint8_t> filled, std::size_t fixedSize,
                     std::span<const VarField> fields, void* out) {
    auto* dest = static_cast<std::uint8_t*>(out);
    DWORD total;
    std::memcpy(&total, dest, sizeof total);

    // Convert every field first; the result decides whether all fits.
    std::vector<std::string> converted(fields.size());
    std::size_t needed = fixedSize;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const DWORD size = readDword(filled, fields[f].sizeMember);
        const DWORD offset = readDword(filled, fields[f].offsetMember);
        if (size == 0 || offset < fixedSize || offset > filled.size() ||
            size > filled.size() - offset) {
            continue;  // absent, or pointing outside what the provider filled
        }
        const auto* bytes = filled.data() + offset;
        if (fields[f].wideText) {
            std::u16string wide(size / 2, u'\0');
            std::memcpy(wide.data(), bytes, wide.size() * 2);
            converted[f] = utf16ToUtf8(wide);
        } else {
            converted[f].assign(reinterpret_cast<const char*>(bytes), size);
        }
        needed += converted[f].size();
    }

    const std::size_t fixedCopy = std::min<std::size_t>({fixedSize, total, filled.size()});
    std::memcpy(dest, filled.data(), fixedCopy);
    writeDword(dest, 0, total);
    writeDword(dest, 4, static_cast<DWORD>(needed));
    const bool fits = needed <= total;
    std::size_t used = fixedSize;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (!fits || converted[f].empty()) {
            writeDword(dest, fields[f].sizeMember, 0);
            writeDword(dest, fields[f].offsetMember, 0);
            continue;
        }
        std::memcpy(dest + used, converted[f].data(), converted[f].size());
        writeDword(dest, fields[f].sizeMember, static_cast<DWORD>(converted[f].size()));
        writeDword(dest, fields[f].offsetMember, static_cast<DWORD>(used));
        used += converted[f].size();
    }
    writeDword(dest, 8, static_cast<DWORD>(used));
}

std::span<const VarField> lineDevCapsFields() {
#define VELKOR_FIELD(name, wide) \
    VarField{offsetof(LINEDEVCAPS, dw##name##Size), offsetof(LINEDEVCAPS, dw##name##Offset), wide}
    static const std::array<VarField, 7> fields{{
        VELKOR_FIELD(ProviderInfo, true),
        VELKOR_FIELD(SwitchInfo, true),
        VELKOR_FIELD(LineName, true),
        VELKOR_FIELD(TerminalCaps, false),
        VELKOR_FIELD(TerminalText, true),
        VELKOR_FIELD(DevSpecific, false),
        VELKOR_FIELD(DeviceClasses, true),
    }};
#undef VELKOR_FIELD
    return fields;
}

}  // namespace velkor::tapi
