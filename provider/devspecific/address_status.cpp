#include "provider/devspecific/address_status.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/text/utf16.h"
#include "provider/link/encodings.h"

namespace velkor::devspecific {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr DWORD kFixedSize = sizeof(LINEADDRESSSTATUS);
static_assert(kFixedSize == 64);
constexpr DWORD kForwardEntrySize = sizeof(LINEFORWARD);
static_assert(kForwardEntrySize == 24);

constexpr DWORD kAddressFeatures =
    LINEADDRFEATURE_FORWARD | LINEADDRFEATURE_MAKECALL | LINEADDRFEATURE_PICKUP |
    LINEADDRFEATURE_UNPARK | LINEADDRFEATURE_PICKUPGROUP | LINEADDRFEATURE_PICKUPDIRECT |
    LINEADDRFEATURE_FORWARDFWD | LINEADDRFEATURE_FORWARDDND;
static_assert(kAddressFeatures == 0x3687);
// While a call of the line is on its way or talking, the station can start
// nothing new on the address.
constexpr DWORD kBusyStates = LINECALLSTATE_DIALING | LINECALLSTATE_RINGBACK |
                              LINECALLSTATE_BUSY | LINECALLSTATE_CONNECTED;
static_assert(kBusyStates == 0x170);

constexpr std::size_t kParkNumberChars = 4;

// ---------------------------------------------------------------------------
// Block bodies

void putBe16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

void putLe16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putLe32(Bytes& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// At most `limit` bytes of `text`: the directory's own limits, which also
// keep every length within its one byte.
std::string_view capped(const std::string& text, std::size_t limit) {
    return std::string_view(text).substr(0, std::min(limit, text.size()));
}

void putText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

struct Context {
    core::LineContext& line;
    const StatusSources& src;
    bool atd() const { return src.atdActive && src.directory; }
};

// One 3-byte entry per directory station or CO: index (big-endian) and a
// byte of the entry.
template <typename Entry, typename Field>
Bytes perEntry(std::uint16_t count, Entry* (core::AtdDirectory::*entry)(std::uint16_t),
               core::AtdDirectory& directory, Field field) {
    Bytes out;
    out.reserve(3u * count);
    for (std::uint16_t i = 1; i <= count; ++i) {
        putBe16(out, i);
        out.push_back((directory.*entry)(i)->*field);
    }
    return out;
}

std::optional<Bytes> stationStatus(const Context& c) {
    core::AtdDirectory& d = *c.src.directory;
    return perEntry(d.stationCount(), &core::AtdDirectory::station, d,
                    &core::StaDirectoryEntry::status);
}

std::optional<Bytes> coStatus(const Context& c) {
    core::AtdDirectory& d = *c.src.directory;
    return perEntry(d.coCount(), &core::AtdDirectory::co, d, &core::ColDirectoryEntry::status);
}

std::optional<Bytes> stationTypes(const Context& c) {
    if (!c.src.directory) return Bytes{};
    core::AtdDirectory& d = *c.src.directory;
    return perEntry(d.stationCount(), &core::AtdDirectory::station, d,
                    &core::StaDirectoryEntry::type);
}

// Index, number, slot, status, attribute, value, name length, name. A
// station the directory no longer holds has nothing to report.
std::optional<Bytes> stationInfo(const Context& c) {
    const std::uint16_t index = c.line.stationInfoIndex;
    const core::StaDirectoryEntry* e = c.src.directory->station(index);
    if (!e) return std::nullopt;
    const std::string_view name = capped(e->name, core::StaDirectoryEntry::kMaxName);
    Bytes out;
    putBe16(out, index);
    putLe32(out, e->number);
    out.push_back(e->slot);
    out.push_back(e->status);
    out.push_back(e->attribute);
    putBe16(out, e->value);
    out.push_back(static_cast<std::uint8_t>(name.size()));
    putText(out, name);
    return out;
}

// Index, status, attribute, value, the two text lengths, the name-table
// text the entry refers to, the CO name.
std::optional<Bytes> coInfo(const Context& c) {
    const std::uint16_t index = c.line.coInfoIndex;
    const core::ColDirectoryEntry* e = c.src.directory->co(index);
    if (!e) return std::nullopt;
    const core::NameTableEntry* ref = c.src.directory->nameTable(e->nameReference);
    const std::string_view refText =
        ref ? capped(ref->name, core::NameTableEntry::kMaxName) : std::string_view{};
    const std::string_view name = capped(e->name, core::ColDirectoryEntry::kMaxName);
    Bytes out;
    putBe16(out, index);
    out.push_back(e->status);
    out.push_back(e->attribute);
    putBe16(out, e->value);
    out.push_back(static_cast<std::uint8_t>(refText.size()));
    out.push_back(static_cast<std::uint8_t>(name.size()));
    putText(out, refText);
    putText(out, name);
    return out;
}

// The low 16 bits of every directory station's number.
std::optional<Bytes> stationNumbers(const Context& c) {
    core::AtdDirectory& d = *c.src.directory;
    Bytes out;
    out.reserve(2u * d.stationCount());
    for (std::uint16_t i = 1; i <= d.stationCount(); ++i) {
        putLe16(out, static_cast<std::uint16_t>(d.station(i)->number & 0xFFFF));
    }
    return out;
}

std::optional<Bytes> parkNumberList(const Context& c) {
    Bytes out;
    for (const std::string& number : c.src.parkNumbers) {
        std::string four = number.substr(0, kParkNumberChars);
        four.resize(kParkNumberChars, ' ');
        putText(out, four);
    }
    return out;
}

// Sender and text, NUL-terminated; the block's size leaves three more
// bytes, which read 0.
std::optional<Bytes> shortMessage(const Context& c) {
    Bytes out;
    putText(out, capped(c.line.shortMessage, core::LineContext::kMaxShortMessage));
    out.insert(out.end(), 4, 0);
    return out;
}

// ---------------------------------------------------------------------------
// The table of blocks

// The bytes between a block's name area and its size field.
enum class Gap : std::uint8_t {
    Untouched,  // left as the caller's buffer has them
    Zero,
};

struct BlockRow {
    std::string_view name;
    // The name is followed by a NUL inside the name area.
    bool terminated;
    Gap gap;
    // Offset of the 32-bit block size in the block; the body follows it.
    std::size_t sizeAt;
    // A block too big for the caller's buffer is left out instead of ending
    // the call.
    bool skipWhenTooSmall;
    bool (*wanted)(const Context&);
    // nullopt: the request cannot be served any more and is dropped.
    std::optional<Bytes> (*body)(const Context&);
    // Clears the one-shot request; null for the subscriptions.
    void (*delivered)(core::LineContext&);
};

constexpr BlockRow kBlocks[] = {
    {"SMDR_DATA", true, Gap::Untouched, 14, false,
     [](const Context& c) { return c.src.callRecords.has_value(); },
     [](const Context& c) { return std::optional<Bytes>(*c.src.callRecords); }, nullptr},
    {"OTHER_DATA", true, Gap::Untouched, 12, true,
     [](const Context& c) { return c.src.otherData.has_value(); },
     [](const Context& c) { return std::optional<Bytes>(*c.src.otherData); }, nullptr},
    {"STA_STATUS", true, Gap::Zero, 12, false,
     [](const Context& c) { return c.line.wantsAllStationStatus && c.atd(); }, stationStatus,
     [](core::LineContext& l) { l.wantsAllStationStatus = false; }},
    {"COL_STATUS", true, Gap::Zero, 12, false,
     [](const Context& c) { return c.line.wantsAllCoStatus && c.atd(); }, coStatus,
     [](core::LineContext& l) { l.wantsAllCoStatus = false; }},
    {"STA_INFO", true, Gap::Zero, 12, false,
     [](const Context& c) { return c.line.wantsStationInfo && c.atd(); }, stationInfo,
     [](core::LineContext& l) { l.wantsStationInfo = false; }},
    {"COL_INFO", true, Gap::Zero, 12, false,
     [](const Context& c) { return c.line.wantsCoInfo && c.atd(); }, coInfo,
     [](core::LineContext& l) { l.wantsCoInfo = false; }},
    {"STA_NUMBER", true, Gap::Zero, 12, false,
     [](const Context& c) { return c.line.wantsStationNumbers && c.atd(); }, stationNumbers,
     [](core::LineContext& l) { l.wantsStationNumbers = false; }},
    {"ALL_PARK_NUM", false, Gap::Zero, 12, false,
     [](const Context& c) { return c.line.wantsParkNumbers && c.src.binaryFraming; },
     parkNumberList, [](core::LineContext& l) { l.wantsParkNumbers = false; }},
    {"SMS_MESSAGE", true, Gap::Zero, 12, false,
     [](const Context& c) { return c.line.shortMessageReady; }, shortMessage,
     [](core::LineContext& l) { l.shortMessageReady = false; }},
    {"STATION_TYPE", false, Gap::Zero, 12, false,
     [](const Context& c) { return c.line.wantsStationTypes; }, stationTypes,
     [](core::LineContext& l) { l.wantsStationTypes = false; }},
};

constexpr bool headersFit() {
    for (const BlockRow& row : kBlocks) {
        if (row.name.size() + (row.terminated ? 1 : 0) > row.sizeAt) return false;
    }
    return true;
}
static_assert(headersFit(), "every block's name area ends before its size field");

constexpr std::size_t kSizeField = sizeof(std::uint32_t);

// Writes the block at `block`, which has room for `size` bytes.
void writeBlock(std::uint8_t* block, const BlockRow& row, const Bytes& body, std::uint32_t size) {
    std::memcpy(block, row.name.data(), row.name.size());
    std::size_t at = row.name.size();
    if (row.terminated) block[at++] = 0;
    if (row.gap == Gap::Zero) std::memset(block + at, 0, row.sizeAt - at);
    for (std::size_t i = 0; i < kSizeField; ++i) {
        block[row.sizeAt + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    if (!body.empty()) std::memcpy(block + row.sizeAt + kSizeField, body.data(), body.size());
}

void clearFixedPart(LINEADDRESSSTATUS* status) {
    std::memset(reinterpret_cast<std::uint8_t*>(status) + sizeof(DWORD), 0,
                kFixedSize - sizeof(DWORD));
}

std::vector<std::uint8_t> wideText(const std::string& text) {
    std::vector<std::uint8_t> out;
    if (text.empty()) return out;
    for (const char16_t unit : platform::utf8ToUtf16(text)) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

}  // namespace

std::vector<std::string> parkNumbers(std::span<const core::ParkSlot> reported, std::size_t count) {
    count = std::min(count, core::StationModel::kMaxParkSlots);
    std::vector<std::string> out;
    out.reserve(count);
    if (reported.empty()) {
        out.assign(count, std::string(kParkNumberChars, ' '));
        return out;
    }
    const std::string base = link::trimNumber(reported.front().number);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(base.data(), base.data() + base.size(), value);
    if (base.empty() || error != std::errc{} || end != base.data() + base.size()) {
        for (std::size_t i = 0; i < count; ++i) {
            out.push_back(i < reported.size() ? reported[i].number
                                              : std::string(kParkNumberChars, ' '));
        }
        return out;
    }
    for (std::size_t i = 0; i < count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%4u", static_cast<unsigned>(value + i));
        out.emplace_back(text);
    }
    return out;
}

LONG fillAddressStatus(core::LineContext& line, const StatusSources& sources,
                       LINEADDRESSSTATUS* status) {
    if (!status) return LINEERR_INVALPOINTER;
    const DWORD total = status->dwTotalSize;
    if (total < kFixedSize) return LINEERR_STRUCTURETOOSMALL;

    clearFixedPart(status);
    auto* buffer = reinterpret_cast<std::uint8_t*>(status);
    std::size_t needed = kFixedSize;
    std::size_t used = kFixedSize;
    status->dwNeededSize = kFixedSize;
    status->dwUsedSize = kFixedSize;
    status->dwDevSpecificOffset = kFixedSize;

    const Context context{line, sources};
    std::vector<const BlockRow*> delivered;
    for (const BlockRow& row : kBlocks) {
        if (!row.wanted(context)) continue;
        const std::optional<Bytes> body = row.body(context);
        if (!body) {
            delivered.push_back(&row);
            continue;
        }
        const std::size_t size = row.sizeAt + kSizeField + body->size();
        needed += size;
        status->dwNeededSize = static_cast<DWORD>(needed);
        if (total < needed) {
            if (row.skipWhenTooSmall) continue;
            return LINEERR_STRUCTURETOOSMALL;
        }
        // A skipped block still counts in `needed`, so the block fits at
        // `used` whenever it fits the needed size.
        writeBlock(buffer + used, row, *body, static_cast<std::uint32_t>(size));
        used += size;
        status->dwDevSpecificSize += static_cast<DWORD>(size);
        status->dwUsedSize = static_cast<DWORD>(used);
        delivered.push_back(&row);
    }

    if (line.forwardActive) {
        // The entry is read as DWORDs: it starts on a 4-byte boundary.
        const std::size_t entryAt = (used + 3) & ~std::size_t{3};
        const std::string destination =
            line.forwardDestination.substr(0, core::LineContext::kMaxForwardDestination);
        const std::vector<std::uint8_t> text = wideText(destination);
        needed += (entryAt - used) + kForwardEntrySize + text.size();
        status->dwNeededSize = static_cast<DWORD>(needed);
        if (total < needed) return LINEERR_STRUCTURETOOSMALL;
        LINEFORWARD entry{};
        entry.dwForwardMode = line.forwardMode;
        if (!text.empty()) {
            entry.dwDestAddressSize = static_cast<DWORD>(text.size());
            entry.dwDestAddressOffset = static_cast<DWORD>(entryAt + kForwardEntrySize);
            std::memcpy(buffer + entryAt + kForwardEntrySize, text.data(), text.size());
        }
        std::memcpy(buffer + entryAt, &entry, sizeof entry);
        status->dwForwardNumEntries = 1;
        status->dwForwardSize = kForwardEntrySize;
        status->dwForwardOffset = static_cast<DWORD>(entryAt);
        used = entryAt + kForwardEntrySize + text.size();
        status->dwUsedSize = static_cast<DWORD>(used);
    }

    status->dwNumInUse = 1;
    status->dwNumActiveCalls = static_cast<DWORD>(line.callCount());
    const bool busy = std::any_of(line.calls.begin(), line.calls.end(),
                                  [](const auto& c) { return (c->state & kBusyStates) != 0; });
    status->dwAddressFeatures = busy ? 0 : kAddressFeatures;

    for (const BlockRow* row : delivered) {
        if (row->delivered) row->delivered(line);
    }
    return 0;
}

LONG getAddressStatus(core::StationModel& model, RecordStore& stores, const StatusEnvironment& env,
                      HDRVLINE hdLine, DWORD addressId, LINEADDRESSSTATUS* status) {
    platform::ScopedLock lock(model.callLock());
    core::StationRecord* station = model.findStationForLine(hdLine);
    if (!station || !station->line) return LINEERR_INVALLINEHANDLE;
    if (addressId != 0) return LINEERR_INVALADDRESSID;
    if (!status) return LINEERR_INVALPOINTER;
    StatusSources sources;
    sources.callRecords = stores.blockData(DataKind::CallRecords, station->index);
    sources.otherData = stores.blockData(DataKind::OtherData, station->index);
    sources.directory = &model.directory();
    sources.atdActive = env.atdActive;
    sources.binaryFraming = !model.settings().singleStation;
    sources.parkNumbers = parkNumbers(model.parkSlots(), env.parkSlotCount);
    return fillAddressStatus(*station->line, sources, status);
}

}  // namespace velkor::devspecific
