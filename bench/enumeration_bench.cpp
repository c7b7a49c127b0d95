// Start-up of the provider against the simulator: the time lineInitializeEx
// takes for the example PBX of each model, from the call to its return. The
// host enumerates the provider inside the first lineInitializeEx of the
// process, so the call returns when the last station is known and the ATD
// session is open.
//
// Beside each figure stands the floor the provider's own pacing sets:
//   - 250 ms after every tenth station query (a model of N stations takes
//     N - 1 queries, indexes 1 .. N - 1),
//   - 100 ms after each query when System is 1 (the small system, model 24),
//   - the ATD directory exchange, measured in the same run from the
//     simulator's frame log: from its "rx atd 000B" (session request) to its
//     last "tx atd 0309" (the last directory entry).
// The frame log also splits each run into its phases, printed after the
// benchmark's own report.
//
// Each model has one simulator process, reused by every run of that model
// (the provider enumerates afresh after lineShutdown). lineShutdown follows
// every run and is not timed: it waits 1 s by design.
//
//   enumeration_bench [--runs=N] [--sim-address=A.B.C.D]
//                     [--provider-address=A.B.C.D] [--keep] [benchmark flags]
//
// --keep leaves the registry and the frame logs in their temporary folder.
// Run it from a Release build, alone: the provider binds the fixed link
// ports (5029, 5001) on its address.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tapi.h"
#include "tapi_names.h"

namespace {

namespace fs = std::filesystem;
using velkor::bench::parseLoopbackAddress;
using Clock = std::chrono::steady_clock;

// The provider's pacing of the station queries.
constexpr double kQueryPauseMs = 250;
constexpr unsigned kQueriesPerPause = 10;
constexpr double kSmallSystemPauseMs = 100;

struct ModelCase {
    unsigned code;
    const char* example;
    unsigned stationCount;  // N of the model table
    bool system1;           // the registry value System a correct installation has
};

const ModelCase kModels[] = {
    {24, "model24-small.pbx", 33, true},
    {90, "model90-medium.pbx", 129, false},
    {30, "model30-office.pbx", 301, false},
    {60, "model60-large.pbx", 601, false},
};

double pacingFloorMs(const ModelCase& model) {
    const unsigned queries = model.stationCount - 1;
    double ms = (queries / kQueriesPerPause) * kQueryPauseMs;
    if (model.system1) ms += queries * kSmallSystemPauseMs;
    return ms;
}

struct Options {
    unsigned runs = 5;
    std::string simAddress = "127.0.5.2";
    std::string providerAddress = "127.0.5.1";
    bool keep = false;
};

Options g_options;
fs::path g_root;

// --- the simulator --------------------------------------------------------------

// velkor-pbxsim as a child process, started on one example and stopped by
// SIGTERM. Its frame log goes to a file of its own.
class Simulator {
public:
    Simulator(const ModelCase& model, fs::path log) : m_model(model), m_log(std::move(log)) {}
    ~Simulator() { stop(); }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Starts it and waits for its "ready:" line; the error text on failure.
    std::string start() {
        int out[2];
        if (pipe(out) != 0) return "pipe failed";
        std::vector<std::string> args = {
            VELKOR_PBXSIM_FILE,
            "--config",
            std::string(VELKOR_PBX_EXAMPLES) + "/" + m_model.example,
            "--address",
            g_options.simAddress,
            "--peer",
            g_options.providerAddress,
            "--no-stdin",
            "--log",
            m_log.string(),
        };
        m_pid = fork();
        if (m_pid < 0) return "fork failed";
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(out[1]);
        m_out = out[0];

        // Everything it prints up to "ready:", read as it comes.
        std::string text;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (text.find("ready:") == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{m_out, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return "no \"ready:\" from the simulator within 10 s";
            }
            char buffer[256];
            const ssize_t n = read(m_out, buffer, sizeof buffer);
            if (n <= 0) {
                int status = 0;
                waitpid(m_pid, &status, 0);
                m_pid = -1;
                if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
                    return std::string("cannot run ") + VELKOR_PBXSIM_FILE;
                }
                return "the simulator ended before it was ready (is " + g_options.simAddress +
                       " taken? see its message above)";
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return {};
    }

    void stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        if (m_out >= 0) ::close(m_out);
        m_out = -1;
    }

