// The station table: registration from station descriptions and from the
// single-station start-up, type labels and device-ID binding.
#include <gtest/gtest.h>

#include "provider/core/station_table.h"

namespace velkor::core {
namespace {

std::vector<std::uint8_t> description(std::string_view num4, std::uint16_t index, std::uint8_t type,
                                      std::string_view port = {}) {
    std::vector<std::uint8_t> d{0x22};
    d.insert(d.end(), num4.begin(), num4.end());
    d.push_back(static_cast<std::uint8_t>(index >> 8));
    d.push_back(static_cast<std::uint8_t>(index & 0xFF));
    d.push_back(type);
    d.insert(d.end(), port.begin(), port.end());
    return d;
}

struct TypeCase {
    std::uint8_t type;
    bool device;
    std::uint8_t stored;
    const char* label;
};

TEST(StationTable, DescriptionsRegisterOnlyDeviceTypes) {
    const TypeCase cases[] = {
        {kTypeDkt, true, kTypeDkt, " (DKT)"},         {kTypeEkt, false, kTypeNone, " (EKT)"},
        {kTypeIcmBox, false, kTypeNone, " (ICMBOX)"}, {kTypeSlt, true, kTypeSlt, " (SLT)"},
        {kTypeWkt, true, kTypeWkt, " (WKT)"},         {kTypeUnplugged, false, kTypeNone, " (UNPLUGGED)"},
        {0x30, false, kTypeNone, " (UNKNOWN)"},
    };
    StationTable table;
    std::uint16_t index = 1;
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(table.registerDescription(description("  21", index, c.type, "123")), c.device);
        EXPECT_EQ(table.at(index)->type, c.stored);
        // Number and port value are kept whatever the type.
        EXPECT_EQ(table.at(index)->number, "  21");
        EXPECT_EQ(table.at(index)->portValue, 123);
        EXPECT_EQ(stationTypeLabel(c.type), c.label);
        ++index;
    }
    EXPECT_EQ(table.deviceCount(), 3u);
}

TEST(StationTable, EktGetsNoDeviceId) {
    StationTable table;
    table.registerDescription(description("  21", 1, kTypeDkt));
    table.registerDescription(description("  22", 2, kTypeEkt));
    table.registerDescription(description("  23", 3, kTypeSlt));
    table.assignLineIds(100, 5);
    table.assignPhoneIds(200, 5);
    EXPECT_EQ(table.at(1)->lineDeviceId, 100u);
    EXPECT_EQ(table.at(2)->lineDeviceId, kNoDevice);
    EXPECT_EQ(table.at(2)->phoneDeviceId, kNoDevice);
    EXPECT_EQ(table.at(3)->lineDeviceId, 101u);
    EXPECT_EQ(table.at(3)->phoneDeviceId, 201u);
}

TEST(StationTable, ShortOrOutOfRangeDescriptionsStoreNothing) {
    StationTable table;
    auto d = description("  21", 7, kTypeDkt);
    for (std::size_t n = 0; n < d.size(); ++n) {
        EXPECT_FALSE(table.registerDescription(std::span(d).first(n)));
    }
    EXPECT_EQ(table.at(7)->number, "");
    EXPECT_FALSE(table.registerDescription(description("  21", 1001, kTypeDkt)));
    EXPECT_FALSE(table.registerDescription(description("  21", 0xFFFF, kTypeDkt)));
    // Without the 3 digits the port value is 0.
    EXPECT_TRUE(table.registerDescription(d));
    EXPECT_EQ(table.at(7)->portValue, 0);
}

TEST(StationTable, IdAssignmentStopsAtCountAndSkipsBoundRecords) {
    StationTable table;
    for (std::uint16_t i = 1; i <= 4; ++i) table.registerDescription(description("  21", i, kTypeDkt));
    table.at(2)->lineDeviceId = 7;
    table.assignLineIds(10, 2);
    EXPECT_EQ(table.at(1)->lineDeviceId, 10u);
    EXPECT_EQ(table.at(2)->lineDeviceId, 7u);
    EXPECT_EQ(table.at(3)->lineDeviceId, 11u);
    EXPECT_EQ(table.at(4)->lineDeviceId, kNoDevice);
}

TEST(StationTable, CapabilitiesBindUnknownIdToFirstFreeRecord) {
    StationTable table;
    table.registerDescription(description("  21", 3, kTypeDkt));
    table.registerDescription(description("  22", 4, kTypeWkt));
    table.assignLineIds(0, 1);
    EXPECT_EQ(table.bindLineId(0)->index, 3);   // held already
    EXPECT_EQ(table.bindLineId(42)->index, 4);  // bound now
    EXPECT_EQ(table.at(4)->lineDeviceId, 42u);
    EXPECT_EQ(table.bindLineId(43), nullptr);   // no free record left
}

TEST(StationTable, SingleStationStartUp) {
    struct Case {
        std::string data;
        std::uint8_t type;
        link::Dialect dialect;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"4 205#\x24", kTypeSlt, link::Dialect::Extended, 205},
        {"4  21!\x22", kTypeDkt, link::Dialect::Legacy, 21},  // EKT: taken as DKT
        {"41234#\x25", kTypeWkt, link::Dialect::Extended, 1234},
    };
    for (const Case& c : cases) {
        StationTable table;
        const auto dialect = table.registerSingleStation(
            {reinterpret_cast<const std::uint8_t*>(c.data.data()), c.data.size()});
        ASSERT_TRUE(dialect) << c.data;
        EXPECT_EQ(*dialect, c.dialect);
        EXPECT_EQ(table.at(0)->type, c.type);
        EXPECT_EQ(table.at(0)->number, c.data.substr(1, 4));
        EXPECT_EQ(table.ownNumberValue(), c.value);
    }
    StationTable table;
    const std::uint8_t shortReply[] = {'4', ' ', '2', '0', '5', '#'};
    EXPECT_FALSE(table.registerSingleStation(shortReply));
}

}  // namespace
}  // namespace velkor::core
