#include "tapi/host/text_conversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace velkor::tapi {
namespace {

TEST(TextConversionTest, RoundTripsAndReplacesWhatIsBroken) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case roundTrip[] = {
        {"STATION 201", u"STATION 201"},
        {"Jos\xC3\xA9 \xE2\x82\xAC", u"Jos\u00e9 \u20ac"},
        {"\xF0\x9F\x93\x9E", u"\U0001F4DE"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : roundTrip) {
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8);
    }
    const Case broken[] = {
        {"\xC3", u"\uFFFD"},                // cut short
        {"\xC0\xAF", u"\uFFFD\uFFFD"},      // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // a surrogate written as UTF-8
        {"\xFF" "a", u"\uFFFDa"},
    };
    for (const auto& c : broken) EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, static_cast<char16_t>(0xD800))), "\xEF\xBF\xBD");
}

// A LINEADDRESSSTATUS as a provider fills it: one forwarding entry whose
// destination is wide text after it.
std::vector<std::uint8_t> forwardedStatus(const std::u16string& destination) {
    const std::size_t textAt = sizeof(LINEADDRESSSTATUS) + sizeof(LINEFORWARD);
    std::vector<std::uint8_t> filled(textAt + (destination.size() + 1) * 2);
    LINEADDRESSSTATUS status{};
    status.dwTotalSize = status.dwNeededSize = status.dwUsedSize =
        static_cast<DWORD>(filled.size());
    status.dwForwardNumEntries = 1;
    status.dwForwardSize = sizeof(LINEFORWARD);
    status.dwForwardOffset = sizeof(LINEADDRESSSTATUS);
    LINEFORWARD forward{};
    forward.dwForwardMode = LINEFORWARDMODE_UNCOND;
    forward.dwDestAddressSize = static_cast<DWORD>((destination.size() + 1) * 2);
    forward.dwDestAddressOffset = static_cast<DWORD>(textAt);
    std::memcpy(filled.data(), &status, sizeof status);
    std::memcpy(filled.data() + sizeof status, &forward, sizeof forward);
    std::memcpy(filled.data() + textAt, destination.c_str(), forward.dwDestAddressSize);
    return filled;
}

// Records inside a structure carry offsets of their own; the narrowed copy
// points them at the narrowed text, or drops the records with the rest.
TEST(TextConversionTest, RecordsAreNarrowedWhereTheyPoint) {
    const auto filled = forwardedStatus(u"Jos\u00e9");
    std::vector<std::uint8_t> out(200, 0xEE);
    const DWORD total = static_cast<DWORD>(out.size());
    std::memcpy(out.data(), &total, sizeof total);
    narrowStructure(filled, lineAddressStatusLayout(), out.data());
    LINEADDRESSSTATUS status;
    std::memcpy(&status, out.data(), sizeof status);
    ASSERT_EQ(status.dwForwardNumEntries, 1u);
    LINEFORWARD forward;
    std::memcpy(&forward, out.data() + status.dwForwardOffset, sizeof forward);
    EXPECT_EQ(forward.dwForwardMode, LINEFORWARDMODE_UNCOND);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()) + forward.dwDestAddressOffset,
                          forward.dwDestAddressSize),
              std::string("Jos\xC3\xA9", 6));
    EXPECT_EQ(status.dwUsedSize, sizeof(LINEADDRESSSTATUS) + sizeof(LINEFORWARD) + 6);
    EXPECT_EQ(status.dwNeededSize, status.dwUsedSize);

    // Room for the fixed part only: no entries counted that are not there.
    std::vector<std::uint8_t> small(sizeof(LINEADDRESSSTATUS));
    const DWORD fixed = sizeof(LINEADDRESSSTATUS);
    std::memcpy(small.data(), &fixed, sizeof fixed);
    narrowStructure(filled, lineAddressStatusLayout(), small.data());
    std::memcpy(&status, small.data(), sizeof status);
    EXPECT_EQ(status.dwForwardNumEntries, 0u);
    EXPECT_EQ(status.dwForwardSize, 0u);
    EXPECT_EQ(status.dwUsedSize, sizeof(LINEADDRESSSTATUS));
    EXPECT_EQ(status.dwNeededSize, sizeof(LINEADDRESSSTATUS) + sizeof(LINEFORWARD) + 6);
}

// What an 8-bit caller passes becomes terminated wide text; a block whose
// fields point outside it is refused rather than read.
TEST(TextConversionTest, WideningTerminatesTextAndRefusesFieldsOutside) {
    alignas(4) unsigned char block[sizeof(LINECALLPARAMS) + 8] = {};
    auto* params = reinterpret_cast<LINECALLPARAMS*>(block);
    params->dwTotalSize = sizeof block;
    params->dwCommentSize = 2;  // "ab" without its zero
    params->dwCommentOffset = sizeof(LINECALLPARAMS);
    params->dwUserUserInfoSize = 2;  // data, not text
    params->dwUserUserInfoOffset = sizeof(LINECALLPARAMS) + 2;
    std::memcpy(block + sizeof(LINECALLPARAMS), "ab\0\1", 4);
    const auto wide = widenStructure(params, lineCallParamsLayout());
    ASSERT_TRUE(wide);
    LINECALLPARAMS w;
    std::memcpy(&w, wide->data(), sizeof w);
    EXPECT_EQ(w.dwTotalSize, wide->size());
    ASSERT_EQ(w.dwCommentSize, 6u);
    EXPECT_EQ(std::memcmp(wide->data() + w.dwCommentOffset, u"ab", 6), 0);
    ASSERT_EQ(w.dwUserUserInfoSize, 2u);
    EXPECT_EQ(std::memcmp(wide->data() + w.dwUserUserInfoOffset, "\0\1", 2), 0);

    params->dwCommentOffset = sizeof block - 1;
    EXPECT_FALSE(widenStructure(params, lineCallParamsLayout()));
    EXPECT_FALSE(fieldsInside(params, lineCallParamsLayout()));
}

}  // namespace
}  // namespace velkor::tapi
