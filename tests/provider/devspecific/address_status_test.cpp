// LINEADDRESSSTATUS as TSPI_lineGetAddressStatus hands it to TAPI: every
// status block against bytes written out by hand, the needed-size rule one
// byte short of each block, the one-shot requests, the forwarding entry and
// the entry point on a real model. Every buffer has a guard region behind
// it, so a write past dwTotalSize shows.
#include "provider/devspecific/address_status.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/time/timer_queue.h"
#include "platform/time/virtual_clock.h"
#include "tests/provider/core/guarded_block.h"
#include "tests/provider/core/model_fixture.h"

namespace velkor::devspecific {
namespace {

using core::testing::Block;
using core::testing::kPattern;
using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------
// Bytes by hand

// A byte the provider leaves as the caller's buffer had it.
constexpr std::uint8_t U = kPattern;

Bytes txt(std::string_view s) { return {s.begin(), s.end()}; }
// The text and its NUL.
Bytes nul(std::string_view s) {
    Bytes b = txt(s);
    b.push_back(0);
    return b;
}
Bytes le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

DWORD fieldAt(const Block& b, std::size_t offset) {
    DWORD v;
    std::memcpy(&v, b.bytes.data() + offset, sizeof v);
    return v;
}

// ---------------------------------------------------------------------------
// A line with the directory and the stores behind it

struct Scene {
    Scene() {
        directory.resetStations(3);
        const struct {
            std::uint32_t number;
            std::uint8_t status;
            std::uint8_t type;
        } stations[] = {{201, 1, 0x21}, {1234, 0x21, 0x24}, {0x12345, 5, 0}};
        for (std::uint16_t i = 1; i <= 3; ++i) {
            core::StaDirectoryEntry& e = *directory.station(i);
            e.present = true;
            e.index = i;
            e.number = stations[i - 1].number;
            e.status = stations[i - 1].status;
            e.type = stations[i - 1].type;
        }
        core::StaDirectoryEntry& two = *directory.station(2);
        two.slot = 7;
        two.attribute = 0x40;
        two.value = 0x1234;
        two.name = "Anna";

        directory.resetCos(2);
        directory.co(1)->status = 2;
        core::ColDirectoryEntry& co = *directory.co(2);
        co.status = 3;
        co.attribute = 0x11;
        co.value = 0x0102;
        co.name = "Line 2";
        // Name-table entry 9: length (2 + text), reference, text.
        const Bytes entry = cat({{7, 0, 9}, txt("Sales")});
        link::AtdMessage m;
        m.code = link::atd::NameTableEntry;
        m.data = entry;
        directory.apply(m, link::Dialect::Legacy);
        co.nameReference = 9;

        sources.directory = &directory;
        sources.atdActive = true;
    }

    LONG fill(Block& b) { return fillAddressStatus(line, sources, b.as<LINEADDRESSSTATUS>()); }

