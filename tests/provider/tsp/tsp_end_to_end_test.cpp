// velkorsp.tsp as an application meets it: loaded by the telephony layer
// from a private registry, talking to the simulator executable over loopback
// UDP or its pseudo-terminal, on the real clock. What the provider sent is
// read back from the simulator's frame log.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/ipv4_endpoint.h"
#include "platform/registry/registry.h"
#include "provider/config/provider_settings.h"
#include "tapi.h"
#include "tapi_host.h"
#include "tests/provider/link/transport/loopback_pbx.h"
#include "tests/provider/tsp/frame_log.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_folder.h"
#include "tools/pbxsim/pbx_config.h"

namespace velkor::tsp_testing {
namespace {

using namespace std::chrono_literals;
using platform::Hive;

constexpr std::string_view kProvidersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Providers";
constexpr std::uint16_t kSystemIndex = 0xFFFF;
constexpr std::uint8_t kSessionControl = 0x50;
constexpr std::uint16_t kAtdSessionAccepted = 0x0001;
constexpr std::uint16_t kAtdClose = 0x0003;
constexpr std::uint16_t kAtdCloseAcknowledged = 0x0004;

std::string examplePath(const std::string& name) {
    return std::string(PBXSIM_EXAMPLES_DIR) + "/" + name;
}

// A station of the example file that becomes a line device.
struct ExpectedLine {
    std::uint16_t index;
    std::uint8_t type;
    std::string name;
};

// The PBX's stations that are telephones (DKT, SLT, WKT) in index order:
// the order in which the provider numbers its line devices.
std::vector<ExpectedLine> expectedLines(const pbxsim::PbxConfig& config) {
    namespace type = pbxsim::station_type;
    std::vector<ExpectedLine> lines;
    for (const auto& [index, station] : config.stations) {
        const char* label = station.type == type::Dkt   ? "DKT"
                            : station.type == type::Slt ? "SLT"
                            : station.type == type::Wkt ? "WKT"
                                                        : nullptr;
        if (label) {
            lines.push_back(
                {index, station.type, "STATION " + station.number + " (" + label + ")"});
        }
    }
    return lines;
}

// "" when the two lists agree, else where they first differ.
std::string firstDifference(const std::vector<std::string>& actual,
                            const std::vector<ExpectedLine>& expected) {
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        if (actual[i] != expected[i].name) {
            return "device " + std::to_string(i) + ": \"" + actual[i] + "\", expected \"" +
                   expected[i].name + "\"";
        }
    }
    if (actual.size() != expected.size()) {
        return std::to_string(actual.size()) + " names, expected " +
               std::to_string(expected.size());
    }
    return {};
}

// Only ASCII is expected in these texts; anything else shows as '?'.
std::string narrow(const std::u16string& wide) {
    std::string out;
    for (char16_t c : wide) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// The notices the provider shows through the layer's hook.
struct Notices {
    static std::mutex mutex;
    static std::vector<std::string> shown;
    static void hook(const char* text) {
        std::lock_guard lock(mutex);
        shown.emplace_back(text);
    }
    static std::vector<std::string> taken() {
        std::lock_guard lock(mutex);
        return std::exchange(shown, {});
    }
};
std::mutex Notices::mutex;
std::vector<std::string> Notices::shown;

// The registry root for everything the process reads while the object
// lives: the layer and the provider open it through VELKOR_REGISTRY_DIR.
class ScopedRegistryRoot {
public:
    explicit ScopedRegistryRoot(const std::filesystem::path& root) {
        if (const char* old = std::getenv("VELKOR_REGISTRY_DIR")) m_saved = old;
        setenv("VELKOR_REGISTRY_DIR", root.c_str(), 1);
    }
    ~ScopedRegistryRoot() {
        if (m_saved) {
            setenv("VELKOR_REGISTRY_DIR", m_saved->c_str(), 1);
        } else {
            unsetenv("VELKOR_REGISTRY_DIR");
        }
    }
    ScopedRegistryRoot(const ScopedRegistryRoot&) = delete;
    ScopedRegistryRoot& operator=(const ScopedRegistryRoot&) = delete;

private:
    std::optional<std::string> m_saved;
};

// The application's use of the layer; shut down when it goes, so that the
// provider stops (and unloads) whatever the test did.
struct TapiApp {
    HLINEAPP handle = 0;
    DWORD numDevs = 0;
    ~TapiApp() { shutdown(); }
    LONG shutdown() {
        if (!handle) return 0;
        const LONG result = lineShutdown(handle);
        handle = 0;
        return result;
    }
};

enum class Wire {
    Udp,
    Serial,
};

// A registry of its own that names velkorsp.tsp as the one installed
// provider, a simulator the provider is pointed at, and the application's
// session with the layer. The members go in reverse order: the application
// shuts down (the provider closes its sessions) before the simulator stops.
class ProviderEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        tapiSetNoticeHook(&Notices::hook);
        Notices::taken();
        // The layer finds the provider by the absolute path it was built at.
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "NumProviders", 1));
        ASSERT_TRUE(m_registry.writeString(Hive::LocalMachine, kProvidersKey, "ProviderFileName0",
                                           VELKORSP_MODULE));
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "ProviderID0", 1));
    }
    void TearDown() override {
        m_app.shutdown();
        tapiSetNoticeHook(nullptr);
    }

    bool writeSetting(std::string_view name, std::uint32_t value) {
        return m_registry.writeDword(Hive::LocalMachine, config::kProviderKey, name, value);
    }
    std::optional<std::uint32_t> readSetting(std::string_view name) {
        return m_registry.readDword(Hive::LocalMachine, config::kProviderKey, name);
    }

    // Starts the simulator with `example` and points the provider at it.
    void startSimulator(const std::string& example, Wire wire) {
        std::vector<std::string> args = {"--config", examplePath(example), "--no-stdin", "--log",
                                         m_log.string()};
        const std::uint32_t local = link::testing::uniqueLoopbackPair();
        const std::uint32_t pbx = local + 1;
        if (wire == Wire::Udp) {
            args.insert(args.end(), {"--address", platform::formatIpv4Address(pbx), "--peer",
                                     platform::formatIpv4Address(local)});
        } else {
            args.insert(args.end(), {"--serial", "--baud", "57600"});
        }
        m_sim.emplace(PBXSIM_EXECUTABLE, std::move(args));
        ASSERT_TRUE(m_sim->started());
        const std::string where = m_sim->line();
        if (wire == Wire::Udp) {
            ASSERT_EQ(where, "udp: " + platform::formatIpv4Address(pbx) +
                                 " cti 5029 atd 5001 peer " + platform::formatIpv4Address(local));
            ASSERT_TRUE(writeSetting("CommunicationMethod", 2));
            ASSERT_TRUE(writeSetting("VELKORIPAddress", pbx));
            ASSERT_TRUE(writeSetting("LocalIPAddress", local));
        } else {
            ASSERT_TRUE(where.starts_with("pty: /dev/")) << where;
            ASSERT_TRUE(writeSetting("CommunicationMethod", 0));
            ASSERT_TRUE(writeSetting("BaudRate", 57600));
            ASSERT_TRUE(m_registry.writeString(Hive::LocalMachine, config::kProviderKey,
                                               "COM1Device", where.substr(5)));
        }
        const std::string ready = m_sim->line();
        ASSERT_TRUE(ready.starts_with("ready: model ")) << ready;
    }

    // lineInitializeEx with event delivery: loads the provider, which
    // enumerates the PBX's stations before this returns.
    LONG initialize() {
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        DWORD version = TAPI_CURRENT_VERSION;
        return lineInitializeExA(&m_app.handle, nullptr, nullptr, "tsp_end_to_end_test",
                                 &m_app.numDevs, &version, &params);
    }

    DWORD apiVersion(DWORD deviceId) {
        DWORD version = 0;
        LINEEXTENSIONID extension{};
        const LONG result = lineNegotiateAPIVersion(m_app.handle, deviceId, TAPI_VERSION2_0,
                                                    TAPI_CURRENT_VERSION, &version, &extension);
        EXPECT_EQ(result, 0) << "device " << deviceId;
        return version;
    }

    struct DeviceTexts {
        std::string lineName;
        std::string switchInfo;
    };
    // The line name and switch info of a device, read through the 8-bit
    // form (`wide` false) or the wide form. The caps block grows to the size
    // the first call says it needs.
    std::optional<DeviceTexts> deviceTexts(DWORD deviceId, bool wide) {
        const DWORD version = apiVersion(deviceId);
        std::vector<std::uint8_t> block(sizeof(LINEDEVCAPS));
        for (int attempt = 0; attempt < 2; ++attempt) {
            auto* caps = reinterpret_cast<LINEDEVCAPS*>(block.data());
            caps->dwTotalSize = static_cast<DWORD>(block.size());
            const LONG result = wide ? lineGetDevCapsW(m_app.handle, deviceId, version, 0, caps)
                                     : lineGetDevCapsA(m_app.handle, deviceId, version, 0, caps);
            if (result != 0) {
                ADD_FAILURE() << "lineGetDevCaps of device " << deviceId << ": " << std::hex
                              << result;
                return std::nullopt;
            }
            if (caps->dwNeededSize > block.size()) {
                block.assign(caps->dwNeededSize, 0);
                continue;
            }
            const auto text = [&](DWORD offset, DWORD size) {
                if (size == 0 || offset + size > block.size()) return std::string("<missing>");
                std::string out;
                if (wide) {
                    std::u16string units(size / 2, u'\0');
                    std::memcpy(units.data(), block.data() + offset, units.size() * 2);
                    out = narrow(units);
                } else {
                    out.assign(reinterpret_cast<const char*>(block.data()) + offset, size);
                }
                while (!out.empty() && out.back() == '\0') out.pop_back();
                return out;
            };
            return DeviceTexts{text(caps->dwLineNameOffset, caps->dwLineNameSize),
                               text(caps->dwSwitchInfoOffset, caps->dwSwitchInfoSize)};
        }
        ADD_FAILURE() << "device " << deviceId << " needs ever more room";
        return std::nullopt;
    }

    std::vector<LoggedFrame> frames() { return readFrameLog(m_log); }

    testing::TempFolder m_folder{"velkor-tsp"};
    ScopedRegistryRoot m_root{m_folder.path() / "registry"};
    platform::Registry m_registry{m_folder.path() / "registry"};
    std::filesystem::path m_log = m_folder.path() / "frames.log";
    std::optional<testing::SimProcess> m_sim;
    TapiApp m_app;
};

