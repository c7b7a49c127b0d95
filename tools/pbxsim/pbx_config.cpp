#include "tools/pbxsim/text_file.h"
#include "tools/pbxsim/pbx_config.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include "tools/pbxsim/byte_text.h"
#include "tools/pbxsim/model_table.h"

namespace velkor::pbxsim {

namespace {

struct TypeName {
    std::string_view name;
    std::uint8_t type;
};
constexpr TypeName kTypeNames[] = {
    {"DKT", station_type::Dkt},       {"EKT", station_type::Ekt},
    {"ICMBOX", station_type::IcmBox}, {"SLT", station_type::Slt},
    {"WKT", station_type::Wkt},       {"UNPLUGGED", station_type::Unplugged},
};

// Longest name a station or CO line may have: its directory entry and the
// name message must still fit into one ATD frame.
constexpr std::size_t kMaxName = 50;

using Args = std::span<const std::string>;

bool isDigits(std::string_view text, std::size_t maxLength) {
    return !text.empty() && text.size() <= maxLength &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string unquoted(const std::string& word) {
    if (word.size() >= 2 && word.front() == '"' && word.back() == '"') {
        std::string out;
        for (std::size_t i = 1; i + 1 < word.size(); ++i) {
            if (word[i] == '\\' && i + 2 < word.size()) ++i;
            out += word[i];
        }
        return out;
    }
    return word;
}

// "first-last" or a single number.
bool parseRange(std::string_view text, std::uint32_t& first, std::uint32_t& last) {
    const auto dash = text.find('-');
    const auto a = parseNumber(text.substr(0, dash), 0xFFFF);
    const auto b = dash == std::string_view::npos ? a : parseNumber(text.substr(dash + 1), 0xFFFF);
    if (!a || !b || *b < *a) return false;
    first = *a;
    last = *b;
    return true;
}

std::string padNumber(std::uint32_t value, std::size_t width) {
    std::string text = std::to_string(value);
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}

class Parser {
public:
    PbxConfig config;
    std::vector<std::string> errors;
    bool modelSeen = false;
    bool countSeen = false;

    std::string apply(Args words);
    void finish(std::string_view origin);

private:
    // Options after the fixed words of "station"/"stations"/"co"/"cos".
    std::string stationOptions(Args args, StationConfig& s, std::optional<std::string>& name);
    std::string coOptions(Args args, CoConfig& c, std::optional<std::string>& name);
    std::string addStation(StationConfig s);
    std::string addCo(CoConfig c);

    std::string model(Args a);
    std::string version(Args a);
    std::string dialect(Args a);
    std::string stationCount(Args a);
    std::string attendant(Args a);
    std::string systemValue(Args a);
    std::string session(Args a);
    std::string atd(Args a);
    std::string singleStation(Args a);
    std::string defaultCause(Args a);
    std::string noStationCause(Args a);
    std::string keepAlive(Args a);
    std::string extendedLayout(Args a);
    std::string station(Args a);
    std::string stations(Args a);
    std::string co(Args a);
    std::string cos(Args a);
    std::string nameTable(Args a);
    std::string park(Args a);
    std::string setting(Args a);

    struct Directive {
        std::string_view name;
        std::size_t minArgs;
        std::string (Parser::*handle)(Args);
        std::string_view usage;
    };
    static const Directive kDirectives[];
};

const Parser::Directive Parser::kDirectives[] = {
    {"model", 1, &Parser::model, "model <two-digit code>"},
    {"version", 1, &Parser::version, "version \"<11 characters>\""},
    {"dialect", 1, &Parser::dialect, "dialect extended|legacy"},
    {"station-count", 1, &Parser::stationCount, "station-count <n>"},
    {"attendant", 1, &Parser::attendant, "attendant <station index>"},
    {"system-value", 1, &Parser::systemValue, "system-value <32-bit value>"},
    {"session", 1, &Parser::session, "session accept|refuse"},
    {"atd", 1, &Parser::atd, "atd accept|refuse"},
    {"single-station", 1, &Parser::singleStation, "single-station <station index>"},
    {"default-cause", 1, &Parser::defaultCause, "default-cause <byte>"},
    {"no-station-cause", 1, &Parser::noStationCause, "no-station-cause <byte>"},
    {"keepalive", 1, &Parser::keepAlive, "keepalive <ms, 0 = never>"},
    {"extended-layout", 1, &Parser::extendedLayout, "extended-layout type-first|name-first"},
    {"station", 3, &Parser::station, "station <index> <number> <type> [options]"},
    {"stations", 3, &Parser::stations, "stations <first>-<last> <first number> <type> [options]"},
    {"co", 2, &Parser::co, "co <index> <number> [options]"},
    {"cos", 2, &Parser::cos, "cos <first>-<last> <first number> [options]"},
    {"nametable", 2, &Parser::nameTable, "nametable <reference> \"<name>\""},
    {"park", 1, &Parser::park, "park <number>|<first>-<last> ..."},
    {"setting", 3, &Parser::setting, "setting <station number> <keyword> <value>"},
};

std::string Parser::apply(Args words) {
    for (const Directive& d : kDirectives) {
        if (d.name != words[0]) continue;
        if (words.size() - 1 < d.minArgs) return "too few words; usage: " + std::string(d.usage);
        return (this->*d.handle)(words.subspan(1));
    }
    return "unknown directive '" + words[0] + "'";
}

std::string Parser::model(Args a) {
    if (!isDigits(a[0], 2) || a[0].size() != 2) return "the model code has two digits";
    config.modelCode = a[0];
    modelSeen = true;
    return {};
}

std::string Parser::version(Args a) {
    const std::string text = unquoted(a[0]);
    if (text.size() != 11) return "the version text has 11 characters, '" + text + "' has " +
                                  std::to_string(text.size());
    config.version = text;
    return {};
}

std::string Parser::dialect(Args a) {
    if (a[0] == "extended") config.dialect = link::Dialect::Extended;
    else if (a[0] == "legacy") config.dialect = link::Dialect::Legacy;
    else return "dialect is extended or legacy";
    return {};
}

std::string Parser::stationCount(Args a) {
    const auto n = parseNumber(a[0], 1001);
    if (!n || *n == 0) return "station-count is 1 to 1001";
    config.stationCount = static_cast<std::uint16_t>(*n);
    countSeen = true;
    return {};
}

std::string Parser::attendant(Args a) {
    const auto n = parseNumber(a[0], 1000);
    if (!n) return "attendant is a station index 0 to 1000";
    config.attendant = static_cast<std::uint16_t>(*n);
    return {};
}

std::string Parser::systemValue(Args a) {
    const auto n = parseNumber(a[0]);
    if (!n) return "system-value is a 32-bit number";
    config.systemValue = *n;
    return {};
}

std::string Parser::session(Args a) {
    if (a[0] != "accept" && a[0] != "refuse") return "session is accept or refuse";
    config.sessionAccepted = a[0] == "accept";
    return {};
}

std::string Parser::atd(Args a) {
    if (a[0] != "accept" && a[0] != "refuse") return "atd is accept or refuse";
    config.atdAccepted = a[0] == "accept";
    return {};
}

std::string Parser::singleStation(Args a) {
    const auto n = parseNumber(a[0], 1000);
    if (!n) return "single-station is a station index 0 to 1000";
    config.singleStation = static_cast<std::uint16_t>(*n);
    return {};
}

std::string Parser::defaultCause(Args a) {
    const auto n = parseNumber(a[0], 0xFF);
    if (!n) return "default-cause is one byte";
    config.defaultCause = static_cast<std::uint8_t>(*n);
    return {};
}

std::string Parser::noStationCause(Args a) {
    const auto n = parseNumber(a[0], 0xFF);
    if (!n) return "no-station-cause is one byte";
    config.noStationCause = static_cast<std::uint8_t>(*n);
    return {};
}

std::string Parser::keepAlive(Args a) {
    const auto n = parseNumber(a[0]);
    if (!n) return "keepalive is a period in milliseconds";
    config.keepAliveMs = *n;
    return {};
}

std::string Parser::extendedLayout(Args a) {
    if (a[0] != "type-first" && a[0] != "name-first") return "extended-layout is type-first or name-first";
    config.typeBeforeName = a[0] == "type-first";
    return {};
}

std::string Parser::stationOptions(Args args, StationConfig& s, std::optional<std::string>& name) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& key = args[i];
        const auto value = [&](std::uint32_t max) -> std::optional<std::uint32_t> {
            if (i + 1 >= args.size()) return std::nullopt;
            return parseNumber(args[++i], max);
        };
        if (key == "port") {
            if (i + 1 >= args.size() || !isDigits(args[i + 1], 3)) return "port is 1 to 3 digits";
            s.port = static_cast<std::uint16_t>(*parseNumber(args[++i]));
        } else if (key == "slot") {
            const auto v = value(0xFF);
            if (!v) return "slot is one byte";
            s.slot = static_cast<std::uint8_t>(*v);
        } else if (key == "extra") {
            const auto v = value(0xFF);
            if (!v) return "extra is one byte";
            s.extra = static_cast<std::uint8_t>(*v);
        } else if (key == "attr") {
            const auto b = value(0xFF);
            const auto v = value(0xFFFF);
            if (!b || !v) return "attr is followed by a byte and a 16-bit value";
            s.attribute = static_cast<std::uint8_t>(*b);
            s.attributeValue = static_cast<std::uint16_t>(*v);
        } else if (key == "name") {
            if (i + 1 >= args.size()) return "name is followed by a text";
            name = unquoted(args[++i]);
        } else {
            return "unknown station option '" + key + "' (port, slot, attr, extra, name)";
        }
    }
    return {};
}

std::string Parser::coOptions(Args args, CoConfig& c, std::optional<std::string>& name) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& key = args[i];
        const auto value = [&](std::uint32_t max) -> std::optional<std::uint32_t> {
            if (i + 1 >= args.size()) return std::nullopt;
            return parseNumber(args[++i], max);
        };
        if (key == "attr") {
            const auto b = value(0xFF);
            const auto v = value(0xFFFF);
            if (!b || !v) return "attr is followed by a byte and a 16-bit value";
            c.attribute = static_cast<std::uint8_t>(*b);
            c.attributeValue = static_cast<std::uint16_t>(*v);
        } else if (key == "ref") {
            const auto v = value(0xFFFF);
            if (!v) return "ref is a 16-bit name-table reference";
            c.nameRef = static_cast<std::uint16_t>(*v);
        } else if (key == "name") {
            if (i + 1 >= args.size()) return "name is followed by a text";
            name = unquoted(args[++i]);
        } else {
            return "unknown CO option '" + key + "' (attr, ref, name)";
        }
    }
    return {};
}