    core::LineContext line;
    core::AtdDirectory directory;
    StatusSources sources;
};

struct BlockCase {
    const char* name;
    void (*arrange)(Scene&);
    // The block as it must stand in the buffer.
    Bytes expected;
    // The one-shot request behind it; null for a subscription.
    bool (*pending)(const core::LineContext&);
};

// Every block alone, in the order the blocks follow one another.
const BlockCase kBlockCases[] = {
    {"SMDR_DATA",
     [](Scene& s) { s.sources.callRecords = cat({le32(1), le32(3), txt("abc")}); },
     cat({nul("SMDR_DATA"), {U, U, U, U}, le32(29), le32(1), le32(3), txt("abc")}), nullptr},
    {"OTHER_DATA", [](Scene& s) { s.sources.otherData = Bytes{1, 2, 3}; },
     cat({nul("OTHER_DATA"), {U}, le32(19), {1, 2, 3}}), nullptr},
    {"STA_STATUS", [](Scene& s) { s.line.wantsAllStationStatus = true; },
     cat({nul("STA_STATUS"), {0}, le32(25), {0, 1, 1, 0, 2, 0x21, 0, 3, 5}}),
     [](const core::LineContext& l) { return l.wantsAllStationStatus; }},
    {"COL_STATUS", [](Scene& s) { s.line.wantsAllCoStatus = true; },
     cat({nul("COL_STATUS"), {0}, le32(22), {0, 1, 2, 0, 2, 3}}),
     [](const core::LineContext& l) { return l.wantsAllCoStatus; }},
    {"STA_INFO",
     [](Scene& s) {
         s.line.wantsStationInfo = true;
         s.line.stationInfoIndex = 2;
     },
     cat({nul("STA_INFO"), {0, 0, 0}, le32(32),
          {0, 2, 0xD2, 0x04, 0, 0, 7, 0x21, 0x40, 0x12, 0x34, 4}, txt("Anna")}),
     [](const core::LineContext& l) { return l.wantsStationInfo; }},
    {"COL_INFO",
     [](Scene& s) {
         s.line.wantsCoInfo = true;
         s.line.coInfoIndex = 2;
     },
     cat({nul("COL_INFO"), {0, 0, 0}, le32(35), {0, 2, 3, 0x11, 0x01, 0x02, 5, 6}, txt("Sales"),
          txt("Line 2")}),
     [](const core::LineContext& l) { return l.wantsCoInfo; }},
    {"STA_NUMBER", [](Scene& s) { s.line.wantsStationNumbers = true; },
     cat({nul("STA_NUMBER"), {0}, le32(22), {0xC9, 0x00, 0xD2, 0x04, 0x45, 0x23}}),
     [](const core::LineContext& l) { return l.wantsStationNumbers; }},
    {"ALL_PARK_NUM",
     [](Scene& s) {
         s.line.wantsParkNumbers = true;
         s.sources.parkNumbers = {" 701", " 702"};
     },
     cat({txt("ALL_PARK_NUM"), le32(24), txt(" 701 702")}),
     [](const core::LineContext& l) { return l.wantsParkNumbers; }},
    {"SMS_MESSAGE",
     [](Scene& s) {
         s.line.shortMessage = "  21hello";
         s.line.shortMessageReady = true;
     },
     cat({nul("SMS_MESSAGE"), le32(29), txt("  21hello"), {0, 0, 0, 0}}),
     [](const core::LineContext& l) { return l.shortMessageReady; }},
    {"STATION_TYPE", [](Scene& s) { s.line.wantsStationTypes = true; },
     cat({txt("STATION_TYPE"), le32(25), {0, 1, 0x21, 0, 2, 0x24, 0, 3, 0}}),
     [](const core::LineContext& l) { return l.wantsStationTypes; }},
};

Bytes devSpecificPart(const Block& b) {
    const DWORD offset = fieldAt(b, offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset));
    const DWORD size = fieldAt(b, offsetof(LINEADDRESSSTATUS, dwDevSpecificSize));
    return {b.bytes.begin() + offset, b.bytes.begin() + offset + size};
}

// ---------------------------------------------------------------------------
// Layouts and sizes

TEST(AddressStatusBlocks, EachBlockByteForByte) {
    for (const BlockCase& c : kBlockCases) {
        SCOPED_TRACE(c.name);
        Scene s;
        c.arrange(s);
        Block b(1024);
        ASSERT_EQ(s.fill(b), 0);
        const auto* st = b.as<LINEADDRESSSTATUS>();
        const DWORD end = 64 + static_cast<DWORD>(c.expected.size());
        EXPECT_EQ(st->dwDevSpecificOffset, 64u);
        EXPECT_EQ(st->dwDevSpecificSize, c.expected.size());
        EXPECT_EQ(st->dwNeededSize, end);
        EXPECT_EQ(st->dwUsedSize, end);
        EXPECT_EQ(devSpecificPart(b), c.expected);
        EXPECT_TRUE(b.untouched(end)) << "bytes written after the block";
        if (c.pending) {
            EXPECT_FALSE(c.pending(s.line)) << "one-shot request not cleared";
        }
    }
}

TEST(AddressStatusBlocks, AllBlocksFollowOneAnotherInOrder) {
    Scene s;
    Bytes all;
    for (const BlockCase& c : kBlockCases) {
        c.arrange(s);
        all.insert(all.end(), c.expected.begin(), c.expected.end());
    }
    Block b(2048);
    ASSERT_EQ(s.fill(b), 0);
    EXPECT_EQ(devSpecificPart(b), all);
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwUsedSize, 64 + all.size());
}

