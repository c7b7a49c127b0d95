// The ATD directory filled from the PBX's replies in both dialects, and the
// station and CO status reports with their notifications.
#include "model_fixture.h"

namespace velkor::core::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes atd2(std::uint16_t code, Bytes data) {
    Bytes p{static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code & 0xFF)};
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

Bytes withText(Bytes head, std::string_view text) {
    head.insert(head.end(), text.begin(), text.end());
    return head;
}

class Directory : public ModelFixture {
protected:
    void SetUp() override {
        feedAtd(atd2(0x0101, {0, 30}));
        feedAtd(atd2(0x0102, {0, 8}));
    }
};

TEST_F(Directory, LegacyEntry) {
    // length 10: index (2), slot, BCD number (2), 5 characters of name.
    feedAtd(withText(atd2(0x0309, {10, 0, 3, 7, 0x02, 0x05}), "Alice"));
    const StaDirectoryEntry* e = model.directory().station(3);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->present);
    EXPECT_EQ(e->index, 3);
    EXPECT_EQ(e->slot, 7);
    EXPECT_EQ(e->number, 205u);
    EXPECT_EQ(e->name, "Alice");
    EXPECT_EQ(e->status, 1);
}

TEST_F(Directory, ExtendedEntryCarriesTypeAndExtraBeforeTheName) {
    model.setDialect(link::Dialect::Extended);
    feedAtd(withText(atd2(0x0309, {12, 0, 4, 1, 0x00, 0x21, 0x24, 0x09}), "Alice"));
    const StaDirectoryEntry* e = model.directory().station(4);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number, 21u);
    EXPECT_EQ(e->type, 0x24);
    EXPECT_EQ(e->extra, 0x09);
    EXPECT_EQ(e->name, "Alice");
}

TEST_F(Directory, NameNeverReadPastTheMessage) {
    // The length byte promises 60 characters, the frame holds 3.
    feedAtd(withText(atd2(0x0309, {65, 0, 5, 0, 0x01, 0x00}), "Bob"));
    EXPECT_EQ(model.directory().station(5)->name, "Bob");
    model.setDialect(link::Dialect::Extended);
    feedAtd(atd2(0x0309, {65, 0, 6, 0, 0x01, 0x00}));
    EXPECT_TRUE(model.directory().station(6)->present);
    EXPECT_EQ(model.directory().station(6)->name, "");
    // Length below the fixed part: no name.
    feedAtd(withText(atd2(0x0309, {2, 0, 7, 0, 0x01, 0x00}), "Zed"));
    EXPECT_EQ(model.directory().station(7)->name, "");
}

TEST_F(Directory, EntriesOutsideTheDirectoryIgnored) {
    feedAtd(withText(atd2(0x0309, {8, 0, 31, 0, 0x01, 0x00}), "Out"));
    feedAtd(withText(atd2(0x0309, {8, 0, 0, 0, 0x01, 0x00}), "Out"));
    EXPECT_EQ(model.directory().station(31), nullptr);
    EXPECT_EQ(model.directory().station(0), nullptr);
}

TEST_F(Directory, StationDetailsAskForAttributes) {
    feedAtd(withText(atd2(0x0304, {7, 0, 3}), "Carol"));
    feedAtd(atd2(0x0301, {0, 3, 0x41, 0x12, 0x34}));
    EXPECT_EQ(model.directory().station(3)->name, "Carol");
    EXPECT_EQ(model.directory().station(3)->attribute, 0x41);
    EXPECT_EQ(model.directory().station(3)->value, 0x1234);
    EXPECT_EQ(sender.sent, (std::vector<std::string>{"ATD 0x301 0 3"}));
}

TEST_F(Directory, CoDetailsFollowTheNameTable) {
    feedAtd(atd2(0x0401, {0, 2, 0x05, 0x00, 0x10}));
    feedAtd(withText(atd2(0x0403, {6, 0, 2}), "City"));
    feedAtd(atd2(0x0405, {0, 2, 0, 9}));
    feedAtd(withText(atd2(0x0404, {7, 0, 9}), "Group"));
    const ColDirectoryEntry* co = model.directory().co(2);
    ASSERT_TRUE(co);
    EXPECT_TRUE(co->present);
    EXPECT_EQ(co->attribute, 5);
    EXPECT_EQ(co->value, 0x10);
    EXPECT_EQ(co->name, "City");
    EXPECT_EQ(co->nameReference, 9);
    ASSERT_TRUE(model.directory().nameTable(9));
    EXPECT_EQ(model.directory().nameTable(9)->name, "Group");
    EXPECT_EQ(sender.sent, (std::vector<std::string>{"ATD 0x403 0 2", "ATD 0x405 0 2", "ATD 0x404 0 9"}));
    // Reference 0: nothing more to ask.
    sender.sent.clear();
    feedAtd(atd2(0x0405, {0, 3, 0, 0}));
    EXPECT_TRUE(sender.sent.empty());
}

