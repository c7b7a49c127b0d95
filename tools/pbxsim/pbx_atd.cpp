// The PBX's side of the ATD session: opening, the directory, details of
// stations and CO lines, status reporting, polls and alive messages.
#include <algorithm>

#include "provider/link/catalogue.h"
#include "tools/pbxsim/pbx.h"

namespace velkor::pbxsim {

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::optional<std::uint16_t> index16(std::span<const std::uint8_t> data) {
    if (data.size() < 2) return std::nullopt;
    return static_cast<std::uint16_t>((data[0] << 8) | data[1]);
}

// The number as 4 BCD digits, high nibble first, blank places filled with
// 0xF (a filler nibble, never read as a digit).
void putBcd4(Bytes& out, std::string_view number) {
    std::uint8_t nibbles[4] = {0xF, 0xF, 0xF, 0xF};
    const std::size_t n = std::min<std::size_t>(number.size(), 4);
    for (std::size_t i = 0; i < n; ++i) {
        nibbles[4 - n + i] = static_cast<std::uint8_t>(number[number.size() - n + i] - '0');
    }
    out.push_back(static_cast<std::uint8_t>(nibbles[0] << 4 | nibbles[1]));
    out.push_back(static_cast<std::uint8_t>(nibbles[2] << 4 | nibbles[3]));
}

// "length byte (2 + name length), 16-bit key, name": the shape of every
// name message of the session.
Bytes nameMessage(std::uint16_t key, std::string_view name) {
    Bytes out = {static_cast<std::uint8_t>(2 + name.size())};
    put16(out, key);
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

// Status entries per 0x83/0x84 message: count byte and 3-byte entries after
// the code must fit one frame.
constexpr std::size_t kStatusEntriesPerMessage = 20;

}  // namespace

const Pbx::AtdRow Pbx::kAtdRows[] = {
    {link::atd::OpenSession, false, &Pbx::atdOpen},
    {link::atd::SystemValue, true, &Pbx::atdSystemValue},
    {link::atd::Version, true, &Pbx::atdVersion},
    {link::atd::OwnStationIndex, true, &Pbx::atdOwnStation},
    {link::atd::StationDirectorySize, true, &Pbx::atdStationCount},
    {link::atd::CoDirectorySize, true, &Pbx::atdCoCount},
    {link::atd::DirectoryEntry, true, &Pbx::atdDirectory},
    {link::atd::StartStatus, true, &Pbx::atdStartStatus},
    {link::atd::StatusOptions, true, &Pbx::atdStatusOptions},
    {link::atd::StationDetails, true, &Pbx::atdStationName},
    {link::atd::StationAttributes, true, &Pbx::atdStationAttributes},
    {link::atd::CoDetails, true, &Pbx::atdCoAttributes},
    {link::atd::CoName, true, &Pbx::atdCoName},
    {link::atd::CoNameReference, true, &Pbx::atdCoNameReference},
    {link::atd::NameTableEntry, true, &Pbx::atdNameTableEntry},
    {link::atd::Close, false, &Pbx::atdClose},
    {link::atd::Poll, false, &Pbx::atdPoll},
    {link::atd::Alive, false, &Pbx::atdAlive},
    {link::atd::SessionEnded, false, &Pbx::atdEnded},
    {link::atd::CheckAnswer0A, false, &Pbx::atdCheckAnswer},
    {link::atd::CheckAnswer0F, false, &Pbx::atdCheckAnswer},
};

void Pbx::handleAtd(const AtdRequest& request) {
    for (const AtdRow& row : kAtdRows) {
        if (row.code != request.code) continue;
        if (row.needsSession && !m_atdOpen) {
            // Outside a session the PBX tells the provider it has none.
            sendAtd(link::atd::SessionEnded, {});
            return;
        }
        (this->*row.handle)(request);
        return;
    }
    note("no answer to the frame above: not an ATD request");
}

void Pbx::atdOpen(const AtdRequest&) {
    if (!m_config.atdAccepted) {
        sendAtd(link::atd::SessionRefused, {});
        return;
    }
    m_atdOpen = true;
    sendAtd(link::atd::SessionAccepted, {});
}

void Pbx::atdSystemValue(const AtdRequest& r) {
    const std::uint32_t v = m_config.systemValue;
    const std::uint8_t reply[] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                                  static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    sendAtd(r.code, reply);
}

void Pbx::atdVersion(const AtdRequest& r) {
    Bytes reply = {static_cast<std::uint8_t>(m_config.version.size())};
    reply.insert(reply.end(), m_config.version.begin(), m_config.version.end());
    sendAtd(r.code, reply);
}

void Pbx::atdOwnStation(const AtdRequest& r) {
    Bytes reply;
    put16(reply, m_config.attendant);
    sendAtd(r.code, reply);
}

void Pbx::atdStationCount(const AtdRequest& r) {
    Bytes reply;
    put16(reply, m_config.stationDirectorySize());
    sendAtd(r.code, reply);
}

void Pbx::atdCoCount(const AtdRequest& r) {
    Bytes reply;
    put16(reply, m_config.coDirectorySize());
    sendAtd(r.code, reply);
}

void Pbx::atdDirectory(const AtdRequest& r) {
    const auto first = index16(r.data);
    if (!first || *first == 0) {
        note("no answer to the frame above: no first index");
        return;
    }
    // A block is ten entries, one message each, cut at the directory's end.
    const std::uint16_t size = m_config.stationDirectorySize();
    for (std::uint32_t index = *first; index < *first + 10u && index <= size; ++index) {
        sendDirectoryEntry(static_cast<std::uint16_t>(index));
    }
}

void Pbx::sendDirectoryEntry(std::uint16_t index) {
    const StationConfig* s = m_config.station(index);
    const std::string name = s ? s->name : std::string();
    const bool extended = m_config.dialect == link::Dialect::Extended;
    Bytes entry;
    put16(entry, index);
    entry.push_back(s ? s->slot : 0);
    putBcd4(entry, s ? s->number : std::string_view());
    const std::uint8_t typeBytes[] = {s ? s->type : station_type::Unplugged,
                                      s ? s->extra : std::uint8_t{0}};
    if (extended && m_config.typeBeforeName) entry.insert(entry.end(), typeBytes, typeBytes + 2);
    entry.insert(entry.end(), name.begin(), name.end());
    if (extended && !m_config.typeBeforeName) entry.insert(entry.end(), typeBytes, typeBytes + 2);
    // The length byte counts everything after it.
    entry.insert(entry.begin(), static_cast<std::uint8_t>(entry.size()));
    sendAtd(link::atd::DirectoryEntry, entry);
}

void Pbx::atdStartStatus(const AtdRequest&) { m_reporting = true; }

void Pbx::atdStatusOptions(const AtdRequest& r) {
    m_statusOptions.assign(r.data.begin(), r.data.end());
    m_reporting = true;
    // With the options set the PBX reports where every station and CO line
    // stands, then only the changes.
    sendFullStatus();
}

void Pbx::sendFullStatus() {
    const auto sendAll = [this](std::uint16_t code, auto& table, std::uint16_t size, auto statusOf) {
        Bytes message;
        std::size_t count = 0;
        const auto flush = [&] {
            if (count == 0) return;
            message.insert(message.begin(), static_cast<std::uint8_t>(count));
            sendAtd(code, message, link::AtdShape::Atd4);
            message.clear();
            count = 0;
        };
        for (const auto& [index, unused] : table) {
            if (index == 0 || index > size) continue;
            put16(message, index);
            message.push_back(statusOf(index));
            if (++count == kStatusEntriesPerMessage) flush();
        }
        flush();
    };
    sendAll(link::atd::StationStatus, m_config.stations, m_config.stationDirectorySize(),
            [this](std::uint16_t i) { return stationStatus(i); });
    sendAll(link::atd::CoStatus, m_config.coLines, m_config.coDirectorySize(),
            [this](std::uint16_t i) { return coStatus(i); });
    const std::uint8_t own[] = {m_attendantStatus};
    sendAtd(link::atd::AttendantStatus, own, link::AtdShape::Atd4);
}

void Pbx::atdStationName(const AtdRequest& r) {
    const auto index = index16(r.data);
    if (!index) return note("no answer to the frame above: no station index");
    const StationConfig* s = m_config.station(*index);
    sendAtd(r.code, nameMessage(*index, s ? s->name : std::string()));
}

void Pbx::atdStationAttributes(const AtdRequest& r) {
    const auto index = index16(r.data);
    if (!index) return note("no answer to the frame above: no station index");
    const StationConfig* s = m_config.station(*index);
    Bytes reply;
    put16(reply, *index);
    reply.push_back(s ? s->attribute : 0);
    put16(reply, s ? s->attributeValue : 0);
    sendAtd(r.code, reply);
}

void Pbx::atdCoAttributes(const AtdRequest& r) {
    const auto index = index16(r.data);
    if (!index) return note("no answer to the frame above: no CO index");
    const auto it = m_config.coLines.find(*index);
    const CoConfig* c = it == m_config.coLines.end() ? nullptr : &it->second;
    Bytes reply;
    put16(reply, *index);
    reply.push_back(c ? c->attribute : 0);
    put16(reply, c ? c->attributeValue : 0);
    sendAtd(r.code, reply);
}

void Pbx::atdCoName(const AtdRequest& r) {
    const auto index = index16(r.data);
    if (!index) return note("no answer to the frame above: no CO index");
    const auto it = m_config.coLines.find(*index);
    sendAtd(r.code, nameMessage(*index, it == m_config.coLines.end() ? "" : it->second.name));
}

void Pbx::atdCoNameReference(const AtdRequest& r) {
    const auto index = index16(r.data);
    if (!index) return note("no answer to the frame above: no CO index");
    const auto it = m_config.coLines.find(*index);
    Bytes reply;
    put16(reply, *index);
    put16(reply, it == m_config.coLines.end() ? 0 : it->second.nameRef);
    sendAtd(r.code, reply);
}

void Pbx::atdNameTableEntry(const AtdRequest& r) {
    const auto ref = index16(r.data);
    if (!ref) return note("no answer to the frame above: no name-table reference");
    const auto it = m_config.nameTable.find(*ref);
    sendAtd(r.code, nameMessage(*ref, it == m_config.nameTable.end() ? "" : it->second));
}

void Pbx::atdClose(const AtdRequest&) {
    if (!m_atdOpen) {
        sendAtd(link::atd::CloseAcknowledged, {});
        return;
    }
    m_atdOpen = false;
    m_reporting = false;
    sendAtd(link::atd::Close, {});
}

void Pbx::atdPoll(const AtdRequest&) {
    sendAtd(m_atdOpen ? link::atd::Alive : link::atd::SessionEnded, {});
}

void Pbx::atdAlive(const AtdRequest&) {
    // Answering the provider's alive message is the PBX's sign of life: the
    // provider gives the session up after 18.46 s without ATD traffic.
    if (m_atdOpen) sendAtd(link::atd::Alive, {});
}

void Pbx::atdEnded(const AtdRequest&) {
    m_atdOpen = false;
    m_reporting = false;
}

void Pbx::atdCheckAnswer(const AtdRequest&) {}

void Pbx::endAtdSession() {
    m_atdOpen = false;
    m_reporting = false;
    sendAtd(link::atd::SessionEnded, {});
}

std::string Pbx::setStationStatus(std::uint16_t index, std::uint8_t status) {
    m_stationStatus[index] = status;
    if (!m_reporting) return "stored; status reporting has not started";
    const std::uint8_t message[] = {1, static_cast<std::uint8_t>(index >> 8),
                                    static_cast<std::uint8_t>(index & 0xFF), status};
    sendAtd(link::atd::StationStatus, message, link::AtdShape::Atd4);
    return "reported";
}

std::string Pbx::setCoStatus(std::uint16_t index, std::uint8_t status) {
    m_coStatus[index] = status;
    if (!m_reporting) return "stored; status reporting has not started";
    const std::uint8_t message[] = {1, static_cast<std::uint8_t>(index >> 8),
                                    static_cast<std::uint8_t>(index & 0xFF), status};
    sendAtd(link::atd::CoStatus, message, link::AtdShape::Atd4);
    return "reported";
}

std::string Pbx::setAttendantStatus(std::uint8_t status) {
    m_attendantStatus = status;
    if (!m_reporting) return "stored; status reporting has not started";
    const std::uint8_t message[] = {status};
    sendAtd(link::atd::AttendantStatus, message, link::AtdShape::Atd4);
    return "reported";
}

}  // namespace velkor::pbxsim
