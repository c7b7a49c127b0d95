#include "tools/tapicmd/status_blocks.h"

#include <optional>
#include <string>
#include <string_view>

#include "tools/tapicmd/structure_json.h"

namespace velkor::tapicmd {

namespace {

using Bytes = std::span<const std::uint8_t>;

// A block starts with its name; the 32-bit little-endian size of the whole
// block sits at `sizeAt` and the body follows it.
struct BlockKind {
    std::string_view name;
    std::size_t sizeAt;
    // Fills `out` from the body; false when the body does not hold its layout.
    bool (*decode)(nlohmann::json& out, Bytes body);
};

std::uint32_t le16(Bytes b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t be16(Bytes b, std::size_t at) { return (b[at] << 8) | b[at + 1]; }
std::uint32_t le32(Bytes b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::string text(Bytes b) { return {b.begin(), b.end()}; }

std::string trimmed(std::string t) {
    const auto first = t.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return t.substr(first, t.find_last_not_of(' ') - first + 1);
}

std::string printable(Bytes b) {
    std::string t;
    for (const std::uint8_t c : b) t += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
    return t;
}

// Three bytes per entry: index (big-endian), one byte named `field`.
bool indexedBytes(nlohmann::json& out, Bytes body, const char* list, const char* field) {
    if (body.size() % 3) return false;
    nlohmann::json entries = nlohmann::json::array();
    for (std::size_t at = 0; at < body.size(); at += 3) {
        entries.push_back({{"index", be16(body, at)}, {field, body[at + 2]}});
    }
    out[list] = entries;
    return true;
}

bool callRecords(nlohmann::json& out, Bytes body) {
    // Sequence number and length (32-bit little-endian each), the text.
    nlohmann::json records = nlohmann::json::array();
    std::size_t at = 0;
    while (at < body.size()) {
        if (body.size() - at < 8) return false;
        const std::uint32_t sequence = le32(body, at);
        const std::uint32_t length = le32(body, at + 4);
        at += 8;
        if (length > body.size() - at) return false;
        records.push_back({{"sequence", sequence}, {"text", text(body.subspan(at, length))}});
        at += length;
    }
    out["records"] = records;
    return true;
}

bool otherData(nlohmann::json& out, Bytes body) {
    out["data"] = hexBytes(body);
    out["text"] = printable(body);
    return true;
}

bool stationStatus(nlohmann::json& out, Bytes body) { return indexedBytes(out, body, "stations", "status"); }
bool coStatus(nlohmann::json& out, Bytes body) { return indexedBytes(out, body, "cos", "status"); }
bool stationTypes(nlohmann::json& out, Bytes body) { return indexedBytes(out, body, "stations", "type"); }

bool stationInfo(nlohmann::json& out, Bytes body) {
    // Index (BE), number (LE32), slot, status, attribute, value (BE), name
    // length, name.
    if (body.size() < 12 || body.size() != 12u + body[11]) return false;
    out["index"] = be16(body, 0);
    out["number"] = le32(body, 2);
    out["slot"] = body[6];
    out["status"] = body[7];
    out["attribute"] = body[8];
    out["value"] = be16(body, 9);
    out["name"] = text(body.subspan(12));
    return true;
}

bool coInfo(nlohmann::json& out, Bytes body) {
    // Index (BE), status, attribute, value (BE), the two text lengths, the
    // name-table text, the CO name.
    if (body.size() < 8 || body.size() != 8u + body[6] + body[7]) return false;
    out["index"] = be16(body, 0);
    out["status"] = body[2];
    out["attribute"] = body[3];
    out["value"] = be16(body, 4);
    out["nameTableText"] = text(body.subspan(8, body[6]));
    out["name"] = text(body.subspan(8u + body[6]));
    return true;
}

bool stationNumbers(nlohmann::json& out, Bytes body) {
    if (body.size() % 2) return false;
    nlohmann::json entries = nlohmann::json::array();
    for (std::size_t at = 0; at < body.size(); at += 2) {
        entries.push_back({{"index", at / 2 + 1}, {"number", le16(body, at)}});
    }
    out["stations"] = entries;
    return true;
}

bool parkNumbers(nlohmann::json& out, Bytes body) {
    if (body.size() % 4) return false;
    nlohmann::json entries = nlohmann::json::array();
    for (std::size_t at = 0; at < body.size(); at += 4) {
        entries.push_back({{"slot", at / 4 + 1}, {"number", trimmed(text(body.subspan(at, 4)))}});
    }
    out["parks"] = entries;
    return true;
}

bool shortMessage(nlohmann::json& out, Bytes body) {
    // The sender's number in 4 characters, the text up to its NUL.
    if (body.size() < 4) return false;
    std::string message = text(body.subspan(4));
    message.resize(message.find('\0') == std::string::npos ? message.size() : message.find('\0'));
    out["sender"] = trimmed(text(body.first(4)));
    out["text"] = message;
    return true;
}

constexpr BlockKind kKinds[] = {
    {"SMDR_DATA", 14, callRecords},
    {"OTHER_DATA", 12, otherData},
    {"STA_STATUS", 12, stationStatus},
    {"COL_STATUS", 12, coStatus},
    {"STA_INFO", 12, stationInfo},
    {"COL_INFO", 12, coInfo},
    {"STA_NUMBER", 12, stationNumbers},
    {"ALL_PARK_NUM", 12, parkNumbers},
    {"SMS_MESSAGE", 12, shortMessage},
    {"STATION_TYPE", 12, stationTypes},
};

const BlockKind* kindAt(Bytes rest) {
    for (const BlockKind& k : kKinds) {
        if (rest.size() < k.name.size() || text(rest.first(k.name.size())) != k.name) continue;
        // The name ends there: a NUL follows, or the name fills its area.
        if (rest.size() > k.name.size() && rest[k.name.size()] != 0 && k.name.size() < k.sizeAt) continue;
        return &k;
    }
    return nullptr;
}

}  // namespace

nlohmann::json statusBlocks(Bytes area) {
    nlohmann::json blocks = nlohmann::json::array();
    std::size_t at = 0;
    while (at < area.size()) {
        const Bytes rest = area.subspan(at);
        const BlockKind* kind = kindAt(rest);
        std::optional<std::string> error;
        std::uint32_t size = 0;
        if (!kind) error = "unknown block";
        else if (rest.size() < kind->sizeAt + 4) error = "block header cut short";
        else {
            size = le32(rest, kind->sizeAt);
            if (size < kind->sizeAt + 4 || size > rest.size()) error = "block size " + std::to_string(size) + " out of range";
        }
        if (error) {
            blocks.push_back({{"block", kind ? std::string(kind->name) : "?"}, {"error", *error}, {"rest", hexBytes(rest)}});
            break;
        }
        nlohmann::json block{{"block", std::string(kind->name)}};
        const Bytes body = rest.subspan(kind->sizeAt + 4, size - kind->sizeAt - 4);
        if (!kind->decode(block, body)) {
            block = {{"block", std::string(kind->name)}, {"error", "body does not match the layout"}, {"data", hexBytes(body)}};
        }
        blocks.push_back(block);
        at += size;
    }
    return blocks;
}

}  // namespace velkor::tapicmd
