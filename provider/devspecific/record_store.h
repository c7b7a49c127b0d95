#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "platform/time/clock.h"
#include "platform/time/timer_queue.h"
#include "provider/core/model.h"
#include "provider/core/tapi_events.h"
#include "provider/devspecific/data_subscriptions.h"
#include "provider/link/cti.h"

namespace velkor::devspecific {

// The call records (event 0x3F) and the other system data (event 0x48) the
// PBX prints while stations subscribe to them, and the 2-second data timer
// that ages them out and tells the subscribers that something new is there.
//
// The PBX pushes records without being asked and never repeats one, so the
// stores keep every record for 5 seconds: each lineGetAddressStatus within
// that time hands out all records still kept, and the sequence number lets
// an application skip the ones it has already seen. A record is kept only
// while some station subscribes to its kind.
//
// Threads: records arrive on the receiving thread, blocks are read on TAPI's
// thread, the timer ticks on the timer thread. Each store has its own lock,
// taken to add, prune and copy; subscriptions and the timer have a third.
// Callers may hold the call-state lock; the timer takes it only to raise
// LINE_DEVSPECIFIC and never while holding a lock of its own.
class RecordStore final : public core::RecordSink, public DataSubscriptions {
public:
    static constexpr platform::Duration kTick = std::chrono::milliseconds(2000);
    static constexpr platform::Duration kMaxAge = std::chrono::milliseconds(5000);
    // Every 10th tick (20 s) the provider resynchronises the PBX with 0x8B.
    static constexpr unsigned kTicksPerKeepAlive = 10;
    // LINE_DEVSPECIFIC(1, n, 0) announcing new records of each kind.
    static constexpr DWORD kNewCallRecords = 1;
    static constexpr DWORD kNewOtherData = 7;

    // Announcements go to the lines of `model`, requests through its sender.
    RecordStore(core::StationModel& model, platform::TimerQueue& timers, platform::Clock& clock);
    ~RecordStore() override;

    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // core::RecordSink: a complete call record / one frame of other data.
    void onCallRecord(std::span<const std::uint8_t> record) override;
    void onOtherData(std::span<const std::uint8_t> data) override;

    // DataSubscriptions: the accepted smdr and other_data commands. The
    // first call-record subscriber switches the PBX's call-record output on
    // (0x51 '#' '1'), the last one off (0x51 '#' '0'); other data needs no
    // request. The data timer runs while anybody subscribes to either.
    void join(DataKind kind, std::uint16_t station) override;
    void leave(DataKind kind, std::uint16_t station) override;

    // TSPI_lineClose: the station's subscriptions end with its line.
    void lineClosed(std::uint16_t station);

    // Replies: 0x51 '#' '0' / '$' '0' (call-record / other-data output off)
    // stop the data timer unless the other kind is still subscribed. Every
    // other reply is ignored.
    void onReply(const link::CtiMessage& message);

    // The link stopped: both stores emptied; subscriptions stay.
    void clear();

    bool subscribed(DataKind kind, std::uint16_t station) const;
    // The body of a status block, copied under the store's lock: call
    // records each as sequence number, length (both 32-bit little-endian)
    // and text; other data concatenated as received. nullopt when the
    // station does not subscribe to `kind`. Records past their age are
    // dropped first.
    std::optional<std::vector<std::uint8_t>> blockData(DataKind kind, std::uint16_t station);

    // Whether the data timer is running (subscribers of either kind, and no
    // reply switched it off).
    bool timerRunning() const;
    // Records of a kind now kept.
    std::size_t recordCount(DataKind kind) const;

private:
    struct Record {
        platform::TimePoint stamp;
        std::uint32_t sequence;
        std::vector<std::uint8_t> bytes;
    };
    struct Store {
        mutable std::mutex lock;
        std::vector<Record> records;
        std::set<std::uint16_t> subscribers;
        // Records added since the last tick.
        bool fresh = false;
        std::uint32_t lastSequence = 0;
    };

    Store& store(DataKind kind) { return kind == DataKind::CallRecords ? m_callRecords : m_otherData; }
    const Store& store(DataKind kind) const {
        return kind == DataKind::CallRecords ? m_callRecords : m_otherData;
    }
    void add(Store& s, std::span<const std::uint8_t> bytes);
    // With the store's lock held.
    void prune(Store& s, platform::TimePoint now);
    // Takes `station` out of the subscribers of `kind`; with m_control held.
    void remove(DataKind kind, std::uint16_t station);
    bool anySubscriber() const;
    // With m_control held.
    void startTimer();
    void stopTimerUnlessSubscribed();
    void sendOutput(bool on);
    void tick(platform::TimerQueue::TimerId id);
    void announce(DataKind kind, DWORD what);

    core::StationModel& m_model;
    platform::TimerQueue& m_timers;
    platform::Clock& m_clock;
    Store m_callRecords;
    Store m_otherData;

    // Subscriptions change and the timer starts and stops under this lock.
    // The timer is stopped by clearing m_running; the tick that finds it
    // cleared kills its own timer, so that no caller ever waits for a
    // running tick (which may itself wait for the call-state lock the
    // caller holds).
    mutable std::mutex m_control;
    platform::TimerQueue::TimerId m_timerId = 0;
    bool m_running = false;
    unsigned m_ticks = 0;
};

}  // namespace velkor::devspecific
