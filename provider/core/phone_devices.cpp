#include "provider/core/phone_devices.h"

#include <cstring>
#include <new>
#include <vector>

#include "provider/core/phone_caps.h"
#include "provider/core/phone_settings.h"
#include "provider/link/catalogue.h"

namespace velkor::core {

namespace {

// Monitoring for the phone alone: '!' to start, 0x22 to stop.
constexpr std::uint8_t kMonitorForPhone[] = {'!'};
constexpr std::uint8_t kStopMonitoring[] = {0x22};

}  // namespace

PhoneDevices::PhoneDevices(StationModel& model, SessionReplies& replies, platform::Clock& clock)
    : m_model(model), m_replies(replies), m_clock(clock) {}

PhoneDevices::~PhoneDevices() = default;

PhoneContext* PhoneDevices::findLocked(HDRVPHONE hdPhone) {
    for (auto& [station, phone] : m_phones) {
        if (reinterpret_cast<HDRVPHONE>(phone.get()) == hdPhone) return phone.get();
    }
    return nullptr;
}

PhoneContext* PhoneDevices::stationLocked(std::uint16_t station) {
    const auto it = m_phones.find(station);
    return it == m_phones.end() ? nullptr : it->second.get();
}

DRV_REQUESTID PhoneDevices::takePending(PhoneContext& phone, std::uint8_t code) {
    for (auto it = phone.pending.begin(); it != phone.pending.end(); ++it) {
        if (it->code != code) continue;
        const DRV_REQUESTID id = it->id;
        phone.pending.erase(it);
        return id;
    }
    return 0;
}

bool PhoneDevices::readTakes(std::uint16_t station, std::uint8_t code) const {
    return m_read.inProgress && !m_read.ended && m_read.station == station && m_read.code == code;
}

// --- open and close ------------------------------------------------------------------

LONG PhoneDevices::open(DWORD deviceId, HTAPIPHONE htPhone, HDRVPHONE* hdPhone,
                        PHONEEVENT eventProc) {
    if (!hdPhone) return PHONEERR_INVALPOINTER;
    StationRecord* record = m_model.stations().findByPhoneId(deviceId);
    if (!record) return PHONEERR_OPERATIONFAILED;
    PhoneContext* phone = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_phones.count(record->index)) return PHONEERR_ALLOCATED;
        try {
            auto fresh = std::make_unique<PhoneContext>();
            fresh->station = record->index;
            fresh->htPhone = htPhone;
            fresh->eventProc = eventProc;
            phone = fresh.get();
            m_phones.emplace(record->index, std::move(fresh));
        } catch (const std::bad_alloc&) {
            return PHONEERR_NOMEM;
        }
    }
    // An open line has the station monitored already.
    if (!record->line) {
        m_replies.armMonitoring(record->index);
        if (!m_model.sender().sendCti(record->index, link::code::SessionControl,
                                      kMonitorForPhone) ||
            !m_replies.waitMonitoring(record->index, kMonitorWait)) {
            std::lock_guard lock(m_mutex);
            m_phones.erase(record->index);
            return PHONEERR_OPERATIONFAILED;
        }
    }
    *hdPhone = reinterpret_cast<HDRVPHONE>(phone);
    return 0;
}

LONG PhoneDevices::close(HDRVPHONE hdPhone) {
    std::uint16_t station;
    std::deque<PhoneContext::Pending> unanswered;
    {
        std::lock_guard lock(m_mutex);
        PhoneContext* phone = findLocked(hdPhone);
        if (!phone) return PHONEERR_INVALPHONEHANDLE;
        station = phone->station;
        unanswered.swap(phone->pending);
        m_phones.erase(station);
    }
    // TAPI is owed an answer to every request it was given.
    for (const auto& p : unanswered) m_model.events().complete(p.id, PHONEERR_OPERATIONFAILED);
    StationRecord* record = m_model.stations().at(station);
    if (record && !record->line) {
        m_model.sender().sendCti(station, link::code::SessionControl, kStopMonitoring);
        m_replies.forgetMonitoring(station);
    }
    return 0;
}

// --- settings ----------------------------------------------------------------------

LONG PhoneDevices::devSpecific(DRV_REQUESTID id, HDRVPHONE hdPhone, const void* params,
                               DWORD size) {
    if (size == 0 || !params) return PHONEERR_OPERATIONFAILED;
    const auto* text = static_cast<const char*>(params);
    const std::string command(text, strnlen(text, size));
    std::uint16_t station;
    {
        std::lock_guard lock(m_mutex);
        PhoneContext* phone = findLocked(hdPhone);
        if (!phone) return PHONEERR_INVALPHONEHANDLE;
        station = phone->station;
    }
    const auto request = settingCommand(command);
    if (!request) return PHONEERR_OPERATIONFAILED;
    // Parked before the send: the answer may come back before it returns.
    {
        std::lock_guard lock(m_mutex);
        PhoneContext* phone = stationLocked(station);
        if (!phone) return PHONEERR_INVALPHONEHANDLE;
        phone->pending.push_back({id, request->code});
    }
    if (!m_model.sender().sendCti(station, request->code, request->data)) {
        std::lock_guard lock(m_mutex);
        if (PhoneContext* phone = stationLocked(station)) {
            std::erase_if(phone->pending, [id](const auto& p) { return p.id == id; });
        }
        return PHONEERR_OPERATIONFAILED;
    }
    return static_cast<LONG>(id);
}

