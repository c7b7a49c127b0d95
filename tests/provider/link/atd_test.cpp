#include "provider/link/atd.h"

#include <gtest/gtest.h>

#include "link_test_util.h"

namespace velkor::link {
namespace {

using namespace testing;

struct ShapeCase {
    AtdShape shape;
    std::uint16_t code;
    Bytes data;
    const char* payload;  // hex, empty when refused
};

const ShapeCase kShapeCases[] = {
    {AtdShape::Atd1, 0x0309, {0x00, 0x0A}, "0309 02 000A"},
    {AtdShape::Atd2, 0x0309, {0x00, 0x0A}, "0309000A"},
    {AtdShape::Atd3, 0x0083, {0x01}, "830101"},
    {AtdShape::Atd4, 0x0085, {0x07}, "8507"},
    {AtdShape::Atd2, 0x000B, {}, "000B"},
    // A one-byte shape cannot carry a two-byte code.
    {AtdShape::Atd3, 0x0101, {}, ""},
    {AtdShape::Atd4, 0x0101, {}, ""},
    // The payload must fit one frame.
    {AtdShape::Atd2, 0x0008, Bytes(61, 1), nullptr},
    {AtdShape::Atd2, 0x0008, Bytes(62, 1), ""},
    {AtdShape::Atd1, 0x0008, Bytes(61, 1), ""},
};

TEST(AtdPayload, ShapesLayOutCodeLengthAndData) {
    for (const auto& c : kShapeCases) {
        SCOPED_TRACE(static_cast<int>(c.shape));
        Bytes out(kMaxPayload);
        out.resize(buildAtdPayload(c.shape, c.code, c.data, out));
        if (c.payload == nullptr) {
            EXPECT_EQ(out.size(), kMaxPayload);
        } else {
            EXPECT_EQ(toHex(out), std::string(c.payload).empty() ? "" : toHex(hex(c.payload)));
        }
    }
}

struct DecodeCase {
    const char* payload;
    bool ok;
    std::uint16_t code;
    std::uint8_t width;
    std::uint8_t count;
    const char* data;
};

const DecodeCase kDecodeCases[] = {
    {"0001", true, 0x0001, 2, 0, ""},
    {"0309 0102 03", true, 0x0309, 2, 0, "010203"},
    {"83 02 000501 000600", true, 0x83, 1, 2, "000501000600"},
    {"85 01 07", true, 0x85, 1, 1, "07"},
    {"85", false, 0, 0, 0, ""},
    {"00", false, 0, 0, 0, ""},
    {"", false, 0, 0, 0, ""},
};

TEST(AtdPayload, DecodesBothCodeForms) {
    for (const auto& c : kDecodeCases) {
        SCOPED_TRACE(c.payload);
        const Bytes payload = hex(c.payload);
        const auto m = decodeAtd(payload);
        ASSERT_EQ(m.has_value(), c.ok);
        if (!m) continue;
        EXPECT_EQ(m->code, c.code);
        EXPECT_EQ(m->codeWidth, c.width);
        EXPECT_EQ(m->count, c.count);
        EXPECT_EQ(toHex(m->data), toHex(hex(c.data)));
    }
}

TEST(AtdPayload, StatusEntriesNeverReadPastTheData) {
    // Count byte says 5, the data holds two entries and a stray byte.
    const Bytes payload = hex("83 05 0005 01 0106 02 FF");
    const auto m = decodeAtd(payload);
    ASSERT_TRUE(m);
    ASSERT_EQ(atdStatusEntryCount(*m), 2u);
    EXPECT_EQ(atdStatusEntry(*m, 0).index, 0x0005);
    EXPECT_EQ(atdStatusEntry(*m, 0).status, 0x01);
    EXPECT_EQ(atdStatusEntry(*m, 1).index, 0x0106);
    EXPECT_EQ(atdStatusEntry(*m, 1).status, 0x02);
    EXPECT_EQ(atdStatusEntry(*m, 2).index, 0);
}

TEST(AtdPayload, StatusEntriesFollowASmallerCount) {
    const Bytes payload = hex("84 01 0005 01 0106 02");
    const auto m = decodeAtd(payload);
    ASSERT_TRUE(m);
    EXPECT_EQ(atdStatusEntryCount(*m), 1u);
}

}  // namespace
}  // namespace velkor::link