    unsigned code() const { return m_model.code; }
    const fs::path& log() const { return m_log; }

private:
    const ModelCase& m_model;
    fs::path m_log;
    pid_t m_pid = -1;
    int m_out = -1;
};

std::unique_ptr<Simulator> g_simulator;

// --- the frame log -----------------------------------------------------------------

// Times (seconds of the simulator's clock) of the frames that mark the
// phases of one enumeration.
struct Phases {
    std::optional<double> sessionRequest;  // rx cti FFFF 50 "##"
    std::optional<double> firstQuery;      // first rx cti FFFF 51 22 ..
    std::optional<double> lastQuery;       // last rx cti FFFF 51 22 ..
    std::optional<double> atdRequest;      // rx atd 000B
    std::optional<double> lastEntry;       // last tx atd 0309
    std::optional<double> keepAlive;       // rx cti FFFF 8B
    unsigned queries = 0;
    unsigned entries = 0;
};

std::uintmax_t fileSize(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

// Reads the log lines written since `from` (one enumeration and its
// shutdown).
Phases readPhases(const fs::path& path, std::uintmax_t from) {
    Phases phases;
    std::ifstream in(path);
    in.seekg(static_cast<std::streamoff>(from));
    for (std::string line; std::getline(in, line);) {
        double t = 0;
        char direction[4] = {};
        char channel[4] = {};
        int used = 0;
        if (std::sscanf(line.c_str(), "%lf %3s %3s %n", &t, direction, channel, &used) < 3) continue;
        const std::string rest = line.substr(static_cast<std::size_t>(used));
        const bool rx = std::strcmp(direction, "rx") == 0;
        if (std::strcmp(channel, "cti") == 0) {
            if (rx && rest.starts_with("FFFF 50 SessionControl | 23 23")) {
                if (!phases.sessionRequest) phases.sessionRequest = t;
            } else if (rx && rest.starts_with("FFFF 51 Query | 22")) {
                if (!phases.firstQuery) phases.firstQuery = t;
                phases.lastQuery = t;
                ++phases.queries;
            } else if (rx && rest.starts_with("FFFF 8B")) {
                if (!phases.keepAlive) phases.keepAlive = t;
            }
        } else if (std::strcmp(channel, "atd") == 0) {
            if (rx && rest.starts_with("000B")) {
                if (!phases.atdRequest) phases.atdRequest = t;
            } else if (!rx && rest.starts_with("0309")) {
                phases.lastEntry = t;
                ++phases.entries;
            }
        }
    }
    return phases;
}

double spanMs(const std::optional<double>& from, const std::optional<double>& to) {
    return from && to ? (*to - *from) * 1000.0 : 0.0;
}

// --- one run ---------------------------------------------------------------------

struct Sample {
    double measuredMs = 0;
    double atdMs = 0;
    double floorMs = 0;
    // Phases from the frame log.
    double openMs = 0;      // session request -> first station query
    double queriesMs = 0;   // first -> last station query
    double toAtdMs = 0;     // last query -> ATD session request
    double toEndMs = 0;     // last directory entry -> keep-alive
    double outsideMs = 0;   // measured time outside session request -> keep-alive
    DWORD lines = 0;
    unsigned queries = 0;
};

std::map<unsigned, std::vector<Sample>> g_samples;

bool writeSettings(const ModelCase& model) {
    return velkor::bench::writeProviderSettings(
        g_root / "registry", VELKOR_PROVIDER_FILE, *parseLoopbackAddress(g_options.simAddress),
        *parseLoopbackAddress(g_options.providerAddress), model.system1);
}

void BM_Enumeration(benchmark::State& state, const ModelCase& model) {
    if (!g_simulator || g_simulator->code() != model.code) {
        g_simulator.reset();  // one simulator on the address at a time
        g_simulator = std::make_unique<Simulator>(
            model, g_root / ("model" + std::to_string(model.code) + ".log"));
        if (const std::string error = g_simulator->start(); !error.empty()) {
            g_simulator.reset();
            state.SkipWithError(error.c_str());
            return;
        }
    }
    if (!writeSettings(model)) {
        state.SkipWithError("cannot write the registry");
        return;
    }

    Sample sample;
    for (auto _ : state) {
        const std::uintmax_t logFrom = fileSize(g_simulator->log());
        HLINEAPP app = 0;
        DWORD devices = 0;
        DWORD version = TAPI_CURRENT_VERSION;
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;

        const auto start = Clock::now();
        const LONG result = lineInitializeExA(&app, nullptr, nullptr, "enumeration_bench",
                                              &devices, &version, &params);
        const auto end = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        if (result != 0) {
            const char* name = tapiResultName(result);
            state.SkipWithError(name ? name : "lineInitializeEx failed");
            break;
        }
        lineShutdown(app);
        if (devices == 0) {
            state.SkipWithError("the provider found no devices");
            break;
        }

        const Phases phases = readPhases(g_simulator->log(), logFrom);
        sample.measuredMs = std::chrono::duration<double, std::milli>(end - start).count();
        sample.atdMs = spanMs(phases.atdRequest, phases.lastEntry);
        sample.floorMs = pacingFloorMs(model) + sample.atdMs;
        sample.openMs = spanMs(phases.sessionRequest, phases.firstQuery);
        sample.queriesMs = spanMs(phases.firstQuery, phases.lastQuery);
        sample.toAtdMs = spanMs(phases.lastQuery, phases.atdRequest);
        sample.toEndMs = spanMs(phases.lastEntry, phases.keepAlive);
        sample.outsideMs = sample.measuredMs - spanMs(phases.sessionRequest, phases.keepAlive);
        sample.lines = devices;
        sample.queries = phases.queries;
        g_samples[model.code].push_back(sample);
    }
    state.counters["lines"] = sample.lines;
    state.counters["pacing_ms"] = pacingFloorMs(model);
    state.counters["atd_ms"] = sample.atdMs;
    state.counters["floor_ms"] = sample.floorMs;
    state.counters["ratio"] = sample.floorMs > 0 ? sample.measuredMs / sample.floorMs : 0;
}

// --- the summary -------------------------------------------------------------------

template <typename Field>
double median(const std::vector<Sample>& samples, Field field) {
    std::vector<double> values;
    for (const Sample& s : samples) values.push_back(field(s));
    return velkor::bench::median(std::move(values));
}

void printSummary() {
    std::printf(
        "\nMedians per model (ms). floor = pacing + atd; pacing = 250 ms per ten queries "
        "(+ 100 ms per query with System 1);\natd = simulator log, rx atd 000B to the last tx "
        "atd 0309, same run. Phases from the simulator log.\n\n");
    std::printf("%-6s %4s %7s %5s %9s %8s %7s %8s %6s | %7s %8s %6s %6s %8s\n", "model", "runs",
                "queries", "lines", "measured", "pacing", "atd", "floor", "ratio", "open",
                "queries", "->atd", "->end", "outside");
    for (const ModelCase& model : kModels) {
        const auto found = g_samples.find(model.code);
        if (found == g_samples.end() || found->second.empty()) continue;
        const std::vector<Sample>& s = found->second;
        const double measured = median(s, [](const Sample& x) { return x.measuredMs; });
        const double floor = median(s, [](const Sample& x) { return x.floorMs; });
        std::printf("%-6u %4zu %7u %5u %9.0f %8.0f %7.0f %8.0f %6.3f | %7.0f %8.0f %6.0f %6.0f %8.0f\n",
                    model.code, s.size(), s.back().queries, static_cast<unsigned>(s.back().lines),
                    measured, pacingFloorMs(model),
                    median(s, [](const Sample& x) { return x.atdMs; }), floor,
                    median(s, [](const Sample& x) { return x.measuredMs / x.floorMs; }),
                    median(s, [](const Sample& x) { return x.openMs; }),
                    median(s, [](const Sample& x) { return x.queriesMs; }),
                    median(s, [](const Sample& x) { return x.toAtdMs; }),
                    median(s, [](const Sample& x) { return x.toEndMs; }),
                    median(s, [](const Sample& x) { return x.outsideMs; }));
    }
    std::printf(
        "\nopen: session request to first query; queries: first to last query; ->atd: last "
        "query to the ATD session request;\n->end: last directory entry to the keep-alive "
        "that ends enumeration; outside: measured time before the session request\nand after "
        "the keep-alive (module load, link start).\n");
}

// Takes this program's own flags out of argv; false on a bad one.
bool parseOwnFlags(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto valueOf = [&a](const char* flag) { return velkor::bench::flagValue(a, flag); };
        if (const auto v = valueOf("--runs")) {
            g_options.runs = static_cast<unsigned>(std::strtoul(v->c_str(), nullptr, 10));
            if (g_options.runs == 0) return false;
        } else if (const auto v = valueOf("--sim-address")) {
            g_options.simAddress = *v;
        } else if (const auto v = valueOf("--provider-address")) {
            g_options.providerAddress = *v;
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
                     "usage: enumeration_bench [--runs=N] [--sim-address=127.x.y.z] "
                     "[--provider-address=127.x.y.z] [--keep] [benchmark flags]\n");
        return 2;
    }
    // A registry of the benchmark's own, set before the telephony layer
    // first reads it.
    g_root = velkor::bench::makePrivateRegistry("velkor-enumeration");
    if (g_root.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);

    for (const ModelCase& model : kModels) {
        benchmark::RegisterBenchmark(("enumeration/model" + std::to_string(model.code)).c_str(),
                                     [&model](benchmark::State& state) { BM_Enumeration(state, model); })
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(static_cast<int>(g_options.runs))
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    g_simulator.reset();
    printSummary();

    if (g_options.keep) {
        std::printf("\nregistry and frame logs kept in %s\n", g_root.c_str());
    } else {
        std::error_code error;
        fs::remove_all(g_root, error);
    }
    return 0;
}
