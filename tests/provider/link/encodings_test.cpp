#include "provider/link/encodings.h"

#include <gtest/gtest.h>

#include "link_test_util.h"

namespace velkor::link {
namespace {

using namespace testing;

std::string str(const std::optional<Num4>& n) { return n ? std::string(n->begin(), n->end()) : "-"; }
std::string str(const std::optional<Co3>& n) { return n ? std::string(n->begin(), n->end()) : "-"; }

struct Num4Case {
    const char* number;
    const char* right;
    const char* left;
};

const Num4Case kNum4Cases[] = {
    {"21", "  21", "21  "},
    {"1234", "1234", "1234"},
    {"7", "   7", "7   "},
    {"0100", "0100", "0100"},
    {"", "-", "-"},
    {"12345", "-", "-"},
};

TEST(Num4, JustifiedAndBlankPadded) {
    for (const auto& c : kNum4Cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(str(encodeNum4(c.number, Justify::Right)), c.right);
        EXPECT_EQ(str(encodeNum4(c.number, Justify::Left)), c.left);
    }
}

TEST(Num4, CallRequestsFollowTheDialect) {
    EXPECT_EQ(str(encodeCallNum4("21", Dialect::Legacy)), "  21");
    EXPECT_EQ(str(encodeCallNum4("21", Dialect::Extended)), "21  ");
}

TEST(Num4, DecodeKeepsAllFourCharactersAndNeedsThem) {
    EXPECT_EQ(decodeNum4(text("  21xyz")), "  21");
    EXPECT_FALSE(decodeNum4(text(" 21")));
    EXPECT_FALSE(decodeNum4({}));
    EXPECT_EQ(trimNumber("  21"), "21");
    EXPECT_EQ(trimNumber("21  "), "21");
    EXPECT_EQ(trimNumber("    "), "");
}

struct Co3Case {
    const char* number;
    const char* wire;
};

const Co3Case kCo3Cases[] = {
    {"099", " 99"}, {"001", "  1"}, {"123", "123"}, {"5", "  5"},  {"05", "  5"},
    {"100", "100"}, {"000", "  0"}, {"NET", "NET"}, {"1234", "-"}, {"", "-"},
};

TEST(Co3, LeadingZerosBecomeBlanks) {
    for (const auto& c : kCo3Cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(str(encodeCo3(c.number)), c.wire);
    }
    EXPECT_EQ(decodeCo3(text(" 99")), " 99");
    EXPECT_FALSE(decodeCo3(text("99")));
}

struct PackedCase {
    const char* digits;
    const char* packed;  // hex; "-" when refused
};

const PackedCase kPackedCases[] = {
    {"1234567890", "12 34 56 78 9A"},
    {"*#,T!", "BC DE F0"},
    {"t", "E0"},
    {"0", "A0"},
    {"", ""},
    {"12a", "-"},
    {"1 2", "-"},
};

TEST(PackedDigits, OneNibblePerCharacterHighFirst) {
    for (const auto& c : kPackedCases) {
        SCOPED_TRACE(c.digits);
        const auto packed = encodePackedDigits(c.digits);
        if (std::string(c.packed) == "-") {
            EXPECT_FALSE(packed);
            continue;
        }
        ASSERT_TRUE(packed);
        EXPECT_EQ(toHex(*packed), toHex(hex(c.packed)));
    }
}

TEST(PackedDigits, DecodeStopsAtPaddingAndSurvivesGarbage) {
    EXPECT_EQ(decodePackedDigits(hex("12 34 5A BC DE F0 77")), "123450*#,T!");
    EXPECT_EQ(decodePackedDigits(hex("0F FF")), "");
    EXPECT_EQ(decodePackedDigits({}), "");
}

TEST(DialNumber, AsciiInExtendedPackedInLegacy) {
    EXPECT_EQ(toHex(*encodeDialNumber("0123", Dialect::Extended)), toHex(text("0123")));
    EXPECT_EQ(toHex(*encodeDialNumber("0123", Dialect::Legacy)), "A123");
}

struct BcdCase {
    const char* bytes;
    int value;  // -1 when nothing is decoded
};

const BcdCase kBcdCases[] = {
    {"12 34", 1234}, {"00 21", 21}, {"10 20", 1020}, {"21 FF", 21},
    {"FF FF", -1},   {"99 99", 9999}, {"12", -1},     {"", -1},
};

TEST(Bcd, FourDecimalDigitsHighNibbleFirst) {
    for (const auto& c : kBcdCases) {
        SCOPED_TRACE(c.bytes);
        const auto value = decodeBcd4(hex(c.bytes));
        EXPECT_EQ(value ? int(*value) : -1, c.value);
    }
}

TEST(Dialect, FromTheSessionReply) {
    EXPECT_EQ(dialectFromSessionReply(text("6#")), Dialect::Extended);
    EXPECT_EQ(dialectFromSessionReply(text("6!")), Dialect::Legacy);
    EXPECT_EQ(dialectFromSessionReply(text("6")), Dialect::Legacy);
    EXPECT_EQ(dialectFromSessionReply({}), Dialect::Legacy);
    EXPECT_EQ(static_cast<int>(Dialect::Legacy), 0x21);
    EXPECT_EQ(static_cast<int>(Dialect::Extended), 0x22);
    EXPECT_EQ(dialectFromByte('#'), Dialect::Extended);
    EXPECT_EQ(dialectFromByte('!'), Dialect::Legacy);
}

}  // namespace
}  // namespace velkor::link
