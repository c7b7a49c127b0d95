// Latency of incoming events: from the PBX sending an event frame to the
// application taking the LINE_CALLSTATE it causes from lineGetMessage.
//
// The application is this process: lineInitializeEx with
// LINEINITIALIZEEXOPTION_USEEVENT, station 201 of the medium example PBX
// (model 90) opened as owner, and a thread that sits in lineGetMessage.
// The PBX runs in this process too, on a thread of its own: the simulator's
// core and UDP runner, with its output wrapped so that every frame is
// stamped on the steady clock the moment before it goes to the socket, the
// clock the application stamps its messages on. Station 202 calls 201 and
// hangs up again by the simulator's control commands "call 202 201" and
// "hangup 202"; each sends one event frame to 201 (IncomingCall, Released),
// which the provider turns into LINE_CALLSTATE OFFERING and IDLE.
//
// The provider's UDP receive pump waits 20 ms at a time while idle, and the
// frame waits in the channel's buffer until that wait ends: the pause bounds
// what an event can take, and an event at a random moment waits about half
// of it. A random pause of 10 to 50 ms (two pump periods) before each event
// keeps the events from falling into step with the pump, which would
// otherwise have every event wait the whole pause.
//
// Measured in the same run, beside each event:
//   - a bare UDP datagram from the simulator's thread to the application's
//     thread on the same loopback addresses, stamped the same way: what the
//     send, the kernel and waking the application cost without the provider
//     and the layer;
//   - the moment the provider's CTI thread reads the frame's datagram, by a
//     recvfrom of this program that the provider's socket calls resolve to
//     (it forwards to the C library's): it splits each latency into the way
//     to the provider and the pump, dispatch and the layer after it.
//
//   event_latency_bench [--calls=N] [--sim-address=A.B.C.D]
//                       [--provider-address=A.B.C.D] [--csv=FILE] [--keep]
//                       [benchmark flags]
//
// N calls make 2 N events (500 unless given). The start (the provider's
// enumeration, about 5 s) and the shutdown (1 s) are not timed. It uses
// 127.0.6.2 (simulator) and 127.0.6.1 (provider) and a registry of its own;
// --csv writes every event's figures to FILE; --keep leaves the registry
// and the simulator's frame log in their temporary folder. Run it from a
// Release build, alone: the provider and the simulator bind the fixed link
// ports (5029, 5001) on their addresses.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "platform/net/datagram_socket.h"
#include "platform/time/clock.h"
#include "tapi.h"
#include "tapi_names.h"
#include "tools/pbxsim/control.h"
#include "tools/pbxsim/pbx.h"
#include "tools/pbxsim/runner.h"

namespace {

namespace fs = std::filesystem;
using namespace velkor;
using velkor::bench::parseLoopbackAddress;
// The steady clock is CLOCK_MONOTONIC, the same in every thread (and
// process) of the machine.
using Clock = std::chrono::steady_clock;

constexpr const char* kExample = "model90-medium.pbx";
constexpr const char* kStation = "201";
constexpr const char* kCaller = "202";
constexpr std::uint16_t kCtiPort = 5029;
// The provider's idle pause in the receive pump.
constexpr double kIdleWaitMs = 20;
// The pause before each event, in ms: two pump periods wide.
constexpr int kPauseMinMs = 10;
constexpr int kPauseMaxMs = 50;
constexpr DWORD kEventTimeoutMs = 2000;

struct Options {
    unsigned calls = 500;
    std::string simAddress = "127.0.6.2";
    std::string providerAddress = "127.0.6.1";
    bool keep = false;
    // Every event's figures, one line each.
    std::string csv;
};

Options g_options;
fs::path g_root;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// --- the provider's reads ---------------------------------------------------------

// Datagrams from the PBX's CTI port as the provider's CTI thread reads
// them, kept while `g_watching` is set.
struct Receipt {
    Clock::time_point time;
    std::vector<std::uint8_t> bytes;
};
std::atomic<bool> g_watching{false};
std::atomic<std::uint32_t> g_pbxAddress{0};  // network order
std::mutex g_receiptsMutex;
std::vector<Receipt> g_receipts;

void noteReceipt(const void* bytes, std::size_t size, const sockaddr* from) {
    if (!g_watching.load(std::memory_order_relaxed) || !from || from->sa_family != AF_INET) return;
    const auto* source = reinterpret_cast<const sockaddr_in*>(from);
    if (source->sin_addr.s_addr != g_pbxAddress.load() || source->sin_port != htons(kCtiPort)) {
        return;  // the simulator's own reads, the baseline, the ATD channel
    }
    const auto time = Clock::now();
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    std::lock_guard lock(g_receiptsMutex);
    if (g_receipts.size() < 64) g_receipts.push_back({time, {first, first + size}});
}

std::vector<Receipt> takeReceipts() {
    std::lock_guard lock(g_receiptsMutex);
    return std::exchange(g_receipts, {});
}

}  // namespace

