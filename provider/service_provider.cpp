#include "provider/service_provider.h"

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
                                .services = &m_lines,
                                .atd = &m_model},
             m_timers, clock,
             link::LinkService::Hooks{.onStart = {},
                                      .onStop = {},
                                      .onAtdSilence = [this] { m_atd.markClosed(); }}),
      m_sender(m_link.link(), clock),
      m_model(m_events, m_sender, [&clock](platform::Duration d) { clock.sleepFor(d); }),
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
      m_lifecycle(m_model, m_replies, m_atd, *this, m_store, clock, std::move(notice)) {
    m_answers.session = &m_replies;
    m_answers.lines = &m_lines;
    m_model.setAtdSender(&m_sender);
    m_model.setAtdSession(&m_atd);
}

ServiceProvider::~ServiceProvider() { m_link.stop(); }

}  // namespace velkor::provider
