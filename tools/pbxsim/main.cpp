// velkor-pbxsim: plays the PBX for the provider on loopback UDP or a
// pseudo-terminal. See the "PBX simulator" section of the README.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>

#include "platform/net/ipv4_endpoint.h"
#include "tools/pbxsim/byte_text.h"
#include "tools/pbxsim/pbx.h"
#include "tools/pbxsim/runner.h"
#include "tools/pbxsim/scenario.h"

namespace {

using namespace velkor;
using namespace velkor::pbxsim;

int g_wakeFd = -1;

void onSignal(int) {
    const char byte = 's';
    [[maybe_unused]] auto n = ::write(g_wakeFd, &byte, 1);
}

constexpr const char* kUsage =
    "usage: velkor-pbxsim --config FILE [options]\n"
    "  --udp                 UDP on the CTI and ATD ports (default)\n"
    "  --address A.B.C.D     the PBX's loopback address (default 127.0.0.2)\n"
    "  --peer A.B.C.D        the provider's loopback address (default 127.0.0.1)\n"
    "  --serial              a pseudo-terminal; its slave path is printed as 'pty: PATH'\n"
    "  --baud N              serial rate (default 57600; single-station mode 1200)\n"
    "  --single-station      STX/ETX framing; over UDP the CTI port is 5030\n"
    "  --control PATH        also take control commands on this local socket\n"
    "  --no-stdin            take no control commands from standard input\n"
    "  --scenario FILE       run a scenario; --exit-after-scenario ends with 0 or 1\n"
    "  --log FILE            frame log to FILE (default standard error)\n"
    "  --quiet               no frame log\n"
    "Control commands, one per line on standard input or the control socket, steer\n"
    "the PBX and play the other side of calls (call, answer, hangup, co-call ...);\n"
    "the command 'help' lists them.\n";

struct Args {
    std::string config;
    std::string scenario;
    std::string log;
    bool quiet = false;
    bool exitAfterScenario = false;
    RunnerOptions runner;
    bool baudGiven = false;
};

bool parseArgs(int argc, char** argv, Args& out, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (a == "--udp") {
            out.runner.wire = RunnerOptions::Wire::Udp;
        } else if (a == "--serial") {
            out.runner.wire = RunnerOptions::Wire::Serial;
        } else if (a == "--single-station") {
            out.runner.singleStation = true;
        } else if (a == "--no-stdin") {
            out.runner.stdinControl = false;
        } else if (a == "--quiet") {
            out.quiet = true;
        } else if (a == "--exit-after-scenario") {
            out.exitAfterScenario = true;
        } else if (a == "--address" || a == "--peer") {
            const auto v = value();
            const auto address = v ? platform::parseIpv4Address(*v) : std::nullopt;
            if (!address) {
                error = a + " needs an IPv4 address";
                return false;
            }
            (a == "--address" ? out.runner.address : out.runner.peer) = *address;
        } else if (a == "--baud") {
            const auto v = value();
            const auto rate = v ? parseNumber(*v) : std::nullopt;
            if (!rate || !isSupportedBaudRate(*rate)) {
                error = "--baud needs one of 1200 2400 4800 9600 19200 38400 57600 115200";
                return false;
            }
            out.runner.baudRate = *rate;
            out.baudGiven = true;
        } else if (a == "--config" || a == "--scenario" || a == "--log" || a == "--control") {
            const auto v = value();
            if (!v) {
                error = a + " needs a path";
                return false;
            }
            if (a == "--config") out.config = *v;
            else if (a == "--scenario") out.scenario = *v;
            else if (a == "--log") out.log = *v;
            else out.runner.controlSocket = *v;
        } else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (out.config.empty()) {
        error = "--config FILE is required";
        return false;
    }
    // Single-station mode runs the serial line at 1200 baud only.
    if (out.runner.singleStation && !out.baudGiven) out.runner.baudRate = 1200;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    std::string error;
    if (!parseArgs(argc, argv, args, error)) {
        std::cerr << "velkor-pbxsim: " << error << "\n" << kUsage;
        return 2;
    }
    ConfigResult config = loadConfig(args.config);
    if (!config.config) {
        for (const std::string& e : config.errors) std::cerr << e << "\n";
        return 2;
    }
    std::optional<Scenario> scenario;
    if (!args.scenario.empty()) {
        ScenarioParse parsed = loadScenario(args.scenario);
        if (!parsed.scenario) {
            for (const std::string& e : parsed.errors) std::cerr << e << "\n";
            return 2;
        }
        scenario = std::move(parsed.scenario);
    }
    std::ofstream logFile;
    if (!args.log.empty()) {
        logFile.open(args.log, std::ios::app);
        if (!logFile) {
            std::cerr << "velkor-pbxsim: cannot write " << args.log << "\n";
            return 2;
        }
    }

    Runner runner(args.runner);
    if (const std::string e = runner.open(); !e.empty()) {
        std::cerr << "velkor-pbxsim: " << e << "\n";
        return 1;
    }
    Pbx::Options options;
    options.framing = args.runner.singleStation ? link::Framing::StxEtx : link::Framing::Binary;
    Pbx pbx(*config.config, runner, platform::Clock::real(), options);
    runner.attach(pbx);
    runner.setReplySink([](const std::string& text) { std::cout << text << std::endl; });
    if (!args.quiet) {
        std::ostream& log = args.log.empty() ? std::cerr : logFile;
        pbx.setLogSink([&log](const std::string& line) { log << line << std::endl; });
    }

    g_wakeFd = runner.wakeFd();
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<ScenarioRun> run;
    if (scenario) {
        pbx.setAutoAnswer(false);
        run = std::make_unique<ScenarioRun>(pbx, std::move(*scenario), [&](const ScenarioRun& r) {
            std::cout << r.message() << std::endl;
            if (args.exitAfterScenario) runner.stop(r.state() == ScenarioRun::State::Passed ? 0 : 1);
        });
    }
    std::cout << runner.whereText() << std::endl;
    std::cout << "ready: model " << config.config->modelCode << ", "
              << config.config->stations.size() << " stations" << std::endl;
    if (run) run->start();
    const int code = runner.run();
    std::cout << "stopped" << std::endl;
    return code;
}