// One byte short of a block's end: LINEERR_STRUCTURETOOSMALL with the
// needed size up to that block and the request kept for the retry, except
// OTHER_DATA, which is skipped while the needed size still grows.
TEST(AddressStatusBlocks, OneByteShortOfEachBlock) {
    for (const BlockCase& c : kBlockCases) {
        SCOPED_TRACE(c.name);
        const DWORD end = 64 + static_cast<DWORD>(c.expected.size());
        Scene s;
        c.arrange(s);
        Block shortBlock(end - 1);
        const auto* st = shortBlock.as<LINEADDRESSSTATUS>();
        const bool skipped = std::string_view(c.name) == "OTHER_DATA";
        EXPECT_EQ(s.fill(shortBlock), skipped ? 0 : LINEERR_STRUCTURETOOSMALL);
        EXPECT_EQ(st->dwNeededSize, end);
        EXPECT_EQ(st->dwUsedSize, 64u);
        EXPECT_EQ(st->dwDevSpecificSize, 0u);
        EXPECT_TRUE(shortBlock.untouched(64)) << "part of the block written";
        if (c.pending) {
            EXPECT_TRUE(c.pending(s.line)) << "request lost with the failure";
        }

        Block exact(st->dwNeededSize);
        ASSERT_EQ(s.fill(exact), 0);
        EXPECT_EQ(devSpecificPart(exact), c.expected);
        EXPECT_TRUE(exact.untouched(end));
    }
}

TEST(AddressStatusBlocks, SkippedOtherDataStillCountsForTheBlocksAfterIt) {
    Scene s;
    s.sources.otherData = Bytes(10, 0xEE);  // a 26-byte block
    s.line.wantsAllCoStatus = true;         // a 22-byte block
    // Room for COL_STATUS alone, not for both.
    Block b(64 + 22 + 5);
    EXPECT_EQ(s.fill(b), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwNeededSize, 64u + 26 + 22);
    EXPECT_TRUE(s.line.wantsAllCoStatus);

    Block room(64 + 26 + 22);
    ASSERT_EQ(s.fill(room), 0);
    EXPECT_EQ(devSpecificPart(room).size(), 26u + 22);
}

TEST(AddressStatusBlocks, SixtyFourBytesWithPendingStationStatus) {
    Scene s;
    s.line.wantsAllStationStatus = true;
    Block b(64);
    EXPECT_EQ(s.fill(b), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwNeededSize, 64u + 16 + 3 * 3);
    EXPECT_TRUE(b.untouched(64));
}

TEST(AddressStatusBlocks, BelowTheFixedPartNothingIsWritten) {
    Scene s;
    Block b(63);
    EXPECT_EQ(s.fill(b), LINEERR_STRUCTURETOOSMALL);
    EXPECT_TRUE(b.untouched(4));
    EXPECT_EQ(fillAddressStatus(s.line, s.sources, nullptr), LINEERR_INVALPOINTER);
}

// ---------------------------------------------------------------------------
// One-shot requests and conditions

TEST(AddressStatusOneShot, SecondCallNoLongerHasTheBlock) {
    Scene s;
    s.sources.callRecords = Bytes{};
    s.line.wantsAllStationStatus = true;
    Block first(512);
    ASSERT_EQ(s.fill(first), 0);
    EXPECT_EQ(first.as<LINEADDRESSSTATUS>()->dwDevSpecificSize, 18u + 25);

    // The subscription's block comes every time, the requested one once.
    Block second(512);
    ASSERT_EQ(s.fill(second), 0);
    EXPECT_EQ(devSpecificPart(second), cat({nul("SMDR_DATA"), {U, U, U, U}, le32(18)}));
}

