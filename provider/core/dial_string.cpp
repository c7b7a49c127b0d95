#include "provider/core/dial_string.h"

#include <algorithm>
#include <array>
#include <span>

#include "provider/link/catalogue.h"

namespace velkor::core {

namespace {

using platform::Hive;

// ---------------------------------------------------------------------------
// Text helpers

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return lower(a) == lower(b); });
}

bool startsWithCode(std::string_view text, std::string_view code) {
    return !code.empty() && text.substr(0, code.size()) == code;
}

// TAPI's dialable addresses may start with a pulse, tone or wait modifier,
// which the PBX does not take.
std::string_view skipModifier(std::string_view text) {
    if (!text.empty()) {
        const char c = lower(text.front());
        if (c == 'p' || c == 't' || c == 'w') text.remove_prefix(1);
    }
    return text;
}

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

void append(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// ---------------------------------------------------------------------------
// Locations

std::string accessCode(const platform::Registry& registry, const std::string& key,
                       std::string_view name) {
    std::string code = registry.readString(Hive::LocalMachine, key, name).value_or("");
    if (code.size() > kMaxAccessCode) code.resize(kMaxAccessCode);
    return code;
}

std::string locationKey(std::uint32_t n) {
    return std::string(kLocationsKey) + "\\Location" + std::to_string(n);
}

// The key of the current location in a list of the old form, or nullopt.
std::optional<std::string> searchLocation(const platform::Registry& registry,
                                          std::uint32_t currentId) {
    const std::uint32_t entries =
        registry.readDword(Hive::LocalMachine, kLocationsKey, "NumEntries").value_or(0);
    for (std::uint32_t n = 0; n < std::min(entries, kMaxLocationEntries); ++n) {
        const std::string key = locationKey(n);
        if (!registry.keyExists(Hive::LocalMachine, key)) return std::nullopt;
        const auto id = registry.readDword(Hive::LocalMachine, key, "ID");
        if (!id) return std::nullopt;
        if (*id == currentId) return key;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Classes

// Classes 1 and 2: a mark, the 3 characters of the CO line or group, the number.
struct CoMark {
    char mark;
    DialClass cls;
};
constexpr CoMark kCoMarks[] = {
    {'$', DialClass::CoGroup}, {'G', DialClass::CoGroup}, {'g', DialClass::CoGroup},
    {'@', DialClass::CoLine},  {'C', DialClass::CoLine},  {'c', DialClass::CoLine},
};
constexpr std::size_t kCoDigits = 3;

constexpr std::string_view kDefaultWord = "default";

// A station address written with exactly three '*' or '.' separators
// ("10*0*0*7", "192.168.0.10") is dialled as written: a letter in front of
// it belongs to the address and is no dial modifier.
bool isWholeAddress(std::string_view text) {
    return std::count_if(text.begin(), text.end(), [](char c) { return c == '*' || c == '.'; }) ==
           3;
}

Destination classified(DialClass cls, std::string_view co, std::string_view number) {
    return Destination{cls, std::string(co), std::string(number)};
}

// ---------------------------------------------------------------------------
// Requests

// Code of the call request of each class (index = class number).
constexpr std::array<std::uint8_t, 6> kClassCodes = {
    link::code::CallStation,     // Station
    link::code::CallViaCoLine,   // CoLine
    link::code::CallViaCoGroup,  // CoGroup
    link::code::CallViaCoGroup,  // OutsideAccess, through "099"
    link::code::CallViaCoGroup,  // Default, through "099"
    link::code::CallViaCoLine,   // Network, "NET"
};

constexpr link::Co3 kNoCoPrefix = {' ', ' ', ' '};

// The 3 bytes of the class's CO field: leading zeros blanked, "NET" as it
// is, three blanks for a station.
std::optional<link::Co3> coField(const Destination& d) {
    if (d.co.empty()) return kNoCoPrefix;
    return link::encodeCo3(d.co);
}

// The station number of 0x55: padded to 4 characters as the dialect wants,
// a longer number sent as it is.
std::vector<std::uint8_t> stationNumber(std::string_view number, link::Dialect dialect) {
    if (const auto num4 = link::encodeCallNum4(number, dialect)) {
        return std::vector<std::uint8_t>(num4->begin(), num4->end());
    }
    return bytesOf(number);
}

// A speed-dial or redial form: its name and the two total lengths it comes in.
struct FormRule {
    std::string_view name;
    MakeCallFormKind kind;
    std::size_t length1;
    std::size_t length2;
};
constexpr FormRule kFormRules[] = {
    {"spd", MakeCallFormKind::SpeedDial1, 8, 11},
    {"spd", MakeCallFormKind::SpeedDial2, 9, 12},
    {"lnr", MakeCallFormKind::LastNumberRedial, 3, 8},
    {"snr", MakeCallFormKind::SavedNumberRedial, 3, 8},
};
// The name, then one separator character.
constexpr std::size_t kFormHead = 4;

}  // namespace

LocationPrefixes readLocationPrefixes(const platform::Registry& registry) {
    const auto currentId = registry.readDword(Hive::LocalMachine, kLocationsKey, "CurrentID");
    if (!currentId) return {};
    std::optional<std::string> key;
    if (registry.readDword(Hive::LocalMachine, kLocationsKey, "LocationListVersion") == 2u) {
        key = locationKey(*currentId);
    } else {
        key = searchLocation(registry, *currentId);
    }
    if (!key) return {};
    return LocationPrefixes{accessCode(registry, *key, "LongDistanceAccess"),
                            accessCode(registry, *key, "OutsideAccess")};
}

std::string normalizeDialString(std::string_view destination) {
    std::string out;
    for (const char c : destination.substr(0, kMaxDialString)) {
        if (c != ' ') out.push_back(c);
    }
    return out;
}

Destination classify(std::string_view destination, const LocationPrefixes& prefixes) {
    const std::string whole = normalizeDialString(destination);
    const std::string_view text = skipModifier(whole);

    for (const std::string* code : {&prefixes.longDistanceAccess, &prefixes.outsideAccess}) {
        if (startsWithCode(text, *code)) {
            return classified(DialClass::OutsideAccess, kOutsideGroup, text.substr(code->size()));
        }
    }
    if (startsWithNoCase(text, kDefaultWord)) {
        return classified(DialClass::Default, kOutsideGroup, text.substr(kDefaultWord.size()));
    }
    if (!text.empty()) {
        for (const CoMark& m : kCoMarks) {
            if (text.front() != m.mark) continue;
            if (text.size() < 1 + kCoDigits) return {};
            return classified(m.cls, text.substr(1, kCoDigits), text.substr(1 + kCoDigits));
        }
        if (lower(text.front()) == 'n') {
            if (text.size() == 1) return {};
            return classified(DialClass::Network, kNetworkPrefix, text.substr(1));
        }
    }
    const std::string_view number = isWholeAddress(text) ? std::string_view(whole) : text;
    if (number.empty()) return {};
    return classified(DialClass::Station, {}, number);
}

std::optional<MakeCallForm> makeCallForm(std::string_view destination) {
    const std::string whole = normalizeDialString(destination);
    const std::string_view text = skipModifier(whole);
    for (const FormRule& rule : kFormRules) {
        if (!startsWithNoCase(text, rule.name)) continue;
        if (text.size() != rule.length1 && text.size() != rule.length2) continue;
        const std::string_view kept = text.size() > kFormHead ? text.substr(kFormHead) : "";
        return MakeCallForm{rule.kind, std::string(kept)};
    }
    return std::nullopt;
}

std::optional<CallRequest> callRequest(const Destination& d, link::Dialect dialect) {
    if (d.cls == DialClass::Invalid) return std::nullopt;
    CallRequest request{kClassCodes[static_cast<std::size_t>(d.cls)], {}};
    if (d.cls == DialClass::Station) {
        request.data = stationNumber(d.number, dialect);
        return request;
    }
    const auto co = coField(d);
    const auto number = link::encodeDialNumber(d.number, dialect);
    if (!co || !number) return std::nullopt;
    append(request.data, *co);
    append(request.data, *number);
    return request;
}

std::optional<CallRequest> formRequest(const MakeCallForm& form, const LocationPrefixes& prefixes) {
    const Destination d = classify(form.text, prefixes);
    // "lnr" and "snr" alone name no CO line or group.
    const bool bare = form.text.empty() && (form.kind == MakeCallFormKind::LastNumberRedial ||
                                            form.kind == MakeCallFormKind::SavedNumberRedial);
    if (d.cls == DialClass::Invalid && !bare) return std::nullopt;
    const auto co = bare ? std::optional(kNoCoPrefix) : coField(d);
    if (!co) return std::nullopt;

    CallRequest request;
    append(request.data, *co);
    request.data.push_back(kSpeedDialMarker);
    switch (form.kind) {
        case MakeCallFormKind::SpeedDial1:
        case MakeCallFormKind::SpeedDial2: {
            const std::size_t indexChars = form.kind == MakeCallFormKind::SpeedDial1 ? 3 : 4;
            request.code = form.kind == MakeCallFormKind::SpeedDial1 ? link::code::CallViaCoLine
                                                                     : link::code::CallViaCoGroup;
            append(request.data, bytesOf(std::string_view(d.number).substr(0, indexChars)));
            break;
        }
        case MakeCallFormKind::LastNumberRedial:
        case MakeCallFormKind::SavedNumberRedial:
            request.code = d.cls == DialClass::CoGroup ? link::code::CallViaCoGroup
                                                       : link::code::CallViaCoLine;
            request.data.push_back(form.kind == MakeCallFormKind::LastNumberRedial
                                       ? kLastNumberRedial
                                       : kSavedNumberRedial);
            break;
    }
    return request;
}

std::optional<CallRequest> makeCallRequest(std::string_view destination,
                                           const LocationPrefixes& prefixes, link::Dialect dialect,
                                           bool makeCallForms) {
    if (makeCallForms) {
        if (const auto form = makeCallForm(destination)) return formRequest(*form, prefixes);
    }
    return callRequest(classify(destination, prefixes), dialect);
}

}  // namespace velkor::core