// --- start-up ---------------------------------------------------------------

struct StartUpCase {
    const char* label;
    const char* example;
    Wire wire;
    // The registry value System: 1 = the small system, 0 = the larger ones.
    std::uint32_t system;
    // What the provider reports as switch information of every line.
    const char* systemName;
    // The notice the provider shows on the way, if any.
    const char* notice;
};

void PrintTo(const StartUpCase& c, std::ostream* out) { *out << c.example; }

class ProviderStartUpTest : public ProviderEndToEndTest,
                            public ::testing::WithParamInterface<StartUpCase> {};

// lineInitializeEx enumerates the PBX: one line device per DKT, SLT and
// WKT station, numbered in station index order, each named after its
// station and showing the model's system name, in the 8-bit and the wide
// form alike. The version the PBX reported is kept in the registry.
TEST_P(ProviderStartUpTest, EnumeratesTheTelephonesOfThePbx) {
    const StartUpCase& c = GetParam();
    const pbxsim::ConfigResult config = pbxsim::loadConfig(examplePath(c.example));
    ASSERT_TRUE(config.config) << (config.errors.empty() ? "" : config.errors.front());
    const std::vector<ExpectedLine> expected = expectedLines(*config.config);
    ASSERT_FALSE(expected.empty());

    ASSERT_TRUE(writeSetting("System", c.system));
    ASSERT_NO_FATAL_FAILURE(startSimulator(c.example, c.wire));
    ASSERT_EQ(initialize(), 0);
    ASSERT_EQ(m_app.numDevs, expected.size());

    std::vector<std::string> narrowNames;
    std::vector<std::string> wideNames;
    std::set<std::string> switchInfos;
    for (DWORD id = 0; id < m_app.numDevs; ++id) {
        const auto a = deviceTexts(id, false);
        const auto w = deviceTexts(id, true);
        ASSERT_TRUE(a && w);
        narrowNames.push_back(a->lineName);
        wideNames.push_back(w->lineName);
        switchInfos.insert(a->switchInfo);
        switchInfos.insert(w->switchInfo);
    }
    EXPECT_EQ(firstDifference(narrowNames, expected), "");
    EXPECT_EQ(firstDifference(wideNames, expected), "");
    EXPECT_EQ(switchInfos, std::set<std::string>{c.systemName});

    const std::vector<std::string> notices = Notices::taken();
    if (c.notice) {
        EXPECT_EQ(notices, std::vector<std::string>{c.notice});
    } else {
        EXPECT_EQ(notices, std::vector<std::string>{});
    }
    EXPECT_EQ(m_registry.readString(Hive::LocalMachine, config::kProviderKey, "MPVersion"),
              config.config->version);
    EXPECT_EQ(readSetting("ATDEnable"), 1u);
}

