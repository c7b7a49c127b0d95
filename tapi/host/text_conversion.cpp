#include "tapi/host/text_conversion.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace velkor::tapi {

namespace {

DWORD readDword(std::span<const std::uint8_t> bytes, std::size_t at) {
    DWORD v = 0;
    if (at + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

void writeDword(std::uint8_t* base, std::size_t at, DWORD v) {
    std::memcpy(base + at, &v, sizeof v);
}

bool inside(DWORD size, DWORD offset, std::size_t total) {
    return size == 0 || (offset <= total && size <= total - offset);
}

// The content of the field whose members are at `sizeAt` and `offsetAt` of
// a filled structure, wide text turned into 8-bit text; empty when absent or
// pointing outside what the provider filled.
std::string narrowedField(std::span<const std::uint8_t> filled, std::size_t fixedSize,
                          std::size_t sizeAt, std::size_t offsetAt, bool wideText) {
    const DWORD size = readDword(filled, sizeAt);
    const DWORD offset = readDword(filled, offsetAt);
    if (size == 0 || offset < fixedSize || !inside(size, offset, filled.size())) return {};
    const auto* bytes = filled.data() + offset;
    if (!wideText) return std::string(reinterpret_cast<const char*>(bytes), size);
    std::u16string wide(size / 2, u'\0');
    std::memcpy(wide.data(), bytes, wide.size() * 2);
    return utf16ToUtf8(wide);
}

// An application's 8-bit text in the form a provider reads: wide and
// terminated, whether or not the caller's size counted the zero.
std::string widenedText(std::string_view text) {
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    const std::u16string wide = utf8ToUtf16(text) + u'\0';
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

// Appends `bytes` to `out` as the field whose members are at `sizeAt` and
// `offsetAt` of `out`.
void appendField(std::vector<std::uint8_t>& out, std::size_t sizeAt, std::size_t offsetAt,
                 const std::string& bytes) {
    const std::size_t at = out.size();
    out.insert(out.end(), bytes.begin(), bytes.end());
    writeDword(out.data(), sizeAt, static_cast<DWORD>(bytes.size()));
    writeDword(out.data(), offsetAt, bytes.empty() ? 0 : static_cast<DWORD>(at));
}

}  // namespace

void narrowStructure(std::span<const std::uint8_t> filled, const TextLayout& layout, void* out) {
    auto* dest = static_cast<std::uint8_t*>(out);
    DWORD total;
    std::memcpy(&total, dest, sizeof total);
    const auto& fields = layout.fields;

    // Convert every field first; the result decides whether all fits.
    std::vector<std::string> converted(fields.size());
    std::size_t needed = layout.fixedSize;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        converted[f] = narrowedField(filled, layout.fixedSize, fields[f].sizeMember,
                                     fields[f].offsetMember, fields[f].wideText);
        needed += converted[f].size();
    }
    // Text of the records, read through their members in the filled copy.
    const RecordArray* records = layout.records;
    std::vector<std::vector<std::string>> nested;
    if (records) {
        const std::size_t arrayAt = readDword(filled, fields[records->field].offsetMember);
        const std::size_t count =
            std::min<std::size_t>(readDword(filled, records->countMember),
                                  converted[records->field].size() / records->recordSize);
        nested.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t record = arrayAt + i * records->recordSize;
            for (const VarField& rf : records->fields) {
                nested[i].push_back(narrowedField(filled, layout.fixedSize, record + rf.sizeMember,
                                                  record + rf.offsetMember, rf.wideText));
                needed += nested[i].back().size();
            }
        }
    }

    const std::size_t fixedCopy = std::min<std::size_t>({layout.fixedSize, total, filled.size()});
    std::memcpy(dest, filled.data(), fixedCopy);
    writeDword(dest, 0, total);
    writeDword(dest, 4, static_cast<DWORD>(needed));
    const bool fits = needed <= total;
    std::size_t used = layout.fixedSize;
    std::vector<std::size_t> placedAt(fields.size(), 0);
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (!fits || converted[f].empty()) {
            writeDword(dest, fields[f].sizeMember, 0);
            writeDword(dest, fields[f].offsetMember, 0);
            continue;
        }
        std::memcpy(dest + used, converted[f].data(), converted[f].size());
        writeDword(dest, fields[f].sizeMember, static_cast<DWORD>(converted[f].size()));
        writeDword(dest, fields[f].offsetMember, static_cast<DWORD>(used));
        placedAt[f] = used;
        used += converted[f].size();
    }
    if (records) {
        const std::size_t arrayAt = placedAt[records->field];
        if (!fits || arrayAt == 0) {
            writeDword(dest, records->countMember, 0);
        } else {
            writeDword(dest, records->countMember, static_cast<DWORD>(nested.size()));
            for (std::size_t i = 0; i < nested.size(); ++i) {
                const std::size_t record = arrayAt + i * records->recordSize;
                for (std::size_t r = 0; r < records->fields.size(); ++r) {
                    const std::string& text = nested[i][r];
                    std::memcpy(dest + used, text.data(), text.size());
                    writeDword(dest, record + records->fields[r].sizeMember,
                               static_cast<DWORD>(text.size()));
                    writeDword(dest, record + records->fields[r].offsetMember,
                               text.empty() ? 0 : static_cast<DWORD>(used));
                    used += text.size();
                }
            }
        }
    }
    writeDword(dest, 8, static_cast<DWORD>(used));
    if (layout.formatMember && layout.formatMember + 4 <= total) {
        writeDword(dest, layout.formatMember, STRINGFORMAT_ASCII);
    }
}

