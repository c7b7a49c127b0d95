#include "tools/pbxsim/schedule.h"

namespace velkor::pbxsim {

Schedule::Id Schedule::at(platform::TimePoint when, std::function<void()> callback) {
    const Id id = m_next++;
    m_entries.emplace(Key{when, id}, std::move(callback));
    m_byId.emplace(id, when);
    return id;
}

void Schedule::cancel(Id id) {
    const auto it = m_byId.find(id);
    if (it == m_byId.end()) return;
    m_entries.erase(Key{it->second, id});
    m_byId.erase(it);
}

std::optional<platform::TimePoint> Schedule::nextDeadline() const {
    if (m_entries.empty()) return std::nullopt;
    return m_entries.begin()->first.when;
}

void Schedule::runDue(platform::TimePoint now) {
    while (!m_entries.empty() && m_entries.begin()->first.when <= now) {
        auto node = m_entries.extract(m_entries.begin());
        m_byId.erase(node.key().id);
        node.mapped()();
    }
}

}  // namespace velkor::pbxsim