// A block that does not fit must not cost the caller the blocks before it:
// TAPI hands nothing back with LINEERR_STRUCTURETOOSMALL.
TEST(AddressStatusOneShot, FailureKeepsTheBlocksThatDidFit) {
    Scene s;
    s.line.wantsAllStationStatus = true;
    s.line.shortMessage = "  21hello";
    s.line.shortMessageReady = true;
    Block b(64 + 25 + 10);
    EXPECT_EQ(s.fill(b), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwNeededSize, 64u + 25 + 29);
    EXPECT_TRUE(s.line.wantsAllStationStatus);
    EXPECT_TRUE(s.line.shortMessageReady);

    Block retry(64 + 25 + 29);
    ASSERT_EQ(s.fill(retry), 0);
    EXPECT_EQ(retry.as<LINEADDRESSSTATUS>()->dwDevSpecificSize, 25u + 29);
    EXPECT_FALSE(s.line.wantsAllStationStatus);
    EXPECT_FALSE(s.line.shortMessageReady);
}

TEST(AddressStatusOneShot, DirectoryBlocksWaitForTheAtdSession) {
    Scene s;
    s.sources.atdActive = false;
    s.line.wantsAllStationStatus = true;
    s.line.wantsAllCoStatus = true;
    s.line.wantsStationInfo = true;
    s.line.stationInfoIndex = 1;
    s.line.wantsCoInfo = true;
    s.line.coInfoIndex = 1;
    s.line.wantsStationNumbers = true;
    s.line.wantsStationTypes = true;
    Block b(1024);
    ASSERT_EQ(s.fill(b), 0);
    // Only the station types do without the session.
    const Bytes part = devSpecificPart(b);
    ASSERT_EQ(part.size(), 25u);
    EXPECT_EQ(Bytes(part.begin(), part.begin() + 12), txt("STATION_TYPE"));
    EXPECT_TRUE(s.line.wantsAllStationStatus && s.line.wantsAllCoStatus &&
                s.line.wantsStationInfo && s.line.wantsCoInfo && s.line.wantsStationNumbers);

    s.sources.atdActive = true;
    Block later(1024);
    ASSERT_EQ(s.fill(later), 0);
    EXPECT_EQ(later.as<LINEADDRESSSTATUS>()->dwDevSpecificSize, 25u + 22 + 28 + 24 + 22);
}

TEST(AddressStatusOneShot, ParkNumbersOnlyOnBinaryFraming) {
    Scene s;
    s.line.wantsParkNumbers = true;
    s.sources.parkNumbers = {" 701"};
    s.sources.binaryFraming = false;
    Block b(256);
    ASSERT_EQ(s.fill(b), 0);
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwDevSpecificSize, 0u);
    EXPECT_TRUE(s.line.wantsParkNumbers);
}

// Details of an entry the directory no longer holds cannot come any more.
TEST(AddressStatusOneShot, InformationOfAVanishedEntryIsDropped) {
    Scene s;
    s.line.wantsStationInfo = true;
    s.line.stationInfoIndex = 4;
    s.line.wantsCoInfo = true;
    s.line.coInfoIndex = 0;
    Block b(256);
    ASSERT_EQ(s.fill(b), 0);
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwDevSpecificSize, 0u);
    EXPECT_FALSE(s.line.wantsStationInfo);
    EXPECT_FALSE(s.line.wantsCoInfo);
}

// ---------------------------------------------------------------------------
// Fixed part and forwarding

