#include "provider/core/phone_settings.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "provider/link/encodings.h"

namespace velkor::core {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Build = std::optional<Bytes> (*)(std::string_view value);
using Answer = std::string (*)(std::span<const std::uint8_t> data);

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

Bytes bytes(std::string_view text) { return {text.begin(), text.end()}; }

// `count` bytes of the answer from `at`, or what there is of them.
std::string take(std::span<const std::uint8_t> data, std::size_t at, std::size_t count) {
    if (at >= data.size()) return {};
    const auto part = data.subspan(at, std::min(count, data.size() - at));
    return {part.begin(), part.end()};
}

// --- writes: the argument after the separator ----------------------------------

// Wake-up time: "hhmm" (sent with 'S'), "curr", or "hhmm/x" with x 's' or 'c'.
std::optional<Bytes> wakeUp(std::string_view v) {
    if (v.size() == 4) return sameText(v, "curr") ? bytes("CURR") : bytes(std::string(v) + 'S');
    if (v.size() != 6) return std::nullopt;
    const char mode = v[5] == 's' ? 'S' : v[5] == 'c' ? 'C' : v[5];
    return bytes(std::string(v.substr(0, 4)) + mode);
}

// Password: "curpw" (read), 5 characters, or the old (or "newpw") and the new one.
std::optional<Bytes> password(std::string_view v) {
    if (v.size() == 5) return sameText(v, "curpw") ? bytes("CURPW") : bytes(v);
    if (v.size() != 11) return std::nullopt;
    const std::string_view first = v.substr(0, 5);
    return bytes((sameText(first, "newpw") ? std::string("NEWPW") : std::string(first)) +
                 std::string(v.substr(6, 5)));
}

std::optional<std::uint8_t> dOrC(char c) {
    if (lower(c) == 'd') return 'D';
    if (lower(c) == 'c') return 'C';
    return std::nullopt;
}

// 'd', 'c', or "r/" and 5 characters.
std::optional<Bytes> tscc(std::string_view v) {
    if (v.size() != 1 && v.size() != 7) return std::nullopt;
    if (const auto c = dOrC(v[0])) return Bytes{*c};
    if (v.size() == 7 && lower(v[0]) == 'r') return bytes("R" + std::string(v.substr(2, 5)));
    return std::nullopt;
}

constexpr std::size_t kMaxMessageText = 24;
constexpr std::uint8_t kLengthBase = 0x20;
constexpr std::uint8_t kMessageCurrent = 0x20;
constexpr std::uint8_t kMessageDelete = 0x83;

// A text of 1..24 characters, or "/cur" and "/del" after the separator.
std::optional<Bytes> personalMessage(std::string_view v) {
    if (v.starts_with('/')) {
        if (sameText(v.substr(1), "cur")) return Bytes{kMessageCurrent};
        if (sameText(v.substr(1), "del")) return Bytes{kMessageDelete};
        return std::nullopt;
    }
    if (v.empty() || v.size() > kMaxMessageText) return std::nullopt;
    Bytes out{static_cast<std::uint8_t>(kLengthBase + v.size())};
    out.insert(out.end(), v.begin(), v.end());
    return out;
}

std::optional<Bytes> oneCharacter(std::string_view v) {
    if (v.size() != 1) return std::nullopt;
    return Bytes{static_cast<std::uint8_t>(v[0])};
}

std::optional<Bytes> upperCharacter(std::string_view v) {
    if (v.size() != 1) return std::nullopt;
    const char c = v[0] >= 'a' && v[0] <= 'z' ? static_cast<char>(v[0] - 'a' + 'A') : v[0];
    return Bytes{static_cast<std::uint8_t>(c)};
}

std::optional<Bytes> twoCharacters(std::string_view v) {
    if (v.size() != 2) return std::nullopt;
    return bytes(v);
}

// The argument, separator included, is cut at 60 characters.
constexpr std::size_t kMaxSelectorArgument = 60 - 1;
constexpr unsigned kDialSelector = 6;
constexpr unsigned kStationSelector = 7;
constexpr std::size_t kSelectorValue = 5;
constexpr std::string_view kDialCharacters = "!#*,0123456789Tt";

// Presence message: a selector of 1 or 2 digits, then a separator and a
// value. Selector 6 takes a dial string, 7 a station number, the others no
// value or one of 5 characters.
std::optional<Bytes> presenceMessage(std::string_view v) {
    v = v.substr(0, kMaxSelectorArgument);
    std::size_t digits = 0;
    while (digits < v.size() && v[digits] >= '0' && v[digits] <= '9') ++digits;
    if (digits == 0 || digits > 2) return std::nullopt;
    unsigned selector = 0;
    for (std::size_t i = 0; i < digits; ++i) selector = selector * 10 + (v[i] - '0');
    const std::string_view value = v.size() > digits ? v.substr(digits + 1) : std::string_view{};
    const auto head = static_cast<std::uint8_t>(kLengthBase + selector);
    if (selector == kDialSelector) {
        if (value.empty() || value.find_first_not_of(kDialCharacters) != std::string_view::npos) {
            return std::nullopt;
        }
        const auto packed = link::encodePackedDigits(value);
        if (!packed) return std::nullopt;
        Bytes out{head, static_cast<std::uint8_t>(kLengthBase + packed->size())};
        out.insert(out.end(), packed->begin(), packed->end());
        return out;
    }
    if (selector == kStationSelector) {
        const auto number = link::encodeNum4(value.substr(0, 4));
        if (!number) return std::nullopt;
        Bytes out{head};
        out.insert(out.end(), number->begin(), number->end());
        return out;
    }
    if (value.empty()) return Bytes{head};
    if (value.size() != kSelectorValue) return std::nullopt;
    Bytes out{head};
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

// --- answers -------------------------------------------------------------------

std::string wakeUpAnswer(std::span<const std::uint8_t> d) {
    const std::string first = take(d, 0, 4);
    return sameText(first, "none") ? first : take(d, 0, 5);
}
std::string fiveBytes(std::span<const std::uint8_t> d) { return take(d, 0, 5); }
std::string firstByte(std::span<const std::uint8_t> d) { return take(d, 0, 1); }
std::string twoBytes(std::span<const std::uint8_t> d) { return take(d, 0, 2); }

std::string messageAnswer(std::span<const std::uint8_t> d) {
    if (d.empty() || d[0] <= kLengthBase) return {};
    return take(d, 1, d[0] - kLengthBase);
}

// "/selector/value"; the value's form depends on the selector.
std::string presenceAnswer(std::span<const std::uint8_t> d) {
    if (d.empty()) return {};
    const unsigned selector = static_cast<std::uint8_t>(d[0] - kLengthBase);
    std::string text = "/" + std::to_string(selector);
    if (selector == 21 || selector == 99) return text;
    text += '/';
    if (selector == 5 || selector == 9 || selector == 10) return text;
    const bool counted = selector == 0 || selector == 6 || (selector >= 11 && selector <= 20);
    if (d.size() < 2) return text;
    const std::size_t count = counted ? (d[1] > kLengthBase ? d[1] - kLengthBase : 0) : 4;
    return text + take(d, 2, count);
}

// --- the settings ------------------------------------------------------------------

struct Setting {
    std::string_view keyword;
    // The whole command, keyword included, is at least this long.
    std::size_t minLength;
    Build build;
    std::string_view query;
    Answer answer;
};

// In kind order (kind 1 = 0x7D), which is also the order keywords are tried in.
const std::array<Setting, kSettingKinds> kSettings{{
    {"wu", 7, wakeUp, "CURR", wakeUpAnswer},
    {"acp", 9, password, "CURPW", fiveBytes},
    {"tscc", 6, tscc, "C", firstByte},
    {"pmp", 5, personalMessage, " ", messageAnswer},
    {"iam", 5, upperCharacter, "C", firstByte},
    {"bgm", 5, twoCharacters, "C", twoBytes},
    {"pms", 5, presenceMessage, "5", presenceAnswer},
    {"dr", 4, oneCharacter, "0", firstByte},
    {"llm", 5, oneCharacter, "2", firstByte},
    {"autos", 7, oneCharacter, "2", firstByte},
    {"hmp", 5, oneCharacter, "2", firstByte},
    {"nta", 5, oneCharacter, "2", firstByte},
    {"ah", 4, oneCharacter, "2", firstByte},
    {"dls", 5, oneCharacter, "2", firstByte},
}};

const Setting* settingOf(std::uint32_t kind) {
    return kind >= 1 && kind <= kSettingKinds ? &kSettings[kind - 1] : nullptr;
}

}  // namespace

std::optional<SettingRequest> settingCommand(std::string_view command) {
    for (std::uint32_t kind = 1; kind <= kSettingKinds; ++kind) {
        const Setting& s = kSettings[kind - 1];
        if (!sameText(command.substr(0, s.keyword.size()), s.keyword)) continue;
        if (command.size() < s.minLength) return std::nullopt;
        // Every length rule leaves a separator and at least one character.
        const auto data = s.build(command.substr(s.keyword.size() + 1));
        if (!data) return std::nullopt;
        return SettingRequest{settingCode(kind), std::move(*data)};
    }
    return std::nullopt;
}

std::optional<SettingRequest> settingQuery(std::uint32_t kind) {
    const Setting* s = settingOf(kind);
    if (!s) return std::nullopt;
    return SettingRequest{settingCode(kind), bytes(s->query)};
}

std::string settingAnswerText(std::uint8_t code, std::span<const std::uint8_t> data) {
    const Setting* s = isSettingCode(code) ? settingOf(settingKind(code)) : nullptr;
    return s ? s->answer(data) : std::string{};
}

std::string_view settingKeyword(std::uint32_t kind) {
    const Setting* s = settingOf(kind);
    return s ? s->keyword : std::string_view{};
}

}  // namespace velkor::core