std::string Parser::addStation(StationConfig s) {
    if (s.index > 1000) return "station index " + std::to_string(s.index) + " is above 1000";
    if (!isDigits(s.number, 4)) return "station number '" + s.number + "' is not 1 to 4 digits";
    if (s.name.size() > kMaxName) return "station name longer than 50 characters";
    if (config.stations.count(s.index)) return "station index " + std::to_string(s.index) + " given twice";
    for (const auto& [index, other] : config.stations) {
        if (other.number == s.number) {
            return "station number " + s.number + " given twice (indexes " + std::to_string(index) +
                   " and " + std::to_string(s.index) + ")";
        }
    }
    config.stations.emplace(s.index, std::move(s));
    return {};
}

std::string Parser::addCo(CoConfig c) {
    if (c.index == 0 || c.index > 999) return "CO index is 1 to 999";
    if (!isDigits(c.number, 3)) return "CO number '" + c.number + "' is not 1 to 3 digits";
    if (c.name.size() > kMaxName) return "CO name longer than 50 characters";
    if (config.coLines.count(c.index)) return "CO index " + std::to_string(c.index) + " given twice";
    config.coLines.emplace(c.index, std::move(c));
    return {};
}

std::string Parser::station(Args a) {
    StationConfig s;
    const auto index = parseNumber(a[0], 0xFFFF);
    if (!index) return "station index '" + a[0] + "' is not a number";
    s.index = static_cast<std::uint16_t>(*index);
    s.number = a[1];
    const auto type = stationTypeByName(a[2]);
    if (!type) return "unknown station type '" + a[2] + "' (DKT, EKT, ICMBOX, SLT, WKT, unplugged)";
    s.type = *type;
    std::optional<std::string> name;
    if (auto e = stationOptions(a.subspan(3), s, name); !e.empty()) return e;
    s.name = name.value_or("STA " + s.number);
    return addStation(std::move(s));
}

