// Fuzz target for the event dispatcher. The input first sets up open lines
// with calls in every state, then is cut into CTI events and ATD messages
// that go to the model one by one, each in a buffer of exactly its size so
// that a read past the payload is caught. The model must never crash, leak
// or raise a call state that is not one state, nor an event for a call that
// is not on the line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "provider/core/model.h"
#include "provider/link/catalogue.h"
#include "provider/link/atd.h"

namespace {

using namespace velkor;
using namespace velkor::core;
using Bytes = std::vector<std::uint8_t>;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

class CheckingEvents final : public TapiEvents {
public:
    void lineEvent(const LineContext& line, const CallContext* call, DWORD message, DWORD_PTR p1,
                   DWORD_PTR, DWORD_PTR) override {
        if (call) {
            bool onLine = false;
            for (const auto& c : line.calls) onLine = onLine || c.get() == call;
            check(onLine);
        }
        if (message == LINE_CALLSTATE) {
            check(call != nullptr);
            check(p1 != 0 && (p1 & (p1 - 1)) == 0 && p1 <= LINECALLSTATE_UNKNOWN);
        }
    }
    HTAPICALL newCall(const LineContext&, CallContext&) override {
        // Now and then TAPI refuses a call.
        return (++m_calls % 7) ? reinterpret_cast<HTAPICALL>(m_calls) : nullptr;
    }
    void providerEvent(DWORD, DWORD_PTR, DWORD_PTR) override {}
    void complete(DRV_REQUESTID, LONG) override {}
    void phoneDevSpecificAll(DWORD_PTR, DWORD_PTR, DWORD_PTR) override {}

private:
    std::uintptr_t m_calls = 0;
};

class NullSender final : public CtiSender, public AtdSender {
public:
    bool sendCti(std::uint16_t, std::uint8_t, std::span<const std::uint8_t>) override { return true; }
    bool sendAtd(std::uint16_t, std::span<const std::uint8_t>) override { return true; }
};

class NullRecords final : public RecordSink {
public:
    void onCallRecord(std::span<const std::uint8_t>) override {}
    void onOtherData(std::span<const std::uint8_t>) override {}
};

constexpr const char* kKeys[] = {"  21", "  22", " 205", " 12", "000", "PAGE", ""};
constexpr DWORD kStates[] = {0,
                             LINECALLSTATE_IDLE,
                             LINECALLSTATE_OFFERING,
                             LINECALLSTATE_DIALTONE,
                             LINECALLSTATE_RINGBACK,
                             LINECALLSTATE_BUSY,
                             LINECALLSTATE_CONNECTED,
                             LINECALLSTATE_ONHOLD,
                             LINECALLSTATE_CONFERENCED,
                             LINECALLSTATE_ONHOLDPENDCONF,
                             LINECALLSTATE_ONHOLDPENDTRANSFER,
                             LINECALLSTATE_DISCONNECTED};
constexpr std::uint32_t kRoles[] = {kRoleOrdinary, kRoleConferenceMember, kRoleConferenceController,
                                    kRoleTransferTarget, kRoleBlindTransfer};
constexpr std::uint16_t kStations[] = {0, 1, 5, 999, 1000, 1001, link::kSystemIndex};

class Input {
public:
    explicit Input(std::span<const std::uint8_t> data) : m_data(data) {}
    bool empty() const { return m_at >= m_data.size(); }
    std::uint8_t next() { return empty() ? 0 : m_data[m_at++]; }
    Bytes take(std::size_t n) {
        n = std::min(n, m_data.size() - std::min(m_at, m_data.size()));
        Bytes out(m_data.begin() + static_cast<long>(m_at), m_data.begin() + static_cast<long>(m_at + n));
        m_at += n;
        return out;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in({data, size});
    CheckingEvents events;
    NullSender sender;
    NullRecords records;
    StationModel model(events, sender, [](platform::Duration) {});
    model.setAtdSender(&sender);
    model.setRecordSink(&records);
    const std::uint8_t mode = in.next();
    model.setSettings({(mode & 1) != 0, (mode & 2) != 0});
    model.setDialect(mode & 4 ? link::Dialect::Extended : link::Dialect::Legacy);
    model.providerIds().lineCount = 4;

    // Directories, and lines with calls.
    const Bytes sizes[] = {{0x01, 0x01, 0, 40}, {0x01, 0x02, 0, 8}, {0x01, 0x05, 0, 5}};
    for (const Bytes& s : sizes) model.onAtd(*link::decodeAtd(s));
    for (const std::uint16_t station : {0, 1, 5}) {
        model.stations().at(station)->number = station == 5 ? " 205" : "  2" + std::to_string(station);
        model.stations().at(station)->lineDeviceId = station;
        LineContext* line = model.openLine(station, nullptr, nullptr);
        line->inUse = in.next() & 1;
        const std::size_t calls = in.next() % 6;
        for (std::size_t i = 0; i < calls; ++i) {
            CallContext* c = model.createCall(*line, false);
            c->key = kKeys[in.next() % std::size(kKeys)];
            c->state = kStates[in.next() % std::size(kStates)];
            c->role = kRoles[in.next() % std::size(kRoles)];
        }
    }

    // Messages: [kind/station][code][length][data].
    while (!in.empty()) {
        const std::uint8_t head = in.next();
        const std::uint8_t code = in.next();
        const Bytes payload = in.take(in.next() % 64);
        if (head & 0x80) {
            Bytes atd{code};
            atd.insert(atd.end(), payload.begin(), payload.end());
            if (const auto m = link::decodeAtd(atd)) model.onAtd(*m);
        } else {
            link::CtiMessage m;
            m.station = kStations[head % std::size(kStations)];
            m.code = code & 0x7F;
            m.data = payload;
            model.onEvent(m);
        }
        if (head & 0x40) model.closeLine(1);
    }
    return 0;
}
