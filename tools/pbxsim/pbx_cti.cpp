// The PBX's answers to the provider's CTI requests. One row per request
// code; a request without a row is rejected with the configured cause.
#include "provider/link/catalogue.h"
#include "provider/link/encodings.h"
#include "tools/pbxsim/pbx.h"

namespace velkor::pbxsim {

namespace {

constexpr std::uint8_t kOpenSession[] = {'#', '#'};
// '!' '#' monitors a station for its line, '!' alone for its phone device.
constexpr std::uint8_t kStartMonitoring[] = {'!'};
constexpr std::uint8_t kStopMonitoring = 0x22;
constexpr std::uint8_t kCloseSession = '$';
constexpr std::uint8_t kIdentify = '!';
constexpr std::uint8_t kDescribe = 0x22;
// Cause of a refused system session, the one the provider also gives its
// own time-out of this request.
constexpr std::uint8_t kSessionRefusedCause = 0x36;

bool startsWith(std::span<const std::uint8_t> data, std::span<const std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

std::uint8_t dialectByte(link::Dialect dialect) {
    return dialect == link::Dialect::Extended ? '#' : '!';
}

// Cancel forms of the call completions, which the catalogue does not name.
constexpr std::uint8_t kCancelCampOn = 0x6B;
constexpr std::uint8_t kCancelMessage = 0x6C;
constexpr std::uint8_t kCancelCallback = 0x6E;
// Removing a party from a conference: a CO line (co3) or a station (num4).
constexpr std::uint8_t kRemoveCo = 0x74;
constexpr std::uint8_t kRemoveStation = 0x75;
// Service request asking for the park numbers: type 4, subtype 12.
constexpr std::uint8_t kParkNumbers[] = {4, 12};

}  // namespace

namespace code = link::code;

const Pbx::CtiRow Pbx::kCtiRows[] = {
    {code::SessionControl, &Pbx::ctiSessionControl},
    {code::Query, &Pbx::ctiQuery},
    {code::ServiceRequest, &Pbx::ctiServiceRequest},
    {code::KeepAlive, &Pbx::ctiKeepAlive},
    // Calls (pbx_calls.cpp).
    {code::CallStation, &Pbx::ctiCallStation},
    {code::CallViaCoGroup, &Pbx::ctiCallViaCo},
    {code::CallViaCoLine, &Pbx::ctiCallViaCo},
    {code::AnswerStation, &Pbx::ctiAnswerStation},
    {code::AnswerCo, &Pbx::ctiAnswerCo},
    {code::Release, &Pbx::ctiRelease},
    {code::Hold, &Pbx::ctiHold},
    {code::RetrieveCo, &Pbx::ctiRetrieve},
    {code::RetrieveStation, &Pbx::ctiRetrieve},
    {code::Park, &Pbx::ctiPark},
    {code::Unpark, &Pbx::ctiUnpark},
    {code::DirectedPickup, &Pbx::ctiDirectedPickup},
    {code::GroupPickup, &Pbx::ctiGroupPickup},
    {code::Forward, &Pbx::ctiForward},
    {code::DndOn, &Pbx::ctiDnd},
    {code::DndOff, &Pbx::ctiDnd},
    {code::CampOn, &Pbx::ctiCampOn},
    {code::CallbackRequest, &Pbx::ctiCallback},
    {code::MessageWaiting, &Pbx::ctiMessage},
    {code::Intrude, &Pbx::ctiIntrude},
    {code::SwapToHeld, &Pbx::ctiSwap},
    {kCancelCampOn, &Pbx::ctiCancelCampOn},
    {kCancelMessage, &Pbx::ctiCancelMessage},
    {kCancelCallback, &Pbx::ctiCancelCallback},
    {code::TransferSetup, &Pbx::ctiTransferSetup},
    {code::TransferComplete, &Pbx::ctiTransferComplete},
    {code::Conference, &Pbx::ctiConference},
    {code::PrepareConferenceAdd, &Pbx::ctiPrepareAdd},
    {code::ConferenceAdd, &Pbx::ctiConferenceAdd},
    {kRemoveCo, &Pbx::ctiConferenceRemove},
    {kRemoveStation, &Pbx::ctiConferenceRemove},
    {code::DialDigits, &Pbx::ctiDialDigits},
    {code::Redirect, &Pbx::ctiRedirect},
    {code::KeyPress, &Pbx::ctiKeyPress},
    {code::SwapHold, &Pbx::ctiSwap},
    {code::SendDtmf, &Pbx::ctiDtmf},
    // Device-specific functions (pbx_devspecific.cpp).
    {code::Paging, &Pbx::ctiOneByteFunction},
    {code::VoiceUnit, &Pbx::ctiOneByteFunction},
    {code::ProgrammableButton, &Pbx::ctiProgrammableButton},
    {code::ShortMessage, &Pbx::ctiShortMessage},
    // Station settings (pbx_settings.cpp).
    {code::Phone7D, &Pbx::ctiSetting},
    {code::Phone7E, &Pbx::ctiSetting},
    {code::Phone7F, &Pbx::ctiSetting},
    {code::Phone80, &Pbx::ctiSetting},
    {code::Phone81, &Pbx::ctiSetting},
    {code::Phone82, &Pbx::ctiSetting},
    {code::Phone83, &Pbx::ctiSetting},
    {code::Phone84, &Pbx::ctiSetting},
    {code::Phone85, &Pbx::ctiSetting},
    {code::Phone86, &Pbx::ctiSetting},
    {code::Phone87, &Pbx::ctiSetting},
    {code::Phone88, &Pbx::ctiSetting},
    {code::Phone89, &Pbx::ctiSetting},
    {code::Phone8A, &Pbx::ctiSetting},
};

void Pbx::handleCti(const CtiRequest& request) {
    if (request.code < link::kFirstReplyCode || request.code >= link::kFirstRejectionCode) {
        note("ignored: the provider does not send events or rejections");
        return;
    }
    for (const CtiRow& row : kCtiRows) {
        if (row.code == request.code) {
            (this->*row.handle)(request);
            return;
        }
    }
    reject(request.station, request.code, m_config.defaultCause);
}

void Pbx::ctiSessionControl(const CtiRequest& r) {
    const bool singleStation = m_options.framing == link::Framing::StxEtx;
    if (startsWith(r.data, kOpenSession)) {
        if (!m_config.sessionAccepted) {
            reject(r.station, r.code, kSessionRefusedCause);
            return;
        }
        m_sessionOpen = true;
        const std::uint8_t reply[] = {'6', dialectByte(m_config.dialect)};
        sendCti(link::kSystemIndex, r.code, reply);
        return;
    }
    if (startsWith(r.data, kStartMonitoring)) {
        if (singleStation) {
            // Single-station start-up: the served station's number, the
            // dialect and the station type, registered by the provider at
            // index 0.
            const StationConfig* own = m_config.station(m_config.servedStation());
            if (!own) {
                reject(r.station, r.code, m_config.noStationCause);
                return;
            }
            std::vector<std::uint8_t> reply = {'4'};
            const auto number = link::encodeNum4(own->number);
            reply.insert(reply.end(), number->begin(), number->end());
            reply.push_back(dialectByte(m_config.dialect));
            reply.push_back(own->type);
            m_monitored.insert(own->index);
            sendCti(r.station, r.code, reply);
            return;
        }
        if (!m_config.station(r.station)) {
            reject(r.station, r.code, m_config.noStationCause);
            return;
        }
        m_monitored.insert(r.station);
        const std::uint8_t reply[] = {'4'};
        sendCti(r.station, r.code, reply);
        return;
    }
    if (!r.data.empty() && r.data[0] == kStopMonitoring) {
        if (singleStation) {
            // Ends the single-station start-up.
            const std::uint8_t reply[] = {'5'};
            sendCti(r.station, r.code, reply);
            return;
        }
        m_monitored.erase(r.station);
        const std::uint8_t reply[] = {kStopMonitoring};
        sendCti(r.station, r.code, reply);
        return;
    }
    if (!r.data.empty() && r.data[0] == kCloseSession) {
        m_sessionOpen = false;
        m_monitored.clear();
        const std::uint8_t reply[] = {kCloseSession};
        sendCti(link::kSystemIndex, r.code, reply);
        return;
    }
    reject(r.station, r.code, m_config.defaultCause);
}

void Pbx::ctiQuery(const CtiRequest& r) {
    if (!r.data.empty() && r.data[0] == kIdentify) {
        std::vector<std::uint8_t> reply = {kIdentify};
        reply.insert(reply.end(), m_config.version.begin(), m_config.version.end());
        sendCti(link::kSystemIndex, r.code, reply);
        return;
    }
    if (r.data.size() >= 3 && r.data[0] == kDescribe) {
        describeStation(static_cast<std::uint16_t>((r.data[1] << 8) | r.data[2]));
        return;
    }
    if (r.data.size() >= 2 && (r.data[0] == '#' || r.data[0] == '$') &&
        (r.data[1] == '0' || r.data[1] == '1')) {
        // Call-record ('#') and other-data ('$') output on or off: confirmed
        // by echoing the two bytes.
        if (r.data[0] == '#') m_callRecordOutput = r.data[1] == '1';
        sendCti(link::kSystemIndex, r.code, r.data.first(2));
        return;
    }
    reject(r.station, r.code, m_config.defaultCause);
}

void Pbx::describeStation(std::uint16_t index) {
    if (index >= m_config.stationCount) {
        reject(link::kSystemIndex, link::code::Query, m_config.noStationCause);
        return;
    }
    std::vector<std::uint8_t> reply = {kDescribe};
    const StationConfig* s = m_config.station(index);
    // An index of the table with nothing configured is an empty port.
    const auto number = s ? link::encodeNum4(s->number) : link::Num4{' ', ' ', ' ', ' '};
    reply.insert(reply.end(), number->begin(), number->end());
    reply.push_back(static_cast<std::uint8_t>(index >> 8));
    reply.push_back(static_cast<std::uint8_t>(index & 0xFF));
    reply.push_back(s ? s->type : station_type::Unplugged);
    if (s && s->port) {
        const unsigned port = *s->port;
        reply.push_back(static_cast<std::uint8_t>('0' + port / 100 % 10));
        reply.push_back(static_cast<std::uint8_t>('0' + port / 10 % 10));
        reply.push_back(static_cast<std::uint8_t>('0' + port % 10));
    }
    sendCti(link::kSystemIndex, link::code::Query, reply);
}

void Pbx::ctiServiceRequest(const CtiRequest& r) {
    // Asked for the park numbers, the PBX reports every slot (event 0x41)
    // before it accepts, so the slot table is complete when the provider
    // announces it.
    if (startsWith(r.data, kParkNumbers)) sendParkSlots();
    // The PBX accepts a service request by echoing it.
    sendCti(link::kSystemIndex, r.code, r.data);
}

void Pbx::ctiKeepAlive(const CtiRequest&) {
    // The provider's 0x8B is its keep-alive or its answer to ours; the PBX
    // does not answer it, or the two would ping-pong for ever.
}

}  // namespace velkor::pbxsim
