// The station settings the PBX keeps: values from the configuration and the
// defaults, reads answered with them, writes applied and answered with the
// new value, writes the PBX cannot take and those a control command refuses
// rejected with their cause. Requests go in through the provider's own link.
#include "tests/tools/pbxsim/sim_fixture.h"
#include "tools/pbxsim/control.h"

namespace velkor::pbxsim::testing {
namespace {

constexpr std::uint16_t k201 = 11;
constexpr std::uint16_t k202 = 12;

constexpr std::string_view kConfig = R"(model 30
station 11 201 DKT
station 12 202 SLT
setting 201 wu 0630C
setting 201 pmp "At lunch"
setting 201 pms 7/202
setting 201 acp 24680
setting 201 dls 1
)";

class SettingsTest : public SimFixture {
protected:
    void SetUp() override {
        makePbx(kConfig);
        cti(link::kSystemIndex, link::code::SessionControl, bytes("##"));
        heard.clear();
    }
    // The data of the PBX's answer to one request, or "rejected <cause>".
    std::string ask(std::uint16_t station, std::uint8_t code, std::string_view data) {
        heard.clear();
        cti(station, code, bytes(data));
        if (heard.replies.size() == 1 && heard.replies[0].code == code &&
            heard.replies[0].station == station) {
            return std::string(heard.replies[0].data.begin(), heard.replies[0].data.end());
        }
        if (heard.rejections.size() == 1 && heard.rejections[0].code == code + 0x50) {
            return "rejected " + std::to_string(heard.rejections[0].cause);
        }
        return "no answer";
    }
};

TEST_F(SettingsTest, ReadsAnswerTheConfiguredValueOrTheDefault) {
    struct Case {
        std::uint16_t station;
        std::uint8_t code;
        const char* read;
        std::string answer;
    };
    const Case cases[] = {
        {k201, 0x7D, "CURR", "0630C"},
        {k202, 0x7D, "CURR", "none"},
        {k201, 0x7E, "CURPW", "24680"},
        {k201, 0x80, " ", "\x28" "At lunch"},
        {k202, 0x80, " ", " "},
        {k201, 0x83, "5", "\x27\x24 202"},
        {k202, 0x83, "5", "  "},
        {k201, 0x8A, "2", "1"},
        {k202, 0x84, "0", "1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ask(c.station, c.code, c.read), c.answer) << int(c.code) << " at " << c.station;
    }
}

TEST_F(SettingsTest, WritesAreAppliedAndReadBack) {
    struct Case {
        std::uint8_t code;
        std::string write;
        std::string answer;  // to the write, then to the next read
        const char* read;
    };
    const Case cases[] = {
        {0x7D, "0730S", "0730S", "CURR"},
        {0x7E, "0000013579", "13579", "CURPW"},
        {0x7F, "R12345", "R", "C"},
        {0x80, "\x83", " ", " "},
        {0x80, "\x25Lunch", "\x25Lunch", " "},
        {0x81, "X", "X", "C"},
        {0x82, "23", "23", "C"},
        {0x83, "\x21", "\x21\x24    ", "5"},
        {0x83, "\x2B" "12:30", "\x2B\x25" "12:30", "5"},
        {0x83, "\x26\x22\x12\x30", "\x26\x22\x12\x30", "5"},
        {0x83, "\x29", "\x29", "5"},
        {0x84, "7", "7", "0"},
        {0x87, "1", "1", "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.write);
        EXPECT_EQ(ask(k202, c.code, c.write), c.answer);
        EXPECT_EQ(ask(k202, c.code, c.read), c.answer);
    }
}

TEST_F(SettingsTest, WritesThePbxCannotTakeAreRejected) {
    const std::string refused = "rejected " + std::to_string('!');
    EXPECT_EQ(ask(k201, 0x7E, "11111"), refused) << "the wrong password";
    EXPECT_EQ(ask(k201, 0x7E, "1111122222"), refused);
    EXPECT_EQ(ask(k201, 0x7E, "24680"), "24680") << "the right one";
    EXPECT_EQ(ask(k201, 0x7D, "07"), refused);
    EXPECT_EQ(ask(k201, 0x80, "\x30xy"), refused) << "a length byte past the text";
    EXPECT_EQ(ask(k201, 0x83, "\x23" "abc"), refused);
    EXPECT_EQ(ask(k201, 0x7D, "CURR"), "0630C") << "nothing changed";
    EXPECT_EQ(ask(40, 0x7D, "CURR"), "rejected " + std::to_string('/'));
}

TEST_F(SettingsTest, AControlCommandRefusesWritesOfOneSettingWithACause) {
    EXPECT_TRUE(executeControl(*pbx, "refuse-setting 202 pmp 0x41").ok);
    EXPECT_EQ(ask(k202, 0x80, "\x22hi"), "rejected 65");
    EXPECT_EQ(ask(k202, 0x80, " "), " ") << "reads are still answered";
    EXPECT_EQ(ask(k201, 0x80, "\x22hi"), "\x22hi") << "other stations write as before";
    EXPECT_EQ(ask(k202, 0x81, "X"), "X") << "and so do other settings";
    EXPECT_TRUE(executeControl(*pbx, "refuse-setting 202 pmp off").ok);
    EXPECT_EQ(ask(k202, 0x80, "\x22hi"), "\x22hi");

    EXPECT_FALSE(executeControl(*pbx, "refuse-setting 299 pmp 0x41").ok);
    EXPECT_FALSE(executeControl(*pbx, "refuse-setting 202 xyz 0x41").ok);
    EXPECT_FALSE(executeControl(*pbx, "refuse-setting 202 pmp").ok);
    const ControlReply shown = executeControl(*pbx, "settings 201");
    EXPECT_TRUE(shown.ok);
    EXPECT_NE(shown.text.find("wu=30 36 33 30 43"), std::string::npos) << shown.text;
}

TEST_F(SettingsTest, AStationIsMonitoredForItsPhoneAlone) {
    EXPECT_EQ(ask(k202, link::code::SessionControl, "!"), "4");
    EXPECT_TRUE(pbx->monitored(k202));
    EXPECT_EQ(ask(k202, link::code::SessionControl, "\x22"), "\x22");
    EXPECT_FALSE(pbx->monitored(k202));
}

TEST(SettingsConfig, RefusesWhatIsNoSetting) {
    const std::pair<const char*, const char*> cases[] = {
        {"setting 201 xyz 1", "unknown setting 'xyz'"},
        {"setting 201 wu 07", "'07' is no value of setting wu"},
        {"setting 201 pms 123", "'123' is no value of setting pms"},
        {"setting 201 pmp \"" "1234567890123456789012345" "\"", "is no value of setting pmp"},
        {"setting 299 wu 0630S", "setting for station 299, which is not configured"},
    };
    for (const auto& [line, problem] : cases) {
        const ConfigResult result =
            parseConfig(std::string("model 30\nstation 11 201 DKT\n") + line + "\n");
        ASSERT_EQ(result.errors.size(), 1u) << line;
        EXPECT_NE(result.errors[0].find(problem), std::string::npos) << result.errors[0];
    }
}

}  // namespace
}  // namespace velkor::pbxsim::testing