std::string Parser::stations(Args a) {
    std::uint32_t first = 0, last = 0;
    if (!parseRange(a[0], first, last)) return "'" + a[0] + "' is not a range first-last";
    if (!isDigits(a[1], 4)) return "first number '" + a[1] + "' is not 1 to 4 digits";
    const auto type = stationTypeByName(a[2]);
    if (!type) return "unknown station type '" + a[2] + "' (DKT, EKT, ICMBOX, SLT, WKT, unplugged)";
    StationConfig base;
    base.type = *type;
    std::optional<std::string> prefix;
    if (auto e = stationOptions(a.subspan(3), base, prefix); !e.empty()) return e;
    const std::uint32_t firstNumber = *parseNumber(a[1]);
    for (std::uint32_t i = 0; i <= last - first; ++i) {
        StationConfig s = base;
        s.index = static_cast<std::uint16_t>(first + i);
        if (firstNumber + i > 9999) return "station numbers run past 9999";
        s.number = padNumber(firstNumber + i, a[1].size());
        if (base.port) s.port = static_cast<std::uint16_t>((*base.port + i) % 1000);
        s.name = prefix ? *prefix + " " + s.number : "STA " + s.number;
        if (auto e = addStation(std::move(s)); !e.empty()) return e;
    }
    return {};
}