TEST(AddressStatusFixedPart, FeaturesFollowTheCallsOfTheLine) {
    const struct {
        std::vector<DWORD> states;
        DWORD features;
    } cases[] = {
        {{}, 0x3687},
        {{LINECALLSTATE_IDLE}, 0x3687},
        {{LINECALLSTATE_OFFERING}, 0x3687},
        {{LINECALLSTATE_DIALTONE}, 0x3687},
        {{LINECALLSTATE_ONHOLD, LINECALLSTATE_DISCONNECTED}, 0x3687},
        {{LINECALLSTATE_DIALING}, 0},
        {{LINECALLSTATE_RINGBACK}, 0},
        {{LINECALLSTATE_BUSY}, 0},
        {{LINECALLSTATE_ONHOLD, LINECALLSTATE_CONNECTED}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.states));
        Scene s;
        for (const DWORD state : c.states) {
            s.line.calls.push_back(std::make_unique<core::CallContext>());
            s.line.calls.back()->state = state;
        }
        Block b(128);
        ASSERT_EQ(s.fill(b), 0);
        const auto* st = b.as<LINEADDRESSSTATUS>();
        EXPECT_EQ(st->dwAddressFeatures, c.features);
        EXPECT_EQ(st->dwNumActiveCalls, c.states.size());
        EXPECT_EQ(st->dwNumInUse, 1u);
        EXPECT_EQ(st->dwForwardNumEntries, 0u);
        EXPECT_EQ(st->dwUsedSize, 64u);
    }
}

class AddressStatusForward : public ::testing::Test {
protected:
    AddressStatusForward() {
        s.line.forwardActive = true;
        s.line.forwardMode = LINEFORWARDMODE_BUSY;
        s.line.forwardDestination = "2001";
        // A 29-byte block: the entry has to move to the next 4-byte boundary.
        s.sources.callRecords = cat({le32(1), le32(3), txt("abc")});
    }
    // 64 + 29 = 93, entry at 96, its text of 5 wide characters at 120.
    static constexpr DWORD kEntryAt = 96;
    static constexpr DWORD kNeeded = kEntryAt + 24 + 10;
    Scene s;
};

TEST_F(AddressStatusForward, EntryAndDestinationAfterTheBlocks) {
    Block b(kNeeded);
    ASSERT_EQ(s.fill(b), 0);
    const auto* st = b.as<LINEADDRESSSTATUS>();
    EXPECT_EQ(st->dwForwardNumEntries, 1u);
    EXPECT_EQ(st->dwForwardSize, 24u);
    EXPECT_EQ(st->dwForwardOffset, kEntryAt);
    EXPECT_EQ(st->dwNeededSize, kNeeded);
    EXPECT_EQ(st->dwUsedSize, kNeeded);
    EXPECT_EQ(st->dwDevSpecificSize, 29u);
    const Bytes entry(b.bytes.begin() + kEntryAt, b.bytes.begin() + kNeeded);
    EXPECT_EQ(entry, cat({le32(LINEFORWARDMODE_BUSY), le32(0), le32(0), le32(0), le32(10),
                          le32(kEntryAt + 24), {'2', 0, '0', 0, '0', 0, '1', 0, 0, 0}}));
    EXPECT_TRUE(b.untouched(64 + 29, kEntryAt)) << "padding before the entry";
    EXPECT_TRUE(b.untouched(kNeeded));
}

TEST_F(AddressStatusForward, OneByteShortOfTheDestination) {
    Block b(kNeeded - 1);
    EXPECT_EQ(s.fill(b), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwNeededSize, kNeeded);
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwForwardNumEntries, 0u);
    EXPECT_TRUE(b.untouched(64 + 29));
}

// Do-not-disturb forwards with no destination.
TEST_F(AddressStatusForward, NoDestinationNoText) {
    s.line.forwardDestination.clear();
    s.line.forwardMode = LINEFORWARDMODE_UNCOND;
    Block b(kEntryAt + 24);
    ASSERT_EQ(s.fill(b), 0);
    const Bytes entry(b.bytes.begin() + kEntryAt, b.bytes.begin() + kEntryAt + 24);
    EXPECT_EQ(entry, cat({le32(LINEFORWARDMODE_UNCOND), le32(0), le32(0), le32(0), le32(0),
                          le32(0)}));
    EXPECT_EQ(b.as<LINEADDRESSSTATUS>()->dwUsedSize, kEntryAt + 24);
}

// ---------------------------------------------------------------------------
// Park numbers

