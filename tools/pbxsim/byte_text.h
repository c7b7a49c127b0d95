#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::pbxsim {

// Splits a line into words: blanks separate, double quotes keep blanks
// inside one word (the quotes stay on the word so that a caller can tell
// text from hex), '#' outside quotes starts a comment. An unclosed quote is
// an error.
struct SplitResult {
    std::vector<std::string> words;
    std::string error;
};
SplitResult splitWords(std::string_view line);

// Reads a file's text line by line: for every line with words, calls
// onLine(lineNumber, line, words), which returns a problem or "". Problems,
// and lines whose words cannot be split, are added to `errors` as
// "origin:N: problem".
template <typename OnLine>
void forEachWordLine(std::string_view text, std::string_view origin,
                     std::vector<std::string>& errors, OnLine onLine) {
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        const SplitResult split = splitWords(line);
        std::string problem = split.error;
        if (problem.empty() && !split.words.empty()) problem = onLine(lineNumber, line, split.words);
        if (!problem.empty()) {
            errors.push_back(std::string(origin) + ":" + std::to_string(lineNumber) + ": " + problem);
        }
    }
}

// Bytes written the way the control commands and scenarios write them:
//   2123 or 21 23   hex bytes (an optional 0x prefix per word)
//   "text"          the ASCII characters, \" and \\ escaped
//   num:21          a station number as 4 characters, right-justified
//   numl:21         the same, left-justified (extended dialect call requests)
//   co:99           a CO number as 3 characters, leading zeros blanked
//   be16:300        a 16-bit value, big-endian
// The error names the word it could not read.
struct BytesResult {
    std::vector<std::uint8_t> bytes;
    std::string error;
};
BytesResult parseBytes(std::span<const std::string> words);

// A byte pattern: bytes as above, "??" for any one byte and "*" (last word
// only) for any number of further bytes.
struct BytePattern {
    struct Item {
        std::uint8_t value = 0;
        bool any = false;
    };
    std::vector<Item> items;
    bool openEnd = false;

    bool matches(std::span<const std::uint8_t> bytes) const;
    std::string text() const;
};
struct PatternResult {
    BytePattern pattern;
    std::string error;
};
PatternResult parsePattern(std::span<const std::string> words);

// A number in decimal or 0x hexadecimal that fits `max`.
std::optional<std::uint32_t> parseNumber(std::string_view text, std::uint32_t max = 0xFFFFFFFF);

// "BA EC A0 ..." upper-case hex separated by blanks.
std::string hexText(std::span<const std::uint8_t> bytes);
// The bytes as text with non-printable bytes as '.'.
std::string printableText(std::span<const std::uint8_t> bytes);

}  // namespace velkor::pbxsim
