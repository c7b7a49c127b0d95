#include "tools/pbxsim/station_settings.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "provider/link/encodings.h"

namespace velkor::pbxsim {

namespace {

using Data = std::span<const std::uint8_t>;
using Write = std::optional<SettingBytes> (*)(SettingBytes& stored, Data data);

constexpr std::uint8_t kBase = 0x20;
constexpr std::size_t kMaxMessage = 24;

SettingBytes bytes(std::string_view text) { return {text.begin(), text.end()}; }

bool equalsText(Data data, std::string_view text) {
    return data.size() == text.size() && std::equal(text.begin(), text.end(), data.begin());
}

std::optional<SettingBytes> store(SettingBytes& stored, Data data) {
    stored.assign(data.begin(), data.end());
    return stored;
}

// Wake-up: hhmm and a mode character.
std::optional<SettingBytes> wakeUp(SettingBytes& stored, Data data) {
    if (data.size() != 5) return std::nullopt;
    return store(stored, data);
}

// Password: NEWPW or the current one, then the new one; the current one
// alone is checked.
std::optional<SettingBytes> password(SettingBytes& stored, Data data) {
    if (data.size() == 5) {
        if (!std::equal(data.begin(), data.end(), stored.begin(), stored.end())) return std::nullopt;
        return stored;
    }
    if (data.size() != 10) return std::nullopt;
    const Data first = data.first(5);
    if (!equalsText(first, "NEWPW") && !std::equal(first.begin(), first.end(), stored.begin(), stored.end())) {
        return std::nullopt;
    }
    return store(stored, data.subspan(5));
}

// 'D', or 'R' with 5 characters.
std::optional<SettingBytes> tscc(SettingBytes& stored, Data data) {
    if (data.size() == 1 && data[0] == 'D') return store(stored, data);
    if (data.size() == 6 && data[0] == 'R') return store(stored, data.first(1));
    return std::nullopt;
}

// Length byte and text, or 0x83 to delete it.
std::optional<SettingBytes> message(SettingBytes& stored, Data data) {
    if (data.size() == 1 && data[0] == 0x83) {
        stored = {kBase};
        return stored;
    }
    if (data.empty() || data[0] <= kBase || static_cast<std::size_t>(data[0] - kBase) > kMaxMessage ||
        data.size() != static_cast<std::size_t>(data[0] - kBase) + 1) {
        return std::nullopt;
    }
    return store(stored, data);
}

std::optional<SettingBytes> oneByte(SettingBytes& stored, Data data) {
    if (data.size() != 1) return std::nullopt;
    return store(stored, data);
}

std::optional<SettingBytes> twoBytes(SettingBytes& stored, Data data) {
    if (data.size() != 2) return std::nullopt;
    return store(stored, data);
}

bool countedSelector(unsigned s) { return s == 0 || s == 6 || (s >= 11 && s <= 20); }
bool bareSelector(unsigned s) { return s == 5 || s == 9 || s == 10 || s == 21 || s == 99; }

// Presence message: the selector, then its value in the form the PBX
// answers it: counted (0, 6, 11-20), none (5, 9, 10, 21, 99), or a blank
// and 4 characters.
std::optional<SettingBytes> presence(SettingBytes& stored, Data data) {
    if (data.empty() || data[0] < kBase) return std::nullopt;
    const unsigned selector = data[0] - kBase;
    if (selector == 6) {
        if (data.size() < 3 || data[1] < kBase || data.size() != data[1] - kBase + 2u) {
            return std::nullopt;
        }
        return store(stored, data);
    }
    const Data value = data.subspan(1);
    if (selector == 7) {
        if (value.size() != 4) return std::nullopt;
        stored = {data[0], static_cast<std::uint8_t>(kBase + 4)};
        stored.insert(stored.end(), value.begin(), value.end());
        return stored;
    }
    if (!value.empty() && value.size() != 5) return std::nullopt;
    stored = {data[0]};
    if (bareSelector(selector)) return stored;
    if (countedSelector(selector)) {
        stored.push_back(static_cast<std::uint8_t>(kBase + value.size()));
        stored.insert(stored.end(), value.begin(), value.end());
        return stored;
    }
    stored.push_back(kBase + 4);
    for (std::size_t i = 0; i < 4; ++i) stored.push_back(i < value.size() ? value[i] : ' ');
    return stored;
}

struct Setting {
    std::string_view keyword;
    // The request with this data reads the setting.
    std::string_view read;
    Write write;
    std::string_view initial;
};

const std::array<Setting, kSettingKinds> kSettings{{
    {"wu", "CURR", wakeUp, "none"},
    {"acp", "CURPW", password, "00000"},
    {"tscc", "C", tscc, "D"},
    {"pmp", " ", message, " "},
    {"iam", "C", oneByte, "A"},
    {"bgm", "C", twoBytes, "01"},
    {"pms", "5", presence, "  "},
    {"dr", "0", oneByte, "1"},
    {"llm", "2", oneByte, "0"},
    {"autos", "2", oneByte, "0"},
    {"hmp", "2", oneByte, "0"},
    {"nta", "2", oneByte, "0"},
    {"ah", "2", oneByte, "0"},
    {"dls", "2", oneByte, "0"},
}};

const Setting* settingOf(std::uint32_t kind) {
    return kind >= 1 && kind <= kSettingKinds ? &kSettings[kind - 1] : nullptr;
}

// The request that writes the value a configuration gives as text.
std::optional<SettingBytes> writeOfText(std::uint32_t kind, std::string_view text) {
    switch (kind) {
        case 2:
            return bytes("NEWPW" + std::string(text));
        case 4: {
            if (text.empty()) return SettingBytes{0x83};
            SettingBytes data{static_cast<std::uint8_t>(kBase + std::min(text.size(), std::size_t{0xDF}))};
            data.insert(data.end(), text.begin(), text.end());
            return data;
        }
        case 7: {
            const std::size_t slash = text.find('/');
            const std::string_view digits = text.substr(0, slash);
            const std::string_view value =
                slash == std::string_view::npos ? std::string_view{} : text.substr(slash + 1);
            if (digits.empty() || digits.size() > 2 ||
                !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                return std::nullopt;
            }
            const unsigned selector = static_cast<unsigned>(std::stoul(std::string(digits)));
            SettingBytes data{static_cast<std::uint8_t>(kBase + selector)};
            if (selector == 6) {
                const auto packed = link::encodePackedDigits(value);
                if (!packed || packed->empty()) return std::nullopt;
                data.push_back(static_cast<std::uint8_t>(kBase + packed->size()));
                data.insert(data.end(), packed->begin(), packed->end());
            } else if (selector == 7) {
                const auto number = link::encodeNum4(value);
                if (!number) return std::nullopt;
                data.insert(data.end(), number->begin(), number->end());
            } else {
                data.insert(data.end(), value.begin(), value.end());
            }
            return data;
        }
        default:
            return bytes(text);
    }
}

}  // namespace

std::uint32_t settingKindByKeyword(std::string_view keyword) {
    for (std::uint32_t kind = 1; kind <= kSettingKinds; ++kind) {
        if (kSettings[kind - 1].keyword == keyword) return kind;
    }
    return 0;
}

std::string_view settingKeyword(std::uint32_t kind) {
    const Setting* s = settingOf(kind);
    return s ? s->keyword : std::string_view{};
}

SettingBytes defaultSetting(std::uint32_t kind) {
    const Setting* s = settingOf(kind);
    return s ? bytes(s->initial) : SettingBytes{};
}

std::optional<SettingBytes> settingFromText(std::uint32_t kind, std::string_view text) {
    if (!settingOf(kind)) return std::nullopt;
    if (kind == 1 && text.size() == 4) {
        std::string lower(text);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == "none") return bytes(text);
    }
    const auto data = writeOfText(kind, text);
    if (!data) return std::nullopt;
    // Written as the PBX takes a write, even where the text reads like a read.
    SettingBytes value = defaultSetting(kind);
    if (!settingOf(kind)->write(value, *data)) return std::nullopt;
    return value;
}

bool isSettingRead(std::uint32_t kind, std::span<const std::uint8_t> data) {
    const Setting* s = settingOf(kind);
    return s && equalsText(data, s->read);
}

std::optional<SettingBytes> applySetting(std::uint32_t kind, SettingBytes& stored,
                                         std::span<const std::uint8_t> data) {
    const Setting* s = settingOf(kind);
    if (!s) return std::nullopt;
    if (equalsText(data, s->read)) return stored;
    return s->write(stored, data);
}

}  // namespace velkor::pbxsim
