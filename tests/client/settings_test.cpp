#include "client/shell/settings.h"

#include <functional>
#include <set>
#include <variant>

#include <gtest/gtest.h>

#include "platform/registry/registry.h"
#include "tests/client/temp_folder.h"

namespace velkor::client {
namespace {

using platform::Hive;
using platform::Registry;
using test::TempFolder;

class ClientSettings : public ::testing::Test {
protected:
    TempFolder m_folder;
    Registry m_registry{m_folder.path()};

    void store(const char* section, const char* name, std::uint32_t value) {
        ASSERT_TRUE(m_registry.writeDword(Hive::CurrentUser, profileSectionKey(section), name, value));
    }
    void store(const char* section, const char* name, const char* value) {
        ASSERT_TRUE(m_registry.writeString(Hive::CurrentUser, profileSectionKey(section), name, value));
    }
    std::string stored(const char* section, const char* name) const {
        return m_registry.readString(Hive::CurrentUser, profileSectionKey(section), name).value_or("<missing>");
    }
    std::uint32_t storedDword(const char* section, const char* name) const {
        return m_registry.readDword(Hive::CurrentUser, profileSectionKey(section), name).value_or(0xDEAD);
    }
};

TEST_F(ClientSettings, FirstStartWithAnEmptyRegistry) {
    g_nLanguageMode = 2;
    loadSettings(m_registry);
    EXPECT_EQ(g_nPopupWindowKind, 2);
    EXPECT_EQ(g_nLanguageMode, 1);
    for (int k = 0; k < kStoredAddressColumns; ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(g_ColumnInfo[k].bVisible);
        EXPECT_EQ(g_ColumnInfo[k].nWidth, k == 0 ? 40 : 100);
    }
    EXPECT_EQ(g_rectMainWnd.nWidth, 800);
    EXPECT_EQ(g_rectMainWnd.nHeight, 604);
    EXPECT_TRUE(g_bExcelSpreadSheet);
    EXPECT_TRUE(g_bInternalIncoming && g_bInternalOutgoing && g_bExternalIncoming && g_bExternalOutgoing);
    EXPECT_EQ(g_nLogViewCount, 20);
    EXPECT_EQ(g_nStationDisplayType, 1);
    EXPECT_TRUE(g_bLogViewRecord);
    // Loading writes nothing.
    EXPECT_FALSE(std::filesystem::exists(m_registry.hiveFile(Hive::CurrentUser)));
}

struct StoredCase {
    const char* what;
    const char* section;
    const char* name;
    std::variant<std::uint32_t, const char*> value;
    std::function<void()> check;
};

TEST_F(ClientSettings, LoadRulesForStoredValues) {
    const StoredCase cases[] = {
        {"popup kind 1 is loaded as 2", "OPTION", "g_nPopupWindowKind", 1u,
         [] { EXPECT_EQ(g_nPopupWindowKind, 2); }},
        {"popup kind 3 stays", "OPTION", "g_nPopupWindowKind", 3u, [] { EXPECT_EQ(g_nPopupWindowKind, 3); }},
        {"a value of the wrong type gives the default", "OPTION", "g_nPopupWindowKind", "3",
         [] { EXPECT_EQ(g_nPopupWindowKind, 2); }},
        {"all hidden still shows columns 0 to 2", "ADDRESS", "g_ColumnInfo", "FFFFFFFFFFFFFFF",
         [] {
             for (int k = 0; k < kStoredAddressColumns; ++k)
                 EXPECT_EQ(g_ColumnInfo[k].bVisible, k < 3) << "column " << k;
         }},
        {"a short visibility string hides the columns it does not reach", "ADDRESS", "g_ColumnInfo", "TTTT",
         [] {
             EXPECT_TRUE(g_ColumnInfo[3].bVisible);
             for (int k = 4; k < kStoredAddressColumns; ++k) EXPECT_FALSE(g_ColumnInfo[k].bVisible) << k;
         }},
        {"only T means visible", "ADDRESS", "g_ColumnInfo", "FFFtT1FFFFFFFFF",
         [] {
             EXPECT_FALSE(g_ColumnInfo[3].bVisible);
             EXPECT_TRUE(g_ColumnInfo[4].bVisible);
             EXPECT_FALSE(g_ColumnInfo[5].bVisible);
         }},
        {"widths take the leading digits of each field", "ADDRESS", "g_ColumnInfoLen", "00500abc1x2312",
         [] {
             EXPECT_EQ(g_ColumnInfo[0].nWidth, 50);
             EXPECT_EQ(g_ColumnInfo[1].nWidth, 0);
             EXPECT_EQ(g_ColumnInfo[2].nWidth, 1);
             EXPECT_EQ(g_ColumnInfo[3].nWidth, 12);
             for (int k = 4; k < kStoredAddressColumns; ++k) EXPECT_EQ(g_ColumnInfo[k].nWidth, 0) << k;
         }},
        {"the window size is two fields of four digits", "MAINWND", "g_rectMainWnd", "10240768",
         [] {
             EXPECT_EQ(g_rectMainWnd.nWidth, 1024);
             EXPECT_EQ(g_rectMainWnd.nHeight, 768);
         }},
        {"a damaged window size reads its leading digits", "MAINWND", "g_rectMainWnd", "1024x768",
         [] {
             EXPECT_EQ(g_rectMainWnd.nWidth, 1024);
             EXPECT_EQ(g_rectMainWnd.nHeight, 0);
         }},
        {"a stored language 2 still starts in 1", "LANGUAGE", "g_nLanguageMode", 2u,
         [] { EXPECT_EQ(g_nLanguageMode, 1); }},
        {"a flag stored as any non-zero number is set", "CUSTOMIZE", "g_bAutoOutlookStart", 7u,
         [] { EXPECT_TRUE(g_bAutoOutlookStart); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        Registry registry(folder.path());
        const auto key = profileSectionKey(c.section);
        if (std::holds_alternative<std::uint32_t>(c.value))
            ASSERT_TRUE(registry.writeDword(Hive::CurrentUser, key, c.name, std::get<std::uint32_t>(c.value)));
        else
            ASSERT_TRUE(registry.writeString(Hive::CurrentUser, key, c.name, std::get<const char*>(c.value)));
        loadSettings(registry);
        c.check();
    }
}

TEST_F(ClientSettings, ARunWritesTheShortColumnStrings) {
    loadSettings(m_registry);
    ASSERT_TRUE(saveSettings(m_registry));
    EXPECT_EQ(stored("ADDRESS", "g_ColumnInfo"), "TTTTTTTTTTTTTTT");
    const std::string widths = stored("ADDRESS", "g_ColumnInfoLen");
    EXPECT_EQ(widths.size(), 60u);
    std::string expected = "0040";
    for (int k = 1; k < kStoredAddressColumns; ++k) expected += "0100";
    EXPECT_EQ(widths, expected);
    EXPECT_EQ(stored("MAINWND", "g_rectMainWnd"), "08000604");
    EXPECT_EQ(storedDword("LANGUAGE", "g_nLanguageMode"), 1u);
}

TEST_F(ClientSettings, StoredPopupKindOneIsSavedAsTwo) {
    store("OPTION", "g_nPopupWindowKind", 1u);
    loadSettings(m_registry);
    ASSERT_TRUE(saveSettings(m_registry));
    EXPECT_EQ(storedDword("OPTION", "g_nPopupWindowKind"), 2u);
}

TEST_F(ClientSettings, NumbersTooLargeForFourDigitsStayReadable) {
    // A width of five digits would shift every later field of the string.
    loadSettings(m_registry);
    g_ColumnInfo[0].nWidth = 12345;
    g_ColumnInfo[1].nWidth = -20;
    g_rectMainWnd = {10000, 700};
    ASSERT_TRUE(saveSettings(m_registry));
    EXPECT_EQ(stored("ADDRESS", "g_ColumnInfoLen").substr(0, 12), "999900000100");
    EXPECT_EQ(stored("MAINWND", "g_rectMainWnd"), "99990700");
    loadSettings(m_registry);
    EXPECT_EQ(g_ColumnInfo[2].nWidth, 100);
    EXPECT_EQ(g_rectMainWnd.nHeight, 700);
}

TEST_F(ClientSettings, EverySettingSurvivesSaveAndLoad) {
    loadSettings(m_registry);
    g_nPopupWindowKind = 3;
    g_nDisplayTimingKind = 2;
    g_bOwnAddress = true;
    g_bOutlookAddress = true;
    g_bEmailNotification = true;
    g_bExcelSpreadSheet = false;
    g_strDefaultFolder = "/home/ana/contacts";
    g_strVipSound = "vip.wav";
    g_strNormalSound = "normal.wav";
    g_strBlackSound = "black.wav";
    g_nFilteringKind = 2;
    g_bAutoOutlookStart = true;
    g_bOutlookMailClient = true;
    g_bAutoScheduleImport = true;
    g_nScheduleImportGap = 3;
    g_bInternalIncoming = false;
    g_bInternalOutgoing = false;
    g_bExternalIncoming = false;
    g_bExternalOutgoing = false;
    g_nLogViewCount = 55;
    g_nStationDisplayType = 3;
    g_bLogViewRecord = false;
    for (int k = 0; k < kStoredAddressColumns; ++k) {
        g_ColumnInfo[k].bVisible = k % 2 == 0;
        g_ColumnInfo[k].nWidth = 10 + k;
    }
    g_nBottomIndexWhichOne = 2;
    g_rectMainWnd = {1024, 700};
    g_bMaximize = true;
    g_bSimpleMode = true;
    g_nLanguageMode = 2;
    g_strOutlookPath = "/usr/bin/pim";
    g_strNationCode = "34";
    g_strInternationCode = "00";
    for (int i = 0; i < kFilterNumCount; ++i) g_strFilterNum[i] = "9" + std::to_string(i);
    ASSERT_TRUE(saveSettings(m_registry));
    EXPECT_EQ(storedDword("LANGUAGE", "g_nLanguageMode"), 2u);

    loadSettings(m_registry);
    EXPECT_EQ(g_nPopupWindowKind, 3);
    EXPECT_EQ(g_nDisplayTimingKind, 2);
    EXPECT_TRUE(g_bOwnAddress);
    EXPECT_TRUE(g_bOutlookAddress);
    EXPECT_TRUE(g_bEmailNotification);
    EXPECT_FALSE(g_bExcelSpreadSheet);
    EXPECT_EQ(g_strDefaultFolder, "/home/ana/contacts");
    EXPECT_EQ(g_strVipSound, "vip.wav");
    EXPECT_EQ(g_strNormalSound, "normal.wav");
    EXPECT_EQ(g_strBlackSound, "black.wav");
    EXPECT_EQ(g_nFilteringKind, 2);
    EXPECT_TRUE(g_bAutoOutlookStart);
    EXPECT_TRUE(g_bOutlookMailClient);
    EXPECT_TRUE(g_bAutoScheduleImport);
    EXPECT_EQ(g_nScheduleImportGap, 3);
    EXPECT_FALSE(g_bInternalIncoming || g_bInternalOutgoing || g_bExternalIncoming || g_bExternalOutgoing);
    EXPECT_EQ(g_nLogViewCount, 55);
    EXPECT_EQ(g_nStationDisplayType, 3);
    EXPECT_FALSE(g_bLogViewRecord);
    for (int k = 0; k < kStoredAddressColumns; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(g_ColumnInfo[k].bVisible, k < 3 || k % 2 == 0);
        EXPECT_EQ(g_ColumnInfo[k].nWidth, 10 + k);
    }
    EXPECT_EQ(g_nBottomIndexWhichOne, 2);
    EXPECT_EQ(g_rectMainWnd.nWidth, 1024);
    EXPECT_EQ(g_rectMainWnd.nHeight, 700);
    EXPECT_TRUE(g_bMaximize);
    EXPECT_TRUE(g_bSimpleMode);
    EXPECT_EQ(g_nLanguageMode, 1);  // always the first column at start
    EXPECT_EQ(g_strOutlookPath, "/usr/bin/pim");
    EXPECT_EQ(g_strNationCode, "34");
    EXPECT_EQ(g_strInternationCode, "00");
    for (int i = 0; i < kFilterNumCount; ++i) EXPECT_EQ(g_strFilterNum[i], "9" + std::to_string(i));
}

TEST_F(ClientSettings, ValuesLiveUnderTheProfileKey) {
    loadSettings(m_registry);
    ASSERT_TRUE(saveSettings(m_registry));
    const auto sections = m_registry.subKeys(Hive::CurrentUser, "Software\\Ostrel Pellix click\\Caldra");
    const std::set<std::string> names(sections.begin(), sections.end());
    const std::set<std::string> expected{"OPTION", "CUSTOMIZE", "STATION", "LOGVIEW", "ADDRESS", "BOTTOM",
                                         "MAINWND", "SIMPLE", "MAXIZE", "LANGUAGE", "PATH", "FILTERCODE"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(m_registry.values(Hive::CurrentUser, profileSectionKey("FILTERCODE")).size(), 11u);
}

}  // namespace
}  // namespace velkor::client