// The provider module's sockets read with recvfrom; the program's own
// definition, exported to the dynamic symbol table (bench/CMakeLists.txt),
// comes before the C library's for every module loaded into the process.
extern "C" ssize_t recvfrom(int fd, void* __restrict buffer, size_t size, int flags,
                            sockaddr* __restrict from, socklen_t* __restrict fromSize) {
    using Real = ssize_t (*)(int, void*, size_t, int, sockaddr*, socklen_t*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "recvfrom"));
    const ssize_t got = real(fd, buffer, size, flags, from, fromSize);
    if (got > 0) noteReceipt(buffer, std::min(static_cast<std::size_t>(got), size), from);
    return got;
}

namespace {

// --- the PBX ----------------------------------------------------------------------

// A frame the PBX sent to the watched station, stamped just before it went
// to the socket.
struct SentFrame {
    Clock::time_point time;
    std::uint16_t code = 0;
    std::vector<std::uint8_t> bytes;
};

// The simulator's core and UDP runner on a thread of this process.
class InProcessPbx final : private pbxsim::PbxOutput, private pbxsim::FrameObserver {
public:
    ~InProcessPbx() { stop(); }

    // Loads the example, binds the link ports and starts the thread; the
    // error text on failure.
    std::string start(const fs::path& configFile, const fs::path& logFile, const std::string& station) {
        pbxsim::ConfigResult config = pbxsim::loadConfig(configFile);
        if (!config.config) {
            return config.errors.empty() ? "cannot read " + configFile.string() : config.errors.front();
        }
        const pbxsim::StationConfig* watched = config.config->stationByNumber(station);
        if (!watched) return "the example has no station " + station;
        m_station = watched->index;

        pbxsim::RunnerOptions options;
        options.address = *parseLoopbackAddress(g_options.simAddress);
        options.peer = *parseLoopbackAddress(g_options.providerAddress);
        options.stdinControl = false;
        m_runner = std::make_unique<pbxsim::Runner>(options);
        if (std::string error = m_runner->open(); !error.empty()) return error;
        if (auto error = m_pingSocket.open({options.address, 0})) {
            return "cannot bind the baseline socket: " + error.message();
        }
        m_log.open(logFile);
        pbxsim::PbxOutput& output = *this;
        m_pbx = std::make_unique<pbxsim::Pbx>(*config.config, output, platform::Clock::real());
        m_pbx->setLogSink([this](const std::string& line) { m_log << line << '\n'; });
        m_pbx->addObserver(this);
        m_runner->attach(*m_pbx);
        m_thread = std::thread([this] { m_runner->run(); });
        return {};
    }

    void stop() {
        if (m_thread.joinable()) {
            m_runner->stop();
            m_thread.join();
        }
        if (m_pbx) m_pbx->removeObserver(this);
    }

    // A control command, run on the PBX's thread as the control socket runs
    // it.
    void control(std::string line) {
        m_runner->post([this, line = std::move(line)] { pbxsim::executeControl(*m_pbx, line); });
    }

    // The frames sent to the watched station since the last call; with a
    // `wait`, the first of them may still be on its way out.
    std::vector<SentFrame> takeSent(std::chrono::milliseconds wait = {}) {
        std::unique_lock lock(m_mutex);
        m_sentChanged.wait_for(lock, wait, [this] { return !m_sent.empty(); });
        return std::exchange(m_sent, {});
    }