LONG PhoneDevices::getData(HDRVPHONE hdPhone, DWORD dataId, void* data, DWORD size) {
    std::uint16_t station;
    {
        std::lock_guard lock(m_mutex);
        PhoneContext* phone = findLocked(hdPhone);
        if (!phone) return PHONEERR_INVALPHONEHANDLE;
        station = phone->station;
    }
    const auto query = settingQuery(dataId);
    if (!query) return PHONEERR_OPERATIONUNAVAIL;
    {
        std::lock_guard lock(m_mutex);
        m_read = Read{true, station, query->code, false, false};
    }
    const bool sent = m_model.sender().sendCti(station, query->code, query->data);
    std::unique_lock lock(m_mutex);
    if (sent) {
        m_clock.waitUntil(m_readEnded, lock, m_clock.now() + kReadWait,
                          [this] { return m_read.ended; });
    }
    const bool answered = m_read.answered;
    m_read = Read{};
    PhoneContext* phone = stationLocked(station);
    if (!answered || !phone || !data || phone->dataText.size() + 1 > size) {
        return PHONEERR_OPERATIONFAILED;
    }
    std::memcpy(data, phone->dataText.c_str(), phone->dataText.size() + 1);
    return 0;
}

// --- what the PBX answers ------------------------------------------------------------------

void PhoneDevices::onReply(const link::CtiMessage& message) {
    if (!isSettingCode(message.code)) return;
    DRV_REQUESTID completed = 0;
    {
        std::lock_guard lock(m_mutex);
        PhoneContext* phone = stationLocked(message.station);
        if (!phone) return;
        phone->dataText = settingAnswerText(message.code, message.data);
        phone->dataKind = static_cast<LONG>(settingKind(message.code));
        if (readTakes(message.station, message.code)) {
            m_read.answered = true;
            m_read.ended = true;
            m_readEnded.notify_all();
            return;
        }
        completed = takePending(*phone, message.code);
    }
    if (completed) m_model.events().complete(completed, 0);
}

void PhoneDevices::onRejection(const link::Rejection& rejection) {
    const std::uint8_t request = link::requestOfRejection(rejection.code);
    if (!isSettingCode(request)) return;
    DRV_REQUESTID failed = 0;
    {
        std::lock_guard lock(m_mutex);
        if (readTakes(rejection.station, request)) {
            m_read.ended = true;
            m_readEnded.notify_all();
            return;
        }
        PhoneContext* phone = stationLocked(rejection.station);
        if (!phone) return;
        failed = takePending(*phone, request);
    }
    if (failed) m_model.events().complete(failed, PHONEERR_OPERATIONFAILED);
}

void PhoneDevices::devSpecificAll(DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) {
    std::vector<std::pair<PHONEEVENT, HTAPIPHONE>> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [station, phone] : m_phones) {
            if (phone->eventProc) targets.emplace_back(phone->eventProc, phone->htPhone);
        }
    }
    for (const auto& [proc, htPhone] : targets) proc(htPhone, PHONE_DEVSPECIFIC, p1, p2, p3);
}

// --- what the device tells about itself ------------------------------------------------------

LONG PhoneDevices::getId(HDRVPHONE hdPhone, VARSTRING* id, std::string_view deviceClass) {
    std::uint16_t station;
    {
        std::lock_guard lock(m_mutex);
        PhoneContext* phone = findLocked(hdPhone);
        if (!phone) return PHONEERR_INVALPHONEHANDLE;
        station = phone->station;
    }
    return fillPhoneId(m_model.stations().at(station)->phoneDeviceId, deviceClass, id);
}

LONG PhoneDevices::getDevCaps(DWORD deviceId, PHONECAPS* caps) {
    StationTable& stations = m_model.stations();
    const StationRecord* record = stations.findByPhoneId(deviceId);
    if (!record) record = stations.findByLineId(deviceId);
    return fillPhoneDevCaps(record, m_model.providerIds().permanentProviderId, caps);
}

std::optional<std::pair<LONG, std::string>> PhoneDevices::lastAnswer(std::uint16_t station) {
    std::lock_guard lock(m_mutex);
    const PhoneContext* phone = stationLocked(station);
    if (!phone) return std::nullopt;
    return std::pair{phone->dataKind, phone->dataText};
}

}  // namespace velkor::core

namespace velkor::core {

bool PhoneDevices::isOpen(std::uint16_t station) {
    std::lock_guard lock(m_mutex);
    return m_phones.contains(station);
}

}  // namespace velkor::core