bool fieldsInside(const void* structure, const TextLayout& layout) {
    const auto* base = static_cast<const std::uint8_t*>(structure);
    DWORD total;
    std::memcpy(&total, base, sizeof total);
    if (total < layout.fixedSize) return false;
    const std::span<const std::uint8_t> bytes(base, total);
    return std::all_of(layout.fields.begin(), layout.fields.end(), [&](const VarField& f) {
        return inside(readDword(bytes, f.sizeMember), readDword(bytes, f.offsetMember), total);
    });
}

std::optional<std::vector<std::uint8_t>> widenStructure(const void* narrow,
                                                        const TextLayout& layout) {
    if (!fieldsInside(narrow, layout)) return std::nullopt;
    const auto* base = static_cast<const std::uint8_t*>(narrow);
    DWORD total;
    std::memcpy(&total, base, sizeof total);
    const std::span<const std::uint8_t> bytes(base, total);
    std::vector<std::uint8_t> out(base, base + layout.fixedSize);
    for (const VarField& f : layout.fields) {
        const DWORD size = readDword(bytes, f.sizeMember);
        const DWORD offset = readDword(bytes, f.offsetMember);
        if (size == 0) {
            writeDword(out.data(), f.sizeMember, 0);
            writeDword(out.data(), f.offsetMember, 0);
            continue;
        }
        const std::string content(reinterpret_cast<const char*>(base + offset), size);
        appendField(out, f.sizeMember, f.offsetMember, f.wideText ? widenedText(content) : content);
    }
    writeDword(out.data(), 0, static_cast<DWORD>(out.size()));
    return out;
}

namespace {

constexpr std::size_t kForwardEntriesAt = offsetof(LINEFORWARDLIST, ForwardList);

// The addresses of one LINEFORWARD, relative to the entry.
constexpr std::array<VarField, 2> kForwardTexts{{
    {offsetof(LINEFORWARD, dwCallerAddressSize), offsetof(LINEFORWARD, dwCallerAddressOffset),
     true},
    {offsetof(LINEFORWARD, dwDestAddressSize), offsetof(LINEFORWARD, dwDestAddressOffset), true},
}};

}  // namespace

