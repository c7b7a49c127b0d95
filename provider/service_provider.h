#pragma once

#include <mutex>
#include <string>

#include "platform/time/clock.h"
#include "platform/time/timer_queue.h"
#include "provider/config/provider_settings.h"
#include "provider/core/atd_session.h"
#include "provider/core/lifecycle.h"
#include "provider/core/line_operations.h"
#include "provider/core/model.h"
#include "provider/core/phone_devices.h"
#include "provider/core/phone_settings.h"
#include "provider/core/session_replies.h"
#include "provider/core/tspi_events.h"
#include "provider/devspecific/device_commands.h"
#include "provider/devspecific/record_store.h"
#include "provider/link/transport/link_service.h"

namespace velkor::provider {

// Everything the provider runs between enumeration and shutdown: the
// settings, the timer thread, the link with its transport, the station
// model, the waits of the start-up and the ATD session. Built by
// TSPI_providerEnumDevices and destroyed by TSPI_providerShutdown, so that no
// thread of the provider outlives it.
class ServiceProvider final : private core::LinkControl {
public:
    using Notice = core::ProviderLifecycle::Notice;

    explicit ServiceProvider(Notice notice, platform::Clock& clock = platform::Clock::real(),
                             config::SettingsStore store = config::SettingsStore());
    ~ServiceProvider() override;

    ServiceProvider(const ServiceProvider&) = delete;
    ServiceProvider& operator=(const ServiceProvider&) = delete;

    core::ProviderLifecycle& lifecycle() { return m_lifecycle; }
    core::LineOperations& lines() { return m_lines; }
    devspecific::DeviceCommands& devices() { return m_devices; }
    core::PhoneDevices& phones() { return m_phones; }
    devspecific::RecordStore& records() { return m_records; }

    // TSPI_lineGetAddressStatus.
    LONG addressStatus(HDRVLINE hdLine, DWORD addressId, LINEADDRESSSTATUS* status);
    core::StationModel& model() { return m_model; }
    core::TspiEvents& events() { return m_events; }
    link::LinkService& linkService() { return m_link; }
    config::SettingsStore& store() { return m_store; }

private:
    // Replies and rejections go to the start-up waits and to the line
    // operations; each takes the request codes that are its own.
    struct Answers final : link::ReplyHandler, link::RejectionHandler {
        core::SessionReplies* session = nullptr;
        core::LineOperations* lines = nullptr;
        devspecific::DeviceCommands* devices = nullptr;
        devspecific::RecordStore* records = nullptr;
        // The station settings' answers are the phone devices' alone.
        core::PhoneDevices* phones = nullptr;
        void onReply(const link::CtiMessage& m) override {
            if (core::isSettingCode(m.code)) return phones->onReply(m);
            session->onReply(m);
            lines->onReply(m);
            devices->onReply(m);
            records->onReply(m);
        }
        void onRejection(const link::Rejection& r) override {
            if (core::isSettingCode(link::requestOfRejection(r.code))) return phones->onRejection(r);
            session->onRejection(r);
            lines->onRejection(r);
        }
    };

    // Service-request answers: the line operations take the types of the
    // calls, the device-specific commands theirs; each ignores the others'.
    struct Services final : link::ServiceAnswerHandler {
        core::LineOperations* lines = nullptr;
        devspecific::DeviceCommands* devices = nullptr;
        void onServiceAnswer(const link::ServiceAnswer& a) override {
            lines->onServiceAnswer(a);
            devices->onServiceAnswer(a);
        }
    };

    // ATD messages after the directory has stored them: the session's
    // opening and the details a device-specific command waits for.
    struct AtdListeners final : link::AtdHandler {
        core::AtdSession* session = nullptr;
        devspecific::DeviceCommands* devices = nullptr;
        void onAtd(const link::AtdMessage& m) override {
            session->onAtd(m);
            devices->onAtd(m);
        }
    };

    bool start() override { return m_link.start(); }
    void stop() override { m_link.stop(); }

    platform::Clock& m_clock;
    config::SettingsStore m_store;
    platform::TimerQueue m_timers;
    core::TspiEvents m_events;
    Answers m_answers;
    Services m_services;
    AtdListeners m_atdListeners;
    // Declared before the model it delivers to, and stopped first in the
    // destructor: the link's threads end before anything they call goes.
    link::LinkService m_link;
    core::LinkSender m_sender;
    core::StationModel m_model;
    // Before the commands that subscribe to it.
    devspecific::RecordStore m_records;
    core::SessionReplies m_replies;
    core::AtdSession m_atd;
    core::LineOperations m_lines;
    devspecific::DeviceCommands m_devices;
    core::PhoneDevices m_phones;
    core::ProviderLifecycle m_lifecycle;
};

}  // namespace velkor::provider
