// The call-record and other-data stores with their subscriptions and the
// 2-second data timer, on a virtual clock: what is sent to the PBX, which
// lines hear of new records, and how long records are kept.
#include "provider/devspecific/record_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/time/timer_queue.h"
#include "platform/time/virtual_clock.h"
#include "tests/provider/core/model_fixture.h"

namespace velkor::devspecific {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr DataKind kCdr = DataKind::CallRecords;
constexpr DataKind kOther = DataKind::OtherData;

// LINE_DEVSPECIFIC with the station of the line it went to.
class Announcements final : public core::TapiEvents {
public:
    std::vector<std::string> log;
    void lineEvent(const core::LineContext& line, const core::CallContext*, DWORD message,
                   DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) override {
        if (message != LINE_DEVSPECIFIC) return;
        log.push_back(std::to_string(line.station) + ": " + std::to_string(p1) + "," +
                      std::to_string(p2) + "," + std::to_string(p3));
    }
    HTAPICALL newCall(const core::LineContext&, core::CallContext&) override { return nullptr; }
    void providerEvent(DWORD, DWORD_PTR, DWORD_PTR) override {}
    void complete(DRV_REQUESTID, LONG) override {}
    void phoneDevSpecificAll(DWORD_PTR, DWORD_PTR, DWORD_PTR) override {}
};

Bytes bytes(std::string_view s) { return {s.begin(), s.end()}; }

Bytes le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

Bytes record(std::uint32_t sequence, std::string_view text) {
    Bytes out = le32(sequence);
    const Bytes length = le32(static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

// Stations 5, 6 and 7 with open lines; the store on a manual timer queue.
class RecordStoreTest : public ::testing::Test {
protected:
    RecordStoreTest() {
        for (const std::uint16_t s : {5, 6, 7}) {
            model.stations().at(s)->type = core::kTypeDkt;
            model.openLine(s, reinterpret_cast<HTAPILINE>(0x100 + s), nullptr);
        }
        model.setRecordSink(&store);
    }

    void callRecord(std::string_view text) {
        const Bytes b = bytes(text);
        store.onCallRecord(b);
    }
    void otherData(std::string_view text) {
        const Bytes b = bytes(text);
        store.onOtherData(b);
    }
    void advance(platform::Duration d) { timers.advance(clock, d); }
    std::vector<std::string> takeSent() { return std::exchange(sender.sent, {}); }
    std::vector<std::string> takeAnnounced() { return std::exchange(events.log, {}); }
    Bytes block(DataKind kind, std::uint16_t station) {
        return store.blockData(kind, station).value_or(Bytes{0xFF});
    }

    platform::VirtualClock clock;
    platform::TimerQueue timers{clock, platform::TimerQueue::Mode::Manual};
    Announcements events;
    core::testing::RecordingSender sender;
    core::StationModel model{events, sender};
    RecordStore store{model, timers, clock};
};

const std::string kOutputOn = "CTI 65535 0x51 #1";
const std::string kOutputOff = "CTI 65535 0x51 #0";
const std::string kKeepAlive = "CTI 65535 0x8b";

// ---------------------------------------------------------------------------
// Subscriptions

struct Step {
    enum Op { Join, Leave, Close, Reply } op;
    DataKind kind = kCdr;
    std::uint16_t station = 5;
    const char* reply = "";
};

struct SubscriptionCase {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> sent;
    bool running;
};

const SubscriptionCase kSubscriptionCases[] = {
    {"first call-record subscriber switches the output on", {{Step::Join}}, {kOutputOn}, true},
    {"second subscriber sends nothing",
     {{Step::Join}, {Step::Join, kCdr, 6}, {Step::Join}}, {kOutputOn}, true},
    {"last one leaving switches it off",
     {{Step::Join}, {Step::Join, kCdr, 6}, {Step::Leave}, {Step::Leave, kCdr, 6}},
     {kOutputOn, kOutputOff}, false},
    {"leaving without being subscribed", {{Step::Join}, {Step::Leave, kCdr, 6}}, {kOutputOn}, true},
    {"other data needs no request", {{Step::Join, kOther}}, {}, true},
    {"other data alone stops the timer when it leaves",
     {{Step::Join, kOther}, {Step::Leave, kOther}}, {}, false},
    {"other data keeps the timer after the call records",
     {{Step::Join}, {Step::Join, kOther, 6}, {Step::Leave}}, {kOutputOn, kOutputOff}, true},
    {"closing the line ends both subscriptions",
     {{Step::Join}, {Step::Join, kOther}, {Step::Close}}, {kOutputOn, kOutputOff}, false},
    {"closing another line changes nothing",
     {{Step::Join}, {Step::Close, kCdr, 6}}, {kOutputOn}, true},
    {"closing the last other-data line stops the timer",
     {{Step::Join, kOther, 7}, {Step::Close, kCdr, 7}}, {}, false},
    {"reply: call-record output off stops the timer",
     {{Step::Join}, {Step::Reply, kCdr, 0, "#0"}}, {kOutputOn}, false},
    {"reply: call-record output off, other data still subscribed",
     {{Step::Join}, {Step::Join, kOther}, {Step::Reply, kCdr, 0, "#0"}}, {kOutputOn}, true},
    {"reply: other-data output off, call records still subscribed",
     {{Step::Join}, {Step::Join, kOther}, {Step::Reply, kCdr, 0, "$0"}}, {kOutputOn}, true},
    {"reply: other-data output off stops the timer",
     {{Step::Join, kOther}, {Step::Reply, kCdr, 0, "$0"}}, {}, false},
    {"other replies change nothing",
     {{Step::Join}, {Step::Reply, kCdr, 0, "#1"}, {Step::Reply, kCdr, 0, "!"},
      {Step::Reply, kCdr, 0, "%0"}},
     {kOutputOn}, true},
    {"a subscriber after the reply starts the timer again",
     {{Step::Join}, {Step::Reply, kCdr, 0, "#0"}, {Step::Join, kCdr, 6}}, {kOutputOn}, true},
};

TEST_F(RecordStoreTest, SubscriptionsSwitchOutputAndTimer) {
    for (const SubscriptionCase& c : kSubscriptionCases) {
        SCOPED_TRACE(c.name);
        RecordStore s(model, timers, clock);
        for (const Step& step : c.steps) {
            switch (step.op) {
            case Step::Join:
                s.join(step.kind, step.station);
                break;
            case Step::Leave:
                s.leave(step.kind, step.station);
                break;
            case Step::Close:
                s.lineClosed(step.station);
                break;
            case Step::Reply: {
                const Bytes data = bytes(step.reply);
                link::CtiMessage m;
                m.station = link::kSystemIndex;
                m.code = link::code::Query;
                m.data = data;
                s.onReply(m);
                link::CtiMessage other = m;
                other.code = link::code::KeepAlive;
                s.onReply(other);
                break;
            }
            }
        }
        EXPECT_EQ(takeSent(), c.sent);
        EXPECT_EQ(s.timerRunning(), c.running);
        // A stopped timer is gone from the queue after its next tick.
        advance(2s);
        EXPECT_EQ(timers.activeCount(), c.running ? 1u : 0u);
    }
}

TEST_F(RecordStoreTest, KeepAliveEveryTenthTickWhileSubscribed) {
    store.join(kOther, 5);
    advance(18s);
    EXPECT_EQ(takeSent(), std::vector<std::string>{});
    advance(2s);
    EXPECT_EQ(takeSent(), std::vector<std::string>{kKeepAlive});
    advance(20s);
    EXPECT_EQ(takeSent(), std::vector<std::string>{kKeepAlive});
    store.leave(kOther, 5);
    advance(60s);
    EXPECT_EQ(takeSent(), std::vector<std::string>{});
    // A new first subscriber counts its ticks afresh.
    store.join(kOther, 5);
    advance(18s);
    EXPECT_EQ(takeSent(), std::vector<std::string>{});
    advance(2s);
    EXPECT_EQ(takeSent(), std::vector<std::string>{kKeepAlive});
}

// ---------------------------------------------------------------------------
// Records

TEST_F(RecordStoreTest, KeptOnlyWhileSomebodySubscribes) {
    callRecord("early");
    otherData("early");
    EXPECT_EQ(store.recordCount(kCdr), 0u);
    EXPECT_EQ(store.recordCount(kOther), 0u);
    EXPECT_EQ(store.blockData(kCdr, 5), std::nullopt);

    store.join(kCdr, 5);
    callRecord("A");
    otherData("B");
    EXPECT_EQ(store.recordCount(kCdr), 1u);
    EXPECT_EQ(store.recordCount(kOther), 0u);
}

TEST_F(RecordStoreTest, BlockBodiesAsTheStationsReadThem) {
    store.join(kCdr, 5);
    store.join(kOther, 6);
    callRecord("0115 201");
    callRecord("0116 202 0042");
    otherData("\x01\x02");
    otherData("xyz");
    Bytes expected = record(1, "0115 201");
    const Bytes second = record(2, "0116 202 0042");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(block(kCdr, 5), expected);
    EXPECT_EQ(block(kOther, 6), bytes("\x01\x02xyz"));
    // Each station reads only what it subscribes to.
    EXPECT_EQ(store.blockData(kOther, 5), std::nullopt);
    EXPECT_EQ(store.blockData(kCdr, 6), std::nullopt);
}

// The sequence number counts every record the store took, also those aged
// out since and those of an earlier subscription.
TEST_F(RecordStoreTest, SequenceNumbersGoOnAcrossAgeingAndSubscriptions) {
    store.join(kCdr, 5);
    callRecord("one");
    callRecord("two");
    advance(6s);
    store.leave(kCdr, 5);
    store.join(kCdr, 6);
    callRecord("three");
    EXPECT_EQ(block(kCdr, 6), record(3, "three"));
}

TEST_F(RecordStoreTest, RecordsOlderThanFiveSecondsAreNoLongerReturned) {
    store.join(kCdr, 5);
    store.join(kOther, 5);
    advance(1s);
    callRecord("old");
    otherData("old");
    // The tick at 6 s finds the first records exactly 5000 ms old.
    advance(5s);
    callRecord("new");
    otherData("new");
    EXPECT_EQ(store.recordCount(kCdr), 2u);
    EXPECT_EQ(store.recordCount(kOther), 2u);

    clock.advance(1ms);
    EXPECT_EQ(block(kCdr, 5), record(2, "new"));
    EXPECT_EQ(block(kOther, 5), bytes("new"));

    // The ticks prune as well, with nobody reading: the tick at 12 s.
    advance(6s);
    EXPECT_EQ(store.recordCount(kCdr), 0u);
    EXPECT_EQ(store.recordCount(kOther), 0u);
}

// With the timer switched off by the PBX, records that still come age out
// as new ones arrive.
TEST_F(RecordStoreTest, StoreStaysBoundedWithoutTheTimer) {
    store.join(kCdr, 5);
    link::CtiMessage off;
    off.code = link::code::Query;
    const Bytes data = bytes("#0");
    off.data = data;
    store.onReply(off);
    for (int i = 0; i < 20; ++i) {
        callRecord("r");
        clock.advance(1s);
    }
    EXPECT_EQ(store.recordCount(kCdr), 6u);
}

TEST_F(RecordStoreTest, LinkStopEmptiesTheStoresButKeepsTheSubscribers) {
    store.join(kCdr, 5);
    callRecord("A");
    store.clear();
    EXPECT_EQ(block(kCdr, 5), Bytes{});
    advance(2s);
    EXPECT_EQ(takeAnnounced(), std::vector<std::string>{});
    callRecord("B");
    EXPECT_EQ(block(kCdr, 5), record(2, "B"));
}

// ---------------------------------------------------------------------------
// Announcements

TEST_F(RecordStoreTest, NewRecordsAnnouncedOnceToTheirSubscribers) {
    store.join(kCdr, 5);
    store.join(kCdr, 6);
    store.join(kOther, 6);
    store.join(kOther, 7);
    callRecord("A");
    callRecord("B");
    advance(1999ms);
    EXPECT_EQ(takeAnnounced(), std::vector<std::string>{});
    advance(1ms);
    EXPECT_EQ(takeAnnounced(), (std::vector<std::string>{"5: 1,1,0", "6: 1,1,0"}));
    // Nothing new, nothing said.
    advance(2s);
    EXPECT_EQ(takeAnnounced(), std::vector<std::string>{});

    otherData("X");
    advance(2s);
    EXPECT_EQ(takeAnnounced(), (std::vector<std::string>{"6: 1,7,0", "7: 1,7,0"}));

    callRecord("C");
    otherData("Y");
    advance(2s);
    EXPECT_EQ(takeAnnounced(),
              (std::vector<std::string>{"5: 1,1,0", "6: 1,1,0", "6: 1,7,0", "7: 1,7,0"}));
}

// A line the model freed without TSPI_lineClose reaching the store (the
// one-station start-up failing, say) loses its subscriptions at the next
// announcement; the last call-record subscriber switches the output off.
TEST_F(RecordStoreTest, SubscriberWithoutLineIsDropped) {
    store.join(kCdr, 5);
    store.join(kCdr, 6);
    takeSent();
    model.closeLine(6);
    callRecord("A");
    advance(2s);
    EXPECT_EQ(takeAnnounced(), std::vector<std::string>{"5: 1,1,0"});
    EXPECT_FALSE(store.subscribed(kCdr, 6));
    EXPECT_EQ(takeSent(), std::vector<std::string>{});

    model.closeLine(5);
    callRecord("B");
    advance(2s);
    EXPECT_EQ(takeAnnounced(), std::vector<std::string>{});
    EXPECT_EQ(takeSent(), std::vector<std::string>{kOutputOff});
    EXPECT_FALSE(store.timerRunning());
}

// Event 0x3F: the model assembles the record from its two frames.
TEST_F(RecordStoreTest, ModelHandsAssembledCallRecords) {
    store.join(kCdr, 5);
    const auto feed = [&](std::string_view data) {
        link::CtiMessage m;
        m.station = link::kSystemIndex;
        m.code = 0x3F;
        m.data = {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
        model.onEvent(m);
    };
    feed(" 0115 201");
    EXPECT_EQ(store.recordCount(kCdr), 0u);
    feed("! 0012");
    EXPECT_EQ(block(kCdr, 5), record(1, "0115 201 0012"));
}

}  // namespace
}  // namespace velkor::devspecific