// The provider queries ten stations per 250 ms, so the large tables take a
// while: model 60 about 15 s, models 30 and 80 about 8 s.
const StartUpCase kStartUpCases[] = {
    {"Model90OverUdp", "model90-medium.pbx", Wire::Udp, 0, "VELKOR-M Office", nullptr},
    {"Model90OverSerial", "model90-medium.pbx", Wire::Serial, 0, "VELKOR-M Office", nullptr},
    {"Model24SmallSystem", "model24-small.pbx", Wire::Udp, 1, "VELKOR-S Office", nullptr},
    // The small system taken for a larger one: the provider says so, with
    // a blank before and after the text, and carries on.
    {"Model24WithSystem0", "model24-small.pbx", Wire::Udp, 0, "VELKOR-S Office",
     " System setting is diffrent from VELKOR system. Specify your system or system settings "},
    {"Model30Office", "model30-office.pbx", Wire::Udp, 0, "VELKOR-L Office", nullptr},
    {"Model80Hotel", "model80-hotel.pbx", Wire::Udp, 0, "VELKOR-L Hotel", nullptr},
    {"Model60Large", "model60-large.pbx", Wire::Udp, 0, "VELKOR-X Office", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Examples, ProviderStartUpTest, ::testing::ValuesIn(kStartUpCases),
                         [](const auto& info) { return std::string(info.param.label); });

// --- one PBX session: lines and shutdown ------------------------------------

// The model-90 example started over UDP and enumerated.
class ProviderSessionTest : public ProviderEndToEndTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProviderEndToEndTest::SetUp());
        const pbxsim::ConfigResult config = pbxsim::loadConfig(examplePath(kExample));
        ASSERT_TRUE(config.config);
        m_lines = expectedLines(*config.config);
        ASSERT_NO_FATAL_FAILURE(startSimulator(kExample, Wire::Udp));
        ASSERT_EQ(initialize(), 0);
        ASSERT_EQ(m_app.numDevs, m_lines.size());
        // The start-up's last requests reached the PBX.
        settledFrames(m_log);
    }

    // The device of the first SLT station: the DKT stations before it have
    // lower indexes, so the device ID and the station index differ.
    DWORD firstSltDevice() const {
        for (DWORD id = 0; id < m_lines.size(); ++id) {
            if (m_lines[id].type == pbxsim::station_type::Slt) return id;
        }
        return 0;
    }

    static constexpr const char* kExample = "model90-medium.pbx";
    std::vector<ExpectedLine> m_lines;
};

