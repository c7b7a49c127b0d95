#include "tools/pbxsim/scenario.h"

#include "tests/tools/pbxsim/sim_fixture.h"

namespace velkor::pbxsim::testing {
namespace {

using namespace std::chrono_literals;
namespace code = link::code;

class PbxsimScenarioTest : public SimFixture {
protected:
    void SetUp() override { makePbx("model 30\nstation 1 200 DKT\n"); }
    std::unique_ptr<ScenarioRun> run(std::string_view text) {
        ScenarioParse parsed = parseScenario(text, "test.scn");
        EXPECT_TRUE(parsed.errors.empty()) << parsed.errors.front();
        pbx->setAutoAnswer(false);
        auto r = std::make_unique<ScenarioRun>(*pbx, std::move(*parsed.scenario));
        r->start();
        pump();
        return r;
    }
};

TEST_F(PbxsimScenarioTest, ScriptedExchangePasses) {
    auto r = run("expect cti sys SessionControl \"##\"\n"
                 "send cti sys SessionControl \"6#\"\n"
                 "wait 100\n"
                 "expect cti * Query 22 ?? *\n"
                 "send cti sys Query 22 num:200 00 01 21\n");
    cti(link::kSystemIndex, code::SessionControl, bytes("##"));
    ASSERT_EQ(heard.replies.size(), 1u) << "the send step answers at once";
    EXPECT_EQ(heard.replies[0].data, bytes("6#"));
    // A frame that comes during the wait meets the expect after it.
    cti(link::kSystemIndex, code::Query, {0x22, 0, 1});
    EXPECT_EQ(r->state(), ScenarioRun::State::Running);
    advance(100ms);
    EXPECT_EQ(r->state(), ScenarioRun::State::Passed) << r->message();
}

TEST_F(PbxsimScenarioTest, FailureNamesTheStepAndTheBytesSeen) {
    auto r = run("# start-up\n"
                 "expect cti sys SessionControl \"##\"\n"
                 "expect cti sys Query \"!\"\n");
    cti(link::kSystemIndex, code::SessionControl, bytes("##"));
    cti(link::kSystemIndex, code::Query, {0x22, 0, 1});
    ASSERT_EQ(r->state(), ScenarioRun::State::Failed);
    EXPECT_NE(r->message().find("step 2 (line 3: expect cti sys Query \"!\")"), std::string::npos) << r->message();
    EXPECT_NE(r->message().find("22 00 01"), std::string::npos) << r->message();
}

TEST_F(PbxsimScenarioTest, ExpectTimesOutOnTheClock) {
    auto r = run("expect atd OpenSession within 2000\n");
    advance(1999ms);
    EXPECT_EQ(r->state(), ScenarioRun::State::Running);
    advance(1ms);
    ASSERT_EQ(r->state(), ScenarioRun::State::Failed);
    EXPECT_NE(r->message().find("nothing received within 2000 ms"), std::string::npos) << r->message();
}

TEST_F(PbxsimScenarioTest, IgnoredCodesDoNotMeetExpects) {
    auto r = run("ignore atd Alive\nexpect atd OpenSession\n");
    atd(link::atd::Alive);
    atd(link::atd::OpenSession);
    EXPECT_EQ(r->state(), ScenarioRun::State::Passed) << r->message();
}

TEST(PbxsimScenarioParseTest, BadLinesAreReportedWithTheirLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"expect cti sys NoSuchMessage", "test.scn:1: 'NoSuchMessage' is not a code"},
        {"wait\n", "test.scn:1: usage: wait"},
        {"\nexpect cti sys Query * 21", "test.scn:2: '*' may only be the last"},
        {"send nothing", "send is followed by"},
        {"dance", "unknown step 'dance'"},
    };
    for (const Case& c : cases) {
        const ScenarioParse parsed = parseScenario(c.text, "test.scn");
        ASSERT_FALSE(parsed.errors.empty()) << c.text;
        EXPECT_NE(parsed.errors[0].find(c.error), std::string::npos) << parsed.errors[0];
    }
}

}  // namespace
}  // namespace velkor::pbxsim::testing
