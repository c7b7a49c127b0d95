#include "provider/devspecific/record_store.h"

#include <algorithm>
#include <array>

#include "provider/link/catalogue.h"

namespace velkor::devspecific {

namespace {

// Data of query 0x51 that switches the PBX's call-record output, and the
// reply bytes the PBX sends when a kind of output goes off.
constexpr std::uint8_t kCallRecordOutput = '#';
constexpr std::uint8_t kOtherDataOutput = '$';
constexpr std::uint8_t kOutputOn = '1';
constexpr std::uint8_t kOutputOff = '0';

void appendLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

}  // namespace

RecordStore::RecordStore(core::StationModel& model, platform::TimerQueue& timers,
                         platform::Clock& clock)
    : m_model(model), m_timers(timers), m_clock(clock) {}

RecordStore::~RecordStore() {
    platform::TimerQueue::TimerId id = 0;
    {
        std::lock_guard lock(m_control);
        m_running = false;
        id = m_timerId;
        m_timerId = 0;
    }
    // Waits for a tick in progress: nothing of this object is used after.
    if (id != 0) m_timers.killEvent(id);
}

// ---------------------------------------------------------------------------
// Records

void RecordStore::onCallRecord(std::span<const std::uint8_t> record) { add(m_callRecords, record); }

void RecordStore::onOtherData(std::span<const std::uint8_t> data) { add(m_otherData, data); }

void RecordStore::add(Store& s, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(s.lock);
    if (s.subscribers.empty()) return;
    const platform::TimePoint now = m_clock.now();
    // Aged records go on every add too: with the timer switched off by the
    // PBX's reply the store would otherwise grow for as long as records come.
    prune(s, now);
    s.records.push_back(Record{now, ++s.lastSequence, {bytes.begin(), bytes.end()}});
    s.fresh = true;
}

void RecordStore::prune(Store& s, platform::TimePoint now) {
    std::erase_if(s.records, [&](const Record& r) {
        return now - r.stamp > kMaxAge || r.stamp - now > kMaxAge;
    });
}

void RecordStore::clear() {
    for (Store* s : {&m_callRecords, &m_otherData}) {
        std::lock_guard lock(s->lock);
        s->records.clear();
        s->fresh = false;
    }
}

bool RecordStore::subscribed(DataKind kind, std::uint16_t station) const {
    const Store& s = store(kind);
    std::lock_guard lock(s.lock);
    return s.subscribers.contains(station);
}

std::optional<std::vector<std::uint8_t>> RecordStore::blockData(DataKind kind,
                                                                std::uint16_t station) {
    Store& s = store(kind);
    std::lock_guard lock(s.lock);
    if (!s.subscribers.contains(station)) return std::nullopt;
    prune(s, m_clock.now());
    std::vector<std::uint8_t> out;
    for (const Record& r : s.records) {
        if (kind == DataKind::CallRecords) {
            appendLe32(out, r.sequence);
            appendLe32(out, static_cast<std::uint32_t>(r.bytes.size()));
        }
        out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    }
    return out;
}

std::size_t RecordStore::recordCount(DataKind kind) const {
    const Store& s = store(kind);
    std::lock_guard lock(s.lock);
    return s.records.size();
}

// ---------------------------------------------------------------------------
// Subscriptions

void RecordStore::join(DataKind kind, std::uint16_t station) {
    std::lock_guard control(m_control);
    bool first = false;
    {
        Store& s = store(kind);
        std::lock_guard lock(s.lock);
        first = s.subscribers.empty();
        s.subscribers.insert(station);
    }
    if (first && kind == DataKind::CallRecords) sendOutput(true);
    // Every accepted subscriber needs the timer, also one that joins after
    // the PBX's reply has switched it off.
    startTimer();
}

void RecordStore::leave(DataKind kind, std::uint16_t station) {
    std::lock_guard control(m_control);
    remove(kind, station);
    stopTimerUnlessSubscribed();
}

void RecordStore::lineClosed(std::uint16_t station) {
    std::lock_guard control(m_control);
    remove(DataKind::CallRecords, station);
    remove(DataKind::OtherData, station);
    stopTimerUnlessSubscribed();
}

void RecordStore::remove(DataKind kind, std::uint16_t station) {
    bool last = false;
    {
        Store& s = store(kind);
        std::lock_guard lock(s.lock);
        last = s.subscribers.erase(station) > 0 && s.subscribers.empty();
    }
    if (last && kind == DataKind::CallRecords) sendOutput(false);
}

void RecordStore::onReply(const link::CtiMessage& message) {
    if (message.code != link::code::Query || message.data.size() < 2) return;
    if (message.data[1] != kOutputOff) return;
    const std::uint8_t which = message.data[0];
    if (which != kCallRecordOutput && which != kOtherDataOutput) return;
    const Store& other = which == kCallRecordOutput ? m_otherData : m_callRecords;
    std::lock_guard control(m_control);
    bool otherSubscribed = false;
    {
        std::lock_guard lock(other.lock);
        otherSubscribed = !other.subscribers.empty();
    }
    if (!otherSubscribed) m_running = false;
}

bool RecordStore::anySubscriber() const {
    for (const Store* s : {&m_callRecords, &m_otherData}) {
        std::lock_guard lock(s->lock);
        if (!s->subscribers.empty()) return true;
    }
    return false;
}

void RecordStore::sendOutput(bool on) {
    const std::array<std::uint8_t, 2> data{kCallRecordOutput, on ? kOutputOn : kOutputOff};
    m_model.sender().sendCti(link::kSystemIndex, link::code::Query, data);
}

// ---------------------------------------------------------------------------
// Data timer

bool RecordStore::timerRunning() const {
    std::lock_guard control(m_control);
    return m_running;
}

void RecordStore::startTimer() {
    if (m_running) return;
    m_running = true;
    m_ticks = 0;
    // A timer whose last tick has not yet found it stopped goes on as it is.
    if (m_timerId != 0) return;
    m_timerId = m_timers.setEvent(
        kTick, kTick, [this](platform::TimerQueue::TimerId id) { tick(id); },
        platform::TimerQueue::Kind::Periodic);
    if (m_timerId == 0) m_running = false;
}

void RecordStore::stopTimerUnlessSubscribed() {
    if (!anySubscriber()) m_running = false;
}

void RecordStore::tick(platform::TimerQueue::TimerId id) {
    bool keepAlive = false;
    {
        std::lock_guard control(m_control);
        if (!m_running || id != m_timerId) {
            if (id == m_timerId) m_timerId = 0;
            // A timer's own tick may kill it without waiting.
            m_timers.killEvent(id);
            return;
        }
        keepAlive = ++m_ticks % kTicksPerKeepAlive == 0;
    }
    if (keepAlive) m_model.sender().sendCti(link::kSystemIndex, link::code::KeepAlive, {});

    const platform::TimePoint now = m_clock.now();
    bool newRecords = false;
    bool newData = false;
    for (Store* s : {&m_callRecords, &m_otherData}) {
        std::lock_guard lock(s->lock);
        prune(*s, now);
        (s == &m_callRecords ? newRecords : newData) = s->fresh;
        s->fresh = false;
    }
    if (newRecords) announce(DataKind::CallRecords, kNewCallRecords);
    if (newData) announce(DataKind::OtherData, kNewOtherData);
}

void RecordStore::announce(DataKind kind, DWORD what) {
    std::vector<std::uint16_t> stations;
    {
        const Store& s = store(kind);
        std::lock_guard lock(s.lock);
        stations.assign(s.subscribers.begin(), s.subscribers.end());
    }
    // Lines open and close under the call-state lock.
    platform::ScopedLock calls(m_model.callLock());
    std::vector<std::uint16_t> closed;
    for (const std::uint16_t station : stations) {
        if (core::LineContext* line = m_model.findLine(station)) {
            m_model.raiseDevSpecific(*line, 1, what, 0);
        } else {
            closed.push_back(station);
        }
    }
    if (closed.empty()) return;
    // A subscriber whose line has gone without TSPI_lineClose telling us.
    std::lock_guard control(m_control);
    for (const std::uint16_t station : closed) remove(kind, station);
    stopTimerUnlessSubscribed();
}

}  // namespace velkor::devspecific
