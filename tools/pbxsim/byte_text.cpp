#include "tools/pbxsim/byte_text.h"

#include <charconv>
#include <cstdio>

#include "provider/link/encodings.h"

namespace velkor::pbxsim {

SplitResult splitWords(std::string_view line) {
    SplitResult out;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size()) {
                word += c;
                word += line[++i];
                continue;
            }
            word += c;
            if (c == '"') quoted = false;
            continue;
        }
        if (c == '#' && !inWord) break;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) out.words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        if (c == '"') quoted = true;
        word += c;
        inWord = true;
    }
    if (quoted) {
        out.error = "unclosed quote";
        return out;
    }
    if (inWord) out.words.push_back(std::move(word));
    return out;
}

std::optional<std::uint32_t> parseNumber(std::string_view text, std::uint32_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || value > max) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Unquotes "text"; false when the word is not a whole quoted text.
bool unquote(std::string_view word, std::string& out) {
    if (word.size() < 2 || word.front() != '"' || word.back() != '"') return false;
    out.clear();
    for (std::size_t i = 1; i + 1 < word.size(); ++i) {
        if (word[i] == '\\' && i + 2 < word.size()) ++i;
        out += word[i];
    }
    return true;
}

bool appendHex(std::string_view word, std::vector<std::uint8_t>& out) {
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) word.remove_prefix(2);
    if (word.empty() || word.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < word.size(); i += 2) {
        const int hi = hexDigit(word[i]);
        const int lo = hexDigit(word[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return true;
}

// One word of bytes; an error text when it cannot be read.
std::string appendWord(std::string_view word, std::vector<std::uint8_t>& out) {
    std::string text;
    if (unquote(word, text)) {
        out.insert(out.end(), text.begin(), text.end());
        return {};
    }
    const auto colon = word.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view kind = word.substr(0, colon);
        const std::string_view value = word.substr(colon + 1);
        if (kind == "num" || kind == "numl") {
            const auto n = link::encodeNum4(
                value, kind == "num" ? link::Justify::Right : link::Justify::Left);
            if (!n) return "'" + std::string(word) + "': a station number has 1 to 4 characters";
            out.insert(out.end(), n->begin(), n->end());
            return {};
        }
        if (kind == "co") {
            const auto n = link::encodeCo3(value);
            if (!n) return "'" + std::string(word) + "': a CO number has 1 to 3 characters";
            out.insert(out.end(), n->begin(), n->end());
            return {};
        }
        if (kind == "be16") {
            const auto n = parseNumber(value, 0xFFFF);
            if (!n) return "'" + std::string(word) + "': not a 16-bit number";
            out.push_back(static_cast<std::uint8_t>(*n >> 8));
            out.push_back(static_cast<std::uint8_t>(*n & 0xFF));
            return {};
        }
        return "'" + std::string(word) + "': unknown kind '" + std::string(kind) +
               "' (num, numl, co, be16)";
    }
    if (!appendHex(word, out)) {
        return "'" + std::string(word) + "' is not hex bytes, \"text\", num:, numl:, co: or be16:";
    }
    return {};
}

}  // namespace

BytesResult parseBytes(std::span<const std::string> words) {
    BytesResult result;
    for (const std::string& word : words) {
        result.error = appendWord(word, result.bytes);
        if (!result.error.empty()) return result;
    }
    return result;
}

PatternResult parsePattern(std::span<const std::string> words) {
    PatternResult result;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "*") {
            if (i + 1 != words.size()) {
                result.error = "'*' may only be the last word of a pattern";
                return result;
            }
            result.pattern.openEnd = true;
            continue;
        }
        if (word == "??") {
            result.pattern.items.push_back({0, true});
            continue;
        }
        std::vector<std::uint8_t> bytes;
        result.error = appendWord(word, bytes);
        if (!result.error.empty()) return result;
        for (std::uint8_t b : bytes) result.pattern.items.push_back({b, false});
    }
    return result;
}

bool BytePattern::matches(std::span<const std::uint8_t> bytes) const {
    if (bytes.size() < items.size()) return false;
    if (!openEnd && bytes.size() != items.size()) return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i].any && items[i].value != bytes[i]) return false;
    }
    return true;
}

std::string BytePattern::text() const {
    std::string out;
    char buffer[4];
    for (const Item& item : items) {
        if (!out.empty()) out += ' ';
        if (item.any) {
            out += "??";
        } else {
            std::snprintf(buffer, sizeof buffer, "%02X", item.value);
            out += buffer;
        }
    }
    if (openEnd) out += out.empty() ? "*" : " *";
    return out;
}

std::string hexText(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    char buffer[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += buffer;
    }
    return out;
}

std::string printableText(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (std::uint8_t b : bytes) out += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    return out;
}

}  // namespace velkor::pbxsim
