#include "tapi/host/text_conversion.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

namespace velkor::tapi {

namespace {

DWORD readDword(std::span<const std::uint8_t> bytes, std::size_t at) {
    DWORD v = 0;
    if (at + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

void writeDword(std::uint8_t* base, std::size_t at, DWORD v) { std::memcpy(base + at, &v, sizeof v); }

}  // namespace

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
