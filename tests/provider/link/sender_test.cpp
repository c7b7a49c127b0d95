#include "provider/link/sender.h"

#include <gtest/gtest.h>

#include <thread>

#include "link_test_util.h"
#include "provider/link/catalogue.h"
#include "provider/link/cti.h"

namespace velkor::link {
namespace {

using namespace testing;

class SenderTest : public ::testing::Test {
protected:
    RecordingWriter writer;
    Sender sender{writer};
};

TEST_F(SenderTest, CtiFrameCarriesSequenceStationCodeAndData) {
    ASSERT_TRUE(sender.sendCti(0x0105, 0x55, text("  21")));
    ASSERT_EQ(writer.writes.size(), 1u);
    EXPECT_EQ(writer.writes[0], frame(kTypeCti, hex("00 01 05 55") + text("  21")));
    EXPECT_EQ(writer.channels[0], Channel::Cti);
}

TEST_F(SenderTest, AtdFrameGoesOutAsB0OnTheAtdChannel) {
    ASSERT_TRUE(sender.sendAtd(AtdShape::Atd2, 0x0309, hex("00 0A")));
    EXPECT_EQ(writer.writes.at(0), frame(kTypeAtd, hex("03 09 00 0A")));
    EXPECT_EQ(writer.channels.at(0), Channel::Atd);
}

TEST_F(SenderTest, CtiAndAtdShareTheSequenceCounterWhichWraps) {
    for (int i = 0; i < 255; ++i) {
        if (i % 2) {
            sender.sendAtd(AtdShape::Atd2, 0x0006, {});
        } else {
            sender.sendCti(kSystemIndex, 0x8B, {});
        }
    }
    EXPECT_EQ(sender.nextSequence(), 255);
    sender.sendCti(kSystemIndex, 0x8B, {});
    EXPECT_EQ(writer.writes.back()[4], 255);
    sender.sendCti(kSystemIndex, 0x8B, {});
    EXPECT_EQ(writer.writes.size(), 257u);
    EXPECT_EQ(writer.writes.back()[4], 0);
    EXPECT_EQ(sender.nextSequence(), 1);
}

TEST_F(SenderTest, OversizedMessageIsRefusedWithoutWritingOrCounting) {
    EXPECT_TRUE(sender.sendCti(1, 0x98, Bytes(59, 'x')));
    EXPECT_FALSE(sender.sendCti(1, 0x98, Bytes(60, 'x')));
    EXPECT_FALSE(sender.sendAtd(AtdShape::Atd2, 0x0008, Bytes(62, 1)));
    EXPECT_EQ(writer.writes.size(), 1u);
    EXPECT_EQ(writer.writes[0].size(), 69u);
    EXPECT_EQ(sender.nextSequence(), 1);
}

TEST_F(SenderTest, RefusedWriteIsReported) {
    writer.accept = false;
    EXPECT_FALSE(sender.sendCti(1, 0x5A, {}));
    EXPECT_FALSE(sender.sendAtd(AtdShape::Atd2, 0x0006, {}));
}

TEST_F(SenderTest, ResetStartsTheCounterAgain) {
    sender.sendCti(1, 0x5A, {});
    sender.reset();
    sender.sendCti(1, 0x5A, {});
    EXPECT_EQ(writer.writes.back()[4], 0);
}

TEST_F(SenderTest, StxEtxFrameHasNoHeaderAndNoSequence) {
    ASSERT_TRUE(sender.sendStxEtx(0x55, text("21  ")));
    EXPECT_EQ(toHex(writer.writes.at(0)), "0255" + toHex(text("21  ")) + "03");
    EXPECT_EQ(sender.nextSequence(), 0);
    EXPECT_FALSE(sender.sendStxEtx(0x98, Bytes(59, 'x')));
    EXPECT_TRUE(sender.sendStxEtx(0x98, Bytes(58, 'x')));
}

// Frames from several threads never interleave and each sequence number is
// used once.
TEST_F(SenderTest, ConcurrentSendersGetDistinctSequenceNumbers) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 64; ++i) {
                if (t % 2) {
                    sender.sendCti(static_cast<std::uint16_t>(t), 0x5A, Bytes(20, std::uint8_t(t)));
                } else {
                    sender.sendAtd(AtdShape::Atd2, 0x0006, Bytes(22, std::uint8_t(t)));
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    ASSERT_EQ(writer.writes.size(), 256u);
    std::vector<bool> seen(256, false);
    for (const Bytes& w : writer.writes) {
        ASSERT_EQ(w.size(), 30u);
        EXPECT_EQ(w.back(), kEndMark);
        if (w[2] == kTypeCti) {
            EXPECT_FALSE(seen[w[4]]);
            seen[w[4]] = true;
        }
    }
}

}  // namespace
}  // namespace velkor::link
