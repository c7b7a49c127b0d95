#include <gtest/gtest.h>

#include "platform/registry/hive_text.h"
#include "platform/registry/key_path.h"

namespace velkor::platform {
namespace {

TEST(KeyPathTest, ParsesHiveNamesAndNormalisesSeparators) {
    struct Case {
        const char* text;
        std::optional<Hive> hive;
        const char* path;
    };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\PCApplication\\VELKORSP", Hive::LocalMachine,
         "Software\\Microsoft\\PCApplication\\VELKORSP"},
        {"hkey_current_user\\Software\\\\Caldra\\", Hive::CurrentUser, "Software\\Caldra"},
        {"HKLM\\Software", Hive::LocalMachine, "Software"},
        {"HKCU", Hive::CurrentUser, ""},
        {"HKEY_USERS\\Software", std::nullopt, ""},
        {"", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const auto parsed = parseFullKeyPath(c.text);
        ASSERT_EQ(parsed.has_value(), c.hive.has_value()) << c.text;
        if (!parsed) continue;
        EXPECT_EQ(parsed->first, *c.hive) << c.text;
        EXPECT_EQ(parsed->second, c.path) << c.text;
    }
}

TEST(HiveTextTest, FormatThenParseGivesTheSameHive) {
    HiveData data;
    data.setValue("Software\\A", RegistryValue{"Number", ValueType::Dword, 0xFFFFFFFF, {}});
    data.setValue("Software\\A\\B", RegistryValue{"Text", ValueType::String, 0, "x\"y\\z\r\n"});
    data.createKey("Software\\Empty");
    const ParsedHive parsed = parseHiveText(formatHiveText(data, "HKEY_CURRENT_USER"));
    EXPECT_EQ(parsed.damagedLines, 0u);
    ASSERT_EQ(parsed.data.keys().size(), data.keys().size());
    EXPECT_EQ(*parsed.data.findValue("software\\a", "number"), *data.findValue("Software\\A", "Number"));
    EXPECT_EQ(parsed.data.findValue("Software\\A\\B", "Text")->text, "x\"y\\z\r\n");
    EXPECT_TRUE(parsed.data.hasKey("Software\\Empty"));
}

TEST(HiveTextTest, HandEditedFilesAreReadLeniently) {
    // Windows line ends, indentation, comments, a duplicate value (first one
    // wins) and a key named only through its child.
    const ParsedHive parsed = parseHiveText(
        "; comment\r\n"
        "  [Software\\Deep\\Child]  \r\n"
        "\t\"A\"=dword:0000000A\r\n"
        "\"a\"=dword:0000000B\r\n");
    EXPECT_EQ(parsed.damagedLines, 0u);
    EXPECT_EQ(parsed.data.findValue("Software\\Deep\\Child", "A")->dword, 10u);
    EXPECT_TRUE(parsed.data.hasKey("Software\\Deep"));
    EXPECT_EQ(parsed.data.childNames("Software"), std::vector<std::string>{"Deep"});
}

}  // namespace
}  // namespace velkor::platform