    // A bare datagram to `to` from the PBX's thread, carrying its send time.
    void ping(const platform::Ipv4Endpoint& to) {
        m_runner->post([this, to] {
            const std::int64_t sent = Clock::now().time_since_epoch().count();
            std::uint8_t bytes[sizeof sent];
            std::memcpy(bytes, &sent, sizeof sent);
            m_pingSocket.sendTo(bytes, to);
        });
    }

private:
    // Every frame is recorded just before it is transmitted.
    void onFrameRecord(const pbxsim::FrameRecord& record) override {
        m_watchedNext = !record.received && record.kind == pbxsim::FrameKind::Cti &&
                        record.station == m_station;
        m_code = record.code;
    }

    void transmit(link::Channel channel, std::span<const std::uint8_t> bytes) override {
        const auto time = Clock::now();
        m_runner->transmit(channel, bytes);
        if (!m_watchedNext || channel != link::Channel::Cti) return;
        m_watchedNext = false;
        {
            std::lock_guard lock(m_mutex);
            m_sent.push_back({time, m_code, {bytes.begin(), bytes.end()}});
        }
        m_sentChanged.notify_all();
    }

    std::unique_ptr<pbxsim::Runner> m_runner;
    std::unique_ptr<pbxsim::Pbx> m_pbx;
    platform::DatagramSocket m_pingSocket;
    std::ofstream m_log;
    std::thread m_thread;
    std::uint16_t m_station = 0;
    // The PBX's thread only.
    bool m_watchedNext = false;
    std::uint16_t m_code = 0;

    std::mutex m_mutex;
    std::condition_variable m_sentChanged;
    std::vector<SentFrame> m_sent;
};

// --- the application --------------------------------------------------------------

struct CallStateMessage {
    Clock::time_point time;
    HCALL call = 0;
    DWORD state = 0;
};

class Application {
public:
    ~Application() { stop(); }

    // lineInitializeEx, the station's line opened as owner, and the socket
    // the baseline datagrams come to; the error text on failure.
    std::string start(const std::string& station) {
        DWORD devices = 0;
        DWORD version = TAPI_CURRENT_VERSION;
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        if (const LONG r = lineInitializeExA(&m_app, nullptr, nullptr, "event_latency_bench",
                                             &devices, &version, &params)) {
            return describe("lineInitializeEx", r);
        }
        m_initialized = true;
        const std::optional<DWORD> device = findDevice(devices, "STATION " + station);
        if (!device) return "no line device for station " + station;
        DWORD api = 0;
        LINEEXTENSIONID ext;
        if (const LONG r = lineNegotiateAPIVersion(m_app, *device, TAPI_VERSION1_4,
                                                   TAPI_CURRENT_VERSION, &api, &ext)) {
            return describe("lineNegotiateAPIVersion", r);
        }
        if (const LONG r = lineOpenA(m_app, *device, &m_line, api, 0, *device,
                                     LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE,
                                     nullptr)) {
            return describe("lineOpen", r);
        }
        if (auto error = m_pingSocket.open({*parseLoopbackAddress(g_options.providerAddress), 0})) {
            return "cannot bind the baseline socket: " + error.message();
        }
        return {};
    }

    void stop() {
        if (m_line) lineClose(m_line);
        m_line = 0;
        if (m_initialized) lineShutdown(m_app);
        m_initialized = false;
    }

    // The next LINE_CALLSTATE, stamped as lineGetMessage returns it; other
    // messages are passed over.
    std::optional<CallStateMessage> nextCallState() {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kEventTimeoutMs);
        while (Clock::now() < deadline) {
            LINEMESSAGE message{};
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (lineGetMessage(m_app, &message, static_cast<DWORD>(std::max<long long>(left.count(), 0))) != 0) {
                continue;
            }
            const auto time = Clock::now();
            if (message.dwMessageID != LINE_CALLSTATE) continue;
            return CallStateMessage{time, static_cast<HCALL>(message.hDevice),
                                    static_cast<DWORD>(message.dwParam1)};
        }
        return std::nullopt;
    }

    platform::Ipv4Endpoint pingEndpoint() const { return *m_pingSocket.localEndpoint(); }

