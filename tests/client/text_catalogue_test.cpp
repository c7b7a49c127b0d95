#include "client/shell/text_catalogue.h"

#include <fstream>
#include <optional>

#include <gtest/gtest.h>

#include "tests/client/temp_folder.h"

namespace velkor::client {
namespace {

using test::TempFolder;

struct LookupCase {
    const char* what;
    std::string file;
    int column;
    const char* key;
    const char* expected;
    int columnAfter;
    // A second lookup on the same object, when the first changes its column.
    const char* laterKey = nullptr;
    const char* laterExpected = nullptr;
};

TEST(TextCatalogueLookup, CasesOfTheFileFormat) {
    const LookupCase cases[] = {
        {"column 1 is the first text", "LLS\n#:button_ok \"OK\" \"Aceptar\"\n", 1, "#:button_ok", "OK", 1},
        {"column 2 is the second text", "LLS\n#:button_ok \"OK\" \"Aceptar\"\n", 2, "#:button_ok", "Aceptar", 2},
        {"an empty second text falls back and lowers the column",
         "LLS\n#:a_key \"First\" \"\"\n#:b_key \"Bee\" \"Abeja\"\n", 2, "#:a_key", "First", 1,
         "#:b_key", "Bee"},
        {"a missing second text falls back (the next entry ends the scan)",
         "LLS\n#:a_key \"First\"\n#:b_key \"Bee\" \"Abeja\"\n", 2, "#:a_key", "First", 1,
         "#:b_key", "Bee"},
        {"an empty first text ends empty and leaves the object unusable",
         "LLS\n#:a_key \"\" \"Uno\"\n#:b_key \"Bee\" \"Abeja\"\n", 1, "#:a_key", "", 0,
         "#:b_key", ""},
        {"escaped quote and escaped hash are plain characters",
         "LLS\n#:quote_key \"Say #\"hi#\" to ##1\" \"x\"\n", 1, "#:quote_key", "Say \"hi\" to #1", 1},
        {"an escaped quote in column 1 is not counted for column 2",
         "LLS\n#:quote_key \"a#\"b\" \"second\"\n", 2, "#:quote_key", "second", 2},
        {"a longer key found first hides the shorter one",
         "LLS\n#:pad_2 \"Longer\" \"Largo\"\n#:pad \"Pad\" \"Teclado\"\n", 1, "#:pad", "", 1,
         "#:pad_2", "Longer"},
        {"the shorter key listed first is found",
         "LLS\n#:pad \"Pad\" \"Teclado\"\n#:pad_2 \"Longer\" \"Largo\"\n", 2, "#:pad", "Teclado", 2,
         "#:pad_2", "Largo"},
        {"a #: pair inside a text ends the entry unterminated",
         "LLS\n#:broken \"ab#:cd\" \"x\"\n#:fine \"Fine\" \"Bien\"\n", 1, "#:broken", "", 0,
         "#:fine", ""},
        {"a key of three characters is never looked up", "LLS\n#:a \"Ay\" \"Ay\"\n", 1, "#:a", "", 1},
        {"a key without #: is never looked up", "LLS\n#:button_ok \"OK\" \"Aceptar\"\n", 1,
         "button_ok", "", 1},
        {"a missing key is empty and keeps the column", "LLS\n#:button_ok \"OK\" \"Aceptar\"\n", 2,
         "#:button_cancel", "", 2, "#:button_ok", "Aceptar"},
        {"a file without LLS is unusable", "LSS\n#:button_ok \"OK\" \"Aceptar\"\n", 1, "#:button_ok", "",
         0},
        {"a file of only LLS is unusable", "LLS", 1, "#:button_ok", "", 0},
        {"a key at the end of the file has no text", "LLS\n#:button_ok", 1, "#:button_ok", "", 0},
        {"an unterminated text at the end of the file is empty", "LLS\n#:button_ok \"OK", 1,
         "#:button_ok", "", 0},
        {"a hash as the last byte ends the text unterminated", "LLS\n#:button_ok \"OK#", 1,
         "#:button_ok", "", 0},
        {"tabs and CR LF line ends separate key and texts",
         "LLS\r\n#:button_ok\t\r\n\"OK\"\r\n\t\"Aceptar\"\r\n", 2, "#:button_ok", "Aceptar", 2},
        {"UTF-8 text passes unchanged", "LLS\n#:button_add \"Add\" \"A\xC3\xB1" "adir\"\n", 2,
         "#:button_add", "A\xC3\xB1" "adir", 2},
        {"a mode other than 1 or 2 reads nothing", "LLS\n#:button_ok \"OK\" \"Aceptar\"\n", 3,
         "#:button_ok", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto catalogue = CTextCatalogue::fromText(c.file, c.column);
        EXPECT_EQ(catalogue.lookup(c.key), c.expected);
        EXPECT_EQ(catalogue.column(), c.columnAfter);
        if (c.laterKey != nullptr) {
            EXPECT_EQ(catalogue.lookup(c.laterKey), c.laterExpected);
        }
    }
}

TEST(TextCatalogueLookup, NeverReturnsTheKeyItself) {
    auto catalogue = CTextCatalogue::fromText("LLS\n#:only_key\n", 1);
    EXPECT_EQ(catalogue.lookup("#:only_key"), "");
    auto unusable = CTextCatalogue::fromText("", 1);
    EXPECT_EQ(unusable.lookup("#:only_key"), "");
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class TextCatalogueFile : public ::testing::Test {
protected:
    TempFolder m_beside;
    TempFolder m_system;
};

TEST_F(TextCatalogueFile, TheFileBesideTheProgramComesFirst) {
    writeFile(m_beside / kCatalogueFileName, "LLS\n#:button_ok \"Beside\" \"Al lado\"\n");
    writeFile(m_system / kCatalogueFileName, "LLS\n#:button_ok \"System\" \"Sistema\"\n");
    CTextCatalogue catalogue({m_beside.path(), m_system.path()}, 1);
    EXPECT_EQ(catalogue.lookup("#:button_ok"), "Beside");
    EXPECT_EQ(cataloguePath(), m_beside / kCatalogueFileName);
}

TEST_F(TextCatalogueFile, TheSystemFolderIsUsedWhenNoneIsBesideTheProgram) {
    writeFile(m_system / kCatalogueFileName, "LLS\n#:button_ok \"System\" \"Sistema\"\n");
    CTextCatalogue catalogue({m_beside.path(), m_system.path()}, 2);
    EXPECT_EQ(catalogue.lookup("#:button_ok"), "Sistema");
    EXPECT_EQ(cataloguePath(), m_system / kCatalogueFileName);
}

TEST_F(TextCatalogueFile, AnUnusableFileBesideTheProgramIsNotPassedOver) {
    // Only a file that cannot be opened sends the search on.
    writeFile(m_beside / kCatalogueFileName, "no header\n#:button_ok \"Beside\" \"Al lado\"\n");
    writeFile(m_system / kCatalogueFileName, "LLS\n#:button_ok \"System\" \"Sistema\"\n");
    CTextCatalogue catalogue({m_beside.path(), m_system.path()}, 1);
    EXPECT_EQ(catalogue.column(), 0);
    EXPECT_EQ(catalogue.lookup("#:button_ok"), "");
}

TEST_F(TextCatalogueFile, AFolderOfTheCatalogueNameIsNotTheFile) {
    std::filesystem::create_directory(m_beside / kCatalogueFileName);
    writeFile(m_system / kCatalogueFileName, "LLS\n#:button_ok \"System\" \"Sistema\"\n");
    CTextCatalogue catalogue({m_beside.path(), m_system.path()}, 1);
    EXPECT_EQ(catalogue.lookup("#:button_ok"), "System");
}

TEST_F(TextCatalogueFile, NoFileAnywhereMakesEveryTextEmpty) {
    CTextCatalogue catalogue({m_beside.path(), m_system.path()}, 1);
    EXPECT_EQ(catalogue.column(), 0);
    EXPECT_EQ(catalogue.lookup("#:button_ok"), "");
}

TEST_F(TextCatalogueFile, AnOversizedFileIsNotACatalogue) {
    std::string huge = "LLS\n#:button_ok \"OK\" \"Aceptar\"\n";
    huge.resize(kMaxCatalogueBytes + 1, ' ');
    writeFile(m_beside / kCatalogueFileName, huge);
    CTextCatalogue catalogue({m_beside.path()}, 1);
    EXPECT_EQ(catalogue.lookup("#:button_ok"), "");
}

TEST(TextCatalogueFolders, ProgramFolderThenDataFolder) {
    const char* saved = std::getenv(kDataFolderVariable);
    const std::optional<std::string> restore = saved ? std::optional<std::string>(saved) : std::nullopt;

    ::unsetenv(kDataFolderVariable);
    auto folders = catalogueFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], executableFolder());
    EXPECT_EQ(folders[1], std::filesystem::path(kSystemDataFolder));

    ::setenv(kDataFolderVariable, "/opt/elsewhere", 1);
    folders = catalogueFolders();
    EXPECT_EQ(folders[1], std::filesystem::path("/opt/elsewhere"));

    if (restore) ::setenv(kDataFolderVariable, restore->c_str(), 1);
    else ::unsetenv(kDataFolderVariable);
}

}  // namespace
}  // namespace velkor::client
