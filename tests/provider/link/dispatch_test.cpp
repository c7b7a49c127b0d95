#include "provider/link/dispatch.h"

#include "link_fixture.h"

namespace velkor::link {
namespace {

using namespace testing;
using namespace std::chrono_literals;

struct RouteCase {
    const char* name;
    Bytes in;
    Log log;
};

// Messages that need no pending request: events, and answers to the system.
std::vector<RouteCase> routeCases() {
    return {
        {"event", ctiFrame(5, 0x20, text("1  22  23")), {"event 0005 20 " + toHex(text("1  22  23"))}},
        {"event without data", ctiFrame(5, 0x21), {"event 0005 21"}},
        {"last event code", ctiFrame(5, 0x4F), {"event 0005 4F"}},
        {"PBX keep-alive", ctiFrame(0xFFFF, 0x8B), {"reply FFFF 8B"}},
        {"system reply", ctiFrame(0xFFFF, 0x51, text("!")), {"reply FFFF 51 21"}},
        {"last reply code", ctiFrame(0xFFFF, 0x9F), {"reply FFFF 9F"}},
        {"system rejection", ctiFrame(0xFFFF, 0xA1, hex("22 99")), {"reject FFFF A1 cause 22"}},
        {"rejection without cause byte", ctiFrame(0xFFFF, 0xA1), {"reject FFFF A1 cause 00"}},
        {"CTI payload shorter than its header", frame(kTypeCti, hex("00 00 05")), {}},
        {"ATD two-byte code", frame(kTypeAtd, hex("00 01")), {"atd 2:0001 count 0 data "}},
        {"ATD one-byte code with count", frame(0x90, hex("83 01 00 05 01")),
         {"atd 1:83 count 1 data 000501"}},
        {"ATD with type 9F", frame(0x9F, hex("03 09 00 05")), {"atd 2:0309 count 0 data 0005"}},
        {"ATD payload too short", frame(kTypeAtd, hex("85")), {}},
        {"empty ATD payload", frame(kTypeAtd, {}), {}},
    };
}

class DispatchTest : public LinkFixture {};

TEST_F(DispatchTest, RoutesByTypeAndCode) {
    for (const auto& c : routeCases()) {
        SCOPED_TRACE(c.name);
        link.feed(c.in, Channel::Serial);
        EXPECT_EQ(recorded.take(), c.log);
    }
}

// The type byte decides, not the socket the frame came in on.
TEST_F(DispatchTest, TypeByteDecidesOverTheChannel) {
    link.feed(frame(kTypeAtd, hex("00 06")), Channel::Cti);
    link.feed(ctiFrame(5, 0x21), Channel::Atd);
    EXPECT_EQ(recorded.take(), (Log{"atd 2:0006 count 0 data ", "event 0005 21"}));
}

TEST_F(DispatchTest, NothingIsFedBeforeStartOrAfterStop) {
    link.stop();
    link.feed(ctiFrame(5, 0x21), Channel::Cti);
    EXPECT_TRUE(recorded.take().empty());
    link.start(Framing::Binary);
    link.feed(ctiFrame(5, 0x21), Channel::Cti);
    EXPECT_EQ(recorded.take(), Log{"event 0005 21"});
}

TEST_F(DispatchTest, AnswerToAStationWithoutRequestIsDropped) {
    pbx(7, 0x55);
    pbx(7, 0xA5, hex("7F"));
    EXPECT_TRUE(recorded.take().empty());
}

}  // namespace
}  // namespace velkor::link
