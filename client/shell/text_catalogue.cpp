#include "client/shell/text_catalogue.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace velkor::client {

int g_nLanguageMode = 1;

namespace {

std::filesystem::path g_cataloguePath;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the whole file; false when it cannot be opened or read, so that the
// next folder is tried. A directory of the catalogue's name does not count
// as the file.
bool readFile(const std::filesystem::path& path, std::string& text) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxCatalogueBytes) {
        // Opened, but no catalogue: the caller keeps it as unusable.
        text.clear();
        return true;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    if (text.size() > kMaxCatalogueBytes) text.clear();
    return true;
}

}  // namespace

const std::filesystem::path& cataloguePath() {
    return g_cataloguePath;
}

std::filesystem::path executableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

std::vector<std::filesystem::path> catalogueFolders() {
    std::filesystem::path system = kSystemDataFolder;
    if (const char* dir = std::getenv(kDataFolderVariable); dir != nullptr && *dir != '\0')
        system = dir;
    return {executableFolder(), system};
}

CTextCatalogue::CTextCatalogue() : CTextCatalogue(g_nLanguageMode) {}

CTextCatalogue::CTextCatalogue(int column) {
    load(catalogueFolders(), column);
}

CTextCatalogue::CTextCatalogue(const std::vector<std::filesystem::path>& folders, int column) {
    load(folders, column);
}

CTextCatalogue::CTextCatalogue(std::string fileText, int column, bool) {
    accept(std::move(fileText), column);
}

CTextCatalogue CTextCatalogue::fromText(std::string fileText, int column) {
    return CTextCatalogue(std::move(fileText), column, true);
}

void CTextCatalogue::load(const std::vector<std::filesystem::path>& folders, int column) {
    for (const auto& folder : folders) {
        const auto path = folder / kCatalogueFileName;
        std::string text;
        if (!readFile(path, text)) continue;
        g_cataloguePath = path;
        accept(std::move(text), column);
        return;
    }
    m_fileText.clear();
    m_column = 0;
}

void CTextCatalogue::accept(std::string fileText, int column) {
    if (fileText.size() <= 3 || fileText.compare(0, 3, "LLS") != 0) {
        m_fileText.clear();
        m_column = 0;
        return;
    }
    m_fileText = std::move(fileText);
    // Only the two language columns exist; any other mode reads nothing.
    m_column = (column == 1 || column == 2) ? column : 0;
}

bool CTextCatalogue::scanEntry(std::size_t from, std::string& text) const {
    const int opening = m_column == 1 ? 1 : 3;
    const int closing = opening + 1;
    int quotes = 0;
    bool inside = false;
    text.clear();
    const std::size_t size = m_fileText.size();
    for (std::size_t i = from; i < size; ++i) {
        const char c = m_fileText[i];
        if (c == '#') {
            if (i + 1 >= size) return false;
            const char next = m_fileText[i + 1];
            if (next == ':') return false;  // the next entry begins
            if (inside) text += next;
            ++i;  // an escaped character is never a quote
            continue;
        }
        if (c == '"') {
            ++quotes;
            if (quotes == opening) {
                inside = true;
            } else if (quotes == closing) {
                return true;
            }
            continue;
        }
        if (inside) text += c;
    }
    return false;
}

std::string CTextCatalogue::lookup(std::string_view key) {
    while (m_column != 0) {
        if (key.size() <= 3 || key.substr(0, 2) != "#:") return {};
        const auto at = m_fileText.find(key);
        if (at == std::string::npos) return {};
        const std::size_t after = at + key.size();
        // The first occurrence belongs to a longer key (or to something
        // else); later occurrences are not looked at.
        if (after < m_fileText.size() && !isBlank(m_fileText[after])) return {};
        std::string text;
        if (scanEntry(after, text) && !text.empty()) return text;
        --m_column;
    }
    return {};
}

std::string catalogueText(std::string_view key) {
    CTextCatalogue catalogue;
    return catalogue.lookup(key);
}

}  // namespace velkor::client