std::string Parser::co(Args a) {
    CoConfig c;
    const auto index = parseNumber(a[0], 0xFFFF);
    if (!index) return "CO index '" + a[0] + "' is not a number";
    c.index = static_cast<std::uint16_t>(*index);
    c.number = a[1];
    std::optional<std::string> name;
    if (auto e = coOptions(a.subspan(2), c, name); !e.empty()) return e;
    c.name = name.value_or("CO " + c.number);
    return addCo(std::move(c));
}

std::string Parser::cos(Args a) {
    std::uint32_t first = 0, last = 0;
    if (!parseRange(a[0], first, last)) return "'" + a[0] + "' is not a range first-last";
    if (!isDigits(a[1], 3)) return "first number '" + a[1] + "' is not 1 to 3 digits";
    CoConfig base;
    std::optional<std::string> prefix;
    if (auto e = coOptions(a.subspan(2), base, prefix); !e.empty()) return e;
    const std::uint32_t firstNumber = *parseNumber(a[1]);
    for (std::uint32_t i = 0; i <= last - first; ++i) {
        CoConfig c = base;
        c.index = static_cast<std::uint16_t>(first + i);
        if (firstNumber + i > 999) return "CO numbers run past 999";
        c.number = padNumber(firstNumber + i, 3);
        c.name = prefix ? *prefix + " " + c.number : "CO " + c.number;
        if (auto e = addCo(std::move(c)); !e.empty()) return e;
    }
    return {};
}

std::string Parser::nameTable(Args a) {
    const auto ref = parseNumber(a[0], 0xFFFF);
    if (!ref || *ref == 0) return "a name-table reference is 1 to 65535";
    const std::string name = unquoted(a[1]);
    if (name.size() > kMaxName) return "a name-table entry has at most 50 characters";
    config.nameTable[static_cast<std::uint16_t>(*ref)] = name;
    return {};
}

std::string Parser::park(Args a) {
    for (const std::string& word : a) {
        std::uint32_t first = 0, last = 0;
        if (!parseRange(word, first, last) || last > 9999) {
            return "park slot '" + word + "' is not a number or range of up to 4 digits";
        }
        for (std::uint32_t n = first; n <= last; ++n) config.parkSlots.push_back(std::to_string(n));
    }
    return {};
}