std::size_t countFrames(const std::vector<LoggedFrame>& frames,
                        const std::function<bool(const LoggedFrame&)>& match) {
    return static_cast<std::size_t>(std::count_if(frames.begin(), frames.end(), match));
}

// Position of the first frame at or after `from` that matches; npos if none.
std::size_t findFrame(const std::vector<LoggedFrame>& frames,
                      const std::function<bool(const LoggedFrame&)>& match, std::size_t from = 0) {
    for (std::size_t i = from; i < frames.size(); ++i) {
        if (match(frames[i])) return i;
    }
    return std::string::npos;
}

// Opening a line has the PBX monitor its station (0x50 '!' '#', answered
// by '4'), and lineOpen returns only once the PBX answered. Closing it ends
// the monitoring (0x50 0x22); a second open asks the PBX again.
TEST_F(ProviderSessionTest, LineOpenMonitorsTheStationAndLineCloseEndsIt) {
    const DWORD device = firstSltDevice();
    const std::uint16_t station = m_lines[device].index;
    ASSERT_EQ(m_lines[device].type, pbxsim::station_type::Slt);
    const auto startMonitoring = [station](const LoggedFrame& f) {
        return f.isCti(true, station, kSessionControl, {'!', '#'});
    };
    const auto monitoring = [station](const LoggedFrame& f) {
        return f.isCti(false, station, kSessionControl, {'4'});
    };
    const auto stopMonitoring = [station](const LoggedFrame& f) {
        return f.isCti(true, station, kSessionControl, {0x22});
    };
    const auto anyStation = [](const LoggedFrame& f) {
        return f.received && !f.atd && f.station != kSystemIndex;
    };
    ASSERT_EQ(countFrames(frames(), anyStation), 0u) << "before any line was opened";

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("open " + std::to_string(round));
        const std::size_t from = frames().size();
        HLINE line = 0;
        ASSERT_EQ(lineOpenA(m_app.handle, device, &line, apiVersion(device), 0, 0,
                            LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
                  0);
        // The PBX's answer was in before lineOpen returned.
        std::vector<LoggedFrame> log = frames();
        const std::size_t asked = findFrame(log, startMonitoring, from);
        ASSERT_NE(asked, std::string::npos) << framesText(log);
        EXPECT_NE(findFrame(log, monitoring, asked), std::string::npos) << framesText(log);

        ASSERT_EQ(lineClose(line), 0);
        log = waitForFrames(m_log, [&](const std::vector<LoggedFrame>& now) {
            return findFrame(now, stopMonitoring, asked) != std::string::npos;
        });
        EXPECT_NE(findFrame(log, stopMonitoring, asked), std::string::npos) << framesText(log);
        // One request each way per round, and nothing to any other station.
        EXPECT_EQ(countFrames(log, startMonitoring), static_cast<std::size_t>(round));
        EXPECT_EQ(countFrames(log, stopMonitoring), static_cast<std::size_t>(round));
        EXPECT_EQ(countFrames(log, anyStation), 2u * round) << framesText(log);
    }
}