TEST_F(Directory, ShortRepliesStoreNothing) {
    const Bytes replies[] = {atd2(0x0309, {10, 0, 3, 7, 0x02}), atd2(0x0301, {0, 3, 1, 2}),
                             atd2(0x0401, {0, 2, 1}), atd2(0x0405, {0, 2, 0}), atd2(0x0101, {1})};
    for (const Bytes& r : replies) feedAtd(r);
    EXPECT_FALSE(model.directory().station(3)->present);
    EXPECT_EQ(model.directory().station(3)->attribute, 0);
    EXPECT_FALSE(model.directory().co(2)->present);
    EXPECT_EQ(model.directory().stationCount(), 30);
    EXPECT_TRUE(sender.sent.empty());
}

class Status : public ModelFixture {
protected:
    void SetUp() override {
        feedAtd(atd2(0x0101, {0, 10}));
        feedAtd(atd2(0x0102, {0, 4}));
        feedAtd(atd2(0x0105, {0, 7}));
    }
    void stationStatus(std::uint16_t index, std::uint8_t status) {
        feedAtd({0x83, 1, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index), status});
    }
};

TEST_F(Status, StationChangeNotifiesOwnLineAndSubscribers) {
    LineContext* other = model.openLine(2, nullptr, nullptr);
    other->subscribedStationStatus = true;
    stationStatus(kOwnIndex, 3);
    // Lines in station order: the subscriber at 2, then the station itself.
    EXPECT_EQ(events.log, (std::vector<std::string>{"DEVSPECIFIC 8,5,3", "DEVSPECIFIC 11,3,0"}));
    EXPECT_EQ(model.directory().station(kOwnIndex)->status, 3);
    EXPECT_TRUE(model.directory().station(kOwnIndex)->present);
}

TEST_F(Status, UnchangedStationStatusSilentInNormalMode) {
    line->subscribedStationStatus = true;
    stationStatus(4, 1);  // the initial status
    stationStatus(4, 2);
    stationStatus(4, 2);
    EXPECT_EQ(events.log, (std::vector<std::string>{"DEVSPECIFIC 8,4,2"}));
}

TEST_F(Status, SeveralEntriesAndCountBeyondData) {
    line->subscribedStationStatus = true;
    // The count says 5, the data holds two whole entries and a piece.
    feedAtd({0x83, 5, 0, 1, 4, 0, 2, 6, 0});
    EXPECT_EQ(events.log, (std::vector<std::string>{"DEVSPECIFIC 8,1,4", "DEVSPECIFIC 8,2,6"}));
}

TEST_F(Status, CoChangeToSubscribersOnly) {
    feedAtd({0x84, 1, 0, 2, 5});
    EXPECT_TRUE(events.log.empty());
    line->subscribedCoStatus = true;
    feedAtd({0x84, 2, 0, 2, 5, 0, 3, 6});
    feedAtd({0x84, 1, 0, 9, 6});  // outside the CO directory
    EXPECT_EQ(events.log, (std::vector<std::string>{"DEVSPECIFIC 9,3,6"}));
    EXPECT_TRUE(model.directory().co(2)->present);
}

TEST_F(Status, AttendantStatus) {
    line->subscribedStationStatus = true;
    feedAtd({0x85, 1, 4});
    feedAtd({0x85, 1, 4});
    EXPECT_EQ(events.log, (std::vector<std::string>{"DEVSPECIFIC 8,7,4"}));
    EXPECT_EQ(model.directory().station(7)->status, 4);
}

class SingleStation : public Status {
protected:
    SingleStation() {
        model.closeLine(kOwnIndex);
        model.setSettings({true, true});
        const std::string reply = "4 205!\x21";
        model.stations().registerSingleStation({reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size()});
        line = model.openLine(0, nullptr, nullptr);
    }
    void SetUp() override {
        Status::SetUp();
        // Directory entry 3 holds the own number 205.
        feedAtd(atd2(0x0309, {5, 0, 3, 0, 0x02, 0x05}));
    }
};

TEST_F(SingleStation, OwnNumberStatusAndClose) {
    stationStatus(3, 2);
    stationStatus(3, 1);
    stationStatus(4, 2);
    EXPECT_EQ(events.log, (std::vector<std::string>{"DEVSPECIFIC 11,2,0", "DEVSPECIFIC 8,3,2",
                                                    "DEVSPECIFIC 11,1,0", "CLOSE", "DEVSPECIFIC 8,3,1",
                                                    "DEVSPECIFIC 8,4,2"}));
}

TEST_F(SingleStation, UnchangedStatusRepeatedAtMostHundredTimes) {
    for (int i = 0; i < 150; ++i) stationStatus(4, 1);
    EXPECT_EQ(events.log.size(), 100u);
    EXPECT_EQ(events.log.front(), "DEVSPECIFIC 8,4,1");
}

TEST_F(SingleStation, NoRepeatsWithoutSystemOne) {
    model.setSettings({true, false});
    stationStatus(4, 1);
    EXPECT_TRUE(events.log.empty());
}

}  // namespace
}  // namespace velkor::core::testing
