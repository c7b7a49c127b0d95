#include "provider/link/stx_etx.h"

#include <gtest/gtest.h>

#include "link_test_util.h"

namespace velkor::link {
namespace {

using namespace testing;

// STX body ETX.
Bytes stx(const Bytes& body) { return Bytes{kStx} + body + Bytes{kEtx}; }

// Expected frame as the receiver passes it on: type 02, sequence 0, station
// index, body.
std::string out(std::uint16_t station, const Bytes& body) {
    return "02:00" + toHex(Bytes{std::uint8_t(station >> 8), std::uint8_t(station)}) + toHex(body);
}

struct StxCase {
    const char* name;
    Bytes in;
    std::optional<std::uint16_t> ownIndex;
    std::vector<std::string> frames;
    bool insideAfter = false;
};

std::vector<StxCase> stxCases() {
    const Bytes body59 = Bytes{0x3F} + Bytes(58, 'a');
    const Bytes body60 = Bytes{0x3F} + Bytes(59, 'a');
    const Bytes reply = hex("50") + text("4  21#") + hex("01");
    return {
        {"event to the own station", stx(hex("21")), std::uint16_t(7), {out(7, hex("21"))}},
        {"own station not yet known", stx(hex("21")), std::nullopt, {out(0, hex("21"))}},
        {"query reply is system-wide", stx(hex("51 21")), std::uint16_t(7),
         {out(0xFFFF, hex("51 21"))}},
        {"service echo is system-wide", stx(hex("7C 04 02 00 07")), std::uint16_t(7),
         {out(0xFFFF, hex("7C 04 02 00 07"))}},
        {"query rejection is system-wide", stx(hex("A1 22")), std::uint16_t(7),
         {out(0xFFFF, hex("A1 22"))}},
        {"service rejection is system-wide", stx(hex("CC 04 02")), std::uint16_t(7),
         {out(0xFFFF, hex("CC 04 02"))}},
        {"other rejections go to the own station", stx(hex("A5 7F")), std::uint16_t(7),
         {out(7, hex("A5 7F"))}},
        {"session reply", stx(reply), std::uint16_t(0), {out(0, reply)}},
        {"59 bytes between the marks are handled", stx(body59), std::uint16_t(3),
         {out(3, body59)}},
        {"60 bytes between the marks are dropped", stx(body60) + stx(hex("21")), std::uint16_t(3),
         {out(3, hex("21"))}},
        {"bytes outside frames are ignored", hex("00 03 41") + stx(hex("22")) + hex("FF"),
         std::uint16_t(3), {out(3, hex("22"))}},
        {"STX inside a frame is data", stx(hex("42 02 05")), std::uint16_t(3),
         {out(3, hex("42 02 05"))}},
        {"empty frame is dropped", stx({}) + stx(hex("21")), std::uint16_t(3),
         {out(3, hex("21"))}},
        {"unfinished frame", hex("02 21 00"), std::uint16_t(3), {}, true},
    };
}

void run(const StxCase& c, std::size_t chunk) {
    RecordingSink sink;
    StxEtxReceiver receiver(sink);
    receiver.setOwnStationIndex(c.ownIndex);
    bool inside = false;
    for (std::size_t at = 0; at < c.in.size(); at += chunk) {
        inside = receiver.feed(std::span(c.in).subspan(at, std::min(chunk, c.in.size() - at)),
                               Channel::Cti);
    }
    EXPECT_EQ(sink.frames, c.frames);
    EXPECT_EQ(inside, c.insideAfter);
}

TEST(StxEtxReceiver, Cases) {
    for (const auto& c : stxCases()) {
        SCOPED_TRACE(c.name);
        run(c, c.in.size());
        run(c, 1);
        run(c, 5);
    }
}

TEST(StxEtxReceiver, SplitAtEveryOffset) {
    for (const auto& c : stxCases()) {
        for (std::size_t cut = 0; cut <= c.in.size(); ++cut) {
            SCOPED_TRACE(std::string(c.name) + " cut at " + std::to_string(cut));
            RecordingSink sink;
            StxEtxReceiver receiver(sink);
            receiver.setOwnStationIndex(c.ownIndex);
            receiver.feed(std::span(c.in).first(cut), Channel::Cti);
            EXPECT_EQ(receiver.feed(std::span(c.in).subspan(cut), Channel::Cti), c.insideAfter);
            EXPECT_EQ(sink.frames, c.frames);
        }
    }
}

TEST(StxEtxEncode, FrameLimits) {
    Bytes buf(64);
    EXPECT_EQ(encodeStxEtx(0x55, Bytes(58, 'x'), buf), 61u);
    EXPECT_EQ(buf[0], kStx);
    EXPECT_EQ(buf[60], kEtx);
    EXPECT_EQ(encodeStxEtx(0x55, Bytes(59, 'x'), buf), 0u);
    Bytes small(3);
    EXPECT_EQ(encodeStxEtx(0x55, Bytes(1, 'x'), small), 0u);
}

}  // namespace
}  // namespace velkor::link
