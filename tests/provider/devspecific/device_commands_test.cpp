// TSPI_lineDevSpecific: the keyword matcher, every command text and the exact
// request it sends (or its refusal), the mode restrictions, the conditions on
// the ATD session with their waits, and the answers that complete the
// requests and announce what they switched on.
#include "provider/devspecific/device_commands.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/provider/devspecific/command_fixture.h"

namespace velkor::devspecific::testing {
namespace {

using K = CommandKind;
constexpr LONG kFailed = LINEERR_OPERATIONFAILED;

// --- the keyword matcher -------------------------------------------------------------

struct KeywordCase {
    std::string_view text;
    CommandKind kind;
};

TEST(CommandKeywords, MatchInOrderIgnoringCaseWithTheLengthRuleOnTheWholeText) {
    const KeywordCase cases[] = {
        {"PAGE/DROP", K::Paging},
        {"page/drop", K::Paging},
        {"PAGE/ABC", K::None},  // 8 characters: not longer than 8
        {"DVU/TIME", K::VoiceUnit},
        {"DVU/TIM", K::None},
        {"SMDR/B", K::CallRecords},
        {"SMDR/BE", K::None},
        {"SMDR/", K::None},
        {"OTHER_DATA/E", K::OtherData},
        {"OTHER_DATA/EX", K::None},
        {"GETTIME", K::GetTime},
        {"GetTime and more", K::GetTime},
        {"STA_NUM/001", K::StationNumber},
        {"STA_NUM/01", K::None},
        {"CO_HOLD/EXC", K::CoHold},
        {"CO_HOLD/EX", K::None},
        {"ALL_STA_STATUS", K::AllStationStatus},
        {"STA_STATUS/B", K::StationStatus},
        {"STA_STATUS/BX", K::None},  // one character more is no command
        {"sta_status/b", K::StationStatus},
        {"ALL_COL_STATUS", K::AllCoStatus},
        {"COL_STATUS/E", K::CoStatus},
        {"COL_STATUS/", K::None},
        {"STA_INFO/001", K::StationInfo},
        {"STA_INFO/0001", K::None},
        {"COL_INFO/001", K::CoInfo},
        {"COL_INFO/01", K::None},
        {"ALL_STA_NUM", K::AllStationNumbers},
        {"ALL_PARK_NUM", K::AllParkNumbers},
        {"OFFNET_FORWARD/UNCOND/C099001", K::OffnetForward},  // 29 characters
        {"OFFNET_FORWARD/UNCOND/C09900", K::None},
        {"PUSH_BTN/123456789012345678901234567890", K::PushButton},  // 39 characters
        {"PUSH_BTN/1234567890123456789012345678901", K::None},
        {"FOLLOWME/1234/12345", K::FollowMe},  // 19 characters
        {"FOLLOWME/1234/123456", K::None},
        {"FLEX_BTN_READ/007", K::FlexButtonRead},
        {"FLEX_BTN_WRITE/005/!/  21", K::FlexButtonWrite},
        {"FLEX_BTN_ACTION/7", K::FlexButtonAction},
        {"SMS/W/ 201/hi", K::ShortMessage},
        {"STA_TYPE", K::StationTypes},
        {"STA_FLEX", K::StationFlex},
        {"STA", K::None},
        {"", K::None},
        {"HELLO", K::None},
    };
    for (const KeywordCase& c : cases) {
        EXPECT_EQ(static_cast<int>(matchCommand(c.text).kind), static_cast<int>(c.kind)) << c.text;
    }
}

TEST(CommandKeywords, ArgumentIsWhatFollowsTheKeyword) {
    EXPECT_EQ(matchCommand("PUSH_BTN/N").argument, "/N");
    EXPECT_EQ(matchCommand("gettime").argument, "");
}

// --- every command and the request it sends -------------------------------------------------

struct CommandRow {
    std::string text;
    std::function<void(CommandFixture&)> setup;
    LONG result;
    std::vector<std::string> sent;
};

class CommandTable : public CommandFixture, public ::testing::WithParamInterface<CommandRow> {};

TEST_P(CommandTable, SendsExactlyItsRequestOrNothing) {
    const CommandRow& row = GetParam();
    SCOPED_TRACE(row.text);
    answerDetails();
    if (row.setup) row.setup(*this);
    EXPECT_EQ(run(row.text), row.result);
    EXPECT_EQ(pbx.sent, row.sent);
    if (row.result < 0) {
        EXPECT_EQ(events.log, std::vector<std::string>{});
    }
}

const auto withMessageWaiting = [](CommandFixture& f) { f.line->messageWaiting = true; };
const auto withPage = [](CommandFixture& f) { f.line->pagingActive = true; };
const std::string k48(48, 'x');

const CommandRow kCommands[] = {
    // Paging: zones, the all-call forms, meet-me, drop.
    {"PAGE/INT_PAGE_Z01", {}, kRequest, {"CTI 5 0x7a !"}},
    {"page/int_page_z35", {}, kRequest, {"CTI 5 0x7a C"}},
    {"PAGE/INT_PAGE_Z36", {}, kFailed, {}},
    {"PAGE/INT_PAGE_Z00", {}, kFailed, {}},
    {"PAGE/INT_PAGE_Z1", {}, kFailed, {}},
    {"PAGE/INT_PAGE_Z1X", {}, kFailed, {}},
    {"PAGE/INT_PAGE_Q01", {}, kFailed, {}},
    {"PAGE/INT_PAGE_Z012", {}, kFailed, {}},
    {"PAGE/INT_ALL_CALL", {}, kRequest, {"CTI 5 0x7a D"}},
    {"PAGE/EXT_PAGE_Z03", {}, kRequest, {"CTI 5 0x7a G"}},
    {"PAGE/EXT_PAGE_Z04", {}, kFailed, {}},
    {"PAGE/EXT_ALL_CALL", {}, kRequest, {"CTI 5 0x7a H"}},
    {"PAGE/ALL_CALL", {}, kRequest, {"CTI 5 0x7a I"}},
    {"PAGE/MEET_ME", {}, kRequest, {"CTI 5 0x7a J"}},
    {"PAGE/DROP", {}, kFailed, {}},
    {"PAGE/DROP", withMessageWaiting, kRequest, {"CTI 5 0x5a"}},
    {"PAGE/DROP", withPage, kRequest, {"CTI 5 0x5a"}},
    {"PAGE/WHATEVER", {}, kFailed, {}},
    // The voice unit and forwarding to it.
    {"DVU/TIME", {}, kRequest, {"CTI 5 0x79 !"}},
    {"DVU/DATE", {}, kRequest, {R"(CTI 5 0x79 ")"}},
    {"DVU/STANO", {}, kRequest, {"CTI 5 0x79 #"}},
    {"DVU/OUTMSG_REC", {}, kRequest, {"CTI 5 0x79 $"}},
    {"DVU/OUTMSG_DEL", {}, kRequest, {"CTI 5 0x79 %"}},
    {"DVU/OUTMSG_PLAY", {}, kRequest, {"CTI 5 0x79 &"}},
    {"DVU/STA_STATUS", {}, kRequest, {"CTI 5 0x79 '"}},
    {"DVU/PAGEMSG_REC", {}, kRequest, {"CTI 5 0x79 ("}},
    {"DVU/PAGEMSG_DEL", {}, kRequest, {"CTI 5 0x79 )"}},
    {"DVU/PAGEMSG_PLAY", {}, kRequest, {"CTI 5 0x79 *"}},
    {"DVU/MSGWAIT_REC", {}, kFailed, {}},
    {"DVU/MSGWAIT_REC", withMessageWaiting, kRequest, {"CTI 5 0x79 +"}},
    {"DVU/MSGWAIT_PLAY_NEXT", {}, kRequest, {"CTI 5 0x79 ."}},
    {"DVU/MSGWAIT_PLAY", {}, kRequest, {"CTI 5 0x79 ,"}},
    {"DVU/MSGWAIT_DEL", {}, kRequest, {"CTI 5 0x79 -"}},
    {"DVU/FORWARD_UNCOND", {}, kRequest, {"CTI 5 0x62 ,"}},
    {"DVU/FORWARD", {}, kRequest, {"CTI 5 0x62 ,"}},
    {"DVU/FORWARDX", {}, kFailed, {}},
    {"DVU/FORWARD_BUSYNA", {}, kRequest, {"CTI 5 0x62 /"}},
    {"DVU/FORWARD_BUSY", {}, kRequest, {"CTI 5 0x62 -"}},
    {"dvu/forward_noansw", {}, kRequest, {"CTI 5 0x62 ."}},
    {"DVU/DROP", {}, kFailed, {}},
    {"DVU/DROP", withPage, kRequest, {"CTI 5 0x5a"}},
    // Service requests: type, subtype, the station index, extra.
    {"SMDR/B", {}, kRequest, {R"(CTI 65535 0x7c \01\01\00\05)"}},
    {"smdr/e", {}, kRequest, {R"(CTI 65535 0x7c \01\02\00\05)"}},
    {"SMDR/X", {}, kFailed, {}},
    {"OTHER_DATA/B", {}, kRequest, {R"(CTI 65535 0x7c \02\01\00\05)"}},
    {"OTHER_DATA/E", {}, kRequest, {R"(CTI 65535 0x7c \02\02\00\05)"}},
    {"GETTIME", {}, kRequest, {R"(CTI 65535 0x7c \04\00\00\05)"}},
    {"CO_HOLD/EXC", {}, kRequest, {R"(CTI 65535 0x7c \04\01\00\05)"}},
    {"co_hold/sys", {}, kRequest, {R"(CTI 65535 0x7c \04\01\00\05)"}},
    {"CO_HOLD/ABC", {}, kFailed, {}},
    {"ALL_STA_STATUS", {}, kRequest, {R"(CTI 65535 0x7c \04\02\00\05)"}},
    {"STA_STATUS/B", {}, kRequest, {R"(CTI 65535 0x7c \04\03\00\05\01)"}},
    {"STA_STATUS/E", {}, kRequest, {R"(CTI 65535 0x7c \04\03\00\05\02)"}},
    {"STA_STATUS/X", {}, kFailed, {}},
    {"ALL_COL_STATUS", {}, kRequest, {R"(CTI 65535 0x7c \04\04\00\05)"}},
    {"COL_STATUS/B", {}, kRequest, {R"(CTI 65535 0x7c \04\05\00\05\01)"}},
    {"COL_STATUS/e", {}, kRequest, {R"(CTI 65535 0x7c \04\05\00\05\02)"}},
    {"STA_NUM/003", {}, kRequest, {R"(CTI 65535 0x7c \04\06\00\05\00\03)"}},
    {"STA_NUM/0008", {}, kRequest, {R"(CTI 65535 0x7c \04\06\00\05\00\08)"}},
    {"STA_NUM/009", {}, kFailed, {}},  // beyond the directory
    {"STA_NUM/000", {}, kFailed, {}},
    {"STA_NUM/0A3", {}, kFailed, {}},
    {"STA_NUM/1234567", {}, kFailed, {}},
    {"STA_INFO/003", {}, kRequest,
     {R"(ATD 0x0304 \00\03)", R"(ATD 0x0301 \00\03)", R"(CTI 65535 0x7c \04\09\00\05)"}},
    {"STA_INFO/009", {}, kFailed, {}},
    {"STA_INFO/00A", {}, kFailed, {}},
    {"COL_INFO/002", {}, kRequest,
     {R"(ATD 0x0401 \00\02)", R"(ATD 0x0403 \00\02)", R"(ATD 0x0405 \00\02)",
      R"(CTI 65535 0x7c \04\0A\00\05)"}},
    {"COL_INFO/002", [](CommandFixture& f) { f.coReference = 7; }, kRequest,
     {R"(ATD 0x0401 \00\02)", R"(ATD 0x0403 \00\02)", R"(ATD 0x0405 \00\02)",
      R"(ATD 0x0404 \00\07)", R"(CTI 65535 0x7c \04\0A\00\05)"}},
    {"COL_INFO/005", {}, kFailed, {}},
    {"ALL_STA_NUM", {}, kRequest, {R"(CTI 65535 0x7c \04\0B\00\05)"}},
    {"ALL_PARK_NUM", {}, kRequest, {R"(CTI 65535 0x7c \04\0C\00\05)"}},
    {"STA_TYPE", {}, kRequest, {R"(CTI 65535 0x7c \E1\00\00\05\01)"}},
    {"STA_FLEX", {}, kRequest, {R"(CTI 65535 0x7c \E2\00\00\05\01)"}},
    // Forwarding off the PBX: selector, CO number, destination, NUL.
    {"OFFNET_FORWARD/UNCOND/C099001", {}, kRequest, {R"(CTI 5 0x62 *099001\00)"}},
    {"offnet_forward/noansw/c0011234", {}, kRequest, {R"(CTI 5 0x62 +0011234\00)"}},
    {"OFFNET_FORWARD/UNCOND/C300123", {}, kRequest, {R"(CTI 5 0x62 *300123\00)"}},
    {"OFFNET_FORWARD/UNCOND/C301123", {}, kFailed, {}},
    {"OFFNET_FORWARD/UNCOND/C0A1123", {}, kFailed, {}},
    {"OFFNET_FORWARD/UNCOND/C00112345", {}, kFailed, {}},
    {"OFFNET_FORWARD/BUSYNA/C001123", {}, kFailed, {}},
    {"OFFNET_FORWARD/UNCOND/X001123", {}, kFailed, {}},
    {"OFFNET_FORWARD/UNCOND-C001123", {}, kFailed, {}},
    // Key presses.
    {"PUSH_BTN/N", {}, kRequest, {R"(CTI 5 0x8f N\00)"}},
    {"push_btn/d", {}, kRequest, {R"(CTI 5 0x8f D\00)"}},
    {"PUSH_BTN/bcdfhimnrst", {}, kRequest, {R"(CTI 5 0x8f BCDFHIMNRST\00)"}},
    {"PUSH_BTN/1234567890*#<>", {}, kRequest, {R"(CTI 5 0x8f 1234567890*#<>\00)"}},
    {"PUSH_BTN/" + std::string(30, '9'), {}, kRequest, {"CTI 5 0x8f " + std::string(30, '9') + R"(\00)"}},
    {"PUSH_BTN/A", {}, kFailed, {}},
    {"PUSH_BTN/1E2", {}, kFailed, {}},
    {"PUSH_BTN/", {}, kFailed, {}},
    // Follow-me: the two numbers in 4 and 5 characters.
    {"FOLLOWME/205/12345", {}, kRequest, {"CTI 5 0x62 ' 20512345"}},
    {"FOLLOWME/21/9", {}, kRequest, {"CTI 5 0x62 '  21    9"}},
    {"FOLLOWME/12345/1", {}, kFailed, {}},
    {"FOLLOWME/1/", {}, kFailed, {}},
    {"FOLLOWME/12", {}, kFailed, {}},
    {"FOLLOWME/1A/2", {}, kFailed, {}},
    // Programmable buttons.
    {"FLEX_BTN_READ/007", {}, kRequest, {"CTI 5 0x96 !007"}},
    {"FLEX_BTN_READ/7", {}, kRequest, {"CTI 5 0x96 !007"}},
    {"FLEX_BTN_READ/1234", {}, kFailed, {}},
    {"FLEX_BTN_READ/", {}, kFailed, {}},
    {"FLEX_BTN_READ/0x7", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/005/!/  21", {}, kRequest, {R"(CTI 5 0x96 "005!  21)"}},
    {"FLEX_BTN_WRITE/005/!/21", {}, kRequest, {R"(CTI 5 0x96 "005!  21)"}},
    {"FLEX_BTN_WRITE/005/!/12345", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/005/!/", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/003/\"/12", {}, kRequest, {R"(CTI 5 0x96 "003"  12)"}},
    {"FLEX_BTN_WRITE/010/#/ 99", {}, kRequest, {R"(CTI 5 0x96 "010# 99)"}},
    {"FLEX_BTN_WRITE/010/%/7", {}, kRequest, {R"(CTI 5 0x96 "010%  7)"}},
    {"FLEX_BTN_WRITE/010/#/1234", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/011/&/012", {}, kRequest, {R"(CTI 5 0x96 "011&012)"}},
    {"FLEX_BTN_WRITE/011/&/12", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/013/'/1234", {}, kRequest, {R"(CTI 5 0x96 "013'1234)"}},
    {"FLEX_BTN_WRITE/013/'/123", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/014/)/X", {}, kRequest, {R"(CTI 5 0x96 "014)X)"}},
    {"FLEX_BTN_WRITE/014/9/XY", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/012/$", {}, kRequest, {R"(CTI 5 0x96 "012$)"}},
    {"FLEX_BTN_WRITE/012/;", {}, kRequest, {R"(CTI 5 0x96 "012;)"}},
    {"FLEX_BTN_WRITE/012/$/1", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/012/ ", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/012/<", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/12/!/21", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/A12/$", {}, kFailed, {}},
    {"FLEX_BTN_WRITE/005", {}, kFailed, {}},
    {"FLEX_BTN_ACTION/7", {}, kRequest, {"CTI 5 0x96 #  7"}},
    {"FLEX_BTN_ACTION/123", {}, kRequest, {"CTI 5 0x96 #123"}},
    {"FLEX_BTN_ACTION/", {}, kFailed, {}},
    // Short messages.
    {"SMS/W/ 201/Hello", {}, kRequest, {"CTI 5 0x98 W 201Hello"}},
    {"sms/r/ 201/x", {}, kRequest, {"CTI 5 0x98 R 201x"}},
    {"SMS/W/ 201/" + k48, {}, kRequest, {"CTI 5 0x98 W 201" + k48}},
    {"SMS/W/ 201/" + k48 + "x", {}, kFailed, {}},
    {"SMS/W/ 201/", {}, kFailed, {}},
    {"SMS/W/ 201", {}, kFailed, {}},
    {"SMS/X/ 201/Hi", {}, kFailed, {}},
    {"SMS/W/201/Hi", {}, kFailed, {}},
    {"SMS/W- 201/Hi", {}, kFailed, {}},
    // No command at all, and a text longer than any command.
    {"HELLO", {}, kFailed, {}},
    {"DVU/TIME" + std::string(57, ' '), {}, kFailed, {}},
};

INSTANTIATE_TEST_SUITE_P(EveryCommand, CommandTable, ::testing::ValuesIn(kCommands));

// What a command leaves on the line for later events and requests.
struct RememberRow {
    std::string text;
    std::string state;
};

class RememberTable : public CommandFixture, public ::testing::WithParamInterface<RememberRow> {};

TEST_P(RememberTable, LeavesItsStateOnTheLine) {
    const RememberRow& row = GetParam();
    line->messageWaiting = true;
    ASSERT_EQ(run(row.text), kRequest) << row.text;
    char state[96];
    std::snprintf(state, sizeof state, "hold=%c forward=0x%02x button=%u/%u paging=%d drop=%d",
                  line->coHoldSetting, line->forwardSelector,
                  static_cast<unsigned>(line->buttonOperation), line->buttonNumber,
                  line->pagingActive, line->dropRequested);
    EXPECT_EQ(state, row.state) << row.text;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RememberTable,
    ::testing::Values(
        RememberRow{"CO_HOLD/SYS", "hold=# forward=0x00 button=0/0 paging=0 drop=0"},
        RememberRow{"CO_HOLD/EXC", "hold=$ forward=0x00 button=0/0 paging=0 drop=0"},
        RememberRow{"DVU/FORWARD_BUSYNA", "hold=$ forward=0x2f button=0/0 paging=0 drop=0"},
        RememberRow{"OFFNET_FORWARD/NOANSW/C001123", "hold=$ forward=0x2b button=0/0 paging=0 drop=0"},
        RememberRow{"FOLLOWME/21/9", "hold=$ forward=0x27 button=0/0 paging=0 drop=0"},
        RememberRow{"FLEX_BTN_READ/7", "hold=$ forward=0x00 button=33/7 paging=0 drop=0"},
        RememberRow{"FLEX_BTN_WRITE/012/$", "hold=$ forward=0x00 button=34/12 paging=0 drop=0"},
        RememberRow{"FLEX_BTN_ACTION/123", "hold=$ forward=0x00 button=35/123 paging=0 drop=0"},
        RememberRow{"PAGE/MEET_ME", "hold=$ forward=0x00 button=0/0 paging=1 drop=0"},
        RememberRow{"PAGE/DROP", "hold=$ forward=0x00 button=0/0 paging=0 drop=1"}));

// --- the checks before the command is read -------------------------------------------------

class EntryChecks : public CommandFixture {};

TEST_F(EntryChecks, RefuseEmptyBlocksUnknownLinesAndOtherAddresses) {
    const char text[] = "STA_STATUS/B";
    EXPECT_EQ(devices.lineDevSpecific(kRequest, line->handle(), 0, text, 0), kFailed);
    EXPECT_EQ(devices.lineDevSpecific(kRequest, line->handle(), 0, nullptr, 12), kFailed);
    EXPECT_EQ(devices.lineDevSpecific(kRequest, reinterpret_cast<HDRVLINE>(0x1), 0, text, 12),
              LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(devices.lineDevSpecific(kRequest, line->handle(), 1, text, 12), LINEERR_INVALADDRESSID);
    // The handle of a line that has been closed is no line any more.
    const HDRVLINE closed = line->handle();
    model.closeLine(kOwnIndex);
    EXPECT_EQ(devices.lineDevSpecific(kRequest, closed, 0, text, 12), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(pbx.sent, std::vector<std::string>{});
}

TEST_F(EntryChecks, TheTextEndsAtTheSizeOrAtANul) {
    const char longer[] = "STA_STATUS/BXYZ";
    EXPECT_EQ(devices.lineDevSpecific(kRequest, line->handle(), 0, longer, 12), kRequest);
    EXPECT_EQ(devices.lineDevSpecific(kRequest, line->handle(), 0, longer, 13), kFailed);
    const char terminated[] = "STA_STATUS/B\0XYZ";
    EXPECT_EQ(devices.lineDevSpecific(kRequest, line->handle(), 0, terminated, sizeof terminated), kRequest);
    EXPECT_EQ(pbx.sent.size(), 2u);
}

// --- who may use which command ----------------------------------------------------------------

struct ModeRow {
    bool singleStation;
    bool system1;
    std::string text;
    bool allowed;
};

class ModeTable : public CommandFixture, public ::testing::WithParamInterface<ModeRow> {};

TEST_P(ModeTable, RefusesWhatTheModeDoesNotOffer) {
    const ModeRow& row = GetParam();
    model.setSettings(core::ModelSettings{row.singleStation, row.system1});
    answerDetails();
    EXPECT_EQ(run(row.text), row.allowed ? kRequest : kFailed) << row.text;
    if (!row.allowed) {
        EXPECT_EQ(pbx.sent, std::vector<std::string>{});
    }
}

std::vector<ModeRow> modeRows() {
    // Call records and other data need the system link; the status and
    // directory commands need it or the small system.
    const std::vector<std::string> systemOnly = {"SMDR/B", "OTHER_DATA/B"};
    const std::vector<std::string> notOnSystem0 = {
        "GETTIME",      "ALL_STA_STATUS", "STA_STATUS/B", "ALL_COL_STATUS", "COL_STATUS/B",
        "STA_NUM/003",  "STA_INFO/003",   "COL_INFO/002", "ALL_STA_NUM",    "ALL_PARK_NUM"};
    const std::vector<std::string> everywhere = {"CO_HOLD/EXC", "STA_TYPE", "STA_FLEX", "PUSH_BTN/N",
                                                 "DVU/TIME", "SMS/W/ 201/hi", "FLEX_BTN_READ/1"};
    std::vector<ModeRow> rows;
    for (const auto& t : systemOnly) {
        rows.push_back({false, false, t, true});
        rows.push_back({true, false, t, false});
        rows.push_back({true, true, t, false});
    }
    for (const auto& t : notOnSystem0) {
        rows.push_back({false, false, t, true});
        rows.push_back({true, false, t, false});
        rows.push_back({true, true, t, true});
    }
    for (const auto& t : everywhere) rows.push_back({true, false, t, true});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeTable, ::testing::ValuesIn(modeRows()));

// --- the ATD session's conditions and waits -------------------------------------------------------

struct AtdRow {
    std::string text;
    bool needsAtd;
};

class AtdConditions : public CommandFixture, public ::testing::WithParamInterface<AtdRow> {};

TEST_P(AtdConditions, CommandsOfTheAttendantChannelNeedItOpen) {
    const AtdRow& row = GetParam();
    atdActive = false;
    answerDetails();
    EXPECT_EQ(run(row.text), row.needsAtd ? kFailed : kRequest) << row.text;
    if (row.needsAtd) {
        EXPECT_EQ(pbx.sent, std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, AtdConditions,
    ::testing::Values(AtdRow{"ALL_STA_STATUS", true}, AtdRow{"STA_STATUS/B", true},
                      AtdRow{"ALL_COL_STATUS", true}, AtdRow{"COL_STATUS/E", true},
                      AtdRow{"STA_INFO/003", true}, AtdRow{"COL_INFO/002", true},
                      AtdRow{"ALL_STA_NUM", true}, AtdRow{"STA_TYPE", true}, AtdRow{"STA_FLEX", true},
                      AtdRow{"SMDR/B", false}, AtdRow{"GETTIME", false}, AtdRow{"CO_HOLD/EXC", false},
                      AtdRow{"STA_NUM/003", false}, AtdRow{"ALL_PARK_NUM", false}));

struct DirectoryRow {
    std::string text;
    bool stations;  // the station directory is the incomplete one, else the CO directory
    long waitedMs;
};

class IncompleteDirectory : public CommandFixture, public ::testing::WithParamInterface<DirectoryRow> {};

TEST_P(IncompleteDirectory, IsLookedAtFiveTimesThenTheCommandFails) {
    const DirectoryRow& row = GetParam();
    if (row.stations) model.directory().station(4)->present = false;
    else model.directory().co(2)->present = false;
    const auto start = clock.now();
    EXPECT_EQ(run(row.text), kFailed) << row.text;
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start).count(),
              row.waitedMs);
    EXPECT_EQ(pbx.sent, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Commands, IncompleteDirectory,
                         ::testing::Values(DirectoryRow{"ALL_STA_STATUS", true, 4 * 500},
                                           DirectoryRow{"ALL_STA_NUM", true, 4 * 1000},
                                           DirectoryRow{"ALL_COL_STATUS", false, 4 * 1000}));

TEST_F(CommandFixture, AnUnannouncedDirectoryIsNotComplete) {
    model.directory().resetStations(0);
    EXPECT_EQ(run("ALL_STA_STATUS"), kFailed);
}

TEST_F(CommandFixture, ADirectoryCompletedDuringTheWaitsLetsTheCommandGo) {
    clock.setAutoAdvance(false);
    model.directory().station(4)->present = false;
    const auto start = clock.now();
    LONG result = 0;
    std::thread tapi([&] { result = run("ALL_STA_STATUS"); });
    // The command is in its first pause when the missing entry arrives, on
    // the receiving thread, which takes the lock.
    ASSERT_TRUE(clock.awaitWaiters(1, std::chrono::milliseconds(5000)));
    {
        platform::ScopedLock lock(model.callLock());
        model.directory().station(4)->present = true;
    }
    clock.advance(500ms);
    tapi.join();
    EXPECT_EQ(result, kRequest);
    EXPECT_EQ(clock.now() - start, platform::Duration(500ms));
    EXPECT_EQ(pbx.sent, std::vector<std::string>{R"(CTI 65535 0x7c \04\02\00\05)"});
}

TEST_F(CommandFixture, StationInfoFailsWhenTheDetailsDoNotCome) {
    const auto start = clock.now();
    EXPECT_EQ(run("STA_INFO/003"), kFailed);
    EXPECT_EQ(clock.now() - start, platform::Duration(DeviceCommands::kDetailsWait));
    EXPECT_EQ(pbx.sent, std::vector<std::string>{R"(ATD 0x0304 \00\03)"});
    EXPECT_EQ(line->pendingGeneral, 0u);
}

TEST_F(CommandFixture, DetailsOfAnotherStationDoNotEndTheWait) {
    pbx.onAtd = [this](std::uint16_t code, std::span<const std::uint8_t>) {
        if (code == link::atd::StationDetails) feedAtd({0x03, 0x01, 0x00, 0x04, 0x11, 0x00, 0x22});
    };
    EXPECT_EQ(run("STA_INFO/003"), kFailed);
}

TEST_F(CommandFixture, ACoNameTableEntryOfAnotherReferenceDoesNotEndTheWait) {
    coReference = 7;
    answerDetails();
    auto pbxAnswer = pbx.onAtd;
    pbx.onAtd = [&](std::uint16_t code, std::span<const std::uint8_t> d) {
        if (code == link::atd::NameTableEntry) {
            feedAtd({0x04, 0x04, 2 + 1, 0x00, 0x08, 'X'});
            return;
        }
        pbxAnswer(code, d);
    };
    EXPECT_EQ(run("COL_INFO/002"), kFailed);
}

TEST_F(CommandFixture, InformationCommandsWaitUntilTheLastBlockIsFetched) {
    answerDetails();
    line->wantsStationInfo = true;
    line->wantsCoInfo = true;
    EXPECT_EQ(run("STA_INFO/003"), kFailed);
    EXPECT_EQ(run("COL_INFO/002"), kFailed);
    EXPECT_EQ(pbx.sent, std::vector<std::string>{});
    line->wantsStationInfo = false;
    line->wantsCoInfo = false;
    EXPECT_EQ(run("STA_INFO/003"), kRequest);
    EXPECT_EQ(run("COL_INFO/002"), kRequest);
    EXPECT_EQ(line->stationInfoIndex, 3);
    EXPECT_EQ(line->coInfoIndex, 2);
}

// --- the pending slots ----------------------------------------------------------------------------

TEST_F(CommandFixture, ARefusedCommandLeavesTheWaitingRequestInItsSlot) {
    line->pendingGeneral = 7;
    EXPECT_EQ(run("PAGE/INT_PAGE_Z36"), kFailed);
    EXPECT_EQ(line->pendingGeneral, 7u);
    pbx.linkUp = false;
    EXPECT_EQ(run("DVU/TIME"), kFailed);
    EXPECT_EQ(line->pendingGeneral, 7u);
    pbx.linkUp = true;
    EXPECT_EQ(run("DVU/TIME"), kRequest);
    EXPECT_EQ(line->pendingGeneral, kRequest);
}

struct SlotRow {
    std::string text;
    DRV_REQUESTID core::LineContext::*slot;
};

class SlotTable : public CommandFixture, public ::testing::WithParamInterface<SlotRow> {};

TEST_P(SlotTable, TheRequestWaitsInTheSlotOfItsKindAndItsAnswerCompletesThatOne) {
    const SlotRow& row = GetParam();
    std::uint8_t code = 0;
    std::vector<std::uint8_t> data;
    pbx.onCti = [&](std::uint16_t, std::uint8_t c, std::span<const std::uint8_t> d) {
        code = c;
        data.assign(d.begin(), d.end());
    };
    line->pendingGeneral = 7;
    line->pendingKeyPress = 8;
    ASSERT_EQ(run(row.text), kRequest) << row.text;
    EXPECT_EQ(line->*row.slot, kRequest) << row.text;
    if (code == link::code::ServiceRequest) {
        serviceAnswer(data);
    } else {
        reply(code);
    }
    ASSERT_FALSE(events.log.empty()) << row.text;
    EXPECT_EQ(events.log.front(), "COMPLETE 42,0") << row.text;
    EXPECT_EQ(line->*row.slot, 0u) << row.text;
    if (row.slot != &core::LineContext::pendingGeneral) {
        EXPECT_EQ(line->pendingGeneral, 7u) << row.text;
    }
    if (row.slot != &core::LineContext::pendingKeyPress) {
        EXPECT_EQ(line->pendingKeyPress, 8u) << row.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SlotTable,
    ::testing::Values(SlotRow{"ALL_STA_STATUS", &core::LineContext::pendingAllStationStatus},
                      SlotRow{"STA_STATUS/B", &core::LineContext::pendingStationStatus},
                      SlotRow{"ALL_COL_STATUS", &core::LineContext::pendingAllCoStatus},
                      SlotRow{"COL_STATUS/B", &core::LineContext::pendingCoStatus},
                      SlotRow{"ALL_STA_NUM", &core::LineContext::pendingAllStationNumbers},
                      SlotRow{"PUSH_BTN/N", &core::LineContext::pendingKeyPress},
                      SlotRow{"STA_TYPE", &core::LineContext::pendingGeneral},
                      SlotRow{"SMS/W/ 201/hi", &core::LineContext::pendingGeneral}));

// --- accepting answers ----------------------------------------------------------------------------

struct AnswerRow {
    std::string text;
    std::function<void(CommandFixture&)> setup;
    std::vector<std::string> events;
    std::string flags;
    std::vector<std::string> subscriptions;
};

class AnswerTable : public CommandFixture, public ::testing::WithParamInterface<AnswerRow> {};

TEST_P(AnswerTable, CompletesAndSwitchesOnWhatTheCommandAskedFor) {
    const AnswerRow& row = GetParam();
    echoServiceRequests();
    answerDetails();
    if (row.setup) row.setup(*this);
    ASSERT_EQ(run(row.text), kRequest) << row.text;
    EXPECT_EQ(events.log, row.events) << row.text;
    EXPECT_EQ(flags(), row.flags) << row.text;
    EXPECT_EQ(subscriptions.log, row.subscriptions) << row.text;
}

constexpr DWORD kDate = 2024 * 0x10000 + 3;
constexpr DWORD kTime = 7u << 24 | 14u << 16 | 5u << 8 | 9u;
// " 203" as the four characters of a DWORD, first one lowest.
constexpr DWORD kNumber203 = ' ' | '2' << 8 | '0' << 16 | '3' << 24;

std::string devSpecific(DWORD p1, DWORD p2, DWORD p3) {
    return "DEVSPECIFIC " + std::to_string(p1) + "," + std::to_string(p2) + "," + std::to_string(p3);
}

const std::string kDone = "COMPLETE 42,0";
const std::string kRefused = "COMPLETE 42," + std::to_string(kFailed);

INSTANTIATE_TEST_SUITE_P(
    Commands, AnswerTable,
    ::testing::Values(
        AnswerRow{"SMDR/B", {}, {kDone}, "", {"join CallRecords 5"}},
        AnswerRow{"SMDR/E", {}, {kDone}, "", {"leave CallRecords 5"}},
        AnswerRow{"OTHER_DATA/B", {}, {kDone}, "", {"join OtherData 5"}},
        AnswerRow{"OTHER_DATA/E", {}, {kDone}, "", {"leave OtherData 5"}},
        AnswerRow{"GETTIME", {}, {kDone, devSpecific(3, kDate, kTime)}, "", {}},
        AnswerRow{"CO_HOLD/SYS", {}, {kDone}, "", {}},
        AnswerRow{"ALL_STA_STATUS", {}, {kDone, devSpecific(1, 4, 0)}, "allStationStatus", {}},
        AnswerRow{"STA_STATUS/B", {}, {kDone}, "stationStatus", {}},
        AnswerRow{"STA_STATUS/E", [](CommandFixture& f) { f.line->subscribedStationStatus = true; },
                  {kDone}, "", {}},
        AnswerRow{"ALL_COL_STATUS", {}, {kDone, devSpecific(1, 5, 0)}, "allCoStatus", {}},
        AnswerRow{"COL_STATUS/B", {}, {kDone}, "coStatus", {}},
        AnswerRow{"COL_STATUS/E", [](CommandFixture& f) { f.line->subscribedCoStatus = true; },
                  {kDone}, "", {}},
        AnswerRow{"STA_NUM/003", {}, {kDone, devSpecific(7, 3, kNumber203)}, "", {}},
        AnswerRow{"STA_INFO/003", {}, {kDone, devSpecific(1, 9, 0)}, "stationInfo", {}},
        AnswerRow{"COL_INFO/002", {}, {kDone, devSpecific(1, 10, 0)}, "coInfo", {}},
        AnswerRow{"ALL_STA_NUM", {}, {kDone, devSpecific(1, 8, 0)}, "stationNumbers", {}},
        AnswerRow{"ALL_PARK_NUM", {}, {kDone, devSpecific(1, 11, 0)}, "parkNumbers", {}},
        AnswerRow{"STA_TYPE", {}, {kDone, devSpecific(35, 0, 0)}, "stationTypes", {}},
        AnswerRow{"STA_FLEX", [](CommandFixture& f) { f.model.directory().station(kOwnIndex)->extra = 0x42; },
                  {kDone, devSpecific(36, 0x42, 0)}, "", {}}));

TEST_F(CommandFixture, ARejectionOrSilenceIsTakenAsAcceptance) {
    for (const auto source : {link::ServiceAnswerSource::Rejected, link::ServiceAnswerSource::TimedOut,
                              link::ServiceAnswerSource::LoopBack}) {
        line->subscribedStationStatus = false;
        events.log.clear();
        echoServiceRequests(source);
        ASSERT_EQ(run("STA_STATUS/B"), kRequest);
        EXPECT_EQ(events.log, std::vector<std::string>{kDone});
        EXPECT_TRUE(line->subscribedStationStatus);
    }
}

TEST_F(CommandFixture, TheSingleStationFindsItsDirectoryEntryByNumber) {
    model.setSettings(core::ModelSettings{true, true});
    model.closeLine(kOwnIndex);
    // The own station registered at index 0 as number 206.
    const std::uint8_t start[] = {'4', ' ', '2', '0', '6', '#', core::kTypeDkt};
    ASSERT_TRUE(model.stations().registerSingleStation(start));
    line = model.openLine(0, reinterpret_cast<HTAPILINE>(0x77), nullptr);
    model.directory().station(6)->extra = 0x17;
    echoServiceRequests();
    ASSERT_EQ(run("STA_FLEX"), kRequest);
    EXPECT_EQ(pbx.sent, std::vector<std::string>{R"(CTI 65535 0x7c \E2\00\00\00\01)"});
    EXPECT_EQ(events.log, (std::vector<std::string>{kDone, devSpecific(36, 0x17, 0)}));
}

TEST_F(CommandFixture, AnswersOfOtherTypesStationsAndShortPayloadsAreLeftAlone) {
    line->pendingGeneral = 7;
    const std::vector<std::vector<std::uint8_t>> others = {
        {3, 0, 0, 5},            // user-user information: the line operations'
        {5, 0, 0, 5, 0, 0, 0, 1, 0, 2},
        {6, 1, 0, 5, 0, 0, 0, 1},
        {0xEC, 0, 0, 5},
        {4, 7, 0, 5},            // no such status request
        {4, 2, 0, 6},            // a station without an open line
        {4, 2, 0},               // too short for the station index
    };
    for (const auto& p : others) devices.onServiceAnswer({link::ServiceAnswerSource::Echo, p});
    EXPECT_EQ(events.log, std::vector<std::string>{});
    EXPECT_EQ(line->pendingGeneral, 7u);
    EXPECT_EQ(flags(), "");
}

TEST_F(CommandFixture, CallRecordAnswersWithoutAStoreOnlyComplete) {
    devices.setDataSubscriptions(nullptr);
    echoServiceRequests();
    ASSERT_EQ(run("SMDR/B"), kRequest);
    EXPECT_EQ(events.log, std::vector<std::string>{kDone});
}

// --- replies to the station's feature requests ---------------------------------------------------

struct ReplyRow {
    std::string text;
    std::function<void(CommandFixture&)> answer;
    std::vector<std::string> events;
};

class ReplyTable : public CommandFixture, public ::testing::WithParamInterface<ReplyRow> {};

TEST_P(ReplyTable, TheLineOperationsCompleteTheFeatureRequests) {
    const ReplyRow& row = GetParam();
    line->messageWaiting = true;
    ASSERT_EQ(run(row.text), kRequest) << row.text;
    row.answer(*this);
    EXPECT_EQ(events.log, row.events) << row.text;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ReplyTable,
    ::testing::Values(
        ReplyRow{"PUSH_BTN/N", [](CommandFixture& f) { f.reply(0x8F); }, {kDone}},
        ReplyRow{"SMS/W/ 201/hi", [](CommandFixture& f) { f.reply(0x98); }, {kDone}},
        ReplyRow{"DVU/TIME", [](CommandFixture& f) { f.reply(0x79); }, {kDone}},
        ReplyRow{"PAGE/ALL_CALL", [](CommandFixture& f) { f.reply(0x7A); }, {kDone}},
        ReplyRow{"PAGE/DROP", [](CommandFixture& f) { f.reply(0x5A); }, {kDone}},
        ReplyRow{"FOLLOWME/21/9", [](CommandFixture& f) { f.reply(0x62); }, {kDone}},
        ReplyRow{"FLEX_BTN_WRITE/012/$", [](CommandFixture& f) { f.reply(0x96); }, {kDone}},
        ReplyRow{"DVU/TIME", [](CommandFixture& f) { f.reject(0x79, 0x7F); }, {kRefused}},
        ReplyRow{"PUSH_BTN/N", [](CommandFixture& f) { f.reject(0x8F, 'A'); }, {kRefused}}));

struct ButtonReadRow {
    std::string reply;
    DWORD type;
    DWORD value;
};

class ButtonReadTable : public CommandFixture, public ::testing::WithParamInterface<ButtonReadRow> {};

TEST_P(ButtonReadTable, TheReplyToAReadReportsTheButton) {
    const ButtonReadRow& row = GetParam();
    ASSERT_EQ(run("FLEX_BTN_READ/007"), kRequest);
    reply(0x96, row.reply);
    EXPECT_EQ(events.log, (std::vector<std::string>{kDone, devSpecific(33, row.type, row.value)}))
        << render({reinterpret_cast<const std::uint8_t*>(row.reply.data()), row.reply.size()});
    // A second copy of the reply reports nothing more.
    reply(0x96, row.reply);
    EXPECT_EQ(events.log.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Replies, ButtonReadTable,
                         ::testing::Values(ButtonReadRow{"!  21", '!', 21},
                                           ButtonReadRow{"\"  12", '"', 12},
                                           ButtonReadRow{"# 99", '#', 99},
                                           ButtonReadRow{"%  7", '%', 7},
                                           ButtonReadRow{"&012", '&', 12},
                                           ButtonReadRow{"'1234", '\'', 1234},
                                           ButtonReadRow{")X", ')', 'X'},
                                           ButtonReadRow{std::string("9\x05", 2), '9', 5},
                                           ButtonReadRow{"!", '!', 0},
                                           ButtonReadRow{"!12345678", '!', 1234},
                                           ButtonReadRow{"$", '$', 0},
                                           ButtonReadRow{";", ';', 0},
                                           ButtonReadRow{"<  21", 0x20, 0},
                                           ButtonReadRow{" ", 0x20, 0},
                                           ButtonReadRow{"", 0x20, 0}));

TEST_F(CommandFixture, RepliesToOtherButtonOperationsReportNothing) {
    ASSERT_EQ(run("FLEX_BTN_ACTION/7"), kRequest);
    reply(0x96, "!  21");
    EXPECT_EQ(events.log, std::vector<std::string>{kDone});
}

}  // namespace
}  // namespace velkor::devspecific::testing