    // The baseline datagram's way in ms, from its send stamp to its read.
    std::optional<double> receivePing() {
        if (m_pingSocket.waitReadable(std::chrono::milliseconds(1000)).status !=
            platform::DatagramSocket::ReadyStatus::Readable) {
            return std::nullopt;
        }
        std::uint8_t bytes[64];
        platform::Ipv4Endpoint source;
        const auto got = m_pingSocket.receiveFrom(bytes, source);
        const auto time = Clock::now();
        std::int64_t sent = 0;
        if (got.status != platform::DatagramSocket::ReceiveStatus::Datagram || got.size != sizeof sent) {
            return std::nullopt;
        }
        std::memcpy(&sent, bytes, sizeof sent);
        return msBetween(Clock::time_point(Clock::duration(sent)), time);
    }

private:
    static std::string describe(const char* function, LONG result) {
        const char* name = tapiResultName(result);
        return std::string(function) + " failed: " + (name ? name : std::to_string(result));
    }

    // The device whose line name is `name` or starts with it and a space
    // ("STATION 201 (SLT)").
    std::optional<DWORD> findDevice(DWORD devices, const std::string& name) {
        for (DWORD id = 0; id < devices; ++id) {
            DWORD version = 0;
            LINEEXTENSIONID ext;
            if (lineNegotiateAPIVersion(m_app, id, TAPI_VERSION1_4, TAPI_CURRENT_VERSION, &version,
                                        &ext) != 0) {
                continue;
            }
            std::vector<std::uint8_t> buffer(sizeof(LINEDEVCAPS) + 1024);
            auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
            caps->dwTotalSize = static_cast<DWORD>(buffer.size());
            if (lineGetDevCapsA(m_app, id, version, 0, caps) != 0 || caps->dwLineNameSize == 0 ||
                caps->dwLineNameOffset + caps->dwLineNameSize > buffer.size()) {
                continue;
            }
            std::string line(reinterpret_cast<const char*>(buffer.data()) + caps->dwLineNameOffset,
                             caps->dwLineNameSize);
            while (!line.empty() && line.back() == '\0') line.pop_back();
            if (line == name || line.starts_with(name + " ")) return id;
        }
        return std::nullopt;
    }

    HLINEAPP m_app = 0;
    bool m_initialized = false;
    HLINE m_line = 0;
    platform::DatagramSocket m_pingSocket;
};

// --- the run ------------------------------------------------------------------------

// One event as measured, in ms.
struct Event {
    std::uint16_t frameCode = 0;  // the event frame's code
    DWORD state = 0;              // of its first LINE_CALLSTATE
    double latency = 0;
    // Send -> the provider's CTI thread reads the datagram.
    std::optional<double> toProvider;
    // The bare datagram sent just before the event.
    std::optional<double> ping;
};

std::vector<Event> g_events;
unsigned g_extraFrames = 0;  // events that sent more than one frame to the station
std::unique_ptr<InProcessPbx> g_pbx;
std::unique_ptr<Application> g_app;

std::string setUp() {
    if (!bench::writeProviderSettings(g_root / "registry", VELKOR_PROVIDER_FILE,
                                      *parseLoopbackAddress(g_options.simAddress),
                                      *parseLoopbackAddress(g_options.providerAddress), false)) {
        return "cannot write the registry";
    }
    g_pbxAddress = htonl(*parseLoopbackAddress(g_options.simAddress));
    g_pbx = std::make_unique<InProcessPbx>();
    if (std::string error = g_pbx->start(fs::path(VELKOR_PBX_EXAMPLES) / kExample,
                                         g_root / "model90.log", kStation);
        !error.empty()) {
        return "simulator: " + error;
    }
    g_app = std::make_unique<Application>();
    return g_app->start(kStation);
}

// One figure of every event that has it.
template <typename Field>
std::vector<double> column(Field field, std::optional<DWORD> onlyState = std::nullopt) {
    std::vector<double> out;
    for (const Event& e : g_events) {
        if (onlyState && e.state != *onlyState) continue;
        const std::optional<double> value = field(e);
        if (value) out.push_back(*value);
    }
    return out;
}

