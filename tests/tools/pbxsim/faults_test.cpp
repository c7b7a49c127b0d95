// Faults the PBX is told to show, seen from the provider's link.
#include "tests/tools/pbxsim/sim_fixture.h"
#include "tools/pbxsim/control.h"

namespace velkor::pbxsim::testing {
namespace {

using namespace std::chrono_literals;
namespace code = link::code;

class PbxsimFaultsTest : public SimFixture {
protected:
    void SetUp() override { makePbx("model 30\nstation 5 205 DKT\n"); }
    void control(const std::string& line) {
        const ControlReply reply = executeControl(*pbx, line);
        ASSERT_TRUE(reply.ok) << reply.text;
        pump();
    }
    void identify() { cti(link::kSystemIndex, code::Query, bytes("!")); }
};

TEST_F(PbxsimFaultsTest, DroppedAndCorruptedFramesNeverReachTheProvider) {
    struct Case {
        const char* command;
        const char* note;
    };
    const Case cases[] = {
        {"drop 1", "dropped"},
        {"corrupt 1", "corrupted checksum"},
        {"corrupt 1 length", "corrupted length byte"},
        {"corrupt 1 end", "corrupted end mark"},
        {"corrupt 1 truncate", "truncated"},
        {"silent on cti", "silent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        heard.clear();
        control(c.command);
        identify();
        EXPECT_TRUE(heard.replies.empty());
        EXPECT_EQ(pbx->records().back().note, c.note);
        control("silent off");
        identify();
        EXPECT_EQ(heard.replies.size(), 1u) << "the next answer goes through";
    }
}

TEST_F(PbxsimFaultsTest, AnswerRulesForTheNextRequest) {
    // Ignored: the provider's own time-out answers after 9 s.
    control("next cti Query ignore");
    cti(5, code::Query, bytes("!"));
    EXPECT_TRUE(heard.replies.empty());
    provider.scan(clock.now() + 10s);
    ASSERT_EQ(heard.rejections.size(), 1u);
    EXPECT_TRUE(heard.rejections[0].timedOut);

    // Rejected with the chosen cause.
    heard.clear();
    control("next cti 0x50 reject 0x2C");
    cti(5, code::SessionControl, bytes("!#"));
    ASSERT_EQ(heard.rejections.size(), 1u);
    EXPECT_EQ(heard.rejections[0].cause, 0x2C);
    cti(5, code::SessionControl, bytes("!#"));
    EXPECT_EQ(heard.replies.size(), 1u) << "the rule was for one request";

    // Delayed by the virtual clock.
    heard.clear();
    control("next cti Query delay 1500");
    identify();
    EXPECT_TRUE(heard.replies.empty());
    advance(1499ms);
    EXPECT_TRUE(heard.replies.empty());
    advance(1ms);
    EXPECT_EQ(heard.replies.size(), 1u);

    // ATD open refused by a rule, accepted afterwards.
    heard.clear();
    control("next atd OpenSession reject 0");
    atd(link::atd::OpenSession);
    atd(link::atd::OpenSession);
    ASSERT_EQ(heard.atd.size(), 2u);
    EXPECT_EQ(heard.atd[0].code, link::atd::SessionRefused);
    EXPECT_EQ(heard.atd[1].code, link::atd::SessionAccepted);
}

TEST_F(PbxsimFaultsTest, ControlSendsEventsAndRawFrames) {
    control("event @205 Released 21 num:21");
    ASSERT_EQ(heard.events.size(), 1u);
    EXPECT_EQ(heard.events[0].station, 5);
    EXPECT_EQ(heard.events[0].code, link::event::Released);
    EXPECT_EQ(heard.events[0].data, (std::vector<std::uint8_t>{0x21, ' ', ' ', '2', '1'}));
    // Raw bytes go out exactly as given: a good frame (event 0x22 to
    // station 5) arrives, one with wrong guard bits in its length byte does not.
    control("raw cti BA EC A0 85 00 00 05 22 31 CC BC");
    ASSERT_EQ(heard.events.size(), 2u);
    EXPECT_EQ(heard.events[1].code, link::event::Answered);
    control("raw cti BA EC A0 C5 00 00 05 22 31 8C BC");
    EXPECT_EQ(heard.events.size(), 2u);
}

TEST_F(PbxsimFaultsTest, BadCommandsSayWhatIsWrong) {
    struct Case {
        const char* line;
        const char* error;
    };
    const Case cases[] = {
        {"frobnicate", "unknown command"},
        {"event 5 SessionControl", "below 0x50"},
        {"event 5 Released zz", "'zz' is not hex"},
        {"event @999 Released", "no station has number 999"},
        {"cti 5", "usage: cti"},
        {"next cti Query sometimes", "is not ignore, reject or delay"},
        {"silent maybe", "silent on or silent off"},
        {"status planet 1 1", "status of station, co or attendant"},
        {"event 5 Released \"open", "unclosed quote"},
    };
    for (const Case& c : cases) {
        const ControlReply reply = executeControl(*pbx, c.line);
        EXPECT_FALSE(reply.ok) << c.line;
        EXPECT_NE(reply.text.find(c.error), std::string::npos) << c.line << " -> " << reply.text;
    }
}

}  // namespace
}  // namespace velkor::pbxsim::testing