TEST(AddressStatusParkNumbers, FromTheFirstReportedSlot) {
    const auto slots = [](std::vector<std::string> numbers) {
        std::vector<core::ParkSlot> out;
        for (auto& n : numbers) out.push_back({n, false});
        return out;
    };
    const struct {
        const char* name;
        std::vector<core::ParkSlot> reported;
        std::size_t count;
        std::vector<std::string> expected;
    } cases[] = {
        {"base and the slots after it", slots({" 703", " 701"}), 3, {" 703", " 704", " 705"}},
        {"none reported yet", {}, 2, {"    ", "    "}},
        {"not a number", slots({"ABCD", " 9"}), 3, {"ABCD", " 9", "    "}},
        {"never more than 20", slots({"  81"}), 25, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto numbers = parkNumbers(c.reported, c.count);
        if (c.expected.empty()) {
            ASSERT_EQ(numbers.size(), 20u);
            EXPECT_EQ(numbers.back(), " 100");
        } else {
            EXPECT_EQ(numbers, c.expected);
        }
    }
}

// ---------------------------------------------------------------------------
// The entry point on a model and its stores

class AddressStatusEntry : public core::testing::ModelFixture {
protected:
    AddressStatusEntry() : timers(clock, platform::TimerQueue::Mode::Manual), store(model, timers, clock) {
        model.setRecordSink(&store);
    }
    LONG get(Block& b, DWORD address = 0) {
        return getAddressStatus(model, store, env, line->handle(), address,
                                b.as<LINEADDRESSSTATUS>());
    }

    platform::VirtualClock clock;
    platform::TimerQueue timers;
    RecordStore store;
    StatusEnvironment env{.atdActive = true, .parkSlotCount = 2};
};

TEST_F(AddressStatusEntry, RefusesUnknownLinesAndAddresses) {
    Block b(256);
    EXPECT_EQ(getAddressStatus(model, store, env, nullptr, 0, b.as<LINEADDRESSSTATUS>()),
              LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(get(b, 1), LINEERR_INVALADDRESSID);
    EXPECT_EQ(getAddressStatus(model, store, env, line->handle(), 0, nullptr),
              LINEERR_INVALPOINTER);
    const HDRVLINE closed = line->handle();
    model.closeLine(core::testing::kOwnIndex);
    EXPECT_EQ(getAddressStatus(model, store, env, closed, 0, b.as<LINEADDRESSSTATUS>()),
              LINEERR_INVALLINEHANDLE);
    EXPECT_TRUE(b.untouched(4));
}

// Call records come in two frames (event 0x3F), other data in one (0x48);
// a subscriber gets both blocks, then the station status it asked for.
TEST_F(AddressStatusEntry, SubscriberGetsTheRecordsTheModelStored) {
    store.join(DataKind::CallRecords, core::testing::kOwnIndex);
    store.join(DataKind::OtherData, core::testing::kOwnIndex);
    feed(0x3F, " 0115 201");
    feed(0x3F, "! 0012");
    feed(0x48, "\x07X");
    model.directory().resetStations(2);
    line->wantsAllStationStatus = true;

    Block b(512);
    ASSERT_EQ(get(b), 0);
    const Bytes record = txt("0115 201 0012");
    EXPECT_EQ(devSpecificPart(b),
              cat({nul("SMDR_DATA"), {U, U, U, U}, le32(18 + 8 + 13), le32(1), le32(13), record,
                   nul("OTHER_DATA"), {U}, le32(18), {0x07, 'X'},
                   nul("STA_STATUS"), {0}, le32(22), {0, 1, 1, 0, 2, 1}}));
}

TEST_F(AddressStatusEntry, ParkNumbersFromTheModelsSlots) {
    feed(0x41, " 801EMP", link::kSystemIndex);
    line->wantsParkNumbers = true;
    Block b(256);
    ASSERT_EQ(get(b), 0);
    EXPECT_EQ(devSpecificPart(b), cat({txt("ALL_PARK_NUM"), le32(24), txt(" 801 802")}));
}

}  // namespace
}  // namespace velkor::devspecific
