#include "provider/link/requests.h"

#include "link_fixture.h"
#include "platform/time/virtual_clock.h"

namespace velkor::link {
namespace {

using namespace testing;
using namespace std::chrono_literals;

class RequestTest : public LinkFixture {};

struct TimeoutCase {
    const char* name;
    std::uint16_t station;
    std::uint8_t code;
    Bytes data;
    Log log;
};

TEST_F(RequestTest, UnansweredRequestTimesOutWithItsCause) {
    const TimeoutCase cases[] = {
        {"call request", 5, 0x55, text("  21"), {"reject 0005 A5 cause 7F timeout"}},
        {"start monitoring", 12, 0x50, text("!#"), {"reject 000C A0 cause 34 timeout"}},
        {"session open", 0, 0x50, text("##"), {"reject 0000 A0 cause 36 timeout"}},
        {"stop monitoring", 12, 0x50, hex("22"), {"reject 000C A0 cause 7F timeout"}},
        {"session control without data", 1, 0x50, {}, {"reject 0001 A0 cause 7F timeout"}},
        {"last station that times out", 374, 0x5A, {}, {"reject 0176 AA cause 7F timeout"}},
        {"short message", 3, 0x98, text("hi"), {"reject 0003 E8 cause 7F timeout"}},
        {"system request", 0xFFFF, 0x51, text("!"), {}},
        {"station above the time-out range", 400, 0x5A, {}, {}},
        {"index above the station table", 1001, 0x5A, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(send(c.station, c.code, c.data));
        scanAfter(9001ms);
        EXPECT_EQ(recorded.take(), c.log);
        scanAfter(60s);
        EXPECT_TRUE(recorded.take().empty());
    }
}

TEST_F(RequestTest, TimeOutOnlyAfterNineSeconds) {
    send(5, 0x5A);
    scanAfter(9000ms);
    EXPECT_TRUE(recorded.take().empty());
    scanAfter(1ms);
    EXPECT_EQ(recorded.take(), Log{"reject 0005 AA cause 7F timeout"});
}

// With the timer's 4-second period the rejection comes at the third scan.
TEST_F(RequestTest, PeriodicScanRejectsAtTheFirstTickPastTheLimit) {
    send(5, 0x5A);
    scanAfter(4000ms);
    scanAfter(4000ms);
    EXPECT_TRUE(recorded.take().empty());
    scanAfter(4000ms);
    EXPECT_EQ(recorded.take(), Log{"reject 0005 AA cause 7F timeout"});
}

TEST_F(RequestTest, TimesOutWhenTheStampLiesFarInTheFuture) {
    send(5, 0x5A);
    now -= 9001ms;
    link.scan(now);
    EXPECT_EQ(recorded.take(), Log{"reject 0005 AA cause 7F timeout"});
}

TEST_F(RequestTest, EachRequestTimesOutOnItsOwnTime) {
    send(5, 0x5A);
    after(5s);
    send(5, 0x5B);
    send(6, 0x5A);
    scanAfter(4001ms);
    EXPECT_EQ(recorded.take(), Log{"reject 0005 AA cause 7F timeout"});
    scanAfter(5s);
    EXPECT_EQ(recorded.take(),
              (Log{"reject 0005 AB cause 7F timeout", "reject 0006 AA cause 7F timeout"}));
}

TEST_F(RequestTest, DuplicateReplyIsDropped) {
    send(5, 0x55, text("  21"));
    pbx(5, 0x55);
    pbx(5, 0x55);
    EXPECT_EQ(recorded.take(), Log{"reply 0005 55"});
    scanAfter(10s);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(RequestTest, RejectionTakesTheRequestAndPassesItsCause) {
    send(5, 0x55, text("  21"));
    pbx(5, 0xA5, hex("22 01 02"));
    pbx(5, 0xA5, hex("22"));
    pbx(5, 0x55);
    EXPECT_EQ(recorded.take(), Log{"reject 0005 A5 cause 22"});
    scanAfter(10s);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(RequestTest, AnswersMatchStationAndCode) {
    send(5, 0x55, text("  21"));
    send(5, 0x5A);
    pbx(6, 0x55);  // other station
    pbx(5, 0x5B);  // other request
    pbx(5, 0xAB);
    EXPECT_TRUE(recorded.take().empty());
    pbx(5, 0x5A);
    pbx(5, 0x55);
    EXPECT_EQ(recorded.take(), (Log{"reply 0005 5A", "reply 0005 55"}));
}

TEST_F(RequestTest, TwoEqualRequestsTakeTwoAnswers) {
    send(5, 0x5A);
    send(5, 0x5A);
    pbx(5, 0x5A);
    pbx(5, 0xAA, hex("11"));
    pbx(5, 0x5A);
    EXPECT_EQ(recorded.take(), (Log{"reply 0005 5A", "reject 0005 AA cause 11"}));
}

TEST_F(RequestTest, AnswersToTheSystemAreAlwaysHandled) {
    send(0xFFFF, 0x51, text("!"));
    pbx(0xFFFF, 0x51, text("!"));
    pbx(0xFFFF, 0x51, text("!"));
    EXPECT_EQ(recorded.take(), (Log{"reply FFFF 51 21", "reply FFFF 51 21"}));
}

TEST_F(RequestTest, LateReplyAfterTimeOutIsDropped) {
    send(5, 0x5A);
    scanAfter(9001ms);
    pbx(5, 0x5A);
    EXPECT_EQ(recorded.take(), Log{"reject 0005 AA cause 7F timeout"});
}

// Stations from 375 on get no time-out rejection, but their answers still
// pass once and their duplicates are dropped.
TEST_F(RequestTest, StationFourHundredHasNoTimeOutButItsRepliesPass) {
    send(400, 0x50, text("!#"));
    pbx(400, 0x50, text("4"));
    pbx(400, 0x50, text("4"));
    EXPECT_EQ(recorded.take(), Log{"reply 0190 50 34"});

    send(400, 0x5A);
    scanAfter(9001ms);
    EXPECT_TRUE(recorded.take().empty());
    EXPECT_EQ(link.requests().pendingCount(400), 0u);
    pbx(400, 0x5A);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(RequestTest, RequestThatCouldNotBeSentNeverTimesOut) {
    writer.accept = false;
    EXPECT_FALSE(send(5, 0x5A));
    EXPECT_FALSE(send(0xFFFF, 0x7C, hex("04 02 00 05")));
    EXPECT_EQ(link.requests().pendingCount(5), 0u);
    EXPECT_EQ(link.requests().serviceCount(), 0u);
    scanAfter(10s);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(RequestTest, OversizedRequestIsRefusedAndNotTracked) {
    EXPECT_FALSE(send(5, 0x98, Bytes(60, 'x')));
    EXPECT_TRUE(writer.writes.empty());
    scanAfter(10s);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(RequestTest, NothingIsSentWhileTheLinkIsStopped) {
    link.stop();
    EXPECT_FALSE(send(5, 0x5A));
    EXPECT_FALSE(link.sendAtd(atd::Alive, {}));
    EXPECT_TRUE(writer.writes.empty());
}

TEST_F(RequestTest, StopForgetsOutstandingRequests) {
    send(5, 0x5A);
    send(0xFFFF, 0x7C, hex("04 02 00 05"));
    link.stop();
    link.start(Framing::Binary);
    scanAfter(10s);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(RequestTest, StartResetsTheSequenceCounter) {
    send(5, 0x5A);
    send(5, 0x5A);
    link.stop();
    link.start(Framing::Binary);
    send(5, 0x5A);
    EXPECT_EQ(writer.writes.back()[4], 0);
}

TEST_F(RequestTest, SecondStartKeepsTheRunningLink) {
    send(5, 0x5A);
    link.start(Framing::StxEtx);
    EXPECT_EQ(link.framing(), Framing::Binary);
    scanAfter(9001ms);
    EXPECT_EQ(recorded.take(), Log{"reject 0005 AA cause 7F timeout"});
}

// Service requests.

struct ServiceCase {
    const char* name;
    Bytes payload;
};

const ServiceCase kServiceCases[] = {
    {"call records on", hex("01 01 00 05")},
    {"other data off", hex("02 02 00 05")},
    {"user-user relay", hex("03 00 00 05 41 42")},
    {"all-station status", hex("04 02 FF FF")},
    {"single-station status", hex("04 03 00 05 01")},
    {"station number query", hex("04 06 00 05 00 21")},
    {"call-data relay", hex("05 00 00 05 11 22 33 44 00 01")},
    {"deferred release", hex("06 01 00 05 11 22 33 44")},
};

TEST_F(RequestTest, ServiceRequestUnansweredForNineSecondsIsAccepted) {
    for (const auto& c : kServiceCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(send(0xFFFF, 0x7C, c.payload));
        scanAfter(9000ms);
        EXPECT_TRUE(recorded.take().empty());
        scanAfter(1ms);
        EXPECT_EQ(recorded.take(), Log{"service timeout " + toHex(c.payload)});
        // The PBX's late echo does not run the accept action again.
        pbx(0xFFFF, 0x7C, c.payload);
        EXPECT_TRUE(recorded.take().empty());
    }
}

TEST_F(RequestTest, EchoAndRejectionBothAcceptOnce) {
    for (const auto& c : kServiceCases) {
        SCOPED_TRACE(c.name);
        send(0xFFFF, 0x7C, c.payload);
        pbx(0xFFFF, 0x7C, c.payload);
        pbx(0xFFFF, 0x7C, c.payload);
        send(0xFFFF, 0x7C, c.payload);
        pbx(0xFFFF, 0xCC, c.payload);
        pbx(0xFFFF, 0xCC, c.payload);
        EXPECT_EQ(recorded.take(), (Log{"service echo " + toHex(c.payload),
                                        "service rejected " + toHex(c.payload)}));
        scanAfter(10s);
        EXPECT_TRUE(recorded.take().empty());
    }
}

// Answers find their request by type, subtype and the first index byte; call-
// data relays by six bytes, since several run at once.
TEST_F(RequestTest, ServiceAnswerMatchesByItsLeadingBytes) {
    send(0xFFFF, 0x7C, hex("05 00 00 05 11 22 33 44 00 01"));
    pbx(0xFFFF, 0x7C, hex("05 00 00 05 99 22 33 44 00 01"));
    EXPECT_TRUE(recorded.take().empty());
    pbx(0xFFFF, 0x7C, hex("05 00 00 05 11 22 00 00 00 00"));
    EXPECT_EQ(recorded.take(), Log{"service echo 05000005112200000000"});
}

TEST_F(RequestTest, ShortServiceAnswersAreSafe) {
    send(0xFFFF, 0x7C, hex("04 02 00 05"));
    pbx(0xFFFF, 0x7C);
    pbx(0xFFFF, 0x7C, hex("04"));
    pbx(0xFFFF, 0xCC, hex("04 02"));
    EXPECT_TRUE(recorded.take().empty());
    EXPECT_EQ(link.requests().serviceCount(), 1u);
}

TEST_F(RequestTest, UntrackedServiceTypesAlwaysPass) {
    const Bytes table = hex("E1 00 01");
    send(0xFFFF, 0x7C, table);
    EXPECT_EQ(link.requests().serviceCount(), 0u);
    pbx(0xFFFF, 0x7C, table);
    pbx(0xFFFF, 0x7C, hex("EC"));
    EXPECT_EQ(recorded.take(), (Log{"service echo E10001", "service echo EC"}));
    scanAfter(10s);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(RequestTest, ServiceRequestToAStationIsAnOrdinaryRequest) {
    send(5, 0x7C, hex("04 02 00 05"));
    EXPECT_EQ(link.requests().serviceCount(), 0u);
    scanAfter(9001ms);
    EXPECT_EQ(recorded.take(), Log{"reject 0005 CC cause 7F timeout"});
}

// The link's timer drives scan() off a clock; a virtual one stands in here.
TEST_F(RequestTest, ScanDrivenByAVirtualClock) {
    platform::VirtualClock clock;
    link.sendCti(5, 0x5A, {}, clock.now());
    link.sendCti(0xFFFF, 0x7C, hex("01 01 00 05"), clock.now());
    for (int tick = 0; tick < 3; ++tick) {
        clock.advance(RequestTracker::kScanPeriod);
        link.scan(clock.now());
    }
    EXPECT_EQ(recorded.take(),
              (Log{"reject 0005 AA cause 7F timeout", "service timeout 01010005"}));
}

// Single-station mode.

class StxEtxLinkTest : public LinkFixture {
protected:
    void SetUp() override {
        link.start(Framing::StxEtx);
        link.setOwnStationIndex(std::uint16_t(5));
    }
    void pbxStx(const Bytes& body) {
        link.feed(Bytes{0x02} + body + Bytes{0x03}, Channel::Serial);
    }
};

TEST_F(StxEtxLinkTest, ServiceRequestIsEchoedByTheLinkAfterAHundredMilliseconds) {
    EXPECT_TRUE(send(0xFFFF, 0x7C, hex("04 03 00 05 01")));
    EXPECT_TRUE(writer.writes.empty());
    ASSERT_TRUE(link.nextLoopbackDue());
    EXPECT_EQ(*link.nextLoopbackDue(), now + 100ms);
    link.runLoopbacks(now + 99ms);
    EXPECT_TRUE(recorded.take().empty());
    link.runLoopbacks(now + 100ms);
    EXPECT_EQ(recorded.take(), Log{"service loopback 0403000501"});
    EXPECT_FALSE(link.nextLoopbackDue());
    scanAfter(10s);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(StxEtxLinkTest, StopDropsPendingLoopbacks) {
    send(0xFFFF, 0x7C, hex("04 03 00 05 01"));
    link.stop();
    link.start(Framing::StxEtx);
    link.runLoopbacks(now + 1s);
    EXPECT_TRUE(recorded.take().empty());
}

TEST_F(StxEtxLinkTest, OnlySessionAndQueryRequestsGoToTheSystem) {
    EXPECT_TRUE(send(0xFFFF, 0x50, text("##")));
    EXPECT_TRUE(send(0xFFFF, 0x51, text("!")));
    EXPECT_FALSE(send(0xFFFF, 0x8B));
    EXPECT_FALSE(send(0xFFFF, 0x5A));
    ASSERT_EQ(writer.writes.size(), 2u);
    EXPECT_EQ(toHex(writer.writes[0]), "0250232303");
    EXPECT_EQ(toHex(writer.writes[1]), "02512103");
}

TEST_F(StxEtxLinkTest, EveryStationRequestTimesOut) {
    send(400, 0x5A);
    send(5, 0x55, text("21  "));
    EXPECT_EQ(toHex(writer.writes.at(0)), "025A03");
    scanAfter(9001ms);
    EXPECT_EQ(recorded.take(),
              (Log{"reject 0005 A5 cause 7F timeout", "reject 0190 AA cause 7F timeout"}));
}

TEST_F(StxEtxLinkTest, RepliesComeBackForTheOwnStation) {
    send(5, 0x55, text("21  "));
    pbxStx(hex("55"));
    pbxStx(hex("55"));
    pbxStx(hex("21"));
    pbxStx(hex("51") + text("!"));
    EXPECT_EQ(recorded.take(), (Log{"reply 0005 55", "event 0005 21", "reply FFFF 51 21"}));
}

TEST_F(StxEtxLinkTest, AtdChannelStaysBinary) {
    link.feed(frame(kTypeAtd, hex("00 06")), Channel::Atd);
    EXPECT_EQ(recorded.take(), Log{"atd 2:0006 count 0 data "});
    EXPECT_TRUE(link.sendAtd(atd::Alive, {}));
    EXPECT_EQ(writer.writes.back(), frame(kTypeAtd, hex("00 06")));
}

}  // namespace
}  // namespace velkor::link
