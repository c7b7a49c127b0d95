#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::client {

// Name of the catalogue file that holds every user-visible text of the client.
inline constexpr char kCatalogueFileName[] = "Spainlanguage.txt";
// Where the catalogue is looked for when there is none beside the program.
inline constexpr char kSystemDataFolder[] = "/usr/share/velkor";
// Replaces kSystemDataFolder when set (a test or an installation elsewhere).
inline constexpr char kDataFolderVariable[] = "VELKOR_DATA_DIR";
// A catalogue is a few dozen kilobytes; a file larger than this is not one
// and is treated as unusable rather than read into memory.
inline constexpr std::uintmax_t kMaxCatalogueBytes = 16u * 1024u * 1024u;

// The current language column, 1 (English) or 2 (local language). Every
// window creates its catalogue objects with it; the settings store it as
// "LANGUAGE" g_nLanguageMode.
extern int g_nLanguageMode;

// Full path of the catalogue file last opened, empty while none was.
const std::filesystem::path& cataloguePath();

// The folder of the running executable.
std::filesystem::path executableFolder();
// The folders searched for the catalogue, in order: the executable's folder,
// then the system data folder.
std::vector<std::filesystem::path> catalogueFolders();

// One read of the text catalogue. Every key is looked up in the object's
// language column; a key whose wanted text is missing or empty lowers the
// column for the rest of the object's life (column 2 falls back to column 1,
// column 1 to nothing), so one object serves one batch of texts.
//
// The file starts with "LLS"; after that each entry is a key ("#:" and
// letters, digits, underscores), blanks, and two quoted texts. Inside a text
// "#" escapes the next character; the pair "#:" ends the entry. A key is
// found by its first occurrence in the file, so a shorter key must come
// before any longer key that begins with it.
class CTextCatalogue {
public:
    // Reads the catalogue from the standard folders with the current
    // language mode.
    CTextCatalogue();
    explicit CTextCatalogue(int column);
    // Reads the first file named kCatalogueFileName that opens in `folders`.
    CTextCatalogue(const std::vector<std::filesystem::path>& folders, int column);

    // A catalogue of the given file text, as if read from a file.
    static CTextCatalogue fromText(std::string fileText, int column);

    // The text of `key` in the object's column, or the empty text. Never
    // fails and never returns the key itself.
    std::string lookup(std::string_view key);

    int column() const { return m_column; }
    const std::string& fileText() const { return m_fileText; }

private:
    CTextCatalogue(std::string fileText, int column, bool);
    void load(const std::vector<std::filesystem::path>& folders, int column);
    void accept(std::string fileText, int column);
    // The wanted text of the entry that starts after position `from`, or
    // false when it is not closed.
    bool scanEntry(std::size_t from, std::string& text) const;

    std::string m_fileText;
    int m_column = 0;
};

// One lookup with a fresh catalogue object in the current language.
std::string catalogueText(std::string_view key);

}  // namespace velkor::client