std::string Parser::setting(Args a) {
    if (a.size() != 3) return "usage: setting <station number> <keyword> <value>";
    const std::uint32_t kind = settingKindByKeyword(a[1]);
    if (kind == 0) {
        return "unknown setting '" + a[1] + "' (wu acp tscc pmp iam bgm pms dr llm autos hmp nta ah dls)";
    }
    const auto value = settingFromText(kind, unquoted(a[2]));
    if (!value) return "'" + a[2] + "' is no value of setting " + a[1];
    config.settings[a[0]][kind] = *value;
    return {};
}

void Parser::finish(std::string_view origin) {
    const std::string where = std::string(origin) + ": ";
    const ModelInfo* model = findModel(config.modelCode);
    if (!countSeen) {
        if (model) {
            config.stationCount = model->stationCount;
        } else {
            errors.push_back(where + "model " + config.modelCode +
                             " is not in the model table; give station-count");
        }
    }
    if (config.version.empty()) config.version = "VK" + config.modelCode + "-0105A1";
    if (config.version.substr(2, 2) != config.modelCode) {
        errors.push_back(where + "version '" + config.version + "' has '" +
                         config.version.substr(2, 2) + "' at characters 3-4, not the model code " +
                         config.modelCode);
    }
    for (const auto& [index, s] : config.stations) {
        if (index >= config.stationCount) {
            errors.push_back(where + "station index " + std::to_string(index) +
                             " is beyond the station table of " +
                             std::to_string(config.stationCount));
        }
    }
    for (const auto& [index, c] : config.coLines) {
        if (c.nameRef != 0 && !config.nameTable.count(c.nameRef)) {
            errors.push_back(where + "CO " + std::to_string(index) + " refers to name-table entry " +
                             std::to_string(c.nameRef) + ", which is not given");
        }
    }
    for (const auto& [number, values] : config.settings) {
        if (!config.stationByNumber(number)) {
            errors.push_back(where + "setting for station " + number + ", which is not configured");
        }
    }
    if (config.singleStation && !config.station(*config.singleStation)) {
        errors.push_back(where + "single-station " + std::to_string(*config.singleStation) +
                         " is not a configured station");
    }
    if (model && config.parkSlots.size() > model->parkSlots) {
        errors.push_back(where + "model " + config.modelCode + " has " +
                         std::to_string(model->parkSlots) + " park slots, " +
                         std::to_string(config.parkSlots.size()) + " given");
    }
}

}  // namespace

std::optional<std::uint8_t> stationTypeByName(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const TypeName& t : kTypeNames) {
        if (t.name == upper) return t.type;
    }
    return std::nullopt;
}

std::string_view stationTypeName(std::uint8_t type) {
    for (const TypeName& t : kTypeNames) {
        if (t.type == type) return t.name;
    }
    return "UNKNOWN";
}

const StationConfig* PbxConfig::station(std::uint16_t index) const {
    const auto it = stations.find(index);
    return it == stations.end() ? nullptr : &it->second;
}

const StationConfig* PbxConfig::stationByNumber(std::string_view number) const {
    for (const auto& [index, s] : stations) {
        if (s.number == number) return &s;
    }
    return nullptr;
}

std::uint16_t PbxConfig::stationDirectorySize() const {
    return stations.empty() ? 0 : stations.rbegin()->first;
}

std::uint16_t PbxConfig::coDirectorySize() const {
    return coLines.empty() ? 0 : coLines.rbegin()->first;
}

ConfigResult parseConfig(std::string_view text, std::string_view origin) {
    Parser parser;
    forEachWordLine(text, origin, parser.errors,
                    [&](std::size_t, std::string_view, const std::vector<std::string>& words) {
                        return parser.apply(words);
                    });
    parser.finish(origin);
    ConfigResult result;
    result.errors = std::move(parser.errors);
    if (result.errors.empty()) result.config = std::move(parser.config);
    return result;
}

ConfigResult loadConfig(const std::filesystem::path& path) {
    const auto text = readTextFile(path);
    if (!text) {
        ConfigResult result;
        result.errors.push_back(path.string() + ": cannot be read");
        return result;
    }
    return parseConfig(*text, path.string());
}

}  // namespace velkor::pbxsim