void BM_EventLatency(benchmark::State& state) {
    if (!g_app) {
        if (const std::string error = setUp(); !error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    std::mt19937 random(20);
    std::uniform_int_distribution<int> pauseUs(kPauseMinMs * 1000, kPauseMaxMs * 1000);
    const platform::Ipv4Endpoint pingTo = g_app->pingEndpoint();
    HCALL call = 0;
    bool ringing = false;

    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));

        // The baseline, from the same thread to the same thread.
        g_pbx->ping(pingTo);
        Event event;
        event.ping = g_app->receivePing();

        // The event: 202 calls 201, or hangs up again.
        g_pbx->takeSent();
        takeReceipts();
        g_watching = true;
        g_pbx->control(ringing ? std::string("hangup ") + kCaller
                               : std::string("call ") + kCaller + " " + kStation);
        const std::optional<CallStateMessage> first = g_app->nextCallState();
        g_watching = false;
        if (!first) {
            state.SkipWithError("no LINE_CALLSTATE within 2 s");
            break;
        }
        // The PBX's thread notes the frame once the socket has taken it,
        // which may be after the provider has handled it.
        const std::vector<SentFrame> sent = g_pbx->takeSent(std::chrono::milliseconds(1000));
        if (sent.empty()) {
            state.SkipWithError("LINE_CALLSTATE without a frame to the station");
            break;
        }
        if (sent.size() > 1) ++g_extraFrames;
        const SentFrame& frame = sent.front();
        const double latency = msBetween(frame.time, first->time);
        state.SetIterationTime(latency / 1000.0);
        event.frameCode = frame.code;
        event.state = first->state;
        event.latency = latency;
        for (const Receipt& r : takeReceipts()) {
            if (r.bytes != frame.bytes) continue;
            event.toProvider = msBetween(frame.time, r.time);
            break;
        }
        g_events.push_back(event);

        if (!ringing) {
            call = first->call;
            ringing = true;
            continue;
        }
        // The call ends in IDLE (through DISCONNECTED where the provider
        // reports it); then the handle is given back.
        for (std::optional<CallStateMessage> m = first; m && m->state != LINECALLSTATE_IDLE;) {
            m = g_app->nextCallState();
            if (!m) {
                state.SkipWithError("the call did not become idle");
                return;
            }
        }
        lineDeallocateCall(call);
        ringing = false;
    }

    const std::vector<double> latency = column([](const Event& e) { return e.latency; });
    const double ping = bench::median(column([](const Event& e) { return e.ping; }));
    state.counters["events"] = static_cast<double>(latency.size());
    state.counters["p50_ms"] = bench::median(latency);
    state.counters["p99_ms"] = bench::quantile(latency, 0.99);
    state.counters["idle_wait_ms"] = kIdleWaitMs;
    state.counters["ping_p50_us"] = ping * 1000;
    state.counters["ratio"] = ping > 0 ? bench::median(latency) / ping : 0;
}

// --- the summary -------------------------------------------------------------------

const char* stateName(DWORD state) {
    switch (state) {
        case LINECALLSTATE_OFFERING: return "OFFERING";
        case LINECALLSTATE_IDLE: return "IDLE";
        case LINECALLSTATE_DISCONNECTED: return "DISCONNECTED";
        default: return "other";
    }
}

double mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values) sum += v;
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

void printRow(const char* what, const std::vector<double>& ms) {
    if (ms.empty()) {
        std::printf("  %-40s %6s\n", what, "n/a");
        return;
    }
    std::printf("  %-40s %6zu %9.3f %9.3f %9.3f %9.3f %9.3f\n", what, ms.size(),
                bench::quantile(ms, 0), bench::quantile(ms, 0.5), bench::quantile(ms, 0.99),
                bench::quantile(ms, 1), mean(ms));
}

