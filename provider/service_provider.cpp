#include "provider/service_provider.h"

#include "provider/devspecific/address_status.h"

namespace velkor::provider {

ServiceProvider::ServiceProvider(Notice notice, platform::Clock& clock,
                                 config::SettingsStore store)
    : m_clock(clock),
      m_store(std::move(store)),
      m_timers(clock),
      m_link(m_store,
             link::LinkHandlers{.events = &m_model,
                                .replies = &m_answers,
                                .rejections = &m_answers,
                                .services = &m_services,
                                .atd = &m_model},
             m_timers, clock,
             link::LinkService::Hooks{.onStart = {},
                                      .onStop = [this] { m_records.clear(); },
                                      .onAtdSilence = [this] { m_atd.markClosed(); }}),
      m_sender(m_link.link(), clock),
      m_model(m_events, m_sender, [&clock](platform::Duration d) { clock.sleepFor(d); }),
      m_records(m_model, m_timers, clock),
      m_replies(m_model, clock),
      m_atd(m_sender, m_model.directory(), clock,
            core::AtdSession::Hooks{
                .onVersion = [this](const std::string& text) { m_store.writeVersionText(text); },
                .startSupervision = [this] { m_link.atdSupervisor().start(); },
                .stopSupervision = [this] { m_link.atdSupervisor().stop(); }}),
      m_lines(m_model, clock,
              [this] {
                  return core::readLocationPrefixes(m_store.registry());
              }),
      m_devices(m_model, m_sender, [this] { return m_atd.active(); }, clock),
      m_phones(m_model, m_replies, clock),
      m_lifecycle(m_model, m_replies, m_atd, *this, m_store, clock, std::move(notice)) {
    m_answers.session = &m_replies;
    m_answers.lines = &m_lines;
    m_answers.devices = &m_devices;
    m_answers.records = &m_records;
    m_answers.phones = &m_phones;
    m_events.setPhoneBroadcast(
        [this](DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) { m_phones.devSpecificAll(p1, p2, p3); });
    m_services.lines = &m_lines;
    m_services.devices = &m_devices;
    m_atdListeners.session = &m_atd;
    m_atdListeners.devices = &m_devices;
    m_model.setAtdSender(&m_sender);
    m_model.setRecordSink(&m_records);
    m_devices.setDataSubscriptions(&m_records);
    m_lifecycle.setLineClosedHook([this](std::uint16_t station) { m_records.lineClosed(station); });
    m_lifecycle.setStillMonitoredHook([this](std::uint16_t station) { return m_phones.isOpen(station); });
    m_model.setAtdSession(&m_atdListeners);
}

ServiceProvider::~ServiceProvider() { m_link.stop(); }

LONG ServiceProvider::addressStatus(HDRVLINE hdLine, DWORD addressId, LINEADDRESSSTATUS* status) {
    const core::PbxModel* pbx = m_lifecycle.pbxModel();
    const devspecific::StatusEnvironment env{
        .atdActive = m_atd.active(),
        .parkSlotCount = pbx ? pbx->parkSlots : m_model.parkSlots().size()};
    return devspecific::getAddressStatus(m_model, m_records, env, hdLine, addressId, status);
}

}  // namespace velkor::provider
