// The PBX's answers to the provider's device-specific requests. The requests
// are built by the provider's own command parser from the text an
// application sends; replies go back to its reply parser and events into its
// station model, so the tests check what the application would be told.
#include <fstream>
#include <sstream>

#include "provider/core/model.h"
#include "provider/devspecific/device_commands.h"
#include "provider/link/encodings.h"
#include "tests/provider/core/model_fixture.h"
#include "tests/tools/pbxsim/sim_fixture.h"
#include "tools/pbxsim/control.h"

namespace velkor::pbxsim::testing {
namespace {

namespace code = link::code;
namespace ev = link::event;

std::string example(const std::string& name) {
    std::ifstream in(std::string(PBXSIM_EXAMPLES_DIR) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string num4(std::string_view number) {
    const auto n = link::encodeNum4(number);
    return std::string(n->begin(), n->end());
}

// What the provider's record store is handed: complete call records and
// frames of other data.
struct Records : core::RecordSink {
    std::vector<std::string> callRecords;
    std::vector<std::string> otherData;
    void onCallRecord(std::span<const std::uint8_t> r) override { callRecords.emplace_back(r.begin(), r.end()); }
    void onOtherData(std::span<const std::uint8_t> d) override { otherData.emplace_back(d.begin(), d.end()); }
};

// The model90 office: 201, 202 and 203 have lines open and are monitored;
// 204 is neither. The provider's command parser sends through the link.
class DevSpecificTest : public SimFixture, private core::CtiSender, private core::AtdSender {
protected:
    void SetUp() override {
        makePbx(example("model90-medium.pbx"));
        cti(link::kSystemIndex, code::SessionControl, bytes("##"));
        model.setDialect(link::Dialect::Extended);
        model.setRecordSink(&records);
        heard.forward = &model;
        heard.replyHook = [this](const link::CtiMessage& m) { commands.onReply(m); };
        for (const char* n : {"201", "202", "203"}) openLine(n);
        heard.clear();
        events.log.clear();
    }

    std::uint16_t index(std::string_view number) {
        const StationConfig* s = pbx->config().stationByNumber(number);
        EXPECT_NE(s, nullptr) << number;
        return s ? s->index : 0;
    }

    void openLine(std::string_view number) {
        const std::uint16_t i = index(number);
        core::StationRecord* r = model.stations().at(i);
        r->number = num4(number);
        r->type = pbx->config().station(i)->type;
        model.openLine(i, reinterpret_cast<HTAPILINE>(0x1000 + i), nullptr);
        cti(i, code::SessionControl, bytes("!#"));
    }

    core::LineContext& line(std::string_view number) { return *model.findLine(index(number)); }

    // The application's lineDevSpecific on the station's line.
    void command(std::string_view number, std::string_view text) {
        const LONG result = commands.lineDevSpecific(kRequest, line(number).handle(), 0, text.data(),
                                                     static_cast<DWORD>(text.size()));
        ASSERT_EQ(result, kRequest) << text;
        pump();
    }

    void control(std::string_view c) {
        const ControlReply reply = executeControl(*pbx, c);
        ASSERT_TRUE(reply.ok) << c << ": " << reply.text;
        pump();
    }

    std::vector<std::string> devSpecific() {
        std::vector<std::string> out;
        for (const std::string& entry : events.log) {
            if (entry.rfind("DEVSPECIFIC", 0) == 0) out.push_back(entry);
        }
        return out;
    }

    static constexpr DRV_REQUESTID kRequest = 77;

    core::testing::RecordingEvents events;
    core::StationModel model{events, *this};
    devspecific::DeviceCommands commands{model, *this, [] { return true; }, clock};
    Records records;

private:
    bool sendCti(std::uint16_t station, std::uint8_t c, std::span<const std::uint8_t> data) override {
        return provider.sendCti(station, c, data, clock.now());
    }
    bool sendAtd(std::uint16_t c, std::span<const std::uint8_t> data) override {
        return provider.sendAtd(c, data);
    }
};

TEST_F(DevSpecificTest, FunctionRequestsAreAnsweredWithWhatWasAsked) {
    struct Case {
        std::string_view text;
        std::uint8_t code;
        std::string data;
    };
    const Case cases[] = {
        {"PAGE/INT_PAGE_Z07", code::Paging, "\x27"},
        {"PAGE/ALL_CALL", code::Paging, "\x49"},
        {"DVU/STANO", code::VoiceUnit, "\x23"},
        {"DVU/PAGEMSG_PLAY", code::VoiceUnit, "\x2A"},
        {"PUSH_BTN/12#*", code::KeyPress, ""},  // the key press reply carries nothing
        {"FLEX_BTN_ACTION/7", code::ProgrammableButton, "#  7"},
    };
    for (const Case& c : cases) {
        heard.clear();
        command("201", c.text);
        ASSERT_EQ(heard.replies.size(), 1u) << c.text;
        EXPECT_EQ(heard.replies[0].station, index("201")) << c.text;
        EXPECT_EQ(heard.replies[0].code, c.code) << c.text;
        EXPECT_EQ(std::string(heard.replies[0].data.begin(), heard.replies[0].data.end()), c.data) << c.text;
        EXPECT_TRUE(heard.rejections.empty()) << c.text;
    }
}

TEST_F(DevSpecificTest, MalformedFunctionRequestsAreRejected) {
    struct Case {
        std::uint8_t code;
        std::string data;
    };
    const Case cases[] = {
        {code::Paging, ""},
        {code::VoiceUnit, "\x21\x22"},
        {code::ProgrammableButton, ""},
        {code::ProgrammableButton, "!0x5"},            // not a button number
        {code::ProgrammableButton, "\x22" "005\x3C"},  // type outside '!'..';'
        {code::ProgrammableButton, "\x22" "005!12345"},
        {code::ProgrammableButton, "$005"},
        {code::ShortMessage, "W 202"},                 // no text
        {code::ShortMessage, "X 202Hi"},
        {code::ShortMessage, "W 999Hi"},               // nobody has 999
    };
    for (const Case& c : cases) {
        heard.clear();
        cti(index("201"), c.code, bytes(c.data));
        EXPECT_TRUE(heard.replies.empty()) << static_cast<int>(c.code) << " " << c.data;
        ASSERT_EQ(heard.rejections.size(), 1u) << static_cast<int>(c.code) << " " << c.data;
        EXPECT_EQ(heard.rejections[0].code, c.code + 0x50);
    }
}

TEST_F(DevSpecificTest, ProgrammableButtonsReadBackWhatWasWrittenPerStation) {
    struct Case {
        std::string_view write;
        std::string_view read;
        std::string reply;
        std::string_view notice;
    };
    const Case cases[] = {
        {"FLEX_BTN_WRITE/005/!/21", "FLEX_BTN_READ/5", "!  21", "DEVSPECIFIC 33,33,21"},
        {"FLEX_BTN_WRITE/012/#/3", "FLEX_BTN_READ/12", "#  3", "DEVSPECIFIC 33,35,3"},
        {"FLEX_BTN_WRITE/013/&/042", "FLEX_BTN_READ/013", "&042", "DEVSPECIFIC 33,38,42"},
        {"FLEX_BTN_WRITE/020/)/A", "FLEX_BTN_READ/20", ")A", "DEVSPECIFIC 33,41,65"},
        {"FLEX_BTN_WRITE/021/+", "FLEX_BTN_READ/21", "+", "DEVSPECIFIC 33,43,0"},
    };
    for (const Case& c : cases) {
        command("202", c.write);
        heard.clear();
        events.log.clear();
        command("202", c.read);
        ASSERT_EQ(heard.replies.size(), 1u) << c.read;
        EXPECT_EQ(std::string(heard.replies[0].data.begin(), heard.replies[0].data.end()), c.reply);
        EXPECT_EQ(devSpecific(), std::vector<std::string>{std::string(c.notice)}) << c.write;
    }
    // Another station's table is its own; an unwritten button reads as none.
    events.log.clear();
    command("203", "FLEX_BTN_READ/5");
    EXPECT_EQ(devSpecific(), std::vector<std::string>{"DEVSPECIFIC 33,32,0"});
    // A rewrite replaces the button.
    command("202", "FLEX_BTN_WRITE/005/\"/1234");
    events.log.clear();
    command("202", "FLEX_BTN_READ/5");
    EXPECT_EQ(devSpecific(), std::vector<std::string>{"DEVSPECIFIC 33,34,1234"});
}

TEST_F(DevSpecificTest, ShortMessageIsDeliveredToTheAddressedStationWithTheSendersNumber) {
    command("201", "SMS/W/ 202/Lunch at one?");
    ASSERT_EQ(heard.replies.size(), 1u);
    EXPECT_EQ(heard.replies[0].code, code::ShortMessage);
    EXPECT_EQ(heard.replies[0].station, index("201"));
    ASSERT_EQ(heard.events.size(), 1u);
    EXPECT_EQ(heard.events[0].station, index("202"));
    EXPECT_EQ(heard.events[0].code, ev::ShortMessageReceived);
    EXPECT_TRUE(line("202").shortMessageReady);
    EXPECT_EQ(line("202").shortMessage, " 201Lunch at one?");
    EXPECT_FALSE(line("201").shortMessageReady);
    EXPECT_EQ(devSpecific(), std::vector<std::string>{"DEVSPECIFIC 34,0,0"});

    // To a station the provider does not watch, and the read form: answered,
    // nothing passed on.
    heard.clear();
    command("201", "SMS/W/ 204/Hello");
    command("201", "SMS/R/ 203/Hello");
    EXPECT_EQ(heard.replies.size(), 2u);
    EXPECT_TRUE(heard.events.empty());
    EXPECT_FALSE(line("203").shortMessageReady);
}

TEST_F(DevSpecificTest, CallRecordsArePrintedWhileOutputIsOn) {
    // Output off: a call ends without a record.
    control("call 201 202");
    control("answer 202");
    control("hangup 201");
    EXPECT_TRUE(records.callRecords.empty());

    cti(link::kSystemIndex, code::Query, bytes("#1"));
    clock.advance(std::chrono::seconds(3725));
    control("call 203 204");
    control("answer 204");
    control("hangup 204");
    // A call that never connected leaves no record.
    control("call 205 206");
    control("hangup 205");
    EXPECT_EQ(records.callRecords, std::vector<std::string>{"STA  203  204 01:02:05"});

    cti(link::kSystemIndex, code::Query, bytes("#0"));
    control("call 207 208");
    control("answer 208");
    control("hangup 207");
    EXPECT_EQ(records.callRecords.size(), 1u);
}

TEST_F(DevSpecificTest, OtherDataControlCommandSendsEvent48) {
    control("other-data 0102 \"TRUNK 1\"");
    EXPECT_EQ(records.otherData, std::vector<std::string>{"\x01\x02TRUNK 1"});
    ASSERT_EQ(heard.events.size(), 1u);
    EXPECT_EQ(heard.events[0].station, link::kSystemIndex);
    EXPECT_EQ(heard.events[0].code, ev::OtherSystemData);

    for (const char* bad : {"other-data", "other-data zz", "other-data \"\""}) {
        const ControlReply reply = executeControl(*pbx, bad);
        EXPECT_FALSE(reply.ok) << bad;
        EXPECT_FALSE(reply.text.empty()) << bad;
    }
}

}  // namespace
}  // namespace velkor::pbxsim::testing