void printSummary() {
    if (g_events.empty()) return;
    std::printf(
        "\nEvent latency, ms: the PBX's send of the event frame to the application's "
        "lineGetMessage returning its LINE_CALLSTATE\n(station %s, calls from %s; steady clock "
        "on both sides; a random %d-%d ms pause before each event).\n\n",
        kStation, kCaller, kPauseMinMs, kPauseMaxMs);
    std::printf("  %-42s %6s %9s %9s %9s %9s %9s\n", "", "n", "min", "median", "p99", "max", "mean");
    const auto latencyOf = [](const Event& e) { return std::optional(e.latency); };
    const std::vector<double> latency = column(latencyOf);
    printRow("LINE_CALLSTATE, every event", latency);
    std::map<DWORD, unsigned> states;
    for (const Event& e : g_events) ++states[e.state];
    for (const auto& [state, count] : states) {
        printRow((std::string("  first state ") + stateName(state)).c_str(), column(latencyOf, state));
    }
    printRow("  send -> provider's CTI thread reads it",
             column([](const Event& e) { return e.toProvider; }));
    printRow("  that read -> LINE_CALLSTATE", column([](const Event& e) -> std::optional<double> {
                 if (!e.toProvider) return std::nullopt;
                 return e.latency - *e.toProvider;
             }));
    const std::vector<double> ping = column([](const Event& e) { return e.ping; });
    printRow("baseline: bare UDP datagram, same threads", ping);

    const double median = bench::median(latency);
    const double p99 = bench::quantile(latency, 0.99);
    std::printf("\n  receive pump idle wait (the bound): %.0f ms; median / wait %.2f, p99 / wait %.2f\n",
                kIdleWaitMs, median / kIdleWaitMs, p99 / kIdleWaitMs);
    if (!ping.empty() && bench::median(ping) > 0) {
        std::printf("  latency / baseline: median %.0fx, p99 %.0fx\n", median / bench::median(ping),
                    p99 / bench::quantile(ping, 0.99));
    }
    if (g_extraFrames) std::printf("  %u events sent more than one frame to the station\n", g_extraFrames);
    const std::size_t unmatched = latency.size() - column([](const Event& e) { return e.toProvider; }).size();
    if (unmatched) std::printf("  %zu events without the provider's read of their frame seen\n", unmatched);
}

// Every event's figures as comma-separated values.
bool writeCsv(const std::string& path) {
    std::ofstream out(path);
    out << "event,frame_code,state,latency_ms,to_provider_ms,ping_ms\n";
    for (std::size_t i = 0; i < g_events.size(); ++i) {
        const Event& e = g_events[i];
        out << i << ',' << e.frameCode << ',' << stateName(e.state) << ',' << e.latency << ',';
        if (e.toProvider) out << *e.toProvider;
        out << ',';
        if (e.ping) out << *e.ping;
        out << '\n';
    }
    return static_cast<bool>(out);
}

// Takes this program's own flags out of argv; false on a bad one.
bool parseOwnFlags(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto valueOf = [&a](const char* flag) { return bench::flagValue(a, flag); };
        if (const auto v = valueOf("--calls")) {
            g_options.calls = static_cast<unsigned>(std::strtoul(v->c_str(), nullptr, 10));
            if (g_options.calls == 0) return false;
        } else if (const auto v = valueOf("--sim-address")) {
            g_options.simAddress = *v;
        } else if (const auto v = valueOf("--provider-address")) {
            g_options.providerAddress = *v;
        } else if (const auto v = valueOf("--csv")) {
            g_options.csv = *v;
        } else if (a == "--keep") {
            g_options.keep = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return parseLoopbackAddress(g_options.simAddress) &&
           parseLoopbackAddress(g_options.providerAddress) &&
           g_options.simAddress != g_options.providerAddress;
}

}  // namespace

int main(int argc, char** argv) {
    if (!parseOwnFlags(argc, argv)) {
        std::fprintf(stderr,
                     "usage: event_latency_bench [--calls=N] [--sim-address=127.x.y.z] "
                     "[--provider-address=127.x.y.z] [--csv=FILE] [--keep] [benchmark flags]\n");
        return 2;
    }
    g_root = bench::makePrivateRegistry("velkor-event-latency");
    if (g_root.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);

    benchmark::RegisterBenchmark("event_latency/callstate", BM_EventLatency)
        ->UseManualTime()
        ->Iterations(2 * static_cast<benchmark::IterationCount>(g_options.calls))
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    g_app.reset();  // lineShutdown while the PBX still answers
    g_pbx.reset();
    printSummary();
    if (!g_options.csv.empty() && !writeCsv(g_options.csv)) {
        std::fprintf(stderr, "cannot write %s\n", g_options.csv.c_str());
    }

    if (g_options.keep) {
        std::printf("\nregistry and frame log kept in %s\n", g_root.c_str());
    } else {
        std::error_code error;
        fs::remove_all(g_root, error);
    }
    return 0;
}
