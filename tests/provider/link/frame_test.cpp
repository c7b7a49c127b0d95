#include "provider/link/frame.h"

#include <gtest/gtest.h>

#include "link_test_util.h"

namespace velkor::link {
namespace {

using testing::Bytes;
using testing::hex;
using testing::toHex;

struct LengthCase {
    std::size_t length;
    std::uint8_t byte;
};

// Bit 6 carries NOT bit 0, bit 7 carries NOT bit 5.
constexpr LengthCase kLengthCases[] = {
    {0, 0xC0}, {1, 0x81}, {4, 0xC4}, {31, 0x9F}, {32, 0x60}, {33, 0x21}, {62, 0x7E}, {63, 0x3F},
};

TEST(LengthByte, CarriesGuardBits) {
    for (const auto& c : kLengthCases) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(encodeLengthByte(c.length), c.byte);
        EXPECT_EQ(decodeLengthByte(c.byte), c.length);
    }
}

TEST(LengthByte, ExactlyOneValidByteForEachLength) {
    int valid = 0;
    for (int b = 0; b < 256; ++b) {
        const auto length = decodeLengthByte(static_cast<std::uint8_t>(b));
        if (!length) continue;
        ++valid;
        EXPECT_EQ(encodeLengthByte(*length), b);
    }
    EXPECT_EQ(valid, 64);
}

TEST(LengthByte, WrongGuardBitsRejected) {
    EXPECT_FALSE(decodeLengthByte(0x04));  // L = 4 without its guard bits
    EXPECT_FALSE(decodeLengthByte(0x84));  // bit 6 missing
    EXPECT_FALSE(decodeLengthByte(0x44));  // bit 7 missing
    EXPECT_FALSE(decodeLengthByte(0xE1));  // L = 33 with both guards set
}

TEST(Checksum, CoversTypeAndLengthBytes) {
    EXPECT_EQ(frameChecksum(0xA0, 0xC0, {}), 0xFF ^ 0xA0 ^ 0xC0);
    EXPECT_NE(frameChecksum(0xA0, 0xC0, {}), frameChecksum(0xB0, 0xC0, {}));
    const Bytes payload = hex("00 00 05 20");
    EXPECT_EQ(frameChecksum(0xA0, 0xC4, payload), 0xBE);
}

TEST(EncodeFrame, MatchesWireLayout) {
    Bytes out(kFrameTemplateSize);
    const Bytes payload = hex("00 00 05 20");
    out.resize(encodeFrame(kTypeCti, payload, out));
    EXPECT_EQ(toHex(out), "BAECA0C400000520BEBC");
}

TEST(EncodeFrame, AcceptsSixtyThreeBytesAndRefusesMore) {
    Bytes out(kFrameTemplateSize);
    const Bytes max(63, 0x11);
    EXPECT_EQ(encodeFrame(kTypeAtd, max, out), 69u);
    EXPECT_EQ(out[3], 0x3F);
    const Bytes over(64, 0x11);
    EXPECT_EQ(encodeFrame(kTypeAtd, over, out), 0u);
}

TEST(EncodeFrame, RefusesTooSmallOutput) {
    Bytes out(9);
    EXPECT_EQ(encodeFrame(kTypeCti, hex("00 00 05 20"), out), 0u);
}

TEST(FrameType, FromTypeByte) {
    EXPECT_EQ(frameTypeOf(0xA0), FrameType::Cti);
    EXPECT_EQ(frameTypeOf(0x90), FrameType::Atd);
    EXPECT_EQ(frameTypeOf(0x9F), FrameType::Atd);
    EXPECT_EQ(frameTypeOf(0xB0), FrameType::Atd);
    EXPECT_FALSE(frameTypeOf(0xA1));
    EXPECT_FALSE(frameTypeOf(0x00));
}

}  // namespace
}  // namespace velkor::link