bool forwardListInside(const LINEFORWARDLIST& list) {
    const std::uint64_t entriesEnd =
        kForwardEntriesAt + std::uint64_t{list.dwNumEntries} * sizeof(LINEFORWARD);
    if (list.dwTotalSize < kForwardEntriesAt || entriesEnd > list.dwTotalSize) return false;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(&list),
                                              list.dwTotalSize);
    for (DWORD i = 0; i < list.dwNumEntries; ++i) {
        const std::size_t entry = kForwardEntriesAt + i * sizeof(LINEFORWARD);
        for (const VarField& f : kForwardTexts) {
            if (!inside(readDword(bytes, entry + f.sizeMember),
                        readDword(bytes, entry + f.offsetMember), list.dwTotalSize)) {
                return false;
            }
        }
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> widenForwardList(const LINEFORWARDLIST& list) {
    if (!forwardListInside(list)) return std::nullopt;
    const auto* base = reinterpret_cast<const std::uint8_t*>(&list);
    const std::span<const std::uint8_t> bytes(base, list.dwTotalSize);
    std::vector<std::uint8_t> out(
        base, base + kForwardEntriesAt + list.dwNumEntries * sizeof(LINEFORWARD));
    for (DWORD i = 0; i < list.dwNumEntries; ++i) {
        const std::size_t entry = kForwardEntriesAt + i * sizeof(LINEFORWARD);
        for (const VarField& f : kForwardTexts) {
            const DWORD size = readDword(bytes, entry + f.sizeMember);
            const DWORD offset = readDword(bytes, entry + f.offsetMember);
            const std::string text =
                size ? widenedText({reinterpret_cast<const char*>(base + offset), size}) : "";
            appendField(out, entry + f.sizeMember, entry + f.offsetMember, text);
        }
    }
    writeDword(out.data(), 0, static_cast<DWORD>(out.size()));
    return out;
}

#define VELKOR_FIELD(type, name, wide) \
    VarField { offsetof(type, dw##name##Size), offsetof(type, dw##name##Offset), wide }

const TextLayout& lineDevCapsLayout() {
    static const std::array<VarField, 7> fields{{
        VELKOR_FIELD(LINEDEVCAPS, ProviderInfo, true),
        VELKOR_FIELD(LINEDEVCAPS, SwitchInfo, true),
        VELKOR_FIELD(LINEDEVCAPS, LineName, true),
        VELKOR_FIELD(LINEDEVCAPS, TerminalCaps, false),
        VELKOR_FIELD(LINEDEVCAPS, TerminalText, true),
        VELKOR_FIELD(LINEDEVCAPS, DevSpecific, false),
        VELKOR_FIELD(LINEDEVCAPS, DeviceClasses, true),
    }};
    static const TextLayout layout{sizeof(LINEDEVCAPS), fields,
                                   offsetof(LINEDEVCAPS, dwStringFormat)};
    return layout;
}

// The completion message texts are entries of a fixed size and the call
// treatment names sit inside records: both stay as the provider gave them.
const TextLayout& lineAddressCapsLayout() {
    static const std::array<VarField, 5> fields{{
        VELKOR_FIELD(LINEADDRESSCAPS, Address, true),
        VELKOR_FIELD(LINEADDRESSCAPS, DevSpecific, false),
        VELKOR_FIELD(LINEADDRESSCAPS, CompletionMsgText, false),
        VELKOR_FIELD(LINEADDRESSCAPS, CallTreatmentList, false),
        VELKOR_FIELD(LINEADDRESSCAPS, DeviceClasses, true),
    }};
    static const TextLayout layout{sizeof(LINEADDRESSCAPS), fields};
    return layout;
}

const TextLayout& lineAddressStatusLayout() {
    static const std::array<VarField, 3> fields{{
        VELKOR_FIELD(LINEADDRESSSTATUS, Forward, false),
        VELKOR_FIELD(LINEADDRESSSTATUS, TerminalModes, false),
        VELKOR_FIELD(LINEADDRESSSTATUS, DevSpecific, false),
    }};
    static const RecordArray forwards{0, offsetof(LINEADDRESSSTATUS, dwForwardNumEntries),
                                      sizeof(LINEFORWARD), kForwardTexts};
    static const TextLayout layout{sizeof(LINEADDRESSSTATUS), fields, 0, &forwards};
    return layout;
}

// Display, charging information, user-user information and the rest are
// raw data of the network or of the applications, not text.
const TextLayout& lineCallInfoLayout() {
    static const std::array<VarField, 24> fields{{
        VELKOR_FIELD(LINECALLINFO, CallerID, true),
        VELKOR_FIELD(LINECALLINFO, CallerIDName, true),
        VELKOR_FIELD(LINECALLINFO, CalledID, true),
        VELKOR_FIELD(LINECALLINFO, CalledIDName, true),
        VELKOR_FIELD(LINECALLINFO, ConnectedID, true),
        VELKOR_FIELD(LINECALLINFO, ConnectedIDName, true),
        VELKOR_FIELD(LINECALLINFO, RedirectionID, true),
        VELKOR_FIELD(LINECALLINFO, RedirectionIDName, true),
        VELKOR_FIELD(LINECALLINFO, RedirectingID, true),
        VELKOR_FIELD(LINECALLINFO, RedirectingIDName, true),
        VELKOR_FIELD(LINECALLINFO, AppName, true),
        VELKOR_FIELD(LINECALLINFO, DisplayableAddress, true),
        VELKOR_FIELD(LINECALLINFO, CalledParty, true),
        VELKOR_FIELD(LINECALLINFO, Comment, true),
        VELKOR_FIELD(LINECALLINFO, Display, false),
        VELKOR_FIELD(LINECALLINFO, UserUserInfo, false),
        VELKOR_FIELD(LINECALLINFO, HighLevelComp, false),
        VELKOR_FIELD(LINECALLINFO, LowLevelComp, false),
        VELKOR_FIELD(LINECALLINFO, ChargingInfo, false),
        VELKOR_FIELD(LINECALLINFO, TerminalModes, false),
        VELKOR_FIELD(LINECALLINFO, DevSpecific, false),
        VELKOR_FIELD(LINECALLINFO, CallData, false),
        VELKOR_FIELD(LINECALLINFO, SendingFlowspec, false),
        VELKOR_FIELD(LINECALLINFO, ReceivingFlowspec, false),
    }};
    static const TextLayout layout{sizeof(LINECALLINFO), fields};
    return layout;
}

const TextLayout& lineCallParamsLayout() {
    static const std::array<VarField, 15> fields{{
        VELKOR_FIELD(LINECALLPARAMS, OrigAddress, true),
        VELKOR_FIELD(LINECALLPARAMS, DisplayableAddress, true),
        VELKOR_FIELD(LINECALLPARAMS, CalledParty, true),
        VELKOR_FIELD(LINECALLPARAMS, Comment, true),
        VELKOR_FIELD(LINECALLPARAMS, UserUserInfo, false),
        VELKOR_FIELD(LINECALLPARAMS, HighLevelComp, false),
        VELKOR_FIELD(LINECALLPARAMS, LowLevelComp, false),
        VELKOR_FIELD(LINECALLPARAMS, DevSpecific, false),
        VELKOR_FIELD(LINECALLPARAMS, TargetAddress, true),
        VELKOR_FIELD(LINECALLPARAMS, SendingFlowspec, false),
        VELKOR_FIELD(LINECALLPARAMS, ReceivingFlowspec, false),
        VELKOR_FIELD(LINECALLPARAMS, DeviceClass, true),
        VELKOR_FIELD(LINECALLPARAMS, DeviceConfig, false),
        VELKOR_FIELD(LINECALLPARAMS, CallData, false),
        VELKOR_FIELD(LINECALLPARAMS, CallingPartyID, true),
    }};
    static const TextLayout layout{sizeof(LINECALLPARAMS), fields};
    return layout;
}

const TextLayout& varStringLayout() {
    static const std::array<VarField, 1> fields{{VELKOR_FIELD(VARSTRING, String, true)}};
    static const TextLayout layout{sizeof(VARSTRING), fields, offsetof(VARSTRING, dwStringFormat)};
    return layout;
}

#undef VELKOR_FIELD

}  // namespace velkor::tapi
