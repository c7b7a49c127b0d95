#include "provider/link/receiver.h"

#include <gtest/gtest.h>

#include <functional>

#include "link_test_util.h"

namespace velkor::link {
namespace {

using namespace testing;

struct ReceiverCase {
    const char* name;
    Bytes in;
    std::vector<std::string> frames;  // "TT:PAYLOAD"
    bool insideAfter = false;
};

const Bytes kGood = hex("BA EC A0 C4 00 00 05 20 BE BC");  // event 0x20 to station 5
const std::string kGoodOut = "A0:00000520";

Bytes withByte(Bytes b, std::size_t at, std::uint8_t value) {
    b.at(at) = value;
    return b;
}

std::vector<ReceiverCase> receiverCases() {
    const Bytes payload63 = [] {
        Bytes p(63);
        for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>(i * 7);
        return p;
    }();
    const Bytes withStart = hex("00 BA EC A0 C4 05");
    const Bytes atd = hex("00 01");
    return {
        {"one CTI frame", kGood, {kGoodOut}},
        {"ATD type bytes",
         frame(0x90, atd) + frame(0x9F, atd) + frame(0xB0, atd),
         {"90:0001", "9F:0001", "B0:0001"}},
        {"empty payload", frame(kTypeCti, {}), {"A0:"}},
        {"length 33 (byte 0x21)", frame(kTypeAtd, Bytes(33, 0x5A)),
         {"B0:" + toHex(Bytes(33, 0x5A))}},
        {"63-byte payload", frame(kTypeAtd, payload63), {"B0:" + toHex(payload63)}},
        {"second BA inside a payload does not restart", frame(kTypeCti, withStart),
         {"A0:" + toHex(withStart)}},
        {"two frames back to back", kGood + kGood, {kGoodOut, kGoodOut}},
        {"noise between frames", hex("00 FF BC EC") + kGood + hex("13 37 BA") + kGood,
         {kGoodOut, kGoodOut}},
        {"wrong guard bits (0x04 for L = 4)", withByte(kGood, 3, 0x04) + kGood, {kGoodOut}},
        {"bad checksum", withByte(kGood, 8, 0xBF) + kGood, {kGoodOut}},
        {"bad end mark", withByte(kGood, 9, 0xBD) + kGood, {kGoodOut}},
        {"unknown type byte", withByte(kGood, 2, 0xA1) + kGood, {kGoodOut}},
        {"start mark without its second byte", hex("BA 00") + kGood, {kGoodOut}},
        {"doubled first start byte", hex("BA") + kGood, {kGoodOut}},
        {"frame cut short is followed by a good one", hex("BA EC A0 C4 00 00") + kGood,
         {kGoodOut}},
        {"frame cut short after its checksum", hex("BA EC A0 C4 00 00 05 20 BE") + kGood,
         {kGoodOut}},
        {"good frame hidden in a corrupt frame's payload",
         hex("BA EC B0 D8 01 02") + kGood + Bytes(16, 0), {kGoodOut}},
        {"end mark inside a payload", frame(kTypeCti, hex("BC BC BC BC")), {"A0:BCBCBCBC"}},
        {"incomplete frame at the end", kGood + hex("BA EC A0 C4 00"), {kGoodOut}, true},
        {"lone start byte at the end", hex("BA"), {}, true},
        {"nothing but noise", hex("00 01 02 03 EC A0 C4 BC"), {}},
    };
}

// Feeds `in` in the chunks `split` yields and returns the frames.
RecordingSink feedAll(const Bytes& in, const std::vector<std::size_t>& cuts, bool* insideAfter) {
    RecordingSink sink;
    Receiver receiver(sink);
    std::size_t at = 0;
    bool inside = false;
    for (std::size_t cut : cuts) {
        inside = receiver.feed(std::span(in).subspan(at, cut - at), Channel::Cti);
        at = cut;
    }
    inside = receiver.feed(std::span(in).subspan(at), Channel::Cti);
    if (insideAfter) *insideAfter = inside;
    return sink;
}

void expectCase(const ReceiverCase& c, const std::vector<std::size_t>& cuts) {
    bool inside = false;
    const RecordingSink sink = feedAll(c.in, cuts, &inside);
    EXPECT_EQ(sink.frames, c.frames);
    EXPECT_EQ(inside, c.insideAfter);
}

TEST(Receiver, WholeInput) {
    for (const auto& c : receiverCases()) {
        SCOPED_TRACE(c.name);
        expectCase(c, {});
    }
}

TEST(Receiver, ByteByByte) {
    for (const auto& c : receiverCases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::size_t> cuts;
        for (std::size_t i = 1; i < c.in.size(); ++i) cuts.push_back(i);
        expectCase(c, cuts);
    }
}

TEST(Receiver, SplitAtEveryOffset) {
    for (const auto& c : receiverCases()) {
        for (std::size_t cut = 0; cut <= c.in.size(); ++cut) {
            SCOPED_TRACE(std::string(c.name) + " cut at " + std::to_string(cut));
            expectCase(c, {cut});
        }
    }
}

TEST(Receiver, SplitAtEveryPairOfOffsets) {
    for (const auto& c : receiverCases()) {
        if (c.in.size() > 40) continue;
        for (std::size_t a = 0; a <= c.in.size(); ++a) {
            for (std::size_t b = a; b <= c.in.size(); ++b) {
                SCOPED_TRACE(std::string(c.name) + " cuts " + std::to_string(a) + "," +
                             std::to_string(b));
                expectCase(c, {a, b});
            }
        }
    }
}

TEST(Receiver, ReportsWhetherInsideAFrame) {
    RecordingSink sink;
    Receiver receiver(sink);
    EXPECT_FALSE(receiver.insideFrame());
    EXPECT_TRUE(receiver.feed(std::span(kGood).first(4), Channel::Cti));
    EXPECT_TRUE(receiver.insideFrame(Channel::Cti));
    EXPECT_FALSE(receiver.insideFrame(Channel::Atd));
    EXPECT_FALSE(receiver.feed(std::span(kGood).subspan(4), Channel::Cti));
    EXPECT_EQ(sink.frames, std::vector<std::string>{kGoodOut});
}

TEST(Receiver, ChannelsKeepTheirOwnPartialFrames) {
    RecordingSink sink;
    Receiver receiver(sink);
    const Bytes atdFrame = frame(kTypeAtd, hex("00 06"));
    receiver.feed(std::span(kGood).first(6), Channel::Cti);
    EXPECT_FALSE(receiver.feed(atdFrame, Channel::Atd));
    EXPECT_FALSE(receiver.feed(std::span(kGood).subspan(6), Channel::Cti));
    EXPECT_EQ(sink.frames, (std::vector<std::string>{"B0:0006", kGoodOut}));
    EXPECT_EQ(sink.channels, (std::vector<Channel>{Channel::Atd, Channel::Cti}));
}

TEST(Receiver, ResetDropsPartialFrame) {
    RecordingSink sink;
    Receiver receiver(sink);
    receiver.feed(std::span(kGood).first(6), Channel::Serial);
    receiver.reset();
    EXPECT_FALSE(receiver.insideFrame());
    receiver.feed(std::span(kGood).subspan(6), Channel::Serial);
    EXPECT_TRUE(sink.frames.empty());
}

TEST(Receiver, IgnoresUnknownChannel) {
    RecordingSink sink;
    Receiver receiver(sink);
    EXPECT_FALSE(receiver.feed(kGood, static_cast<Channel>(7)));
    EXPECT_TRUE(sink.frames.empty());
}

}  // namespace
}  // namespace velkor::link
