#include "tapi/host/text_conversion.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velkor::tapi
