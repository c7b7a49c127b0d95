// The station-setting commands of the phone device: what each sends, which
// it refuses, the fixed reads, and the value text of each answer.
#include "provider/core/phone_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace velkor::core {
namespace {

std::vector<std::uint8_t> b(std::string_view text) { return {text.begin(), text.end()}; }

std::string shown(const std::optional<SettingRequest>& r) {
    if (!r) return "refused";
    char code[8];
    std::snprintf(code, sizeof code, "%02X", r->code);
    std::string out = code;
    for (std::uint8_t byte : r->data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", byte);
        out += hex;
    }
    return out;
}

struct CommandCase {
    std::string command;
    std::uint8_t code;  // 0: refused
    std::string data;
};

class SettingCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(SettingCommands, SendTheirRequestOrNothing) {
    const CommandCase& c = GetParam();
    const auto request = settingCommand(c.command);
    const std::optional<SettingRequest> expected =
        c.code ? std::optional(SettingRequest{c.code, b(c.data)}) : std::nullopt;
    EXPECT_EQ(shown(request), shown(expected)) << c.command;
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Table, SettingCommands,
    ::testing::Values(
        // Wake-up: time and mode, the current setting in any case.
        CommandCase{"wu/0730", 0x7D, "0730S"}, CommandCase{"WU/CURR", 0x7D, "CURR"},
        CommandCase{"wu/curr", 0x7D, "CURR"}, CommandCase{"wu/0730/c", 0x7D, "0730C"},
        CommandCase{"wu/0730/s", 0x7D, "0730S"}, CommandCase{"wu/0730/X", 0x7D, "0730X"},
        CommandCase{"wu/073", 0, ""}, CommandCase{"wu/07301", 0, ""},
        CommandCase{"wu/0730/cc", 0, ""},
        // Password: read, check, change.
        CommandCase{"acp/curpw", 0x7E, "CURPW"}, CommandCase{"acp/CurPw", 0x7E, "CURPW"},
        CommandCase{"acp/12345", 0x7E, "12345"},
        CommandCase{"acp/newpw/54321", 0x7E, "NEWPW54321"},
        CommandCase{"acp/12345/54321", 0x7E, "1234554321"}, CommandCase{"acp/1234", 0, ""},
        CommandCase{"acp/12345/5432", 0, ""},
        // tscc: d, c, or r with 5 characters.
        CommandCase{"tscc/d", 0x7F, "D"}, CommandCase{"TSCC/C", 0x7F, "C"},
        CommandCase{"tscc/r/12345", 0x7F, "R12345"}, CommandCase{"tscc/d/12345", 0x7F, "D"},
        CommandCase{"tscc/x", 0, ""}, CommandCase{"tscc/r/1234", 0, ""},
        // Personal message: length byte and text, current, delete.
        CommandCase{"pmp/Lunch", 0x80, "\x25Lunch"},
        CommandCase{"pmp/" + std::string(24, 'x'), 0x80, "\x38" + std::string(24, 'x')},
        CommandCase{"pmp/" + std::string(25, 'x'), 0, ""}, CommandCase{"pmp//cur", 0x80, " "},
        CommandCase{"pmp//del", 0x80, "\x83"}, CommandCase{"pmp//now", 0, ""},
        CommandCase{"pmp/", 0, ""},
        // One character, upper-cased for iam; two for bgm.
        CommandCase{"iam/x", 0x81, "X"}, CommandCase{"iam/7", 0x81, "7"},
        CommandCase{"iam/xy", 0, ""}, CommandCase{"bgm/12", 0x82, "12"},
        CommandCase{"bgm/1", 0, ""},
        // Presence message: selector, then nothing, 5 characters, a dial
        // string (6) or a station number (7).
        CommandCase{"pms/1", 0x83, "\x21"}, CommandCase{"pms/12", 0x83, "\x2C"},
        CommandCase{"pms/123", 0, ""}, CommandCase{"pms/3/13:30", 0x83, "\x23" "13:30"},
        CommandCase{"pms/3/1330", 0, ""}, CommandCase{"pms/6/123", 0x83, "\x26\x22\x12\x30"},
        CommandCase{"pms/6/12a", 0, ""}, CommandCase{"pms/6", 0, ""},
        CommandCase{"pms/7/21", 0x83, "\x27  21"}, CommandCase{"pms/7/123456", 0x83, "\x27" "1234"},
        CommandCase{"pms/x", 0, ""},
        // The one-character settings, each with its length rule.
        CommandCase{"dr/1", 0x84, "1"}, CommandCase{"llm/1", 0x85, "1"},
        CommandCase{"autos/0", 0x86, "0"}, CommandCase{"hmp/1", 0x87, "1"},
        CommandCase{"nta/1", 0x88, "1"}, CommandCase{"ah/1", 0x89, "1"},
        CommandCase{"dls/0", 0x8A, "0"}, CommandCase{"DLS/0", 0x8A, "0"},
        CommandCase{"dr/", 0, ""}, CommandCase{"autos", 0, ""}, CommandCase{"llm/12", 0, ""},
        // Not a setting.
        CommandCase{"", 0, ""}, CommandCase{"xyz/1", 0, ""}, CommandCase{"w", 0, ""}));

TEST(SettingCommands, TheSeparatorIsNotExamined) {
    EXPECT_EQ(shown(settingCommand("wu-0730")), shown(SettingRequest{0x7D, b("0730S")}));
    EXPECT_EQ(shown(settingCommand("pms 7 201")), shown(SettingRequest{0x83, b("\x27 201")}));
}

TEST(SettingCommands, APresenceArgumentIsCutAt60Characters) {
    // 60 characters of argument hold a 57-digit dial string; what follows goes.
    const std::string digits(57, '1');
    const auto cut = settingCommand("pms/6/" + digits + "999");
    const auto exact = settingCommand("pms/6/" + digits);
    ASSERT_TRUE(exact);
    EXPECT_EQ(shown(cut), shown(exact));
    EXPECT_EQ(exact->data.size(), 2u + 29u);
}

TEST(SettingQueries, AskEachSettingWithItsFixedData) {
    const std::string expected[] = {"CURR", "CURPW", "C", " ", "C", "C", "5",
                                    "0",    "2",     "2", "2", "2", "2", "2"};
    for (std::uint32_t kind = 1; kind <= 14; ++kind) {
        const auto q = settingQuery(kind);
        ASSERT_TRUE(q) << kind;
        EXPECT_EQ(q->code, 0x7C + kind);
        EXPECT_EQ(std::string(q->data.begin(), q->data.end()), expected[kind - 1]) << kind;
    }
    EXPECT_FALSE(settingQuery(0));
    EXPECT_FALSE(settingQuery(15));
}

struct AnswerCase {
    std::uint8_t code;
    std::string data;
    std::string text;
};

class SettingAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(SettingAnswers, BecomeTheValueText) {
    const AnswerCase& c = GetParam();
    EXPECT_EQ(settingAnswerText(c.code, b(c.data)), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingAnswers,
    ::testing::Values(
        AnswerCase{0x7D, "0730S", "0730S"}, AnswerCase{0x7D, "NONE!", "NONE"},
        AnswerCase{0x7D, "none", "none"}, AnswerCase{0x7D, "07", "07"},
        AnswerCase{0x7E, "12345xyz", "12345"}, AnswerCase{0x7F, "DR", "D"},
        AnswerCase{0x80, " ", ""}, AnswerCase{0x80, "\x25Lunch!", "Lunch"},
        // A length byte past the data gives what there is.
        AnswerCase{0x80, "\x3FLunch", "Lunch"}, AnswerCase{0x80, "", ""},
        AnswerCase{0x81, "A", "A"}, AnswerCase{0x82, "123", "12"},
        AnswerCase{0x83, "\x20\x23" "abcdef", "/0/abc"},
        AnswerCase{0x83, "\x26\x22\x12\x30", "/6/\x12\x30"},
        AnswerCase{0x83, "\x2B\x25Lunch", "/11/Lunch"}, AnswerCase{0x83, "\x34\x21x", "/20/x"},
        AnswerCase{0x83, "\x25xyz", "/5/"}, AnswerCase{0x83, "\x29", "/9/"},
        AnswerCase{0x83, "\x2A\x20", "/10/"}, AnswerCase{0x83, "\x35\x21x", "/21"},
        AnswerCase{0x83, "\x83", "/99"}, AnswerCase{0x83, "\x27\x20 201x", "/7/ 201"},
        AnswerCase{0x83, "\x21", "/1/"}, AnswerCase{0x83, "", ""},
        AnswerCase{0x84, "3", "3"}, AnswerCase{0x8A, "19", "1"},
        AnswerCase{0x7C, "x", ""}));

}  // namespace
}  // namespace velkor::core
