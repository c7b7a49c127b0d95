// The catalogue delivered with the client: every key the client looks up
// is there, is found, and has a text of its own in both languages.

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/shell/catalogue_keys.h"
#include "client/shell/text_catalogue.h"

namespace velkor::client {
namespace {

const std::filesystem::path kBuiltFolder = BRISEL_BIN_DIR;
const std::filesystem::path kClientSources = CLIENT_SOURCE_DIR;

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool validUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// Every string literal of the form "#:word" (blanks allowed, so that a key
// written with a space is caught too).
std::vector<std::string> keyLiterals(const std::string& source) {
    std::vector<std::string> keys;
    for (auto at = source.find("\"#:"); at != std::string::npos; at = source.find("\"#:", at + 1)) {
        const auto end = source.find('"', at + 1);
        if (end == std::string::npos) break;
        const std::string key = source.substr(at + 1, end - at - 1);
        const bool word = key.size() > 2 && key.find_first_not_of(
            "#:ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_ ", 2) == std::string::npos;
        if (word) keys.push_back(key);
    }
    return keys;
}

TEST(DeliveredCatalogue, IsBesideTheProgramAndUsable) {
    const auto path = kBuiltFolder / kCatalogueFileName;
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    const std::string text = readAll(path);
    EXPECT_EQ(text.substr(0, 3), "LLS");
    EXPECT_TRUE(validUtf8(text));
}

TEST(DeliveredCatalogue, EveryKeyHasATextInBothLanguages) {
    for (const auto key : kCatalogueKeys) {
        SCOPED_TRACE(std::string(key));
        for (int column : {1, 2}) {
            // One object per lookup: a fallback would lower the column, and
            // that is exactly what must not happen here.
            CTextCatalogue catalogue({kBuiltFolder}, column);
            EXPECT_FALSE(catalogue.lookup(key).empty()) << "column " << column;
            EXPECT_EQ(catalogue.column(), column);
        }
    }
}

TEST(DeliveredCatalogue, EnglishAndSpanishDifferWhereTheyShould) {
    CTextCatalogue english({kBuiltFolder}, 1);
    CTextCatalogue spanish({kBuiltFolder}, 2);
    EXPECT_EQ(english.lookup("#:button_ok"), "OK");
    EXPECT_EQ(spanish.lookup("#:button_ok"), "Aceptar");
    EXPECT_EQ(english.lookup("#:notify_message_caldra_now_running"), "Caldra is already running.");
    EXPECT_EQ(english.lookup("#:name_unknown"), "Unknown");
    // The call log tells answered from unanswered calls by these texts.
    for (auto* catalogue : {&english, &spanish}) {
        EXPECT_NE(catalogue->lookup("#:log_view_answered_yes"), catalogue->lookup("#:log_view_answered_no"));
        EXPECT_NE(catalogue->lookup("#:log_view_internal"), catalogue->lookup("#:log_view_external"));
        EXPECT_NE(catalogue->lookup("#:log_view_incoming"), catalogue->lookup("#:log_view_outgoing"));
    }
}

TEST(DeliveredCatalogue, EveryKeyInTheClientCodeIsListedAndFound) {
    const std::set<std::string> listed(std::begin(kCatalogueKeys), std::end(kCatalogueKeys));
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kClientSources)) {
        const auto extension = entry.path().extension();
        if (extension != ".cpp" && extension != ".h") continue;
        ++files;
        const std::string source = readAll(entry.path());
        for (const std::string& key : keyLiterals(source)) {
            SCOPED_TRACE(entry.path().string() + ": " + key);
            EXPECT_TRUE(listed.count(key)) << "not a catalogue key";
            CTextCatalogue catalogue({kBuiltFolder}, 1);
            EXPECT_FALSE(catalogue.lookup(key).empty());
        }
    }
    EXPECT_GT(files, 0) << "no client sources under " << kClientSources;
}

}  // namespace
}  // namespace velkor::client