// lineShutdown, the last one of the process, shuts the provider down: after
// a pause of one second it ends the ATD session (0x0003, acknowledged by the
// PBX, so no 0x0007) and then the system session (0x50 '$'), and sends
// nothing after that.
TEST_F(ProviderSessionTest, ShutdownEndsTheAtdSessionThenTheSystemSession) {
    const auto accepted = [](const LoggedFrame& f) { return f.isAtd(false, kAtdSessionAccepted); };
    ASSERT_NE(findFrame(frames(), accepted), std::string::npos) << "the ATD session was open";
    const auto atdClose = [](const LoggedFrame& f) { return f.isAtd(true, kAtdClose); };
    const auto atdAcknowledged = [](const LoggedFrame& f) {
        return f.isAtd(false, kAtdClose) || f.isAtd(false, kAtdCloseAcknowledged);
    };
    const auto endSession = [](const LoggedFrame& f) {
        return f.isCti(true, kSystemIndex, kSessionControl, {'$'});
    };
    const std::size_t before = settledFrames(m_log).size();

    // Watches the log for the provider's 0x0003 while lineShutdown runs.
    std::atomic<bool> done{false};
    auto closeSeen = std::async(std::launch::async, [&] {
        while (!done) {
            if (findFrame(frames(), atdClose, before) != std::string::npos) {
                return std::optional(std::chrono::steady_clock::now());
            }
            std::this_thread::sleep_for(5ms);
        }
        return std::optional<std::chrono::steady_clock::time_point>();
    });
    const auto called = std::chrono::steady_clock::now();
    EXPECT_EQ(m_app.shutdown(), 0);
    std::vector<LoggedFrame> log = waitForFrames(m_log, [&](const std::vector<LoggedFrame>& now) {
        return findFrame(now, endSession, before) != std::string::npos;
    });
    // Anything the provider sent after '$' would be in the log by now.
    std::this_thread::sleep_for(200ms);
    log = frames();
    done = true;
    const auto seen = closeSeen.get();
    ASSERT_TRUE(seen) << framesText(log);
    EXPECT_GE(*seen - called, 1000ms) << "the provider pauses 1 s before it closes";

    const std::size_t close = findFrame(log, atdClose, before);
    ASSERT_NE(close, std::string::npos) << framesText(log);
    const std::size_t acknowledged = findFrame(log, atdAcknowledged, close);
    const std::size_t ended = findFrame(log, endSession, before);
    ASSERT_NE(acknowledged, std::string::npos) << framesText(log);
    ASSERT_NE(ended, std::string::npos) << framesText(log);
    EXPECT_LT(acknowledged, ended) << framesText(log);
    // From the pause on the provider sent these two frames and nothing else
    // (no 0x0007, no second close, nothing once the session was over).
    std::vector<std::string> received;
    for (std::size_t i = before; i < log.size(); ++i) {
        if (log[i].received) received.push_back(log[i].text.substr(log[i].text.find("rx")));
    }
    ASSERT_EQ(received.size(), 2u) << framesText(log);
    EXPECT_TRUE(received[0].starts_with("rx atd 0003 Close")) << received[0];
    EXPECT_TRUE(received[1].starts_with("rx cti FFFF 50 SessionControl | 24")) << received[1];
}

}  // namespace
}  // namespace velkor::tsp_testing
